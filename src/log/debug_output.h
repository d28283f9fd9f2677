// The system's debug output, written without waiting for whoever monitors it.
//
// OutputDebugStringA speaks to a monitor through objects any process of the session can create:
// it takes "DBWinMutex" without a time limit, then waits up to 10 s for the monitor's buffer. A
// monitor that holds the mutex or never reads would hold the writing thread, and with it a mode,
// as long as it liked. So lines are queued here, in order, and written by a thread of its own; the
// caller never waits, and a line that does not fit in the queue is counted and dropped.
#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/unique_handle.h"

namespace ombru {

class DebugOutputWriter {
 public:
  // Writes one line; OutputDebugStringA for the program.
  using Write = std::function<void(const char* line)>;

  struct Limits {
    size_t lines;
    size_t bytes;
  };
  static constexpr Limits kDefaultLimits = {1024, 1024 * 1024};

  explicit DebugOutputWriter(Write write, Limits limits = kDefaultLimits);
  // Waits for the writing thread: only for a writer whose Write returns.
  ~DebugOutputWriter();
  DebugOutputWriter(const DebugOutputWriter&) = delete;
  DebugOutputWriter& operator=(const DebugOutputWriter&) = delete;

  // Queues the lines, each to be written as one output, in this order and together; never waits.
  // When they do not all fit, none is queued and all are counted as dropped.
  void Enqueue(std::vector<std::string> lines);

  // Waits at most `timeoutMs` until everything queued has been written; false if it has not.
  bool Flush(DWORD timeoutMs);

  size_t Dropped();

 private:
  static DWORD WINAPI Run(void* self);
  bool Idle() const { return queue.empty() && !writing; }

  const Write write;
  const Limits limits;
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  std::deque<std::string> queue;
  size_t queuedBytes = 0;
  size_t dropped = 0;
  bool writing = false;
  bool stopping = false;
  Handle thread;  // started with the first line
};

// The program's writer, for every thread: created on first use and never destroyed, since at the
// process's end its thread may still be waiting on a monitor.
DebugOutputWriter& DebugOutput();

}  // namespace ombru
