// The log viewer for administrators: serves "\\.\pipe\VLM.Log.Info" and "\\.\pipe\VLM.Log" the
// way the runtime's log collector does and prints every record as it arrives, one field a line.
//
//   log_viewer.exe [--raw | --json] [--epoch MS] [--queue RECORDS]
//
// --raw            one line per record, exactly as received (the closing NUL shown as \0, other
//                  control characters as \xNN)
// --json           one JSON object per record and line (UTF-8), for log shippers; nothing else
//                  goes to standard output
// --epoch MS       print times relative to this performance-counter reading in milliseconds
//                  (default: the viewer's own start)
// --queue RECORDS  how many records may wait for a console that does not read (default 10000)
//
// Notices (a message too large, a silent client, records dropped while the console did not read)
// go to standard error. When standard output fails (its reader is gone, the disk is full), it
// stops serving at once, so that the runtime's collector can take the pipes, says so with how many
// records it had taken and not printed, and ends with exit code 3. Ctrl+C or Ctrl+Break ends it
// within about 2 s, printing what is queued if the console takes it in that time and saying how
// many records it dropped otherwise; when its console is closed it prints what is queued before the
// system ends it. It refuses to start, with exit code 1, when it cannot protect its pipes (their
// security descriptor cannot be built), when a system call it needs fails, and while another
// collector or viewer serves either pipe: clients take whichever instance is free, so both would
// lose records.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "framework/unique_handle.h"
#include "log_viewer/clock.h"
#include "log_viewer/pipe_server.h"
#include "log_viewer/print_queue.h"
#include "log_viewer/record_text.h"
#include "log_viewer/refusal.h"

namespace {

// The log collector's own buffer: no record of the agent comes near it.
constexpr size_t kLargestMessage = 64 * 1024;
constexpr int kExitOutputFailed = 3;
// How long what is queued may take to print once the viewer is told to end: after Ctrl+C or
// Ctrl+Break it ends within about 2 s; when its console is closed, or the user logs off or the
// system shuts down, the system ends it about 5 s after the event, so the handler waits at most
// kSystemEndMs for the queue to be printed.
constexpr DWORD kInterruptedEndMs = 1500;
constexpr DWORD kSystemEndMs = 4000;
constexpr DWORD kLastWordMs = 300;

HANDLE stopRequested = nullptr;
HANDLE ended = nullptr;
// Set when the system will end the viewer: what is queued is printed until then, counted from
// the event, whatever the stop of the server took.
std::atomic<double> systemEndsAtMs{std::numeric_limits<double>::infinity()};
std::atomic<bool> outputFailed{false};
std::atomic<unsigned long> outputError{0};

BOOL WINAPI OnConsoleControl(DWORD control) {
  switch (control) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      SetEvent(stopRequested);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process once this returns: not before what is queued is printed.
      systemEndsAtMs = viewer::NowMs() + kSystemEndMs;
      SetEvent(stopRequested);
      WaitForSingleObject(ended, kSystemEndMs);
      return TRUE;
  }
  return FALSE;
}

DWORD WINAPI WriteLastWord(void* text) {
  const auto* word = static_cast<const std::string*>(text);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), word->data(), static_cast<DWORD>(word->size()),
            &written, nullptr);
  return 0;
}

// Says the last word on standard error, if it takes it in time, and ends at once with
// `exitCode`. The printer may be stuck in a console that does not read, holding the C runtime's
// lock on standard output, which an ordinary exit would wait for too; a standard error that does
// not read holds up the word, never the end. Does not return.
[[noreturn]] void EndSaying(const std::string& word, UINT exitCode) {
  const ombru::Handle writer(
      CreateThread(nullptr, 0, WriteLastWord, const_cast<std::string*>(&word), 0, nullptr));
  WaitForSingleObject(writer.Get(), kLastWordMs);
  TerminateProcess(GetCurrentProcess(), exitCode);
  for (;;)
    Sleep(INFINITE);  // not reached: the process has ended
}

// How long what is queued may take to print, once the server has stopped.
DWORD FinishWithinMs() {
  const double left = systemEndsAtMs - kLastWordMs - viewer::NowMs();
  if (left == std::numeric_limits<double>::infinity())
    return kInterruptedEndMs;
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

struct Options {
  viewer::Format format = viewer::Format::Fields;
  double epochMs = viewer::NowMs();
  size_t queue = 10000;
};

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--raw") == 0) {
      options.format = viewer::Format::Raw;
    } else if (std::strcmp(argv[i], "--json") == 0) {
      options.format = viewer::Format::Json;
    } else if (std::strcmp(argv[i], "--epoch") == 0 && i + 1 < argc) {
      options.epochMs = std::strtod(argv[++i], nullptr);
    } else if (std::strcmp(argv[i], "--queue") == 0 && i + 1 < argc) {
      options.queue = std::strtoul(argv[++i], nullptr, 10);
      if (options.queue == 0)
        return false;
    } else {
      return false;
    }
  }
  return true;
}

// False, with the system's error kept, when the stream did not take the text. A console that does
// not read holds the write up; it does not fail it.
bool Write(FILE* stream, const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0)
    return true;
  outputError = _doserrno;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: log_viewer.exe [--raw | --json] [--epoch MS] [--queue RECORDS]\n");
    return 2;
  }
  const ombru::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const ombru::Handle end(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  stopRequested = stop.Get();
  ended = end.Get();
  const UINT codePage = GetACP();

  viewer::PrintQueue queue(
      options.queue,
      [&](const viewer::Received& received) {
        const viewer::Output output =
            viewer::Render(received, options.format, options.epochMs, codePage);
        if (output.notice) {
          Write(stderr, output.text);
          return true;
        }
        return Write(stdout, output.text);
      },
      [](size_t dropped) {
        Write(stderr, "log_viewer: " + std::to_string(dropped) +
                          " records dropped while the output was not being read\n");
      },
      [] {
        outputFailed = true;
        SetEvent(stopRequested);
      });
  {
    viewer::LogPipeServer::Options serving;
    serving.largestMessage = kLargestMessage;
    viewer::LogPipeServer server(
        [&](const viewer::ClientMessage& message) {
          viewer::Received received = {message, viewer::NowMs(), {}};
          GetSystemTime(&received.utc);
          queue.Push(std::move(received));
        },
        serving);
    viewer::LogPipeServer::Failure failure;
    if (!server.Start(failure))
      return viewer::RefuseToServe(failure, stderr);
    // Served all the same: fewer instances lose records only to a burst, none lose every record.
    for (const viewer::LogPipeServer::Shortfall& shortfall : server.Shortfalls())
      viewer::TellShortfall(shortfall, stderr);
    std::fprintf(stderr, "log_viewer: serving %s and %s\n", viewer::InfoPipe().name,
                 viewer::RecordPipe().name);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WaitForSingleObject(stop.Get(), INFINITE);
  }  // no record comes in any more, and the pipes are free
  // The output may also fail while what is queued is printed.
  const size_t unprinted = queue.Finish(outputFailed ? 0 : FinishWithinMs());
  if (outputFailed) {
    EndSaying("log_viewer: cannot write to the output (error " +
                  std::to_string(outputError.load()) + "); stopping\nlog_viewer: " +
                  std::to_string(unprinted) + " records taken and not printed\n",
              kExitOutputFailed);
  }
  if (unprinted) {
    EndSaying("log_viewer: " + std::to_string(unprinted) +
                  " records dropped at the end: the output was not being read\n",
              0);
  }
  SetEvent(end.Get());
  return 0;
}
