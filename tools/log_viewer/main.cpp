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
// go to standard error. Ctrl+C or Ctrl+Break ends it. It refuses to start, with exit code 1, when
// it cannot protect its pipes (their security descriptor cannot be built), and while another
// collector or viewer serves either pipe: clients take whichever instance is free, so both would
// lose records.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log_viewer/clock.h"
#include "log_viewer/pipe_server.h"
#include "log_viewer/print_queue.h"
#include "log_viewer/record_text.h"
#include "log_viewer/refusal.h"

namespace {

// The log collector's own buffer: no record of the agent comes near it.
constexpr size_t kLargestMessage = 64 * 1024;

HANDLE stopRequested = nullptr;

BOOL WINAPI OnConsoleControl(DWORD control) {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT && control != CTRL_CLOSE_EVENT)
    return FALSE;
  SetEvent(stopRequested);
  return TRUE;
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

void Write(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: log_viewer.exe [--raw | --json] [--epoch MS] [--queue RECORDS]\n");
    return 2;
  }
  const ombru::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  stopRequested = stop.Get();
  const UINT codePage = GetACP();

  viewer::PrintQueue queue(
      options.queue,
      [&](const viewer::Received& received) {
        const viewer::Output output =
            viewer::Render(received, options.format, options.epochMs, codePage);
        Write(output.notice ? stderr : stdout, output.text);
      },
      [](size_t dropped) {
        Write(stderr, "log_viewer: " + std::to_string(dropped) +
                          " records dropped while the output was not being read\n");
      });
  viewer::LogPipeServer server(
      [&](const viewer::ClientMessage& message) {
        viewer::Received received = {message, viewer::NowMs(), {}};
        GetSystemTime(&received.utc);
        queue.Push(std::move(received));
      },
      kLargestMessage);
  viewer::LogPipeServer::Failure failure;
  if (!server.Start(failure))
    return viewer::RefuseToServe(failure, stderr);
  std::fprintf(stderr, "log_viewer: serving %s and %s\n", viewer::InfoPipe().name,
               viewer::RecordPipe().name);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  WaitForSingleObject(stop.Get(), INFINITE);
  return 0;  // the server stops first, then what is queued is printed
}
