// The log's pipe sinks against the collector stand-in, from inside the test process.
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "harness/test.h"
#include "log/debug_output.h"
#include "log/win_log_impl.h"
#include "drivers/debug_output.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"

using lab::InfoPipe;
using lab::RecordPipe;

namespace {

std::string Nul(const std::string& text) { return text + std::string(1, '\0'); }

std::string InfoRecord(const char* message, DWORD threadId) {
  return Nul(ombru::FormatString("%s|%lu|%s", message, threadId, lab::OwnPath().c_str()));
}

// Logs `message`, which must take one wait of about 1000 ms.
void LogAfterOneWait(const char* message) {
  CWinLogImpl log;
  const double start = lab::NowMs();
  log.LogInfo(message);
  const double elapsed = lab::NowMs() - start;
  ok(elapsed >= 900 && elapsed < 3000, "%s: one wait of about 1000 ms expected, took %.0f ms\n",
     message, elapsed);
}

DWORD WINAPI LogFromThread(void* log) {
  static_cast<CWinLogImpl*>(log)->LogInfo("from another thread");
  return 0;
}

}  // namespace

START_TEST(info_records_arrive_byte_exact) {
  lab::LogCollector collector;
  ok(collector.Running(), "collector did not start\n");
  CWinLogImpl log;
  const char* messages[] = {"Detected shell start", "", "a|b|c", "%s%n%d 100%", nullptr};
  for (const char* message : messages)
    log.LogInfo(message);

  const auto got = collector.WaitForMessages(InfoPipe(), 5);
  ok(got.size() == 5, "got %zu information records\n", got.size());
  for (size_t i = 0; i < got.size() && i < 5; ++i) {
    const std::string expected = InfoRecord(messages[i] ? messages[i] : "", GetCurrentThreadId());
    ok(got[i] == expected, "record %zu: got [%s], expected [%s]\n", i, got[i].c_str(),
       expected.c_str());
  }
  ok(collector.Messages(RecordPipe()).empty(), "nothing on the record pipe\n");

  DWORD threadId = 0;
  const ombru::Handle thread(CreateThread(nullptr, 0, LogFromThread, &log, 0, &threadId));
  WaitForSingleObject(thread.Get(), INFINITE);
  const auto all = collector.WaitForMessages(InfoPipe(), 6);
  ok(all.size() == 6 && all[5] == InfoRecord("from another thread", threadId),
     "the calling thread's id: [%s]\n", all.size() < 6 ? "" : all[5].c_str());
}

START_TEST(structured_records_arrive_in_field_order) {
  lab::LogCollector collector;
  CWinLogImpl log;
  log.Reserved();  // no effect: nothing beyond the three records below arrives anywhere
  log.LogRecord(1, 2, "four", "five", 3, "six", "seven", 8);
  log.LogRecord(-1, 0, nullptr, nullptr, 0, nullptr, nullptr, -8);
  log.LogRecord(0, 0, "a|b", "%s", 0, "", "N/A", 0);

  const DWORD tid = GetCurrentThreadId();
  const std::string expected[] = {
      Nul(ombru::FormatString("1|2|3|four|five|six|seven|8|%lu", tid)),
      Nul(ombru::FormatString("-1|0|0|N/A|N/A|N/A|N/A|-8|%lu", tid)),
      Nul(ombru::FormatString("0|0|0|a|b|%%s||N/A|0|%lu", tid)),
  };
  const auto got = collector.WaitForMessages(RecordPipe(), 3);
  ok(got.size() == 3, "got %zu structured records\n", got.size());
  for (size_t i = 0; i < got.size() && i < 3; ++i) {
    ok(got[i] == expected[i], "record %zu: got [%s], expected [%s]\n", i, got[i].c_str(),
       expected[i].c_str());
  }
  ok(collector.Messages(InfoPipe()).empty(), "nothing on the information pipe\n");
}

START_TEST(no_collector_drops_silently) {
  lab::DebugOutputCapture debug;
  CWinLogImpl log;
  const double start = lab::NowMs();
  log.LogInfo("nobody listens");
  log.LogRecord(1, 2, "3", "4", 5, "6", "7", 8);
  const double elapsed = lab::NowMs() - start;
  ok(elapsed < 500, "no pipe means no wait, took %.0f ms\n", elapsed);
  Sleep(100);
  ok(debug.Texts(GetCurrentProcessId()).empty(), "no debug output expected\n");
}

START_TEST(byte_mode_pipe_reports_to_debugger) {
  lab::LogCollector collector("byte");
  lab::DebugOutputCapture debug;
  CWinLogImpl log;
  log.LogInfo("byte mode");
  const auto texts = debug.WaitForTexts(GetCurrentProcessId(), 2);
  ok(texts.size() == 2, "got %zu debug outputs\n", texts.size());
  if (texts.size() == 2) {
    ok(texts[0] == "Error 87 setting pipe handle state:", "first output [%s]\n", texts[0].c_str());
    const std::string record = InfoRecord("byte mode", GetCurrentThreadId());
    ok(texts[1] == record.substr(0, record.size() - 1), "second output [%s]\n", texts[1].c_str());
  }
  Sleep(100);
  ok(collector.Messages(InfoPipe()).empty(), "a byte-mode pipe receives nothing\n");
}

START_TEST(busy_pipe_waits_once_then_drops) {
  lab::LogCollector collector("busy");
  lab::DebugOutputCapture debug;
  LogAfterOneWait("busy");
  ok(debug.Texts(GetCurrentProcessId()).empty(), "a busy pipe writes no debug output\n");
}

START_TEST(busy_pipe_freed_within_the_wait_takes_the_record) {
  lab::LogCollector collector("briefly-busy");
  CWinLogImpl().LogInfo("after the wait");
  const auto got = collector.WaitForMessages(InfoPipe(), 1);
  ok(got.size() == 1 && got[0] == InfoRecord("after the wait", GetCurrentThreadId()),
     "%zu records\n", got.size());
}

START_TEST(unread_record_is_given_up_whole) {
  // A server that accepts and never reads, with no buffer to take the message.
  const ombru::FileHandle server(CreateNamedPipeA(InfoPipe().name, PIPE_ACCESS_DUPLEX,
                                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 0,
                                                  0, 0, nullptr));
  ok(static_cast<bool>(server), "no pipe: %lu\n", GetLastError());
  lab::DebugOutputCapture debug;
  LogAfterOneWait("never read");
  const auto texts = debug.WaitForTexts(GetCurrentProcessId(), 2);
  const std::string record = InfoRecord("never read", GetCurrentThreadId());
  ok(texts.size() == 2 && texts[0] == "Error 995 writing message into pipe:" &&
         texts[1] == record.substr(0, record.size() - 1),
     "debug output %s\n", lab::Bracketed(texts).c_str());
  DWORD available = 0;
  ok(!PeekNamedPipe(server.Get(), nullptr, 0, nullptr, &available, nullptr) || available == 0,
     "%lu bytes of the given-up record arrived\n", available);
}

START_TEST(debug_output_never_waits_for_its_monitor) {
  // A monitor that takes the first line and then nothing until it is let go.
  const ombru::Handle taken(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const ombru::Handle letGo(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::vector<std::string> written;
  ombru::DebugOutputWriter writer(
      [&](const char* line) {
        SetEvent(taken.Get());
        WaitForSingleObject(letGo.Get(), INFINITE);
        written.push_back(line);
      },
      {4, 64});
  writer.Enqueue({"first"});
  WaitForSingleObject(taken.Get(), 5000);
  // Four lines wait; what comes after them does not fit, a pair only together, and neither do
  // more bytes than the queue holds.
  writer.Enqueue({"a", "b"});
  writer.Enqueue({"c"});
  writer.Enqueue({"d", "e"});
  writer.Enqueue({"f"});
  writer.Enqueue({"g"});
  ok(!writer.Flush(100) && writer.Dropped() == 3, "flushed past a stalled monitor, %zu dropped\n",
     writer.Dropped());
  SetEvent(letGo.Get());
  ok(writer.Flush(5000), "not flushed once the monitor reads\n");
  // 63 characters and the line's end fill the 64 bytes exactly; 64 characters do not fit.
  writer.Enqueue({std::string(63, 'y')});
  ok(writer.Flush(5000), "not flushed\n");
  writer.Enqueue({std::string(64, 'x')});
  writer.Enqueue({"last"});
  ok(writer.Flush(5000) && writer.Dropped() == 4, "%zu dropped\n", writer.Dropped());
  std::string lines;
  for (const std::string& line : written)
    lines += "[" + line + "]";
  ok(lines == "[first][a][b][c][f][" + std::string(63, 'y') + "][last]", "written %s\n",
     lines.c_str());
}

START_TEST(failing_records_reach_the_debug_output_in_whole_pairs) {
  // Four threads log into a byte-mode pipe at once, so that every record fails and goes to the
  // debug output with its error line, while a monitor holds its mutex: the program's writer is
  // stuck in its first line and 1024 lines wait at most. 1 + 2 * 511 lines fill the queue but
  // for one line, which no pair fits: each pair arrives whole, in order, or not at all.
  lab::LogCollector collector("byte");
  lab::DebugOutputCapture debug;
  {
    const lab::StalledDebugMonitor monitor(lab::StalledDebugMonitor::Stall::HoldsMutex);
    // Until pairs no longer fit (some records find the collector busy, and fail silently).
    const size_t dropped = ombru::DebugOutput().Dropped();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([dropped] {
        CWinLogImpl log;
        for (int i = 0; i < 2000 && ombru::DebugOutput().Dropped() < dropped + 2; ++i)
          log.LogInfo(("pair " + std::to_string(i)).c_str());
      });
    for (std::thread& thread : threads)
      thread.join();
  }
  const auto texts = debug.WaitForTexts(GetCurrentProcessId(), 1024, 30000);
  size_t pairs = 0, broken = 0;
  for (size_t i = 0; i < texts.size(); i += 2) {
    const bool whole = texts[i] == "Error 87 setting pipe handle state:" && i + 1 < texts.size() &&
                       texts[i + 1].compare(0, 5, "pair ") == 0;
    pairs += whole;
    broken += !whole;
  }
  ok(pairs == 512 && broken == 0, "%zu lines: %zu pairs whole, %zu broken\n", texts.size(), pairs,
     broken);
}

namespace {

// Whether a collector's descriptor that gives interactive users and everyone only what a client
// needs (reading and writing, never FILE_CREATE_PIPE_INSTANCE, 0x4) lets this process's user
// open a pipe for `access`. Wine enforces no pipe DACL, so AccessCheck answers. The descriptor has
// no entries for SYSTEM or Administrators: this user may be an administrator, who would be
// admitted whatever the client rights. AccessCheck wants an owner and a group as well.
bool Admits(ACCESS_MASK access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ombru::Handle process, token;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          "O:SYG:SYD:P(A;;0x12019b;;;IU)(A;;0x12019b;;;WD)", SDDL_REVISION_1, &descriptor,
          nullptr) ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.Put()) ||
      !DuplicateToken(process.Get(), SecurityImpersonation, token.Put())) {
    LocalFree(descriptor);
    return false;
  }
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges = {};
  DWORD privilegesSize = sizeof(privileges);
  DWORD granted = 0;
  BOOL status = FALSE;
  const BOOL checked = AccessCheck(descriptor, token.Get(), access, &mapping, &privileges,
                                   &privilegesSize, &granted, &status);
  LocalFree(descriptor);
  return checked && status && granted == access;
}

DWORD WINAPI LogHeldRecord(void*) {
  CWinLogImpl().LogInfo("held");
  return 0;
}

}  // namespace

START_TEST(pipe_opened_for_writing_and_nothing_more) {
  // A collector that never reads: the record's write holds the agent's handle open a while.
  lab::LogCollector stalled("stall");
  ombru::Handle writer(CreateThread(nullptr, 0, LogHeldRecord, nullptr, CREATE_SUSPENDED, nullptr));
  std::vector<HANDLE> before;
  for (const lab::HeldHandle& held : lab::HandlesOf(GetCurrentProcessId()))
    before.push_back(held.value);
  ResumeThread(writer.Get());
  ACCESS_MASK access = 0;
  lab::PollUntil(
      [&] {
        for (const lab::HeldHandle& held : lab::HandlesOf(GetCurrentProcessId())) {
          DWORD flags = 0;
          if (std::find(before.begin(), before.end(), held.value) == before.end() &&
              GetNamedPipeInfo(held.value, &flags, nullptr, nullptr, nullptr))
            access = held.grantedAccess;
        }
        return access != 0;
      },
      900);
  WaitForSingleObject(writer.Get(), 5000);
  ok((access & FILE_WRITE_DATA) && (access & FILE_WRITE_ATTRIBUTES) &&
         !(access & FILE_CREATE_PIPE_INSTANCE) && !(access & 0xF0000000),
     "the agent's pipe handle was granted %#lx\n", access);
  ok(Admits(access), "a collector granting only %#x does not admit %#lx\n", 0x12019b, access);
}
