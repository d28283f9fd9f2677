// The real agent's setting-change monitor: broadcasts from other processes, the directory
// identity through the directory client stand-in, and what reaches the runtime.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/test.h"
#include "common/record_file.h"
#include "drivers/agent.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "drivers/session_input.h"
#include "drivers/directory_client.h"
#include "drivers/shell.h"

using namespace lab;

namespace {

// The texts the agent logged after its start record, once `count` of them arrived.
std::vector<std::string> Logged(const LogCollector& collector, size_t count) {
  std::vector<std::string> texts = collector.WaitForInfoTexts(count + 1);
  if (!texts.empty())
    texts.erase(texts.begin());
  return texts;
}

}  // namespace

START_TEST(without_a_complete_directory_client) {
  // A client lacking an entry point is no client.
  for (DirectoryClient client : {DirectoryClient::Absent, DirectoryClient::Incomplete}) {
    ShellStandIn shell;
    RuntimeStandIn runtime;
    runtime.SetStorageType("2");
    ConfigureDirectoryClient({});
    LogCollector collector;
    UseDirectoryClient(client);
    Agent agent;
    BroadcastSettingChange("VLMStorageSettings");
    BroadcastSettingChange("Policy");
    BroadcastSettingChange(nullptr);
    const auto texts = Logged(collector, 4);
    ok(Bracketed(texts) ==
           "[Detected environment change][Storage location changed]"
           "[OMBRU::OnSettingChange::Policy][OMBRU::OnSettingChange::]",
       "logged %s\n", Bracketed(texts).c_str());
    Sleep(300);
    // With the shell running from the start, nothing about it either.
    ok(runtime.Calls("Invoke").empty() && Logged(collector, 0).size() == 4,
       "nothing else happens\n");
  }
  UseDirectoryClient(DirectoryClient::Absent);
}

START_TEST(directory_client_never_from_the_current_directory) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  runtime.SetStorageType("2");
  const std::string calls = lab::TempPath("netwin32");
  DirectoryClientSettings settings;
  settings.recordPath = calls.c_str();
  ConfigureDirectoryClient(settings);
  LogCollector collector;
  UseDirectoryClient(DirectoryClient::Absent);
  Agent agent(DirectoryClientFolder(DirectoryClient::Complete).c_str());
  agent.SettingChange("Policy");
  ok(Bracketed(Logged(collector, 2)) ==
         "[Detected environment change][OMBRU::OnSettingChange::Policy]",
     "no identity from the current directory: %s\n", Bracketed(Logged(collector, 2)).c_str());
  ok(lab::CompleteLines(calls).empty(), "the stand-in was called %zu times\n",
     lab::CompleteLines(calls).size());
  ok(runtime.Sent(901).empty(), "nothing reported\n");
  ConfigureDirectoryClient({});
  DeleteFileA(calls.c_str());
}

START_TEST(every_directory_context_freed) {
  // Any process may broadcast "Environment"; each broadcast looks the identity up in a context of
  // its own, which must not outlive the look.
  static const struct {
    DirectoryClient client;
    bool frees;
  } cases[] = {{DirectoryClient::Complete, true}, {DirectoryClient::WithoutFreeContext, false}};
  for (const auto& c : cases) {
    ShellStandIn shell;
    RuntimeStandIn runtime;
    runtime.SetStorageType("2");
    const std::string calls = lab::TempPath("netwin32");
    DirectoryClientSettings settings;
    settings.recordPath = calls.c_str();
    ConfigureDirectoryClient(settings);
    LogCollector collector;
    UseDirectoryClient(c.client);
    {
      Agent agent;
      runtime.WaitForSent(901, 1);
      for (int i = 0; i < 20; ++i)
        BroadcastSettingChange("Environment");
      const size_t logged = Logged(collector, 23).size();
      ok(logged == 23, "frees %d: %zu lines logged\n", c.frees, logged);
      ok(agent.Exit() == 0, "frees %d: exit code\n", c.frees);
    }
    std::vector<std::string> created, freed;
    for (const auto& call : DirectoryClientCalls(calls, "NWDSCreateContextHandle"))
      created.push_back(call.at(0));
    for (const auto& call : DirectoryClientCalls(calls, "NWDSFreeContext"))
      freed.push_back(call.at(0));
    // The look at creation, the user-change item it queued, and one look per broadcast.
    ok(created.size() == 22, "frees %d: %zu contexts created\n", c.frees, created.size());
    std::vector<std::string> expected = c.frees ? created : std::vector<std::string>();
    std::sort(expected.begin(), expected.end());
    std::sort(freed.begin(), freed.end());
    ok(freed == expected && std::adjacent_find(freed.begin(), freed.end()) == freed.end(),
       "frees %d: %zu of %zu contexts freed\n", c.frees, freed.size(), created.size());
    DeleteFileA(calls.c_str());
  }
  ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}

START_TEST(directory_identity_changes) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  runtime.SetStorageType("2");
  DirectoryClientSettings settings;
  ConfigureDirectoryClient(settings);
  LogCollector collector;
  UseDirectoryClient(DirectoryClient::Complete);
  Agent agent;

  std::vector<std::string> texts = Logged(collector, 3);
  ok(Bracketed(texts) ==
         "[Detected environment change][Detected Novell user changed from \"\" to "
         "\"CN=alice.O=CORP\"][Notifying OMBR of user change (NDS\\CN=alice.O=CORP)]",
     "at creation: %s\n", Bracketed(texts).c_str());
  runtime.WaitForCalls("Invoke", 1);
  ok(runtime.Sent(901).size() == 1, "one user change sent\n");

  // The same identity in other letter case is no change.
  settings.identity = "cn=ALICE.o=corp";
  ConfigureDirectoryClient(settings);
  BroadcastSettingChange("environment");
  Sleep(300);
  texts = Logged(collector, 4);
  ok(Bracketed(texts, 3) == "[Detected environment change]", "same identity: %s\n",
     Bracketed(texts, 3).c_str());

  settings.identity = "CN=bob.O=CORP";
  ConfigureDirectoryClient(settings);
  BroadcastSettingChange("ENVIRONMENT");
  texts = Logged(collector, 7);
  ok(Bracketed(texts, 4) ==
         "[Detected environment change][Detected Novell user changed from \"CN=alice.O=CORP\" "
         "to \"CN=bob.O=CORP\"][Notifying OMBR of user change (NDS\\CN=bob.O=CORP)]",
     "new identity: %s\n", Bracketed(texts, 4).c_str());

  // A storage-settings change reports the user again, without comparing.
  BroadcastSettingChange("vlmstoragesettings");
  texts = Logged(collector, 9);
  ok(Bracketed(texts, 7) ==
         "[Storage location changed][Notifying OMBR of user change (NDS\\CN=bob.O=CORP)]",
     "storage settings: %s\n", Bracketed(texts, 7).c_str());
  runtime.WaitForCalls("Invoke", 3);
  ok(runtime.Sent(901).size() == 3, "%zu user changes sent\n", runtime.Sent(901).size());
  ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}

START_TEST(local_storage_and_no_identity) {
  ShellStandIn shell;
  static const struct {
    bool registered;
    const char* storageType;
    bool authenticated;
    const char* expected;
  } cases[] = {
      {true, "1", true,
       "[Detected environment change][Detected Novell user changed from \"\" to "
       "\"CN=alice.O=CORP\"][Storage type is local, ignoring Novell user change]"},
      {false, "2", true,
       "[Detected environment change][Detected Novell user changed from \"\" to "
       "\"CN=alice.O=CORP\"][Storage type is local, ignoring Novell user change]"},
      {true, "3", false,
       "[Detected environment change][Detected Novell user changed from \"\" to "
       "\"NONE\"][Notifying OMBR of user change (NDS\\NONE)]"},
  };
  for (const auto& c : cases) {
    RuntimeStandIn runtime(c.registered);
    runtime.SetStorageType(c.storageType);
    DirectoryClientSettings settings;
    settings.authenticated = c.authenticated;
    ConfigureDirectoryClient(settings);
    LogCollector collector;
    UseDirectoryClient(DirectoryClient::Complete);
    Agent agent;
    Logged(collector, 3);
    Sleep(300);
    ok(Bracketed(Logged(collector, 3)) == c.expected, "registered %d storage %s: %s\n",
       c.registered, c.storageType, Bracketed(Logged(collector, 3)).c_str());
    // The agent remembers the identity it saw, reported or not: the same identity again is no
    // change, also once storage is no longer local. A broadcast of another section marks the end.
    agent.SettingChange("Environment");
    runtime.SetStorageType("2");
    agent.SettingChange("Environment");
    agent.SettingChange("Policy");
    ok(Bracketed(Logged(collector, 6), 3) ==
               "[Detected environment change][Detected environment change]"
               "[OMBRU::OnSettingChange::Policy]" &&
           runtime.Sent(901).size() == (c.authenticated ? 0u : 1u),
       "registered %d storage %s, the same identity: %s\n", c.registered, c.storageType,
       Bracketed(Logged(collector, 6), 3).c_str());
  }
  ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}

START_TEST(held_up_user_report_never_ends_on_a_stale_identity) {
  // A storage-settings report reads "alice" and is held before its send, at the runtime's Connect
  // or in the directory client's NWDSWhoAmI (the third: the frame's look at creation, the report
  // at creation, then this one), while the identity becomes bob and an environment change reports
  // it. The runtime's last report must name bob.
  static const struct {
    const char* heldIn;
    unsigned connect, whoAmI;  // the call held
  } cases[] = {{"Connect", 2, 0}, {"NWDSWhoAmI", 0, 3}};
  for (const auto& c : cases) {
    ShellStandIn shell;
    RuntimeStandIn runtime;
    runtime.SetStorageType("2");
    if (c.connect)
      runtime.HoldConnectUntilReleased(c.connect);
    const std::string calls = lab::TempPath("netwin32");
    DirectoryClientSettings settings;
    settings.recordPath = calls.c_str();
    settings.holdWhoAmI = c.whoAmI;
    ConfigureDirectoryClient(settings);
    LogCollector collector;
    UseDirectoryClient(DirectoryClient::Complete);
    Agent agent;
    runtime.WaitForSent(901, 1);
    agent.SettingChange("VLMStorageSettings");
    const bool held =
        c.connect ? runtime.WaitForCalls("Connect", 2).size() == 2
                  : PollUntil([&] { return DirectoryClientCalls(calls, "NWDSWhoAmI").size() == 3; },
                              10000);
    ok(held, "[%s]: the storage report was not held\n", c.heldIn);
    settings = {};
    settings.identity = "CN=bob.O=CORP";
    ConfigureDirectoryClient(settings);
    agent.SettingChange("Environment");
    // The report of bob, given a second to overtake the held one, waits behind it instead.
    ok(runtime.WaitForSent(901, 2, 1000).size() == 1, "[%s]: a report went by the held one\n",
       c.heldIn);
    runtime.ReleaseConnect();
    ReleaseWhoAmI();
    std::string users;
    for (const ParsedMessage& message : PollForCount([&] { return runtime.Messages(); }, 3, 10000))
      users += "[" + ArgumentString(message.inArguments.at(0)) + "]";
    ok(users == "[CN=alice.O=CORP][CN=alice.O=CORP][CN=bob.O=CORP]",
       "[%s]: the runtime's last report must name bob: %s\n", c.heldIn, users.c_str());
    ok(agent.Exit() == 0, "[%s]: exit code\n", c.heldIn);
    DeleteFileA(calls.c_str());
  }
  ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}

namespace {

// What each report the runtime was handed says: the user it names, or the shell's method number.
std::string Reported(const ParsedMessage& message) {
  if (message.methodId == 901)
    return "[" + ArgumentString(message.inArguments.at(0)) + "]";
  return "[" + std::to_string(message.methodId) + "]";
}

// What the runtime's reports from the given one on say, once `count` in all arrived.
std::string Reports(const RuntimeStandIn& runtime, size_t count, size_t from) {
  const auto messages = PollForCount([&] { return runtime.Messages(); }, count, 10000);
  std::string reports;
  for (size_t i = from; i < messages.size(); ++i)
    reports += Reported(messages[i]);
  return reports;
}

size_t ShellTransitionsSeen(const LogCollector& collector) {
  const auto texts = collector.WaitForInfoTexts(0);
  return std::count_if(texts.begin(), texts.end(), [](const std::string& text) {
    return text.compare(0, 14, "Detected shell") == 0;
  });
}

}  // namespace

START_TEST(held_runtime_merges_reports_and_grows_nothing) {
  // The runtime holds the agent's first report in its Connect until the test lets it go, while
  // another process floods the agent with changes of that report's kind. However many changes
  // come, the agent keeps one report of a kind running and one waiting, which finds its facts
  // when it runs; a report of the other kind goes by meanwhile. Last comes one more change, so
  // that the runtime's reports end on it.
  static const struct {
    const char* flood;
    bool newIdentity;      // the identity becomes bob half-way through the flood
    const char* reported;  // the runtime's reports after the hold, the last change's included
  } cases[] = {
      {"storage settings", false, "[CN=alice.O=CORP][CN=carol.O=CORP]"},
      {"storage settings", true, "[CN=bob.O=CORP][CN=carol.O=CORP]"},
      // 25 transitions from running end with it stopped; the 26th starts it.
      {"shell", false, "[922][923]"},
  };
  for (const auto& c : cases) {
    const bool shellFlood = std::string(c.flood) == "shell";
    ShellStandIn shell;
    RuntimeStandIn runtime;
    runtime.SetStorageType("2");
    runtime.HoldConnectUntilReleased(1);
    DirectoryClientSettings settings;
    ConfigureDirectoryClient(settings);
    LogCollector collector;
    UseDirectoryClient(shellFlood ? DirectoryClient::Absent : DirectoryClient::Complete);
    Agent agent;
    // The report queued at creation, or at the first transition, is the one held.
    if (shellFlood)
      shell.Toggle();
    ok(runtime.WaitForCalls("Connect", 1).size() == 1, "[%s]: no report held\n", c.flood);
    const DWORD pid = agent.Process().Id();
    const size_t idle = ThreadCountOf(pid);
    size_t most = idle;
    if (shellFlood) {
      for (size_t seen = 2; seen <= 25; ++seen) {
        shell.Toggle();
        PollUntil([&] { return ShellTransitionsSeen(collector) >= seen; }, 5000);
        most = std::max(most, ThreadCountOf(pid));
      }
    } else {
      for (int i = 1; i <= 1000; ++i) {
        if (c.newIdentity && i == 500) {
          settings.identity = "CN=bob.O=CORP";
          ConfigureDirectoryClient(settings);
        }
        agent.SettingChange("VLMStorageSettings");
        if (i % 100 == 0)
          most = std::max(most, ThreadCountOf(pid));
      }
    }
    ok(most <= idle + 2, "[%s]: %zu threads, %zu when idle\n", c.flood, most, idle);
    if (!shellFlood) {
      // A shell report is not kept waiting behind the user reports.
      shell.Stop();
      ok(runtime.WaitForSent(922, 1).size() == 1, "[%s]: the shell report waited\n", c.flood);
    }

    runtime.ReleaseConnect();
    // The shell report that went by, the held report, and the one that waited behind it.
    const size_t held = shellFlood ? 1 : 2;
    Reports(runtime, held + 1, 0);
    if (shellFlood) {
      shell.Toggle();
    } else {
      settings.identity = "CN=carol.O=CORP";
      ConfigureDirectoryClient(settings);
      agent.SettingChange("VLMStorageSettings");
    }
    const std::string reported = Reports(runtime, held + 2, held);
    ok(reported == c.reported, "[%s, new identity %d]: reported %s after the hold\n", c.flood,
       c.newIdentity, reported.c_str());
    ok(agent.Exit() == 0, "[%s]: exit code\n", c.flood);
  }
  ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}

START_TEST(identity_compared_logged_and_sent_whole) {
  // The longest identity the agent's 256-byte buffer holds, and one character less; then the same
  // identity again is no change.
  for (const size_t length : {size_t{255}, size_t{254}}) {
    ShellStandIn shell;
    RuntimeStandIn runtime;
    runtime.SetStorageType("2");
    const std::string identity = "CN=" + std::string(length - 3, 'a');
    DirectoryClientSettings settings;
    settings.identity = identity.c_str();
    ConfigureDirectoryClient(settings);
    LogCollector collector;
    UseDirectoryClient(DirectoryClient::Complete);
    Agent agent;
    const std::string expected =
        "[Detected environment change][Detected Novell user changed from "
        "\"\" to \"" +
        identity + "\"][Notifying OMBR of user change (NDS\\" + identity + ")]";
    ok(Bracketed(Logged(collector, 3)) == expected, "%zu: logged %s\n", length,
       Bracketed(Logged(collector, 3)).c_str());
    const auto messages = PollForCount([&] { return runtime.Messages(); }, 1, 10000);
    ok(messages.size() == 1 && ArgumentString(messages[0].inArguments.at(0)) == identity,
       "%zu: not sent whole\n", length);
    // The same identity again is no change.
    agent.SettingChange("Environment");
    ok(Bracketed(Logged(collector, 4), 3) == "[Detected environment change]", "%zu: again: %s\n",
       length, Bracketed(Logged(collector, 4), 3).c_str());
  }
  ConfigureDirectoryClient({});
  UseDirectoryClient(DirectoryClient::Absent);
}
