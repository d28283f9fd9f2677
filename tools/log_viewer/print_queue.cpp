#include "log_viewer/print_queue.h"

#include <deque>
#include <utility>

#include "framework/exclusive_lock.h"

namespace viewer {

struct PrintQueue::State {
  struct Entry {
    Received received;
    size_t droppedAfter = 0;
  };

  State(size_t capacity, size_t maxBytes, Print print, ReportDropped reportDropped,
        OutputFailed outputFailed)
      : capacity(capacity),
        maxBytes(maxBytes),
        print(std::move(print)),
        reportDropped(std::move(reportDropped)),
        outputFailed(std::move(outputFailed)) {}

  // What has not reached the console: queued, being printed, or dropped without a word yet.
  size_t Unprinted() const {
    size_t unprinted = entries.size() + printing;
    for (const Entry& entry : entries)
      unprinted += entry.droppedAfter;
    return unprinted;
  }

  void PrintAll() {
    AcquireSRWLockExclusive(&lock);
    for (;;) {
      while (!ending && entries.empty())
        SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
      if (entries.empty() || abandoned)
        break;
      Entry entry = std::move(entries.front());
      entries.pop_front();
      bytes -= entry.received.message.bytes.size();
      printing = 1 + entry.droppedAfter;
      ReleaseSRWLockExclusive(&lock);
      const bool printed = print(entry.received);
      if (printed && entry.droppedAfter > 0)
        reportDropped(entry.droppedAfter);
      AcquireSRWLockExclusive(&lock);
      if (!printed) {
        failed = true;
        break;
      }
      printing = 0;
    }
    done = true;
    const bool tell = failed && !abandoned;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
    if (tell)
      outputFailed();
  }

  const size_t capacity;
  const size_t maxBytes;
  const Print print;
  const ReportDropped reportDropped;
  const OutputFailed outputFailed;
  // Slim locks: a record's way from a client to the printer takes no call into the system.
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  std::deque<Entry> entries;
  size_t bytes = 0;
  size_t printing = 0;     // the record being printed and those dropped after it, until told
  bool ending = false;     // print what is queued, then end
  bool abandoned = false;  // end without printing more
  bool failed = false;     // the output failed: the record being printed was not
  bool done = false;       // the printer has ended
};

PrintQueue::PrintQueue(size_t capacity, Print print, ReportDropped reportDropped,
                       OutputFailed outputFailed, size_t maxBytes)
    : state(std::make_shared<State>(capacity, maxBytes, std::move(print), std::move(reportDropped),
                                    std::move(outputFailed))),
      printer([state = state] { state->PrintAll(); }) {}

PrintQueue::~PrintQueue() {
  if (printer.joinable())
    Finish(INFINITE);
}

void PrintQueue::Push(Received received) {
  const size_t size = received.message.bytes.size();
  {
    const ombru::ExclusiveLock hold(state->lock);
    auto& entries = state->entries;
    if (!entries.empty() &&
        (entries.size() >= state->capacity || state->bytes + size > state->maxBytes)) {
      ++entries.back().droppedAfter;
      return;
    }
    state->bytes += size;
    entries.push_back({std::move(received)});
  }
  WakeAllConditionVariable(&state->changed);
}

size_t PrintQueue::Finish(DWORD timeoutMs) {
  size_t unprinted = 0;
  bool finished = false;
  {
    const ombru::ExclusiveLock hold(state->lock);
    state->ending = true;
    WakeAllConditionVariable(&state->changed);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (ULONGLONG now = GetTickCount64(); !state->done; now = GetTickCount64()) {
      const DWORD wait = timeoutMs == INFINITE ? INFINITE
                         : now < deadline      ? static_cast<DWORD>(deadline - now)
                                               : 0;
      if (wait == 0 || !SleepConditionVariableSRW(&state->changed, &state->lock, wait, 0))
        break;
    }
    finished = state->done;
    state->abandoned = !finished;
    if (!finished || state->failed)
      unprinted = state->Unprinted();
  }
  if (finished) {
    printer.join();
  } else {
    printer.detach();
  }
  return unprinted;
}

}  // namespace viewer
