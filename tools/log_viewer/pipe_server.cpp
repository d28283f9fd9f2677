#include "log_viewer/pipe_server.h"

#include <sddl.h>

#include <algorithm>

#include "log_viewer/clock.h"

namespace viewer {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
constexpr int kInstancesPerPipe = 4;
// How long a serving thread waits before it tries again to create an instance it could not.
constexpr DWORD kRetryMs = 100;

ombru::FileHandle CreateInstance(const LogPipe& pipe, SECURITY_ATTRIBUTES& security, DWORD flags) {
  return ombru::FileHandle(CreateNamedPipeA(
      pipe.name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | flags,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, &security));
}

struct Io {
  bool completed = false;  // the call succeeded
  DWORD error = 0;         // otherwise why (ERROR_MORE_DATA: the message goes on)
  DWORD transferred = 0;
  bool stopped = false;  // the server is stopping
  bool timedOut = false;
};

// Runs one overlapped call on `pipe` to its end, for at most `timeoutMs`, or until `stop` is set.
template <typename Call>
Io Finish(HANDLE pipe, HANDLE event, HANDLE stop, DWORD timeoutMs, Call call) {
  Io io;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  if (!call(&overlapped)) {
    io.error = GetLastError();
    if (io.error != ERROR_IO_PENDING && io.error != ERROR_MORE_DATA)
      return io;
    HANDLE events[] = {event, stop};
    const DWORD waited = io.error == ERROR_IO_PENDING
                             ? WaitForMultipleObjects(2, events, FALSE, timeoutMs)
                             : WAIT_OBJECT_0;
    if (waited != WAIT_OBJECT_0) {
      CancelIoEx(pipe, &overlapped);
      io.stopped = waited == WAIT_OBJECT_0 + 1;
      io.timedOut = !io.stopped;
    }
  }
  // After a cancellation this waits for it; a call that completed in the meantime counts.
  io.completed = GetOverlappedResult(pipe, &overlapped, &io.transferred, TRUE);
  io.error = io.completed ? 0 : GetLastError();
  if (io.completed || io.error == ERROR_MORE_DATA)
    io.timedOut = false;
  return io;
}

// Windows refuses a first instance of an existing pipe; Wine ignores the flag, so there the count
// of the pipe's instances tells.
bool HasOtherInstances(HANDLE firstInstance) {
  DWORD instances = 0;
  return GetNamedPipeHandleStateA(firstInstance, nullptr, &instances, nullptr, nullptr, nullptr,
                                  0) &&
         instances > 1;
}

DWORD Remaining(double deadlineMs) {
  return static_cast<DWORD>(std::max(0.0, deadlineMs - NowMs()));
}

}  // namespace

struct LogPipeServer::Serving {
  LogPipeServer* server;
  const LogPipe* pipe;
  ombru::FileHandle next;
  ombru::Handle event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};

  // One message, within the client's deadline. Of a message larger than the server takes nothing
  // is kept.
  ClientMessage Receive(HANDLE instance, bool& stopped) {
    ClientMessage message;
    message.pipe = pipe;
    GetNamedPipeClientProcessId(instance, &message.processId);
    GetNamedPipeClientSessionId(instance, &message.sessionId);
    const double deadline = NowMs() + kClientDeadlineMs;
    char buffer[4096];
    for (;;) {
      const Io read = Finish(
          instance, event.Get(), server->stop.Get(), Remaining(deadline),
          [&](OVERLAPPED* o) { return ReadFile(instance, buffer, sizeof(buffer), nullptr, o); });
      stopped = read.stopped;
      message.bytes.append(buffer, read.transferred);
      message.size += read.transferred;
      if (read.timedOut)
        message.outcome = ClientMessage::Outcome::TimedOut;
      if (stopped || read.timedOut || read.completed || read.error != ERROR_MORE_DATA)
        return message;
      if (DropIfTooLarge(instance, message))
        return message;
    }
  }

  // Told by the size still waiting in the pipe, before more of the message is read.
  bool DropIfTooLarge(HANDLE instance, ClientMessage& message) const {
    if (server->largestMessage == kUnlimited)
      return false;
    DWORD left = 0;
    PeekNamedPipe(instance, nullptr, 0, nullptr, nullptr, &left);
    if (message.size + left <= server->largestMessage)
      return false;
    message.size += left;
    message.bytes.clear();
    message.bytes.shrink_to_fit();
    message.outcome = ClientMessage::Outcome::TooLarge;
    return true;
  }
};

LogPipeServer::LogPipeServer(Handler handler, size_t largestMessage, const char* pipeSecurity)
    : handler(std::move(handler)),
      largestMessage(largestMessage),
      stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          pipeSecurity, SDDL_REVISION_1, &security.lpSecurityDescriptor, nullptr)) {
    securityError = GetLastError();
  }
}

LogPipeServer::~LogPipeServer() {
  SetEvent(stop.Get());
  for (const ombru::Handle& thread : threads)
    WaitForSingleObject(thread.Get(), INFINITE);
  LocalFree(security.lpSecurityDescriptor);
}

bool LogPipeServer::Start(Failure& failure) {
  // Never a pipe open to everyone.
  if (!security.lpSecurityDescriptor) {
    failure = {Failure::Reason::Security, &InfoPipe(), securityError};
    return false;
  }
  for (const LogPipe* pipe : {&InfoPipe(), &RecordPipe()}) {
    for (int i = 0; i < kInstancesPerPipe; ++i) {
      auto serving = std::make_unique<Serving>();
      serving->server = this;
      serving->pipe = pipe;
      serving->next = CreateInstance(*pipe, security, i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
      if (!serving->next) {
        const DWORD error = GetLastError();
        const bool served = error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY;
        failure = {served ? Failure::Reason::Served : Failure::Reason::System, pipe, error};
        return false;
      }
      if (i == 0 && HasOtherInstances(serving->next.Get())) {
        failure = {Failure::Reason::Served, pipe, ERROR_ACCESS_DENIED};
        return false;
      }
      servings.push_back(std::move(serving));
    }
  }
  for (const auto& serving : servings)
    threads.emplace_back(CreateThread(nullptr, 0, Serve, serving.get(), 0, nullptr));
  return true;
}

DWORD WINAPI LogPipeServer::Serve(void* parameter) {
  Serving& serving = *static_cast<Serving*>(parameter);
  LogPipeServer& server = *serving.server;
  for (;;) {
    // An instance that could not be created (the system out of resources) is tried again after a
    // pause, never in a busy loop.
    while (!serving.next) {
      if (WaitForSingleObject(server.stop.Get(), kRetryMs) == WAIT_OBJECT_0)
        return 0;
      serving.next = CreateInstance(*serving.pipe, server.security, 0);
    }
    ombru::FileHandle current = std::move(serving.next);
    const HANDLE instance = current.Get();
    // A fast client may have connected, written and even closed before this call: its message
    // still waits in the instance.
    const Io connect = Finish(instance, serving.event.Get(), server.stop.Get(), INFINITE,
                              [&](OVERLAPPED* o) { return ConnectNamedPipe(instance, o); });
    if (connect.stopped)
      return 0;
    const bool connected = connect.completed || connect.error == ERROR_PIPE_CONNECTED ||
                           connect.error == ERROR_NO_DATA;
    // One instance keeps listening while this one is read.
    serving.next = CreateInstance(*serving.pipe, server.security, 0);
    if (connected) {
      bool stopped = false;
      const ClientMessage message = serving.Receive(instance, stopped);
      if (stopped)
        return 0;
      if (message.outcome != ClientMessage::Outcome::Whole || !message.bytes.empty())
        server.handler(message);
    }
    DisconnectNamedPipe(instance);
  }
}

}  // namespace viewer
