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
#include "common/invoke_message.h"
#include "common/record_file.h"
#include "drivers/log_collector.h"
#include "drivers/runtime_record.h"
#include "drivers/directory_client.h"
#include "drivers/process.h"

using lab::DirectoryClient;
using lab::InfoPipe;
using lab::InfoText;
using lab::RuntimeStandIn;
using lab::UseDirectoryClient;

namespace {

ombru::AccountName WindowsAccount() {
  char name[256] = {};
  ULONG size = sizeof(name);
  GetUserNameExA(NameSamCompatible, name, &size);
  return ombru::SplitAccountName(name);
}

struct UserChange {
  std::string logged;
  std::string user, domain;
  uint32_t processId = 0;
  bool tokenOpen = false;
  size_t sent = 0;
};

UserChange RunUserChange(RuntimeStandIn& runtime) {
  lab::LogCollector collector;
  // Counted in the system's handle table: Wine's GetProcessHandleCount answers 0.
  const DWORD handlesBefore = lab::HandleCountOf(GetCurrentProcessId());
  NotifyUserChange(nullptr);
  const DWORD handlesAfter = lab::HandleCountOf(GetCurrentProcessId());
  ok(handlesAfter == handlesBefore, "handles before %lu, after %lu\n", handlesBefore, handlesAfter);

  UserChange change;
  const auto records = collector.WaitForMessages(InfoPipe(), 1, 3000);
  if (!records.empty())
    change.logged = InfoText(records[0]);
  const auto messages = runtime.Messages();
  change.sent = messages.size();
  if (messages.size() == 1 && messages[0].inArguments.size() == 4) {
    change.user = lab::ArgumentString(messages[0].inArguments[0]);
    change.domain = lab::ArgumentString(messages[0].inArguments[1]);
    change.processId = lab::ArgumentUInt32(messages[0].inArguments[3]);
  }
  change.tokenOpen = !runtime.Calls("TokenHandle").empty() &&
                     runtime.Calls("TokenHandle")[0].arguments.at(0) == "open";
  ok(runtime.UnbalancedObjects().empty(), "runtime references unbalanced\n");
  return change;
}

}  // namespace

START_TEST(send_to_runtime_paths) {
  static const struct {
    bool registered;
    const char* failures;
    size_t connects, invokes, repliesFreed, released;
  } cases[] = {
      {true, "", 1, 1, 1, 1},       {true, "create", 0, 0, 0, 0}, {true, "connect", 1, 0, 0, 1},
      {true, "invoke", 1, 1, 0, 1}, {false, "", 0, 0, 0, 0},
  };
  const ombru::CInvokeData message(ombru::METHOD_SHELL_STARTED, ombru::RUNTIME_SESSION_OBJECT);
  for (const auto& c : cases) {
    RuntimeStandIn runtime(c.registered);
    runtime.SetFailures(c.failures);
    ok(ombru::SendToRuntime(message) == 0, "[%s]: result\n", c.failures);
    const auto connects = runtime.Calls("Connect");
    const auto invokes = runtime.Calls("Invoke");
    ok(connects.size() == c.connects && invokes.size() == c.invokes &&
           runtime.Calls("FreeReply").size() == c.repliesFreed &&
           runtime.Calls("Destroyed").size() == c.released && runtime.UnbalancedObjects().empty(),
       "[%s]: %zu connects, %zu invokes\n", c.failures, connects.size(), invokes.size());
    if (!connects.empty()) {
      ok(connects[0].arguments.at(0) == "WINSERVER:127.0.0.1:34348" &&
             connects[0].arguments.at(1) == "25",
         "the runtime's target, and its length 25\n");
    }
    if (!invokes.empty()) {
      ok(invokes[0].arguments.at(0) == "36" && invokes[0].arguments.at(2) == "0000000000000000" &&
             invokes[0].arguments.at(3) == "0",
         "36 bytes, with the reply preset to null and 0\n");
    }
  }
}

START_TEST(user_change_names) {
  const ombru::AccountName windows = WindowsAccount();
  static const struct {
    DirectoryClient client;
    bool registered;  // without the runtime's class, storage counts as local and nothing is sent
    const char* storageType;
    bool authenticated;
    const char* failingCall;
    const char* directoryUser;  // null: the Windows account is reported
  } cases[] = {
      {DirectoryClient::Absent, true, "2", true, nullptr, nullptr},
      {DirectoryClient::Incomplete, true, "2", true, nullptr, nullptr},
      {DirectoryClient::Complete, true, "1", true, nullptr, nullptr},
      {DirectoryClient::Complete, true, nullptr, true, nullptr, nullptr},
      {DirectoryClient::Complete, false, "2", true, nullptr, nullptr},
      {DirectoryClient::Complete, true, "2", true, nullptr, "CN=alice.O=CORP"},
      {DirectoryClient::Complete, true, "3", true, nullptr, "CN=alice.O=CORP"},
      {DirectoryClient::Complete, true, "2", false, nullptr, "NONE"},
      {DirectoryClient::Complete, true, "2", true, "NWDSCreateContextHandle", "NONE"},
      {DirectoryClient::Complete, true, "2", true, "NWDSGetContext", "NONE"},
      {DirectoryClient::Complete, true, "2", true, "NWDSSetContext", "NONE"},
      {DirectoryClient::Complete, true, "2", true, "NWDSWhoAmI", "NONE"},
  };
  const std::string record = lab::TempPath("netwin32");
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const auto& c = cases[i];
    RuntimeStandIn runtime(c.registered);
    runtime.SetStorageType(c.storageType);
    lab::DirectoryClientSettings settings;
    settings.authenticated = c.authenticated;
    settings.failingCall = c.failingCall;
    settings.recordPath = record.c_str();
    lab::ConfigureDirectoryClient(settings);
    UseDirectoryClient(c.client);
    DeleteFileA(record.c_str());

    const UserChange change = RunUserChange(runtime);
    // A context whose creation failed is not the agent's to free.
    std::vector<std::vector<std::string>> created =
        lab::DirectoryClientCalls(record, "NWDSCreateContextHandle");
    if (c.failingCall && std::string(c.failingCall) == "NWDSCreateContextHandle")
      created.clear();
    ok(lab::DirectoryClientCalls(record, "NWDSFreeContext") == created,
       "case %zu: %zu contexts freed, of %zu created\n", i,
       lab::DirectoryClientCalls(record, "NWDSFreeContext").size(), created.size());
    const std::string user = c.directoryUser ? c.directoryUser : windows.user;
    const std::string domain = c.directoryUser ? "NDS" : windows.domain;
    const std::string line = "Notifying OMBR of user change (" + domain + "\\" + user + ")";
    ok(change.logged == line, "case %zu: logged [%s]\n", i, change.logged.c_str());
    ok(change.sent == (c.registered ? 1u : 0u), "case %zu: %zu messages\n", i, change.sent);
    if (!c.registered)
      continue;
    ok(change.user == user && change.domain == domain, "case %zu: sent [%s] [%s]\n", i,
       change.domain.c_str(), change.user.c_str());
    ok(change.processId == GetCurrentProcessId(), "case %zu: process id %u\n", i, change.processId);
    ok(change.tokenOpen, "case %zu: the token handle must be open while Invoke runs\n", i);
  }
  lab::ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
  DeleteFileA(record.c_str());
}

START_TEST(directory_user_name_buffer) {
  UseDirectoryClient(DirectoryClient::Complete);
  const std::string record = lab::SiblingPath("netwin32\\calls.txt");
  for (bool typed : {false, true}) {
    DeleteFileA(record.c_str());
    lab::DirectoryClientSettings settings;
    settings.recordPath = record.c_str();
    lab::ConfigureDirectoryClient(settings);
    const DirectoryIdentityLookup lookup;
    char name[256];
    ok(GetDirectoryUserName(lookup, name, sizeof(name), typed) == 1 &&
           std::string(name) == "CN=alice.O=CORP",
       "typed %d: [%s]\n", typed, name);
    // Set on the context that was created, whatever its number.
    const auto created = lab::DirectoryClientCalls(record, "NWDSCreateContextHandle");
    const auto set = lab::DirectoryClientCalls(record, "NWDSSetContext");
    const std::vector<std::string> expected = {created.empty() ? "" : created[0].at(0), "1",
                                               typed ? "0x1" : "0x15"};
    ok(set.size() == 1 && set[0] == expected, "typed %d: flags %s\n", typed,
       set.empty() ? "" : lab::Bracketed(set[0]).c_str());
  }
  DeleteFileA(record.c_str());

  lab::DirectoryClientSettings unauthenticated;
  unauthenticated.authenticated = false;
  lab::ConfigureDirectoryClient(unauthenticated);
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
  lab::ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}
