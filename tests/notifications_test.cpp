// The send step and the two notification work items, run in this process against the runtime
// stand-in (an in-process server), the log collector and the directory client stand-in.
#include <windows.h>

#define SECURITY_WIN32
#include <secext.h>

#include <string>
#include <vector>

#include "harness/test.h"
#include "runtime_link/account_name.h"
#include "runtime_link/directory_identity.h"
#include "runtime_link/invoke_data.h"
#include "runtime_link/send_to_runtime.h"
#include "runtime_link/session_notifications.h"
#include "support/invoke_message.h"
#include "support/log_collector.h"
#include "support/runtime_stand_in.h"
#include "support/stand_ins.h"

using testsupport::DirectoryClient;
using testsupport::InfoText;
using testsupport::kInfoPipe;
using testsupport::RuntimeStandIn;

namespace {

std::vector<testsupport::ParsedMessage> SentMessages(const RuntimeStandIn& runtime) {
  std::vector<testsupport::ParsedMessage> messages;
  for (const auto& call : runtime.Calls("Invoke")) {
    const std::vector<uint8_t> bytes = testsupport::FromHex(call.arguments.at(1));
    if (auto parsed = testsupport::ParseInvokeMessage(bytes.data(), bytes.size())) {
      messages.push_back(*parsed);
    }
  }
  return messages;
}

ombru::AccountName WindowsAccount() {
  char name[256] = {};
  ULONG size = sizeof(name);
  GetUserNameExA(NameSamCompatible, name, &size);
  return ombru::SplitAccountName(name);
}

void UseDirectoryClient(DirectoryClient client) {
  SetCurrentDirectoryA(testsupport::DirectoryClientFolder(client).c_str());
}

struct UserChange {
  std::string logged;
  std::string user, domain;
  uint32_t processId = 0;
  bool tokenOpen = false;
  size_t sent = 0;
};

UserChange RunUserChange(RuntimeStandIn& runtime) {
  testsupport::LogCollector collector;
  const DWORD handlesBefore = [] {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
  }();
  NotifyUserChange(nullptr);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  ok(handlesAfter == handlesBefore, "handles before %lu, after %lu\n", handlesBefore, handlesAfter);

  UserChange change;
  const auto records = collector.WaitForMessages(kInfoPipe, 1, 3000);
  if (!records.empty())
    change.logged = InfoText(records[0]);
  const auto messages = SentMessages(runtime);
  change.sent = messages.size();
  if (messages.size() == 1 && messages[0].inArguments.size() == 4) {
    change.user = testsupport::ArgumentString(messages[0].inArguments[0]);
    change.domain = testsupport::ArgumentString(messages[0].inArguments[1]);
    change.processId = testsupport::ArgumentUInt32(messages[0].inArguments[3]);
  }
  change.tokenOpen = !runtime.Calls("TokenHandle").empty() &&
                     runtime.Calls("TokenHandle")[0].arguments.at(0) == "open";
  ok(runtime.UnbalancedObjects().empty(), "runtime references unbalanced\n");
  return change;
}

}  // namespace

START_TEST(send_to_runtime_paths) {
  ombru::CInvokeData message(ombru::METHOD_SHELL_STARTED, ombru::RUNTIME_SESSION_OBJECT);
  {
    RuntimeStandIn runtime;
    ok(ombru::SendToRuntime(message) == 0, "result\n");
    const auto connects = runtime.Calls("Connect");
    ok(connects.size() == 1 && connects[0].arguments.at(0) == "WINSERVER:127.0.0.1:34348" &&
           connects[0].arguments.at(1) == "25",
       "one Connect with the runtime's target and length 25\n");
    const auto invokes = runtime.Calls("Invoke");
    ok(invokes.size() == 1 && invokes[0].arguments.at(0) == "36" &&
           invokes[0].arguments.at(2) == "0000000000000000" && invokes[0].arguments.at(3) == "0",
       "one Invoke of 36 bytes with the reply preset to null and 0\n");
    ok(runtime.Calls("FreeReply").size() == 1, "the reply is freed after a successful Invoke\n");
    ok(runtime.Calls("Destroyed").size() == 1 && runtime.UnbalancedObjects().empty(),
       "the session object is released\n");
  }
  {
    RuntimeStandIn runtime;
    runtime.SetFailures("connect");
    ok(ombru::SendToRuntime(message) == 0, "result\n");
    ok(runtime.Calls("Connect").size() == 1 && runtime.Calls("Invoke").empty(),
       "no Invoke after a failed Connect\n");
    ok(runtime.Calls("Destroyed").size() == 1, "released after a failed Connect\n");
  }
  {
    RuntimeStandIn runtime;
    runtime.SetFailures("invoke");
    ok(ombru::SendToRuntime(message) == 0, "result\n");
    ok(runtime.Calls("Invoke").size() == 1 && runtime.Calls("FreeReply").empty(),
       "no FreeReply after a failed Invoke\n");
    ok(runtime.Calls("Destroyed").size() == 1, "released after a failed Invoke\n");
  }
  {
    RuntimeStandIn runtime(false);
    ok(ombru::SendToRuntime(message) == 0, "result without the runtime's class\n");
    ok(runtime.Calls().empty(), "nothing reaches an unregistered class\n");
  }
}

START_TEST(user_change_names) {
  const ombru::AccountName windows = WindowsAccount();
  static const struct {
    DirectoryClient client;
    const char* storageType;
    bool authenticated;
    const char* failingCall;
    bool directoryName;
    const char* user;  // with a directory name
  } cases[] = {
      {DirectoryClient::Absent, "2", true, nullptr, false, nullptr},
      {DirectoryClient::Incomplete, "2", true, nullptr, false, nullptr},
      {DirectoryClient::Complete, "1", true, nullptr, false, nullptr},
      {DirectoryClient::Complete, nullptr, true, nullptr, false, nullptr},
      {DirectoryClient::Complete, "2", true, nullptr, true, "CN=alice.O=CORP"},
      {DirectoryClient::Complete, "3", true, nullptr, true, "CN=alice.O=CORP"},
      {DirectoryClient::Complete, "2", false, nullptr, true, "NONE"},
      {DirectoryClient::Complete, "2", true, "NWDSCreateContextHandle", true, "NONE"},
      {DirectoryClient::Complete, "2", true, "NWDSGetContext", true, "NONE"},
      {DirectoryClient::Complete, "2", true, "NWDSSetContext", true, "NONE"},
      {DirectoryClient::Complete, "2", true, "NWDSWhoAmI", true, "NONE"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const auto& c = cases[i];
    RuntimeStandIn runtime;
    runtime.SetStorageType(c.storageType);
    testsupport::DirectoryClientSettings settings;
    settings.authenticated = c.authenticated;
    settings.failingCall = c.failingCall;
    testsupport::ConfigureDirectoryClient(settings);
    UseDirectoryClient(c.client);

    const UserChange change = RunUserChange(runtime);
    const std::string user = c.directoryName ? c.user : windows.user;
    const std::string domain = c.directoryName ? "NDS" : windows.domain;
    ok(change.sent == 1, "case %zu: %zu messages\n", i, change.sent);
    ok(change.user == user && change.domain == domain, "case %zu: sent [%s] [%s]\n", i,
       change.domain.c_str(), change.user.c_str());
    ok(change.processId == GetCurrentProcessId(), "case %zu: process id %u\n", i, change.processId);
    ok(change.tokenOpen, "case %zu: the token handle must be open while Invoke runs\n", i);
    const std::string line = "Notifying OMBR of user change (" + domain + "\\" + user + ")";
    ok(change.logged == line, "case %zu: logged [%s]\n", i, change.logged.c_str());
  }
  testsupport::ConfigureDirectoryClient({});
}

START_TEST(user_change_without_runtime_class) {
  RuntimeStandIn runtime(false);
  testsupport::ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Complete);
  const UserChange change = RunUserChange(runtime);
  const ombru::AccountName windows = WindowsAccount();
  ok(change.logged ==
         "Notifying OMBR of user change (" + windows.domain + "\\" + windows.user + ")",
     "the Windows name is logged as for local storage: [%s]\n", change.logged.c_str());
  ok(runtime.Calls().empty(), "nothing sent\n");
}

START_TEST(directory_user_name_buffer) {
  UseDirectoryClient(DirectoryClient::Complete);
  const std::string record = testsupport::SiblingPath("netwin32\\calls.txt");
  for (bool typed : {false, true}) {
    DeleteFileA(record.c_str());
    testsupport::DirectoryClientSettings settings;
    settings.recordPath = record.c_str();
    testsupport::ConfigureDirectoryClient(settings);
    const DirectoryIdentityLookup lookup;
    char name[256];
    ok(GetDirectoryUserName(lookup, name, sizeof(name), typed) == 1 &&
           std::string(name) == "CN=alice.O=CORP",
       "typed %d: [%s]\n", typed, name);
    char calls[512] = {};
    HANDLE file = CreateFileA(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    ReadFile(file, calls, sizeof(calls) - 1, &read, nullptr);
    CloseHandle(file);
    const char* expectedFlags =
        typed ? "NWDSSetContext|0x4e57|1|0x1\n" : "NWDSSetContext|0x4e57|1|0x15\n";
    ok(std::string(calls).find(expectedFlags) != std::string::npos, "typed %d: calls %s\n", typed,
       calls);
  }
  DeleteFileA(record.c_str());

  testsupport::DirectoryClientSettings unauthenticated;
  unauthenticated.authenticated = false;
  testsupport::ConfigureDirectoryClient(unauthenticated);
  const DirectoryIdentityLookup lookup;
  static const struct {
    size_t size;
    const char* text;
  } cases[] = {{256, "NONE"}, {6, "NONE"}, {5, "NON"}, {3, "N"}, {2, ""}, {1, ""}};
  for (const auto& c : cases) {
    char buffer[300];
    memset(buffer, 'x', sizeof(buffer));
    ok(GetDirectoryUserName(lookup, buffer, c.size, false) == 0, "size %zu: result\n", c.size);
    ok(std::string(buffer) == c.text, "size %zu: [%s]\n", c.size, buffer);
    ok(buffer[c.size] == 'x', "size %zu: written past the buffer\n", c.size);
  }
  char untouched = 'x';
  ok(GetDirectoryUserName(lookup, &untouched, 0, false) == 0 && untouched == 'x',
     "an empty buffer is left alone\n");
  testsupport::ConfigureDirectoryClient({});
}
