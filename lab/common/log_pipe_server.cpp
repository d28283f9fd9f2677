#include "common/log_pipe_server.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>

#include "common/clock.h"
#include "common/record_file.h"

namespace lab {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
constexpr int kManyInstances = 4;
// How long a serving thread waits before it tries again to create an instance it could not.
constexpr DWORD kRetryMs = 100;

// Interactive users (the agents run as them) may open a pipe for reading and writing, which is
// all a client needs; SYSTEM and Administrators have full access; nobody else, whether Everyone,
// anonymous or a network logon, may open it at all.
constexpr char kPipeSecurity[] = "D:P(A;;0x12019f;;;IU)(A;;FA;;;SY)(A;;FA;;;BA)";

const SECURITY_ATTRIBUTES* PipeSecurity() {
  static const struct Security {
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    Security() {
      ConvertStringSecurityDescriptorToSecurityDescriptorA(
          kPipeSecurity, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
    }
    ~Security() { LocalFree(attributes.lpSecurityDescriptor); }
  } security;
  return security.attributes.lpSecurityDescriptor ? &security.attributes : nullptr;
}

ombru::FileHandle CreateInstance(const LogPipe& pipe, PipeBehaviour behaviour, DWORD flags) {
  const SECURITY_ATTRIBUTES* security = PipeSecurity();
  if (!security)
    return ombru::FileHandle();  // never a pipe open to everyone
  const DWORD type = behaviour == PipeBehaviour::Byte ? PIPE_TYPE_BYTE | PIPE_READMODE_BYTE
                                                      : PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;
  const DWORD instances = behaviour == PipeBehaviour::Busy ? 1 : PIPE_UNLIMITED_INSTANCES;
  // Without a buffer a client's write completes only when the server reads it.
  const DWORD buffer = behaviour == PipeBehaviour::Stall ? 0 : kBufferSize;
  return ombru::FileHandle(
      CreateNamedPipeA(pipe.name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | flags,
                       type | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, instances, buffer, buffer, 0,
                       const_cast<SECURITY_ATTRIBUTES*>(security)));
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

  // One message, or in byte mode whatever arrives until the client closes, within the client's
  // deadline. Of a message larger than the server takes nothing is kept.
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
      if (stopped || read.timedOut || (read.completed && server->behaviour != PipeBehaviour::Byte))
        return message;
      if (!read.completed && read.error != ERROR_MORE_DATA)
        return message;  // the client closed: the end of a byte-mode message
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

LogPipeServer::LogPipeServer(PipeBehaviour behaviour, Handler handler, size_t largestMessage)
    : behaviour(behaviour),
      handler(std::move(handler)),
      largestMessage(largestMessage),
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
    // A fast client may have connected, written and even closed before this call: its message
    // still waits in the instance.
    const Io connect = Finish(instance, serving.event.Get(), server.stop.Get(), INFINITE,
                              [&](OVERLAPPED* o) { return ConnectNamedPipe(instance, o); });
    if (connect.stopped)
      return 0;
    const bool connected = connect.completed || connect.error == ERROR_PIPE_CONNECTED ||
                           connect.error == ERROR_NO_DATA;
    // One instance keeps listening while this one is read.
    serving.next = CreateInstance(*serving.pipe, server.behaviour, 0);
    if (connected && server.behaviour == PipeBehaviour::Stall) {
      serving.stalled.push_back(std::move(current));
      continue;
    }
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

std::string Printable(const std::string& bytes, UINT codePage) {
  const auto isControl = [](unsigned char c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); };
  // Every double-byte code page takes trail bytes from 0x40 up, never DEL.
  const auto isTrail = [](unsigned char c) { return c >= 0x40 && c != 0x7f; };
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (i + 1 < bytes.size() && IsDBCSLeadByteEx(codePage, c) &&
        isTrail(static_cast<unsigned char>(bytes[i + 1]))) {
      text += bytes.substr(i++, 2);
    } else if (c == 0) {
      text += "\\0";
    } else if (isControl(c)) {
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
