// Stand-in for the runtime's log collector. Serves "\\.\pipe\VLM.Log.Info" and "\\.\pipe\VLM.Log"
// and appends every message it takes to a file, as: pipe letter ('I' or 'R'), 32-bit
// little-endian length, the message's exact bytes.
//
//   log_collector.exe OUTPUT READY-EVENT STOP-EVENT
//                     [message|byte|busy|briefly-busy|many|stall|wide|wide-naming]
//
// It refuses to start (exit code 4) while either pipe is served by someone else.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/handle.h"
#include "common/little_endian.h"
#include "common/log_pipe_server.h"

namespace {

lab::PipeBehaviour ParseBehaviour(const char* text) {
  static const struct {
    const char* name;
    lab::PipeBehaviour behaviour;
  } kNames[] = {
      {"message", lab::PipeBehaviour::Message}, {"byte", lab::PipeBehaviour::Byte},
      {"busy", lab::PipeBehaviour::Busy},       {"briefly-busy", lab::PipeBehaviour::BrieflyBusy},
      {"many", lab::PipeBehaviour::Many},       {"stall", lab::PipeBehaviour::Stall},
      {"wide", lab::PipeBehaviour::Wide},       {"wide-naming", lab::PipeBehaviour::WideNaming}};
  for (const auto& known : kNames) {
    if (std::strcmp(text, known.name) == 0)
      return known.behaviour;
  }
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4)
    return 2;
  static const lab::Handle output(CreateFileA(argv[1], GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output)
    return 3;
  static std::mutex outputLock;
  const auto record = [](const lab::LogPipe& pipe, const std::string& bytes) {
    std::string entry(1, pipe.letter);
    lab::AppendUInt32(entry, static_cast<uint32_t>(bytes.size()));
    entry += bytes;
    const std::lock_guard<std::mutex> hold(outputLock);
    DWORD written = 0;
    WriteFile(output.Get(), entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
  };
  const lab::PipeBehaviour behaviour = ParseBehaviour(argc > 4 ? argv[4] : "message");
  DWORD error = 0;
  if (!lab::ServeLogPipes(behaviour, record, error))
    return 4;
  const lab::Handle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
  const lab::Handle stop(OpenEventA(SYNCHRONIZE, FALSE, argv[3]));
  SetEvent(ready.Get());
  WaitForSingleObject(stop.Get(), INFINITE);
  // The serving threads end with the process, wherever they are.
  ExitProcess(0);
}
