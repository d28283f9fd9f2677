// The administrators' log viewer as a collector: what it prints, who may reach its pipes, and that
// no client, message or stalled console holds up the agents. (Its Ctrl+C handling cannot be shown
// here: Wine's GenerateConsoleCtrlEvent fails without a display.)
#include <windows.h>

#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/record_file.h"
#include "drivers/log_client.h"
#include "drivers/log_collector.h"
#include "drivers/log_viewer.h"
#include "drivers/process.h"
#include "harness/test.h"
#include "log/pipe_sender.h"
#include "log/win_log_impl.h"
#include "log_viewer/pipe_security.h"
#include "log_viewer/pipe_server.h"
#include "log_viewer/print_queue.h"
#include "log_viewer/refusal.h"
#include "log_viewer/terminal_text.h"

namespace {

using Viewer = lab::LogViewer;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// Logs "<stem> 0", "<stem> 1" ... as an agent would.
void LogNumbered(const char* stem, size_t count) {
  CWinLogImpl log;
  for (size_t i = 0; i < count; ++i)
    log.LogInfo((std::string(stem) + " " + std::to_string(i)).c_str());
}

// A client of the pipe, as any process of the machine may open one; nothing written yet.
ombru::FileHandle Connect(const char* pipe) {
  return ombru::FileHandle(
      CreateFileA(pipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool PipesExist() {
  return WaitNamedPipeA(lab::InfoPipe().name, 1) || GetLastError() != ERROR_FILE_NOT_FOUND ||
         WaitNamedPipeA(lab::RecordPipe().name, 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
}

double MsToLog(CWinLogImpl& log, const char* message) {
  const double start = lab::NowMs();
  log.LogInfo(message);
  return lab::NowMs() - start;
}

}  // namespace

START_TEST(fields_one_a_line) {
  Viewer viewer("");
  ok(viewer.WaitForOutput("serving").find("serving") != std::string::npos, "not serving\n");
  CWinLogImpl log;
  log.LogInfo("Detected shell start");
  log.LogInfo("a|b");
  log.LogRecord(-1, 2, nullptr, "four", 3, "six", "seven", 8);
  ombru::SendRecordToPipe(lab::InfoPipe().name, "no fields");
  const std::string thread = std::to_string(GetCurrentThreadId());
  const std::string sender = ombru::FormatString("process %lu, session ", GetCurrentProcessId());
  const std::vector<std::string> lines = {"  info   " + sender,
                                          "  record " + sender,
                                          "           message  Detected shell start\n",
                                          "           thread   " + thread + "\n",
                                          "           module   " + lab::OwnPath() + "\n",
                                          "           message  a|b\n",
                                          "           field1   -1\n",
                                          "           field3   3\n",
                                          "           field4   N/A\n",
                                          "           field8   8\n",
                                          "           malformed no fields\\0\n"};
  const std::string output = viewer.WaitForOutputs(lines);
  for (const std::string& line : lines) {
    ok(output.find(line) != std::string::npos, "missing [%s] in:\n%s", line.c_str(),
       output.c_str());
  }
}

START_TEST(raw_records) {
  Viewer viewer("--raw");
  viewer.WaitForOutput("serving");
  CWinLogImpl log;
  log.LogInfo("tab\there");
  const std::string output = viewer.WaitForOutput("here");
  const std::string expected = ombru::FormatString("process %lu, session ", GetCurrentProcessId());
  const std::string record =
      "  tab\\x09here|" + std::to_string(GetCurrentThreadId()) + "|" + lab::OwnPath() + "\\0\n";
  ok(output.find(expected) != std::string::npos && output.find(record) != std::string::npos,
     "raw record: %s\n", output.c_str());
}

START_TEST(nothing_printed_a_terminal_takes_for_a_control) {
  // ESC [2J clears a terminal; DEL erases; 0x90, 0x9B, 0x9D and 0x85 are C1 controls (DCS, CSI,
  // OSC, NEL).
  const std::string hostile = "\x1b[2J \x7f \x90 \x9b \x9d \x85 end";
  for (const char* arguments : {"", "--raw", "--json"}) {
    Viewer viewer(arguments);
    viewer.WaitForOutput("serving");
    CWinLogImpl().LogInfo(hostile.c_str());
    const std::string output = viewer.WaitForOutput("end");
    ok(output.find("end") != std::string::npos, "[%s]: record not shown\n", arguments);
    for (const char* control : {"\x1b", "\x7f", "\x90", "\x9b", "\x9d", "\x85", "\xc2\x90",
                                "\xc2\x9b", "\xc2\x9d", "\xc2\x85"}) {
      ok(output.find(control) == std::string::npos, "[%s]: byte %#x printed\n", arguments,
         static_cast<unsigned char>(control[std::string(control).size() - 1]));
    }
    const char* del = std::string(arguments) == "--json" ? " \\u007f " : " \\x7F ";
    ok(output.find(del) != std::string::npos, "[%s]: DEL not shown as %s:\n%s", arguments, del,
       output.c_str());
  }

  static const struct {
    std::string bytes;
    UINT codePage;
    std::string safe;
  } cases[] = {
      {std::string("a\0b", 3), 1252, "a\\0b"},
      {"\x7f\x80\x9f\xa0\xff", 1252, "\\x7F\\x80\\x9F\xa0\xff"},
      {"\x82\xa0\x82", 932, "\x82\xa0\\x82"},  // a whole character, then a lone lead byte
      {"\x9f\x1b", 932, "\\x9F\\x1B"},         // no trail byte: both escaped
      {"\xe9", 932, "\xe9"},                   // a lead byte that stands last but is no C1
  };
  for (const auto& c : cases) {
    const std::string safe = viewer::TerminalSafe(c.bytes, c.codePage);
    ok(safe == c.safe, "code page %u: [%s]\n", c.codePage, viewer::TerminalSafe(safe).c_str());
  }
}

START_TEST(json_lines) {
  const std::string sample = lab::SiblingPath("log_viewer_sample.jsonl");
  DeleteFileA(sample.c_str());
  ok(GetACP() == 1252, "these texts are code page 1252, not %u\n", GetACP());
  Viewer viewer("--json");
  viewer.WaitForOutput("serving");
  CWinLogImpl log;
  log.LogInfo("say \"hi\" \\ caf\xe9");
  log.LogRecord(-1, 2, nullptr, "four", 3, "six", "seven", 8);
  ombru::SendRecordToPipe(lab::InfoPipe().name, "no fields");
  // The three records, whichever was read first, after the "serving" notice on standard error.
  lab::PollUntil([&] { return Occurrences(viewer.Output(), "\n") >= 4; }, 5000);
  std::string output = viewer.Output();
  output.erase(0, output.find('\n') + 1);
  ok(output.find("\"message\":\"say \\\"hi\\\" \\\\ caf\xc3\xa9\"") != std::string::npos &&
         output.find("\"field4\":\"N/A\"") != std::string::npos &&
         output.find("\"malformed\":true,\"text\":\"no fields\\u0000\"") != std::string::npos,
     "json lines:\n%s", output.c_str());
  ok(Occurrences(output, "\n") == 3 && output.compare(0, 9, "{\"time\":\"") == 0,
     "one object a line:\n%s", output.c_str());
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  const std::string sender =
      ombru::FormatString("\"process\":%lu,\"session\":%lu,", GetCurrentProcessId(), session);
  ok(Occurrences(output, sender) == 3, "not every line names this process (%s):\n%s",
     sender.c_str(), output.c_str());
  // Parsed by a JSON parser outside Wine, once this test has ended.
  const ombru::FileHandle file(
      CreateFileA(sample.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  WriteFile(file.Get(), output.data(), static_cast<DWORD>(output.size()), &written, nullptr);
}

namespace {

// This process's token as an impersonation token, with the given groups for deny only.
lab::Handle TokenDenyingOnly(std::vector<WELL_KNOWN_SID_TYPE> groups) {
  lab::Handle process, restricted, impersonation;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.Put());
  std::vector<std::vector<BYTE>> sids;
  std::vector<SID_AND_ATTRIBUTES> disabled;
  for (WELL_KNOWN_SID_TYPE group : groups) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    sids.emplace_back(size);
    CreateWellKnownSid(group, nullptr, sids.back().data(), &size);
    disabled.push_back({sids.back().data(), 0});
  }
  CreateRestrictedToken(process.Get(), 0, static_cast<DWORD>(disabled.size()), disabled.data(), 0,
                        nullptr, 0, nullptr, restricted.Put());
  DuplicateToken(restricted.Get(), SecurityIdentification, impersonation.Put());
  return impersonation;
}

// What the descriptor grants of `desired` to the token, or 0.
DWORD Granted(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desired) {
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges;
  DWORD privilegesSize = sizeof(privileges), granted = 0;
  BOOL status = FALSE;
  return AccessCheck(descriptor, token, desired, &mapping, &privileges, &privilegesSize, &granted,
                     &status) &&
                 status
             ? granted
             : 0;
}

}  // namespace

START_TEST(pipes_admit_each_account_what_it_needs) {
  // Wine enforces no pipe DACL: what the served pipes' descriptor grants is asked of AccessCheck,
  // for the tokens that meet it on Windows.
  DWORD error = 0;
  const std::string account = viewer::OwnAccountSid(error);
  ok(!account.empty(), "no account: error %lu\n", error);
  Viewer viewer("");
  viewer.WaitForOutput("serving");
  static const struct {
    const char* token;
    std::vector<WELL_KNOWN_SID_TYPE> denyOnly;
  } tokens[] = {
      {"the viewer's own", {}},
      {"an administrator who did not elevate", {WinBuiltinAdministratorsSid}},
  };
  for (const lab::LogPipe* pipe : {&lab::InfoPipe(), &lab::RecordPipe()}) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetNamedSecurityInfoA(
        pipe->name, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        nullptr, nullptr, nullptr, nullptr, &descriptor);
    char* text = nullptr;
    if (error == ERROR_SUCCESS) {
      ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    }
    // The entries speak for any other interactive user (Wine ignores a token's user for deny
    // only, so no such token can be made here): only the viewer's account, SYSTEM and
    // Administrators may create instances; interactive users may do what a client needs.
    const std::string expected =
        "D:P(A;;0x12019b;;;IU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019f;;;" + account + ")";
    ok(text && std::string(text) == expected, "%s: error %lu, DACL %s\n", pipe->name, error,
       text ? text : "");
    LocalFree(text);
    for (const auto& t : tokens) {
      const lab::Handle token = TokenDenyingOnly(t.denyOnly);
      const DWORD creates = Granted(descriptor, token.Get(), FILE_CREATE_PIPE_INSTANCE);
      const DWORD opens = Granted(descriptor, token.Get(), viewer::kClientRights);
      ok(creates == FILE_CREATE_PIPE_INSTANCE && opens == viewer::kClientRights,
         "%s, %s: creates %#lx, opens %#lx\n", pipe->name, t.token, creates, opens);
    }
    LocalFree(descriptor);
  }
}

START_TEST(refuses_to_serve_beside_another_server) {
  const std::string refusal =
      "log_viewer: \\\\.\\pipe\\VLM.Log.Info is already served by another log collector or "
      "viewer; not starting\n";
  {
    lab::LogCollector collector;
    Viewer second("");
    const DWORD exitCode = second.ExitCode(5000);
    ok(exitCode == 1 && second.Output() == refusal, "beside the collector: exit code %lu, [%s]\n",
       exitCode, second.Output().c_str());
  }
  Viewer first("");
  first.WaitForOutput("serving");
  Viewer second("");
  const DWORD exitCode = second.ExitCode(5000);
  ok(exitCode == 1 && second.Output() == refusal, "beside a viewer: exit code %lu, [%s]\n",
     exitCode, second.Output().c_str());
  CWinLogImpl().LogInfo("still served");
  ok(first.WaitForOutput("still served").find("still served") != std::string::npos,
     "the first viewer stopped serving\n");
}

namespace {

// What the viewer tells the administrator through `tell`, as written to a file.
template <typename Tell>
std::string Told(Tell tell) {
  const std::string path = lab::TempPath("told");
  std::FILE* errors = std::fopen(path.c_str(), "wb");
  tell(errors);
  std::fclose(errors);
  const std::string told = lab::FileBytes(path);
  DeleteFileA(path.c_str());
  return told;
}

}  // namespace

START_TEST(refuses_to_serve_pipes_it_cannot_protect) {
  viewer::LogPipeServer::Options options;
  options.pipeSecurity = "D:(not a descriptor)";
  viewer::LogPipeServer server([](const viewer::ClientMessage&) {}, options);
  viewer::LogPipeServer::Failure failure;
  ok(!server.Start(failure) && failure.reason == viewer::LogPipeServer::Failure::Reason::Security,
     "served without its descriptor\n");
  ok(!WaitNamedPipeA(lab::InfoPipe().name, 1) && GetLastError() == ERROR_FILE_NOT_FOUND,
     "a pipe exists\n");

  int exitCode = 0;
  const std::string told =
      Told([&](std::FILE* errors) { exitCode = viewer::RefuseToServe(failure, errors); });
  ok(exitCode == 1 &&
         told.find("log_viewer: cannot build the pipes' security descriptor (error ") == 0 &&
         told.find("not serving pipes open to everyone\n") != std::string::npos,
     "exit code %d: %s", exitCode, told.c_str());
}

START_TEST(silent_client_holds_up_no_agent) {
  Viewer viewer("");
  viewer.WaitForOutput("serving");
  const ombru::FileHandle silent = Connect(lab::InfoPipe().name);
  ok(static_cast<bool>(silent), "the silent client could not connect\n");
  CWinLogImpl log;
  for (const char* message : {"first", "second", "third"}) {
    const double ms = MsToLog(log, message);
    ok(ms < 900, "%s: held up %.0f ms\n", message, ms);
  }
  for (int i = 0; i < 3; ++i) {
    const std::string option = "/WATCHDOG:0 start-" + std::to_string(i);
    lab::ChildProcess start(lab::SiblingPath("ombru.exe"), option);
    start.WaitForExit(10000);
    ok(viewer.WaitForOutput(option.c_str()).find("message  " + option) != std::string::npos,
       "start record %d not shown\n", i);
  }
  const std::string output = viewer.WaitForOutput("completed no message", 10000);
  ok(output.find("log_viewer: dropped a client of \\\\.\\pipe\\VLM.Log.Info (process " +
                 std::to_string(GetCurrentProcessId())) != std::string::npos,
     "the silent client was not dropped:\n%s", output.c_str());
}

START_TEST(oversized_messages_dropped_with_a_word) {
  Viewer viewer("");
  viewer.WaitForOutput("serving");
  // 64 KiB to the byte, its closing NUL included: printed whole; one byte more: dropped. (Clients
  // are served side by side: each outcome is waited for on its own.)
  ombru::SendRecordToPipe(lab::InfoPipe().name, std::string(65535, 'a'));
  ombru::SendRecordToPipe(lab::InfoPipe().name, std::string(65536, 'b'));
  const std::string whole = "malformed " + std::string(65535, 'a') + "\\0\n";
  ok(viewer.WaitForOutput(whole.c_str()).find(whole) != std::string::npos,
     "the 65,536-byte message was not printed whole\n");
  const std::string dropped = "dropped a message of 65537 bytes on \\\\.\\pipe\\VLM.Log.Info";
  const std::string boundary = viewer.WaitForOutput(dropped.c_str());
  ok(boundary.find(std::string(1000, 'b')) == std::string::npos &&
         Occurrences(boundary, dropped) == 1,
     "the 65,537-byte message was not dropped with one notice\n");
  for (const size_t size : {size_t{1} << 20, size_t{100} << 20}) {
    ombru::SendRecordToPipe(lab::InfoPipe().name, std::string(size, 'x'));
    const std::string notice = ombru::FormatString(
        "dropped a message of %zu bytes on \\\\.\\pipe\\VLM.Log.Info from "
        "process %lu",
        size + 1, GetCurrentProcessId());
    ok(viewer.WaitForOutput(notice.c_str()).find(notice) != std::string::npos, "no word of %zu\n",
       size);
  }
  CWinLogImpl().LogInfo("after the large ones");
  ok(viewer.WaitForOutput("after the large ones").find("after the large ones") != std::string::npos,
     "the viewer stopped serving\n");
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  ok(GetProcessMemoryInfo(viewer.Process(), &memory, sizeof(memory)) &&
         memory.PeakPagefileUsage < (32u << 20),
     "the viewer held %zu bytes at most\n", memory.PeakPagefileUsage);
}

START_TEST(paused_console_holds_up_no_agent) {
  constexpr int kRecords = 200;
  Viewer viewer("--raw --queue 50", true);
  viewer.WaitForOutput("serving");
  CWinLogImpl log;
  double slowest = 0;
  for (int i = 0; i < kRecords; ++i)
    slowest = std::max(slowest, MsToLog(log, ("paused " + std::to_string(i)).c_str()));
  ok(slowest < 900, "an agent was held up %.0f ms\n", slowest);

  viewer.ReadOutputAgain();
  size_t printed = 0, dropped = 0;
  lab::PollUntil(
      [&] {
        dropped = viewer.DroppedRecords();
        printed = viewer.PrintedRecords("paused ");
        return printed + dropped == kRecords;
      },
      10000);
  ok(dropped > 0 && printed + dropped == kRecords, "%zu printed, %zu dropped:\n%s", printed,
     dropped, viewer.Output().c_str());
}

START_TEST(interrupted_while_the_console_does_not_read) {
  constexpr size_t kRecords = 200;
  Viewer viewer("--raw --queue 50", true);
  viewer.WaitForOutput("serving");
  LogNumbered("interrupted", kRecords);
  const double start = lab::NowMs();
  viewer.Control(CTRL_BREAK_EVENT);
  const DWORD exitCode = viewer.ExitCode(5000);
  const double ms = lab::NowMs() - start;
  ok(exitCode == 0 && ms < 2000, "Ctrl+Break: exit code %lu after %.0f ms\n", exitCode, ms);

  viewer.ReadOutputAgain();
  size_t printed = 0, dropped = 0;
  lab::PollUntil(
      [&] {
        printed = viewer.PrintedRecords("interrupted ");
        dropped = viewer.DroppedRecords();
        return printed + dropped == kRecords;
      },
      5000);
  ok(viewer.Output().find(" records dropped at the end: the output was not being read\n") !=
             std::string::npos &&
         printed + dropped == kRecords,
     "%zu printed, %zu dropped:\n%s", printed, dropped, viewer.Output().c_str());
}

START_TEST(closing_the_console_prints_what_is_queued) {
  // The console is closed while most records wait; the system ends the viewer once its handler
  // returns. Every record is printed or counted as dropped by then, also when a client holds the
  // server's stop up with a message it has not completed and the console reads slowly.
  constexpr size_t kRecords = 200;
  static const struct {
    bool clientMidMessage;
    DWORD chunk, pauseMs;  // what the console takes, how often
  } cases[] = {{false, 4096, 0}, {true, 256, 100}};
  for (const auto& c : cases) {
    Viewer viewer("--raw", true);
    viewer.WaitForOutput("serving");
    LogNumbered("queued", kRecords);
    ombru::FileHandle client;
    if (c.clientMidMessage) {
      client = Connect(lab::InfoPipe().name);
    }
    std::thread closing([&] { viewer.Control(CTRL_CLOSE_EVENT); });
    Sleep(200);
    viewer.ReadOutputAgain(c.chunk, c.pauseMs);
    closing.join();
    ok(viewer.ExitCode(5000) != STILL_ACTIVE, "the viewer did not end\n");
    size_t printed = 0, dropped = 0;
    lab::PollUntil(
        [&] {
          printed = viewer.PrintedRecords("queued ");
          dropped = viewer.DroppedRecords();
          return printed + dropped >= kRecords;
        },
        5000);
    ok(printed + dropped >= kRecords && (c.clientMidMessage || dropped == 0),
       "client %d: %zu printed, %zu dropped, of %zu:\n%s", c.clientMidMessage, printed, dropped,
       kRecords, viewer.Output().c_str());
  }
}

namespace {

// Agents sending at the same moment: one record each, with the agent's client, released together.
struct Burst {
  explicit Burst(size_t agents) : results(agents) {
    for (size_t i = 0; i < agents; ++i)
      threads.emplace_back([this, i] {
        WaitForSingleObject(go.Get(), INFINITE);
        results[i] = lab::SendAsAgent(lab::InfoPipe().name, Record(i));
      });
  }
  static std::string Record(size_t i) { return "burst " + std::to_string(i) + "|1|agent.exe"; }
  void Release() {
    SetEvent(go.Get());
    for (std::thread& thread : threads)
      thread.join();
  }

  ombru::Handle go{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::vector<lab::LogClientResult> results;
  std::vector<std::thread> threads;
};

}  // namespace

START_TEST(burst_of_agents_taken_whole) {
  constexpr size_t kAgents = 100;
  Viewer viewer("--raw");
  viewer.WaitForOutput("serving");
  Burst burst(kAgents);
  burst.Release();
  std::vector<std::string> lines;
  for (size_t i = 0; i < kAgents; ++i)
    lines.push_back("  " + Burst::Record(i) + "\\0\n");
  const std::string output = viewer.WaitForOutputs(lines, 10000);
  size_t once = 0, written = 0;
  for (size_t i = 0; i < kAgents; ++i) {
    once += Occurrences(output, lines[i]) == 1;
    written += burst.results[i].written;
  }
  ok(once == kAgents && written == kAgents, "%zu of %zu written, %zu printed once\n", written,
     kAgents, once);
}

START_TEST(silent_clients_keep_no_record_out) {
  // Sixteen clients that connect and never write, each back as soon as the viewer drops it, while
  // an agent logs 20 records, one every 200 ms: over the 3 s after which the silent are dropped.
  std::optional<Viewer> viewer(std::in_place, "");
  viewer->WaitForOutput("serving");
  std::atomic<bool> done{false};
  std::vector<std::thread> silent;
  for (int i = 0; i < 16; ++i) {
    silent.emplace_back([&] {
      while (!done) {
        const ombru::FileHandle client = Connect(lab::InfoPipe().name);
        char byte;
        DWORD read = 0;
        if (!client || !ReadFile(client.Get(), &byte, 1, &read, nullptr))
          Sleep(1);  // dropped, or every instance taken: at once again
      }
    });
  }
  std::vector<std::string> lines;
  size_t busy = 0, written = 0;
  for (int i = 0; i < 20; ++i) {
    const std::string record = "between silent " + std::to_string(i) + "|1|agent.exe";
    const lab::LogClientResult result = lab::SendAsAgent(lab::InfoPipe().name, record);
    busy += result.foundBusy;
    written += result.written;
    lines.push_back("message  between silent " + std::to_string(i) + "\n");
    Sleep(200);
  }
  const std::string output = viewer->WaitForOutputs(lines, 10000);
  size_t printed = 0;
  for (const std::string& line : lines)
    printed += output.find(line) != std::string::npos;
  ok(busy == 0 && written == 20 && printed == 20,
     "%zu opens found the pipe busy, %zu written, %zu printed\n", busy, written, printed);
  ok(viewer->WaitForOutput("that completed no message within 3000 ms")
             .find("that completed no message within 3000 ms") != std::string::npos,
     "no silent client was dropped\n");
  done = true;
  viewer.reset();  // lets go whoever still waits in a read
  for (std::thread& thread : silent)
    thread.join();
}

namespace {

// A console that takes one record at a time, when the test lets it: what it printed, and the
// notices of dropped records where they stood.
struct SteppedConsole {
  SteppedConsole(size_t capacity, size_t maxBytes = viewer::PrintQueue::kMaxBytes)
      : queue(
            capacity,
            [this](const viewer::Received& received) {
              SetEvent(printing.Get());
              WaitForSingleObject(step.Get(), INFINITE);
              Add(received.message.bytes);
              return true;
            },
            [this](size_t dropped) { Add("[" + std::to_string(dropped) + " dropped]"); }, [] {},
            maxBytes) {}

  void Push(const char* text) {
    viewer::Received received = {};
    received.message.pipe = &viewer::InfoPipe();
    received.message.bytes = text;
    queue.Push(std::move(received));
  }
  // Lets the record being printed through, and waits until the next one is being printed.
  void Step() {
    ReleaseSemaphore(step.Get(), 1, nullptr);
    WaitForSingleObject(printing.Get(), 5000);
  }
  std::string Finish() {
    ReleaseSemaphore(step.Get(), 1000, nullptr);
    queue.Finish(5000);
    const std::lock_guard<std::mutex> hold(lock);
    return lines;
  }
  void Add(const std::string& line) {
    const std::lock_guard<std::mutex> hold(lock);
    lines += line + " ";
  }

  ombru::Handle step{CreateSemaphoreA(nullptr, 0, 1000, nullptr)};
  ombru::Handle printing{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  std::mutex lock;
  std::string lines;
  viewer::PrintQueue queue;
};

}  // namespace

START_TEST(print_queue_keeps_its_promises) {
  {
    // At most three wait beside the one being printed; the next is dropped and told after them.
    SteppedConsole console(3);
    console.Push("a");
    WaitForSingleObject(console.printing.Get(), 5000);
    for (const char* text : {"b", "c", "d", "e"})
      console.Push(text);
    const std::string printed = console.Finish();
    ok(printed == "a b c d [1 dropped] ", "capacity: %s\n", printed.c_str());
  }
  {
    // The notice stands where the records were lost: after c, the last queued before them, and
    // before f, queued once there was room again.
    SteppedConsole console(2);
    console.Push("a");
    WaitForSingleObject(console.printing.Get(), 5000);
    for (const char* text : {"b", "c", "d", "e"})
      console.Push(text);
    console.Step();
    console.Push("f");
    const std::string printed = console.Finish();
    ok(printed == "a b c [2 dropped] f ", "notice: %s\n", printed.c_str());
  }
  {
    // A cap of 10 bytes passes 40 bytes, four at a time, two waiting at most: the printer gives
    // back what it takes.
    SteppedConsole console(100, 10);
    console.Push("r0..");
    WaitForSingleObject(console.printing.Get(), 5000);
    console.Push("r1..");
    for (const char* text : {"r2..", "r3..", "r4..", "r5..", "r6..", "r7..", "r8..", "r9.."}) {
      console.Push(text);
      console.Step();
    }
    const std::string printed = console.Finish();
    ok(printed == "r0.. r1.. r2.. r3.. r4.. r5.. r6.. r7.. r8.. r9.. ", "bytes: %s\n",
       printed.c_str());
  }
}

START_TEST(failed_output_ends_the_viewer_loudly) {
  // What writing into a pipe whose reader is gone fails with, here.
  DWORD expected = 0;
  {
    ombru::Handle read, write;
    CreatePipe(read.Put(), write.Put(), nullptr, 0);
    read.Reset();
    DWORD written = 0;
    WriteFile(write.Get(), "x", 1, &written, nullptr);
    expected = GetLastError();
  }
  for (const char* arguments : {"", "--raw", "--json"}) {
    Viewer viewer(arguments, true);
    viewer.WaitForOutput("serving");
    viewer.CloseOutput();
    const double sent = lab::NowMs();
    CWinLogImpl().LogInfo("nobody reads this");
    const DWORD exitCode = viewer.ExitCode(5000);
    const std::string told = ombru::FormatString(
        "log_viewer: cannot write to the output (error %lu); stopping\n"
        "log_viewer: 1 records taken and not printed\n",
        expected);
    ok(exitCode == 3 && viewer.Output().find(told) != std::string::npos,
       "[%s]: exit code %lu, error %lu expected:\n%s", arguments, exitCode, expected,
       viewer.Output().c_str());
    lab::LogCollector next;
    ok(next.Running() && lab::NowMs() - sent < 2000, "[%s]: the names were not free in time\n",
       arguments);
  }
  {
    // Standard error does not read either: the two lines are not written, and the viewer ends
    // all the same.
    Viewer viewer("", true, true);
    viewer.WaitForOutput("serving");
    viewer.StallErrors();
    viewer.CloseOutput();
    CWinLogImpl().LogInfo("nobody reads this");
    const DWORD exitCode = viewer.ExitCode(5000);
    ok(exitCode == 3, "standard error not read: exit code %lu\n", exitCode);
  }
  // The output fails while the viewer prints what is queued after Ctrl+Break.
  Viewer viewer("--raw --queue 50", true);
  viewer.WaitForOutput("serving");
  LogNumbered("interrupted", 200);
  viewer.Control(CTRL_BREAK_EVENT);
  // The names are free once the server has stopped, before the queue is printed.
  lab::PollUntil([] { return !PipesExist(); }, 5000);
  viewer.CloseOutput();
  const DWORD exitCode = viewer.ExitCode(5000);
  const std::string output = viewer.Output();
  ok(exitCode == 3 &&
         output.find("log_viewer: cannot write to the output (error ") != std::string::npos &&
         output.find("); stopping\nlog_viewer: ") != std::string::npos &&
         output.find(" records taken and not printed\n") != std::string::npos,
     "Ctrl+Break: exit code %lu:\n%s", exitCode, output.c_str());
}

namespace {

// The server's system calls, one of which fails at its n-th call with ERROR_NOT_ENOUGH_MEMORY;
// instance creation may instead fail after the first instance of each pipe, with access denied.
struct FailingCall {
  const char* call = "";
  int nth = 0;
  bool oneInstance = false;
  int seen = 0;
} failing;

bool Fails(const char* call) {
  if (std::string(call) != failing.call || ++failing.seen != failing.nth)
    return false;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return true;
}

viewer::SystemCalls FailingCalls() {
  viewer::SystemCalls calls;
  calls.createNamedPipe = [](LPCSTR name, DWORD open, DWORD mode, DWORD instances, DWORD out,
                             DWORD in, DWORD timeout, LPSECURITY_ATTRIBUTES security) -> HANDLE {
    if (failing.oneInstance && !(open & FILE_FLAG_FIRST_PIPE_INSTANCE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    return CreateNamedPipeA(name, open, mode, instances, out, in, timeout, security);
  };
  calls.createIoCompletionPort = [](HANDLE file, HANDLE port, ULONG_PTR key,
                                    DWORD threads) -> HANDLE {
    return Fails("CreateIoCompletionPort") ? nullptr
                                           : CreateIoCompletionPort(file, port, key, threads);
  };
  calls.createThread = [](LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                          LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                          LPDWORD id) -> HANDLE {
    return Fails("CreateThread") ? nullptr
                                 : CreateThread(security, stack, start, parameter, flags, id);
  };
  calls.createEvent = [](LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial,
                         LPCSTR name) -> HANDLE {
    return Fails("CreateEventA") ? nullptr : CreateEventA(security, manual, initial, name);
  };
  calls.postQueuedCompletionStatus = [](HANDLE port, DWORD bytes, ULONG_PTR key,
                                        LPOVERLAPPED overlapped) -> BOOL {
    return !Fails("PostQueuedCompletionStatus") &&
           PostQueuedCompletionStatus(port, bytes, key, overlapped);
  };
  return calls;
}

}  // namespace

START_TEST(failed_start_calls_leave_nothing_behind) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  // The workers: two a processor, at least four; the supervisor comes after them.
  const int supervisor = std::max(4, 2 * static_cast<int>(system.dwNumberOfProcessors)) + 1;
  const struct {
    const char* call;
    int nth;
  } cases[] = {
      {"CreateEventA", 1},
      {"CreateEventA", 2},              // quit, then retired
      {"CreateIoCompletionPort", 1},    // the port
      {"CreateIoCompletionPort", 300},  // an instance's tie to it
      {"CreateThread", 1},
      {"CreateThread", 2},
      {"CreateThread", supervisor},
      {"PostQueuedCompletionStatus", 1},  // the first listening to begin
      {"PostQueuedCompletionStatus", 400},
  };
  for (const auto& c : cases) {
    failing = {c.call, c.nth};
    const DWORD handlesBefore = lab::HandleCountOf(GetCurrentProcessId());
    viewer::LogPipeServer::Failure failure;
    bool started = true;
    {
      viewer::LogPipeServer::Options options;
      options.calls = FailingCalls();
      viewer::LogPipeServer server([](const viewer::ClientMessage&) {}, options);
      started = server.Start(failure);
      ok(!PipesExist(), "%s %d: a pipe is left\n", c.call, c.nth);
    }
    const DWORD handlesAfter = lab::HandleCountOf(GetCurrentProcessId());
    const std::string told =
        Told([&](std::FILE* errors) { viewer::RefuseToServe(failure, errors); });
    const std::string expected =
        std::string("log_viewer: cannot serve the log pipes: ") + c.call + " failed (error 8)\n";
    ok(!started && failure.reason == viewer::LogPipeServer::Failure::Reason::System &&
           told == expected,
       "%s %d: started %d, told %s", c.call, c.nth, started, told.c_str());
    ok(handlesAfter == handlesBefore, "%s %d: %lu handles before, %lu after\n", c.call, c.nth,
       handlesBefore, handlesAfter);
  }
  failing = {};
}

START_TEST(short_of_instances_told_and_served) {
  // Instance creation fails after the first of each pipe, as it does on Windows for an account
  // the pipe's DACL does not let create instances.
  failing = {};
  failing.oneInstance = true;
  viewer::LogPipeServer::Options options;
  options.calls = FailingCalls();
  viewer::LogPipeServer server([](const viewer::ClientMessage&) {}, options);
  viewer::LogPipeServer::Failure failure;
  ok(server.Start(failure), "did not start: error %lu\n", failure.error);
  std::string told;
  for (const auto& shortfall : server.Shortfalls())
    told += Told([&](std::FILE* errors) { viewer::TellShortfall(shortfall, errors); });
  std::string expected;
  for (const char* pipe : {"\\\\.\\pipe\\VLM.Log.Info", "\\\\.\\pipe\\VLM.Log"}) {
    expected += std::string("log_viewer: serving only 1 of 255 instances of ") + pipe +
                " (error 5): agents writing at the same moment may find it busy and lose "
                "records\n";
  }
  ok(told == expected, "told:\n%s", told.c_str());
  // One instance a pipe listens: the second client finds it busy.
  for (const lab::LogPipe* pipe : {&lab::InfoPipe(), &lab::RecordPipe()}) {
    const ombru::FileHandle first = Connect(pipe->name);
    const ombru::FileHandle second = Connect(pipe->name);
    const DWORD error = GetLastError();
    ok(first && !second && error == ERROR_PIPE_BUSY, "%s: first %d, second %d, error %lu\n",
       pipe->name, static_cast<bool>(first), static_cast<bool>(second), error);
  }
  failing = {};
}

START_TEST(cut_off_never_lands_on_the_next_client) {
  // One instance a pipe, clients cut off after 300 ms. The supervisor is held between its look at
  // a late client and the cut-off; meanwhile that client completes its message and the next one
  // connects to the same instance. Only then is the cut-off let through, and the next client
  // writes.
  failing = {};
  failing.oneInstance = true;
  const lab::Handle paused(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const lab::Handle resume(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const lab::Handle cutOff(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const lab::Handle readIssued(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  std::atomic<bool> heldOnce{false};
  std::mutex lock;
  std::vector<std::string> received;
  viewer::LogPipeServer::Options options;
  options.calls = FailingCalls();
  options.clientDeadlineMs = 300;
  options.pause = [&](viewer::LogPipeServer::PausePoint point) {
    using Point = viewer::LogPipeServer::PausePoint;
    if (point == Point::ReadIssued) {
      SetEvent(readIssued.Get());
    } else if (point == Point::BeforeCutOff && !heldOnce.exchange(true)) {
      SetEvent(paused.Get());
      WaitForSingleObject(resume.Get(), 10000);
    } else if (point == Point::AfterCutOff) {
      SetEvent(cutOff.Get());
    }
  };
  viewer::LogPipeServer server(
      [&](const viewer::ClientMessage& message) {
        const std::lock_guard<std::mutex> hold(lock);
        received.push_back(message.outcome == viewer::ClientMessage::Outcome::Whole ? message.bytes
                                                                                    : "cut off");
      },
      options);
  viewer::LogPipeServer::Failure failure;
  ok(server.Start(failure), "did not start\n");

  const auto connect = [] {
    WaitNamedPipeA(lab::InfoPipe().name, 5000);
    return Connect(lab::InfoPipe().name);
  };
  const auto write = [](const ombru::FileHandle& client, const std::string& message) {
    DWORD written = 0;
    return WriteFile(client.Get(), message.data(), static_cast<DWORD>(message.size()), &written,
                     nullptr) != FALSE;
  };
  ombru::FileHandle late = connect();
  ok(WaitForSingleObject(paused.Get(), 5000) == WAIT_OBJECT_0, "no client cut off\n");
  ResetEvent(readIssued.Get());  // the late client's
  ok(write(late, "late"), "the late client could not write\n");
  late.Reset();
  ombru::FileHandle next;
  std::thread connecting([&] { next = connect(); });
  // The next client's read, if the server lets one be issued before the cut-off.
  WaitForSingleObject(readIssued.Get(), 1000);
  SetEvent(resume.Get());
  WaitForSingleObject(cutOff.Get(), 5000);
  connecting.join();
  ok(static_cast<bool>(next) && write(next, "next"), "the next client could not write\n");
  next.Reset();
  lab::PollUntil(
      [&] {
        const std::lock_guard<std::mutex> hold(lock);
        return received.size() >= 2;
      },
      5000);
  const std::lock_guard<std::mutex> hold(lock);
  std::string all;
  for (const std::string& message : received)
    all += "[" + message + "]";
  ok(all == "[late][next]", "received %s\n", all.c_str());
  failing = {};
}

START_TEST(stop_gives_a_silent_client_only_its_grace) {
  // Ctrl+C while a client is connected and silent: it holds the end up by the stop's grace
  // (0.5 s), not by its own 3 s, and the names are free within the promised 2 s.
  Viewer viewer("");
  viewer.WaitForOutput("serving");
  const ombru::FileHandle client = Connect(lab::InfoPipe().name);
  ok(static_cast<bool>(client), "the client could not connect\n");
  const double stopped = lab::NowMs();
  viewer.Control(CTRL_C_EVENT);
  const DWORD exitCode = viewer.ExitCode(5000);
  const double ms = lab::NowMs() - stopped;
  lab::LogCollector next;
  ok(exitCode == 0 && ms < 2000 && next.Running(), "exit code %lu after %.0f ms\n", exitCode, ms);
}

START_TEST(client_completing_within_the_stop_grace_is_taken) {
  // A client connected and not yet written when the server stops completes its message once two
  // sweeps have looked at it since the stop began: well within the grace, it is taken whole.
  const lab::Handle readIssued(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  const lab::Handle stopping(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const lab::Handle swept(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  viewer::LogPipeServer::Options options;
  options.pause = [&](viewer::LogPipeServer::PausePoint point) {
    using Point = viewer::LogPipeServer::PausePoint;
    if (point == Point::ReadIssued)
      SetEvent(readIssued.Get());
    if (point == Point::Stopping)
      SetEvent(stopping.Get());
    if (point == Point::Swept && WaitForSingleObject(stopping.Get(), 0) == WAIT_OBJECT_0)
      SetEvent(swept.Get());
  };
  std::mutex lock;
  std::string received;
  viewer::LogPipeServer server(
      [&](const viewer::ClientMessage& message) {
        const std::lock_guard<std::mutex> hold(lock);
        received +=
            message.outcome == viewer::ClientMessage::Outcome::Whole ? message.bytes : "[cut off]";
      },
      options);
  viewer::LogPipeServer::Failure failure;
  ok(server.Start(failure), "did not start\n");
  const ombru::FileHandle client = Connect(lab::InfoPipe().name);
  WaitForSingleObject(readIssued.Get(), 5000);
  std::thread stop([&] { server.Stop(); });
  WaitForSingleObject(stopping.Get(), 5000);
  for (int sweeps = 0; sweeps < 2; ++sweeps)
    WaitForSingleObject(swept.Get(), 5000);
  DWORD written = 0;
  const bool wrote = WriteFile(client.Get(), "late", 4, &written, nullptr);
  stop.join();
  const std::lock_guard<std::mutex> hold(lock);
  ok(wrote && received == "late", "wrote %d, received [%s]\n", wrote, received.c_str());
}
