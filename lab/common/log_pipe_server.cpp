#include "common/log_pipe_server.h"

#include <cstdio>

#include "common/record_file.h"

namespace lab {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
constexpr int kManyInstances = 4;
// How long a serving thread waits before it tries again to create an instance it could not.
constexpr DWORD kRetryMs = 100;

ombru::FileHandle CreateInstance(const LogPipe& pipe, PipeBehaviour behaviour, DWORD flags) {
  const DWORD type = behaviour == PipeBehaviour::Byte ? PIPE_TYPE_BYTE | PIPE_READMODE_BYTE
                                                      : PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;
  const DWORD instances = behaviour == PipeBehaviour::Busy ? 1 : PIPE_UNLIMITED_INSTANCES;
  // Without a buffer a client's write completes only when the server reads it.
  const DWORD buffer = behaviour == PipeBehaviour::Stall ? 0 : kBufferSize;
  return ombru::FileHandle(
      CreateNamedPipeA(pipe.name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | flags,
                       type | PIPE_WAIT, instances, buffer, buffer, 0, nullptr));
}

// Runs one overlapped call on `pipe` to its end, or until `stop` is set. Returns the call's
// result with the last error as the call left it.
template <typename Call>
BOOL Finish(HANDLE pipe, HANDLE event, HANDLE stop, Call call, DWORD& transferred, bool& stopped) {
  transferred = 0;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  if (!call(&overlapped)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA)
      return FALSE;
    HANDLE events[] = {event, stop};
    if (error == ERROR_IO_PENDING &&
        WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIo(pipe);
      GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
      stopped = true;
      return FALSE;
    }
  }
  return GetOverlappedResult(pipe, &overlapped, &transferred, FALSE);
}

// Windows refuses a first instance of an existing pipe; Wine ignores the flag, so there the count
// of the pipe's instances tells.
bool HasOtherInstances(HANDLE firstInstance) {
  DWORD instances = 0;
  return GetNamedPipeHandleStateA(firstInstance, nullptr, &instances, nullptr, nullptr, nullptr,
                                  0) &&
         instances > 1;
}

}  // namespace

const LogPipe& InfoPipe() {
  static const LogPipe pipe = {
      "\\\\.\\pipe\\VLM.Log.Info", "info", 'I', {"message", "thread", "module"}};
  return pipe;
}

const LogPipe& RecordPipe() {
  static const LogPipe pipe = {
      "\\\\.\\pipe\\VLM.Log",
      "record",
      'R',
      {"field1", "field2", "field3", "field4", "field5", "field6", "field7", "field8", "thread"}};
  return pipe;
}

struct LogPipeServer::Serving {
  const LogPipeServer* server;
  const LogPipe* pipe;
  ombru::FileHandle next;
  std::vector<ombru::FileHandle> stalled;  // connected clients that are never read
  ombru::Handle event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};

  // One message, or in byte mode whatever arrives until the client closes.
  std::string Read(HANDLE instance, bool& stopped) {
    std::string message;
    char buffer[4096];
    for (;;) {
      DWORD read = 0;
      const BOOL complete = Finish(
          instance, event.Get(), server->stop.Get(),
          [&](OVERLAPPED* o) { return ReadFile(instance, buffer, sizeof(buffer), nullptr, o); },
          read, stopped);
      message.append(buffer, read);
      if (stopped || (complete ? server->behaviour != PipeBehaviour::Byte
                               : GetLastError() != ERROR_MORE_DATA)) {
        return message;
      }
    }
  }
};

LogPipeServer::LogPipeServer(PipeBehaviour behaviour, Handler handler)
    : behaviour(behaviour),
      handler(std::move(handler)),
      stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

LogPipeServer::~LogPipeServer() {
  SetEvent(stop.Get());
  for (const ombru::Handle& thread : threads)
    WaitForSingleObject(thread.Get(), INFINITE);
}

bool LogPipeServer::Start(DWORD& error, const LogPipe*& failed) {
  for (const LogPipe* pipe : {&InfoPipe(), &RecordPipe()}) {
    const int instances = behaviour == PipeBehaviour::Many ? kManyInstances : 1;
    for (int i = 0; i < instances; ++i) {
      auto serving = std::make_unique<Serving>();
      serving->server = this;
      serving->pipe = pipe;
      serving->next = CreateInstance(*pipe, behaviour, i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
      if (!serving->next || (i == 0 && HasOtherInstances(serving->next.Get()))) {
        error = serving->next ? ERROR_ACCESS_DENIED : GetLastError();
        failed = pipe;
        return false;
      }
      servings.push_back(std::move(serving));
    }
  }
  if (behaviour == PipeBehaviour::Busy) {
    // Each pipe's only instance stays connected to ourselves.
    for (const auto& serving : servings) {
      held.push_back(std::move(serving->next));
      held.emplace_back(CreateFileA(serving->pipe->name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    }
    return true;
  }
  for (const auto& serving : servings)
    threads.emplace_back(CreateThread(nullptr, 0, Serve, serving.get(), 0, nullptr));
  return true;
}

DWORD WINAPI LogPipeServer::Serve(void* parameter) {
  Serving& serving = *static_cast<Serving*>(parameter);
  const LogPipeServer& server = *serving.server;
  for (;;) {
    // An instance that could not be created (the system out of resources) is tried again after a
    // pause, never in a busy loop.
    while (!serving.next) {
      if (WaitForSingleObject(server.stop.Get(), kRetryMs) == WAIT_OBJECT_0)
        return 0;
      serving.next = CreateInstance(*serving.pipe, server.behaviour, 0);
    }
    ombru::FileHandle current = std::move(serving.next);
    const HANDLE instance = current.Get();
    bool stopped = false;
    DWORD unused = 0;
    // A fast client may have connected, written and even closed before this call: its message
    // still waits in the instance.
    const BOOL connected =
        Finish(
            instance, serving.event.Get(), server.stop.Get(),
            [&](OVERLAPPED* o) { return ConnectNamedPipe(instance, o); }, unused, stopped) ||
        GetLastError() == ERROR_PIPE_CONNECTED || GetLastError() == ERROR_NO_DATA;
    if (stopped)
      return 0;
    // One instance keeps listening while this one is read.
    serving.next = CreateInstance(*serving.pipe, server.behaviour, 0);
    if (connected && server.behaviour == PipeBehaviour::Stall) {
      serving.stalled.push_back(std::move(current));
      continue;
    }
    if (connected) {
      const std::string message = serving.Read(instance, stopped);
      if (stopped)
        return 0;
      if (!message.empty())
        server.handler(*serving.pipe, message);
    }
    DisconnectNamedPipe(instance);
  }
}

std::string Printable(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == 0) {
      text += "\\0";
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::vector<std::pair<const char*, std::string>> RecordFields(const LogPipe& pipe,
                                                              const std::string& message) {
  std::string text = message;
  if (!text.empty() && text.back() == '\0')
    text.pop_back();
  std::vector<std::string> parts = Fields(text);
  const size_t trailing = pipe.fields.size() - 1;
  if (&pipe == &InfoPipe() && parts.size() > pipe.fields.size()) {
    std::string first = parts[0];
    for (size_t i = 1; i + trailing < parts.size(); ++i)
      first += "|" + parts[i];
    parts.erase(parts.begin(), parts.end() - trailing);
    parts.insert(parts.begin(), first);
  }
  std::vector<std::pair<const char*, std::string>> fields;
  for (size_t i = 0; i < parts.size(); ++i)
    fields.emplace_back(i < pipe.fields.size() ? pipe.fields[i] : "extra", parts[i]);
  return fields;
}

}  // namespace lab
