#include "common/log_pipe_server.h"

#include <utility>

namespace lab {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
constexpr int kManyInstances = 4;
constexpr int kWideInstances = PIPE_UNLIMITED_INSTANCES;
constexpr DWORD kRetryMs = 100;
constexpr DWORD kBrieflyBusyMs = 300;

HANDLE CreateInstance(const LogPipe& pipe, PipeBehaviour behaviour, DWORD flags) {
  const DWORD type = behaviour == PipeBehaviour::Byte ? PIPE_TYPE_BYTE | PIPE_READMODE_BYTE
                                                      : PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;
  const bool single = behaviour == PipeBehaviour::Busy || behaviour == PipeBehaviour::BrieflyBusy;
  const DWORD instances = single ? 1 : PIPE_UNLIMITED_INSTANCES;
  // Without a buffer a client's write completes only when the server reads it.
  const DWORD buffer = behaviour == PipeBehaviour::Stall ? 0 : kBufferSize;
  const HANDLE instance = CreateNamedPipeA(pipe.name, PIPE_ACCESS_DUPLEX | flags, type | PIPE_WAIT,
                                           instances, buffer, buffer, 0, nullptr);
  return instance == INVALID_HANDLE_VALUE ? nullptr : instance;
}

bool Wide(PipeBehaviour behaviour) {
  return behaviour == PipeBehaviour::Wide || behaviour == PipeBehaviour::WideNaming;
}

// Windows refuses a first instance of an existing pipe; Wine ignores the flag, so there the count
// of the pipe's instances tells.
bool HasOtherInstances(HANDLE firstInstance) {
  DWORD instances = 0;
  return GetNamedPipeHandleStateA(firstInstance, nullptr, &instances, nullptr, nullptr, nullptr,
                                  0) &&
         instances > 1;
}

// One message, or in byte mode whatever arrives until the client closes.
std::string ReadMessage(HANDLE instance, PipeBehaviour behaviour) {
  std::string bytes;
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    const BOOL whole = ReadFile(instance, buffer, sizeof(buffer), &read, nullptr);
    bytes.append(buffer, read);
    if (whole ? behaviour != PipeBehaviour::Byte : GetLastError() != ERROR_MORE_DATA)
      return bytes;
  }
}

// Lives, like its thread, as long as the process.
struct Serving {
  const LogPipe* pipe;
  PipeBehaviour behaviour;
  MessageHandler handler;
  HANDLE next;
};

DWORD WINAPI LetGo(void* client) {
  Sleep(kBrieflyBusyMs);
  CloseHandle(client);
  return 0;
}

DWORD WINAPI Serve(void* parameter) {
  Serving& serving = *static_cast<Serving*>(parameter);
  for (;;) {
    while (!serving.next) {
      Sleep(kRetryMs);
      serving.next = CreateInstance(*serving.pipe, serving.behaviour, 0);
    }
    const HANDLE instance = std::exchange(serving.next, nullptr);
    // A fast client may have connected, written and even closed before this call: its message
    // still waits in the instance.
    const bool connected = ConnectNamedPipe(instance, nullptr) ||
                           GetLastError() == ERROR_PIPE_CONNECTED ||
                           GetLastError() == ERROR_NO_DATA;
    // A wide server has its every instance listening already: each one listens again.
    if (!Wide(serving.behaviour))
      serving.next = CreateInstance(*serving.pipe, serving.behaviour, 0);
    if (connected && serving.behaviour == PipeBehaviour::Stall)
      continue;  // the client stays connected, unread, until the process ends
    if (connected) {
      ULONG sender = 0;
      if (serving.behaviour == PipeBehaviour::WideNaming)
        GetNamedPipeClientProcessId(instance, &sender);
      const std::string bytes = ReadMessage(instance, serving.behaviour);
      if (!bytes.empty())
        serving.handler(*serving.pipe, bytes);
    }
    DisconnectNamedPipe(instance);
    if (serving.next)
      CloseHandle(instance);
    else
      serving.next = instance;  // a single or a wide pipe's instance: the same one listens again
  }
}

}  // namespace

const LogPipe& InfoPipe() {
  static const LogPipe pipe = {"\\\\.\\pipe\\VLM.Log.Info", 'I'};
  return pipe;
}

const LogPipe& RecordPipe() {
  static const LogPipe pipe = {"\\\\.\\pipe\\VLM.Log", 'R'};
  return pipe;
}

bool ServeLogPipes(PipeBehaviour behaviour, const MessageHandler& handler, DWORD& error) {
  const int instances = behaviour == PipeBehaviour::Many ? kManyInstances
                        : Wide(behaviour)                ? kWideInstances
                                                         : 1;
  for (const LogPipe* pipe : {&InfoPipe(), &RecordPipe()}) {
    for (int i = 0; i < instances; ++i) {
      const HANDLE instance =
          CreateInstance(*pipe, behaviour, i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
      if (!instance || (i == 0 && HasOtherInstances(instance))) {
        error = instance ? ERROR_ACCESS_DENIED : GetLastError();
        return false;
      }
      if (behaviour == PipeBehaviour::Busy || behaviour == PipeBehaviour::BrieflyBusy) {
        // The only instance is connected to ourselves: until the process ends, or for a while.
        const HANDLE client = CreateFileA(pipe->name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        if (behaviour == PipeBehaviour::Busy)
          continue;
        CloseHandle(CreateThread(nullptr, 0, LetGo, client, 0, nullptr));
      }
      const HANDLE thread = CreateThread(
          nullptr, 0, Serve, new Serving{pipe, behaviour, handler, instance}, 0, nullptr);
      CloseHandle(thread);
    }
  }
  return true;
}

}  // namespace lab
