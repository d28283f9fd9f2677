#include "log_viewer/pipe_server.h"

#include <sddl.h>

#include <algorithm>

#include "framework/exclusive_lock.h"
#include "log_viewer/clock.h"
#include "log_viewer/pipe_security.h"

namespace viewer {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
// The threads that take the completions: two a processor, and at least four, since under Wine a
// call completes only once the thread that made it waits. More only add switching between them.
int Workers() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return std::max(4, 2 * static_cast<int>(system.dwNumberOfProcessors));
}
// How often clients past their deadline are looked for.
constexpr DWORD kSweepMs = 100;
// How long, once the server stops, a connected client still has to complete its message. What a
// client has written is in its instance already and is read at once.
constexpr double kStopGraceMs = 500;
// Completion keys: a call's own completion, a listening to begin, one the server posted for a call
// that ended at once, and the end of a worker.
constexpr ULONG_PTR kIssued = 0;
constexpr ULONG_PTR kBegin = 1;
constexpr ULONG_PTR kPosted = 2;
constexpr ULONG_PTR kQuit = 3;

// Windows refuses a first instance of an existing pipe; Wine ignores the flag, so there the count
// of the pipe's instances tells.
bool HasOtherInstances(HANDLE firstInstance) {
  DWORD instances = 0;
  return GetNamedPipeHandleStateA(firstInstance, nullptr, &instances, nullptr, nullptr, nullptr,
                                  0) &&
         instances > 1;
}

}  // namespace

// One instance and its one call under way. Only the worker that takes the call's completion
// touches it, apart from the state and deadline, which the supervisor reads to cut off a client.
struct LogPipeServer::Instance : OVERLAPPED {
  enum class State { Listening, Reading, Done, Retired };

  const LogPipe* pipe = nullptr;
  ombru::FileHandle handle;
  // Held by the worker while it sets the state for the instance's next call and issues it, and by
  // the supervisor from its look at the state to the cut-off: every call shares the one
  // OVERLAPPED, so a cut-off meant for a late client must not land on the next client's call.
  SRWLOCK call = SRWLOCK_INIT;
  std::atomic<State> state{State::Listening};
  std::atomic<double> deadlineMs{0};
  DWORD postedError = 0;  // of a call that ended at once, and was posted to the port
  ClientMessage message;
  char buffer[4096];
};

LogPipeServer::LogPipeServer(Handler handler) : LogPipeServer(std::move(handler), Options()) {}

LogPipeServer::LogPipeServer(Handler handler, Options options)
    : handler(std::move(handler)), options(std::move(options)) {
  std::string descriptor;
  if (this->options.pipeSecurity) {
    descriptor = this->options.pipeSecurity;
  } else if (const std::string account = OwnAccountSid(securityError); !account.empty()) {
    descriptor = PipeSecurity(account);
  }
  if (!descriptor.empty() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(
          descriptor.c_str(), SDDL_REVISION_1, &security.lpSecurityDescriptor, nullptr)) {
    securityError = GetLastError();
  }
}

LogPipeServer::~LogPipeServer() {
  Stop();
  LocalFree(security.lpSecurityDescriptor);
}

bool LogPipeServer::Start(Failure& failure) {
  // Never a pipe open to everyone.
  if (!security.lpSecurityDescriptor) {
    failure = {Failure::Reason::Security, nullptr, securityError};
    return false;
  }
  if (CreateInstances(failure) && StartServing(failure))
    return true;
  instances.clear();
  return false;
}

// Both names first: a refusal leaves no client half served. A pipe whose next instance cannot be
// created is served with those it has, and the shortfall is kept for the administrator.
bool LogPipeServer::CreateInstances(Failure& failure) {
  const LogPipe* pipes[] = {&InfoPipe(), &RecordPipe()};
  Shortfall made[] = {{pipes[0], 0, 0}, {pipes[1], 0, 0}};
  for (size_t round = 0; round < kInstances; ++round) {
    for (Shortfall& pipe : made) {
      if (pipe.served < round)
        continue;
      auto instance = std::make_unique<Instance>();
      instance->pipe = pipe.pipe;
      instance->handle.Reset(options.calls.createNamedPipe(
          pipe.pipe->name,
          PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
              (round == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
          PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, &security));
      if (!instance->handle) {
        pipe.error = GetLastError();
        if (round > 0)
          continue;
        const bool served = pipe.error == ERROR_ACCESS_DENIED || pipe.error == ERROR_PIPE_BUSY;
        failure = {served ? Failure::Reason::Served : Failure::Reason::System, pipe.pipe,
                   pipe.error, "CreateNamedPipeA"};
        return false;
      }
      if (round == 0 && HasOtherInstances(instance->handle.Get())) {
        failure = {Failure::Reason::Served, pipe.pipe, ERROR_ACCESS_DENIED};
        return false;
      }
      instances.push_back(std::move(instance));
      ++pipe.served;
    }
  }
  for (const Shortfall& pipe : made) {
    if (pipe.served < kInstances)
      shortfalls.push_back(pipe);
  }
  return true;
}

bool LogPipeServer::StartServing(Failure& failure) {
  const SystemCalls& calls = options.calls;
  const auto fail = [&](const char* call) {
    failure = {Failure::Reason::System, nullptr, GetLastError(), call};
    EndThreads();
    return false;
  };
  quit.Reset(calls.createEvent(nullptr, TRUE, FALSE, nullptr));
  if (!quit)
    return fail("CreateEventA");
  retired.Reset(calls.createEvent(nullptr, TRUE, FALSE, nullptr));
  if (!retired)
    return fail("CreateEventA");
  const int wanted = Workers();
  port.Reset(calls.createIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, wanted));
  if (!port)
    return fail("CreateIoCompletionPort");
  for (const auto& instance : instances) {
    if (!calls.createIoCompletionPort(instance->handle.Get(), port.Get(), kIssued, 0))
      return fail("CreateIoCompletionPort");
  }
  live = instances.size();
  while (workers < wanted) {
    ombru::Handle worker(calls.createThread(nullptr, 0, Work, this, 0, nullptr));
    if (!worker)
      return fail("CreateThread");
    threads.push_back(std::move(worker));
    ++workers;
  }
  ombru::Handle supervisor(calls.createThread(nullptr, 0, Supervise, this, 0, nullptr));
  if (!supervisor)
    return fail("CreateThread");
  threads.push_back(std::move(supervisor));
  // The workers begin every listening: under Wine a call is completed through the thread that
  // made it, and they wait for completions all the time.
  for (size_t i = 0; i < instances.size(); ++i) {
    if (!calls.postQueuedCompletionStatus(port.Get(), 0, kBegin, instances[i].get())) {
      failure = {Failure::Reason::System, nullptr, GetLastError(), "PostQueuedCompletionStatus"};
      // Those not begun have no call to end; the others end as at any stop.
      while (i < instances.size())
        Retire(*instances[i++]);
      Stop();
      return false;
    }
  }
  return true;
}

void LogPipeServer::Stop() {
  if (threads.empty())
    return;
  stopDeadlineMs = NowMs() + kStopGraceMs;
  stopping = true;
  for (const auto& instance : instances) {
    const ombru::ExclusiveLock hold(instance->call);
    if (instance->state == Instance::State::Listening)
      CancelIoEx(instance->handle.Get(), instance.get());
  }
  Pause(PausePoint::Stopping);
  // A cancellation that came before its call is repeated by the supervisor.
  WaitForSingleObject(retired.Get(), INFINITE);
  EndThreads();
  instances.clear();
}

// Ends the threads that run, none of which has a call of an instance to take any more.
void LogPipeServer::EndThreads() {
  SetEvent(quit.Get());
  for (int i = 0; i < workers; ++i)
    PostQueuedCompletionStatus(port.Get(), 0, kQuit, nullptr);
  for (const ombru::Handle& thread : threads)
    WaitForSingleObject(thread.Get(), INFINITE);
  threads.clear();
  workers = 0;
}

DWORD WINAPI LogPipeServer::Work(void* parameter) {
  LogPipeServer& server = *static_cast<LogPipeServer*>(parameter);
  for (;;) {
    DWORD transferred = 0;
    ULONG_PTR key = kIssued;
    OVERLAPPED* overlapped = nullptr;
    const BOOL completed =
        GetQueuedCompletionStatus(server.port.Get(), &transferred, &key, &overlapped, INFINITE);
    const DWORD error = completed ? 0 : GetLastError();
    if (key == kQuit)
      return 0;
    Instance& instance = *static_cast<Instance*>(overlapped);
    if (key == kBegin) {
      server.Listen(instance);
    } else {
      server.Completed(instance, transferred, key == kPosted ? instance.postedError : error);
    }
  }
}

void LogPipeServer::Completed(Instance& instance, DWORD transferred, DWORD error) {
  if (instance.state != Instance::State::Listening) {
    Received(instance, transferred, error);
  } else if (error == 0) {
    // Also a client that came just before the listening was cancelled.
    Connected(instance);
  } else if (stopping) {
    Retire(instance);
  } else {
    // Not provoked: a listening that failed.
    Listen(instance);
  }
}

// Each of these issues the instance's next call, or retires it: the last thing it does with it.
void LogPipeServer::Listen(Instance& instance) {
  if (stopping) {
    Retire(instance);
    return;
  }
  DWORD error = 0;
  {
    const ombru::ExclusiveLock hold(instance.call);
    instance.state = Instance::State::Listening;
    static_cast<OVERLAPPED&>(instance) = {};
    if (ConnectNamedPipe(instance.handle.Get(), &instance))
      return;
    error = GetLastError();
  }
  if (error == ERROR_IO_PENDING)
    return;
  // A fast client may have connected, written and even closed before this call: its message still
  // waits in the instance. No completion comes for it, so the server posts one.
  if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) {
    Post(instance, 0);
    return;
  }
  // Not provoked: an instance that has just been created or disconnected can listen.
  Retire(instance);
}

void LogPipeServer::Connected(Instance& instance) {
  ClientMessage& message = instance.message;
  message = {};
  message.pipe = instance.pipe;
  GetNamedPipeClientProcessId(instance.handle.Get(), &message.processId);
  GetNamedPipeClientSessionId(instance.handle.Get(), &message.sessionId);
  {
    const ombru::ExclusiveLock hold(instance.call);
    instance.deadlineMs = NowMs() + options.clientDeadlineMs;
    instance.state = Instance::State::Reading;
  }
  Read(instance);
}

void LogPipeServer::Read(Instance& instance) {
  DWORD error = 0;
  {
    const ombru::ExclusiveLock hold(instance.call);
    static_cast<OVERLAPPED&>(instance) = {};
    if (!ReadFile(instance.handle.Get(), instance.buffer, sizeof(instance.buffer), nullptr,
                  &instance)) {
      error = GetLastError();
    }
  }
  Pause(PausePoint::ReadIssued);
  // A message longer than the buffer completes through the port as well.
  if (error != 0 && error != ERROR_IO_PENDING && error != ERROR_MORE_DATA)
    Post(instance, error);
}

// One read's end: more of the message to read, or the message to hand on.
void LogPipeServer::Received(Instance& instance, DWORD transferred, DWORD error) {
  ClientMessage& message = instance.message;
  message.bytes.append(instance.buffer, transferred);
  message.size += transferred;
  if (error == ERROR_MORE_DATA && !DropIfTooLarge(instance)) {
    if (NowMs() < Deadline(instance)) {
      Read(instance);
      return;
    }
    error = ERROR_OPERATION_ABORTED;
  }
  instance.state = Instance::State::Done;
  // Only the supervisor cancels a read, at the client's deadline. One that had not begun to write
  // when the server stopped is let go without a word.
  if (error == ERROR_OPERATION_ABORTED && (!stopping || !message.bytes.empty()))
    message.outcome = ClientMessage::Outcome::TimedOut;
  if (message.outcome != ClientMessage::Outcome::Whole || !message.bytes.empty())
    handler(message);
  message.bytes.clear();
  message.bytes.shrink_to_fit();
  DisconnectNamedPipe(instance.handle.Get());
  Listen(instance);
}

// Told by the size still waiting in the pipe, before more of the message is read.
bool LogPipeServer::DropIfTooLarge(Instance& instance) const {
  if (options.largestMessage == kUnlimited)
    return false;
  ClientMessage& message = instance.message;
  DWORD left = 0;
  PeekNamedPipe(instance.handle.Get(), nullptr, 0, nullptr, nullptr, &left);
  if (message.size + left <= options.largestMessage)
    return false;
  message.size += left;
  message.bytes.clear();
  message.bytes.shrink_to_fit();
  message.outcome = ClientMessage::Outcome::TooLarge;
  return true;
}

// The client's own, or the end of the grace once the server stops.
double LogPipeServer::Deadline(const Instance& instance) const {
  return std::min(instance.deadlineMs.load(), stopDeadlineMs.load());
}

void LogPipeServer::Retire(Instance& instance) {
  instance.state = Instance::State::Retired;
  if (--live == 0)
    SetEvent(retired.Get());
}

void LogPipeServer::Post(Instance& instance, DWORD error) {
  instance.postedError = error;
  if (!options.calls.postQueuedCompletionStatus(port.Get(), 0, kPosted, &instance))
    // Not provoked: a port that takes no more. The call's end is taken here instead.
    Completed(instance, 0, error);
}

DWORD WINAPI LogPipeServer::Supervise(void* parameter) {
  LogPipeServer& server = *static_cast<LogPipeServer*>(parameter);
  while (WaitForSingleObject(server.quit.Get(), kSweepMs) == WAIT_TIMEOUT)
    server.Sweep();
  return 0;
}

// Cuts off the clients past their deadline; once stopping, also every listening still under way.
void LogPipeServer::Sweep() {
  for (const auto& instance : instances) {
    const ombru::ExclusiveLock hold(instance->call);
    const Instance::State state = instance->state;
    const bool late = state == Instance::State::Reading && NowMs() >= Deadline(*instance);
    if (!late && !(state == Instance::State::Listening && stopping))
      continue;
    if (late)
      Pause(PausePoint::BeforeCutOff);
    CancelIoEx(instance->handle.Get(), instance.get());
    if (late)
      Pause(PausePoint::AfterCutOff);
  }
  Pause(PausePoint::Swept);
}

void LogPipeServer::Pause(PausePoint point) const {
  if (options.pause)
    options.pause(point);
}

}  // namespace viewer
