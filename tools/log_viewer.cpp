// The log viewer for administrators: serves "\\.\pipe\VLM.Log.Info" and "\\.\pipe\VLM.Log" the
// way the runtime's log collector does and prints every record as it arrives, one field a line.
//
//   log_viewer.exe [--raw] [--epoch MS]
//
// --raw       one line per record, exactly as received (the closing NUL shown as \0, other
//             control characters as \xNN)
// --epoch MS  print times relative to this performance-counter reading in milliseconds
//             (default: the viewer's own start)
// Ctrl+C or Ctrl+Break ends it. It refuses to start, with exit code 1, while another collector or
// viewer serves either pipe: clients take whichever instance is free, so both would lose records.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/clock.h"
#include "common/log_pipe_server.h"

namespace {

HANDLE stopRequested = nullptr;

BOOL WINAPI OnConsoleControl(DWORD control) {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT && control != CTRL_CLOSE_EVENT)
    return FALSE;
  SetEvent(stopRequested);
  return TRUE;
}

void Print(const lab::LogPipe& pipe, const std::string& message, bool raw, double epochMs) {
  const double seconds = (lab::NowMs() - epochMs) / 1000.0;
  if (raw) {
    std::printf("%9.3f  %-6s %s\n", seconds, pipe.label, lab::Printable(message).c_str());
  } else {
    std::printf("%9.3f  %s\n", seconds, pipe.label);
    for (const auto& field : lab::RecordFields(pipe, message))
      std::printf("           %-8s %s\n", field.first, lab::Printable(field.second).c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool raw = false;
  double epochMs = lab::NowMs();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--raw") == 0) {
      raw = true;
    } else if (std::strcmp(argv[i], "--epoch") == 0 && i + 1 < argc) {
      epochMs = std::strtod(argv[++i], nullptr);
    } else {
      std::fprintf(stderr, "usage: log_viewer.exe [--raw] [--epoch MS]\n");
      return 2;
    }
  }
  const ombru::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  stopRequested = stop.Get();
  std::mutex outputLock;
  lab::LogPipeServer server(lab::PipeBehaviour::Message,
                            [&](const lab::LogPipe& pipe, const std::string& message) {
                              const std::lock_guard<std::mutex> hold(outputLock);
                              Print(pipe, message, raw, epochMs);
                            });
  DWORD error = 0;
  const lab::LogPipe* taken = nullptr;
  if (!server.Start(error, taken)) {
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) {
      std::fprintf(stderr,
                   "log_viewer: %s is already served by another log collector or viewer; "
                   "not starting\n",
                   taken->name);
    } else {
      std::fprintf(stderr, "log_viewer: cannot serve %s (error %lu)\n", taken->name, error);
    }
    return 1;
  }
  std::fprintf(stderr, "log_viewer: serving %s and %s\n", lab::InfoPipe().name,
               lab::RecordPipe().name);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  WaitForSingleObject(stop.Get(), INFINITE);
  return 0;  // the server finishes the records it is printing before it goes
}
