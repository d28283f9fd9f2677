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

START_TEST(pipes_admit_local_interactive_users_system_and_administrators) {
  Viewer viewer("");
  viewer.WaitForOutput("serving");
  for (const lab::LogPipe* pipe : {&lab::InfoPipe(), &lab::RecordPipe()}) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetNamedSecurityInfoA(pipe->name, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                              nullptr, nullptr, nullptr, nullptr, &descriptor);
    char* text = nullptr;
    if (error == ERROR_SUCCESS) {
      ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    }
    ok(text && std::string(text) == "D:P(A;;0x12019b;;;IU)(A;;FA;;;SY)(A;;FA;;;BA)",
       "%s: error %lu, DACL %s\n", pipe->name, error, text ? text : "");
    LocalFree(text);
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

START_TEST(refuses_to_serve_pipes_it_cannot_protect) {
  viewer::LogPipeServer server([](const viewer::ClientMessage&) {},
                               viewer::LogPipeServer::kUnlimited, "D:(not a descriptor)");
  viewer::LogPipeServer::Failure failure;
  ok(!server.Start(failure) && failure.reason == viewer::LogPipeServer::Failure::Reason::Security,
     "served without its descriptor\n");
  ok(!WaitNamedPipeA(lab::InfoPipe().name, 1) && GetLastError() == ERROR_FILE_NOT_FOUND,
     "a pipe exists\n");

  const std::string path = lab::TempPath("refusal");
  std::FILE* errors = std::fopen(path.c_str(), "wb");
  const int exitCode = viewer::RefuseToServe(failure, errors);
  std::fclose(errors);
  const std::string told = lab::FileBytes(path);
  DeleteFileA(path.c_str());
  ok(exitCode == 1 &&
         told.find("log_viewer: cannot build the pipes' security descriptor (error ") == 0 &&
         told.find("not serving pipes open to everyone\n") != std::string::npos,
     "exit code %d: %s", exitCode, told.c_str());
}

START_TEST(silent_client_holds_up_no_agent) {
  Viewer viewer("");
  viewer.WaitForOutput("serving");
  const ombru::FileHandle silent(CreateFileA(lab::InfoPipe().name, GENERIC_READ | GENERIC_WRITE, 0,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
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
  constexpr size_t kRecords = 200;
  Viewer viewer("--raw", true);
  viewer.WaitForOutput("serving");
  LogNumbered("queued", kRecords);
  // The console is closed while most records wait; the system ends the viewer once its handler
  // returns.
  std::thread closing([&] { viewer.Control(CTRL_CLOSE_EVENT); });
  Sleep(200);
  viewer.ReadOutputAgain();
  closing.join();
  ok(viewer.ExitCode(5000) != STILL_ACTIVE, "the viewer did not end\n");
  size_t printed = 0;
  lab::PollUntil(
      [&] {
        printed = viewer.PrintedRecords("queued ");
        return printed == kRecords;
      },
      5000);
  ok(printed == kRecords && viewer.DroppedRecords() == 0, "%zu of %zu printed:\n%s", printed,
     kRecords, viewer.Output().c_str());
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
        const ombru::FileHandle client(CreateFileA(lab::InfoPipe().name,
                                                   GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
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
}
