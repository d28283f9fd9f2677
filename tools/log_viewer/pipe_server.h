// The server side of the two log pipes, as the runtime's log collector keeps them: message-mode
// duplex instances, one message per connection.
//
// On a terminal server many agents write at the same moment, and an agent's client opens a busy
// pipe only twice, with one wait of 1000 ms between: a record whose second open finds every
// instance busy again is lost. So each pipe keeps every instance the system allows listening, and
// an instance listens again as soon as its client's message is read. An instance that listens
// costs no thread: all of them are served by overlapped calls on one completion port, by a few
// threads for any number of clients.
//
// Whoever serves these names is open to every process of the machine, so the server trusts no
// client: only interactive users, SYSTEM and Administrators may connect, never from another
// computer; a client that has not completed its message within a few seconds is dropped, while
// the other instances go on listening; and no more of a message is kept than the server was told
// to take. It never serves a pipe without that protection.
#pragma once

#include <windows.h>

#include <cstddef>
#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "log_viewer/log_pipes.h"

namespace viewer {

// How long a client may take from its connection to the end of its message.
inline constexpr DWORD kClientDeadlineMs = 3000;

// What one connection brought.
struct ClientMessage {
  enum class Outcome {
    Whole,     // `bytes` is the whole message
    TooLarge,  // larger than the server takes: `size` says how large, nothing of it is kept
    TimedOut,  // the client completed no message within kClientDeadlineMs
  };
  const LogPipe* pipe = nullptr;
  ULONG processId = 0;  // the sender, as the system names it (0 when it cannot say)
  ULONG sessionId = 0;
  Outcome outcome = Outcome::Whole;
  std::string bytes;
  size_t size = 0;
};

// The system calls the server's start depends on, so that a test can fail any one of them.
struct SystemCalls {
  decltype(&CreateNamedPipeA) createNamedPipe = CreateNamedPipeA;
  decltype(&CreateIoCompletionPort) createIoCompletionPort = CreateIoCompletionPort;
  decltype(&CreateThread) createThread = CreateThread;
  decltype(&CreateEventA) createEvent = CreateEventA;
  decltype(&PostQueuedCompletionStatus) postQueuedCompletionStatus = PostQueuedCompletionStatus;
};

class LogPipeServer {
 public:
  // Called on the serving threads, possibly several at once, once for every connection that
  // brought a message, a message too large, or nothing in time.
  using Handler = std::function<void(const ClientMessage&)>;

  static constexpr size_t kUnlimited = std::numeric_limits<size_t>::max();
  // The instances of each pipe: the system's limit a name.
  static constexpr size_t kInstances = PIPE_UNLIMITED_INSTANCES;

  // Where a test may hold the server: the supervisor between its look at a client past its
  // deadline and the cut-off, after it, and after each sweep; a worker once it has issued a read;
  // Stop once it takes no new client.
  enum class PausePoint { BeforeCutOff, AfterCutOff, Swept, ReadIssued, Stopping };

  struct Options {
    size_t largestMessage = kUnlimited;
    // The pipes' security descriptor, in the security descriptor string format; null: the
    // viewer's own (pipe_security.h), for the account it runs as.
    const char* pipeSecurity = nullptr;
    DWORD clientDeadlineMs = kClientDeadlineMs;
    SystemCalls calls;
    std::function<void(PausePoint)> pause;
  };

  explicit LogPipeServer(Handler handler);
  LogPipeServer(Handler handler, Options options);
  ~LogPipeServer();  // stops serving
  LogPipeServer(const LogPipeServer&) = delete;
  LogPipeServer& operator=(const LogPipeServer&) = delete;

  struct Failure {
    enum class Reason {
      Security,  // the pipes' security descriptor could not be built
      Served,    // another server already serves the pipe
      System,    // a system call the server needs failed
    };
    Reason reason = Reason::System;
    const LogPipe* pipe = nullptr;
    DWORD error = 0;             // the system's error code
    const char* call = nullptr;  // the call that failed, for System
  };

  // Fewer instances of a pipe than the server set out to serve.
  struct Shortfall {
    const LogPipe* pipe = nullptr;
    size_t served = 0;
    DWORD error = 0;  // why the next one could not be created
  };

  // Creates the first instance of both pipes, then the others, and serves them all. Fails, having
  // closed whatever it created, when the pipes cannot be protected, when either already exists (a
  // second server would take a share of the first one's clients), or when a call it needs fails.
  bool Start(Failure& failure);

  // The pipes served with fewer than kInstances instances, once started.
  const std::vector<Shortfall>& Shortfalls() const { return shortfalls; }

  // Takes no new client, reads what the connected ones have written (giving each at most a short
  // grace to complete its message), closes every instance of both pipes, so that another server
  // can take the names, and returns once no handler runs any more.
  void Stop();

 private:
  struct Instance;

  bool CreateInstances(Failure& failure);
  bool StartServing(Failure& failure);
  static DWORD WINAPI Work(void* server);
  static DWORD WINAPI Supervise(void* server);
  void Completed(Instance& instance, DWORD transferred, DWORD error);
  void Listen(Instance& instance);
  void Connected(Instance& instance);
  void Read(Instance& instance);
  void Received(Instance& instance, DWORD transferred, DWORD error);
  bool DropIfTooLarge(Instance& instance) const;
  double Deadline(const Instance& instance) const;
  void Retire(Instance& instance);
  void Post(Instance& instance, DWORD error);
  void CutOff(Instance& instance, bool due);
  void Sweep();
  void Pause(PausePoint point) const;
  void EndThreads();

  Handler handler;
  Options options;
  SECURITY_ATTRIBUTES security = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  DWORD securityError = 0;
  std::vector<std::unique_ptr<Instance>> instances;
  std::vector<Shortfall> shortfalls;
  ombru::Handle port;
  ombru::Handle quit;                  // ends the supervisor
  ombru::Handle retired;               // set once every instance has retired, when stopping
  int workers = 0;                     // running
  std::vector<ombru::Handle> threads;  // the workers, then the supervisor
  std::atomic<bool> stopping{false};
  std::atomic<double> stopDeadlineMs{std::numeric_limits<double>::infinity()};
  std::atomic<size_t> live{0};  // instances not retired
};

}  // namespace viewer
