#include "log_viewer/print_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace viewer {

struct PrintQueue::State {
  struct Entry {
    Received received;
    size_t droppedAfter = 0;
  };

  State(size_t capacity, Print print, ReportDropped reportDropped)
      : capacity(capacity), print(std::move(print)), reportDropped(std::move(reportDropped)) {}

  // What has not reached the console: queued, being printed, or dropped without a word yet.
  size_t Unprinted() const {
    size_t unprinted = entries.size() + printing;
    for (const Entry& entry : entries)
      unprinted += entry.droppedAfter;
    return unprinted;
  }

  void PrintAll() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [this] { return ending || !entries.empty(); });
      if (entries.empty() || abandoned)
        break;
      Entry entry = std::move(entries.front());
      entries.pop_front();
      bytes -= entry.received.message.bytes.size();
      printing = 1 + entry.droppedAfter;
      hold.unlock();
      print(entry.received);
      if (entry.droppedAfter > 0)
        reportDropped(entry.droppedAfter);
      hold.lock();
      printing = 0;
    }
    done = true;
    changed.notify_all();
  }

  const size_t capacity;
  const Print print;
  const ReportDropped reportDropped;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Entry> entries;
  size_t bytes = 0;
  size_t printing = 0;     // the record being printed and those dropped after it, until told
  bool ending = false;     // print what is queued, then end
  bool abandoned = false;  // end without printing more
  bool done = false;       // the printer has ended
};

PrintQueue::PrintQueue(size_t capacity, Print print, ReportDropped reportDropped)
    : state(std::make_shared<State>(capacity, std::move(print), std::move(reportDropped))),
      printer([state = state] { state->PrintAll(); }) {}

PrintQueue::~PrintQueue() {
  if (printer.joinable())
    Finish(INFINITE);
}

void PrintQueue::Push(Received received) {
  const size_t size = received.message.bytes.size();
  {
    const std::lock_guard<std::mutex> hold(state->lock);
    auto& entries = state->entries;
    if (!entries.empty() &&
        (entries.size() >= state->capacity || state->bytes + size > kMaxBytes)) {
      ++entries.back().droppedAfter;
      return;
    }
    state->bytes += size;
    entries.push_back({std::move(received)});
  }
  state->changed.notify_all();
}

size_t PrintQueue::Finish(DWORD timeoutMs) {
  std::unique_lock<std::mutex> hold(state->lock);
  state->ending = true;
  state->changed.notify_all();
  const auto finished = [this] { return state->done; };
  if (timeoutMs == INFINITE) {
    state->changed.wait(hold, finished);
  } else if (!state->changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), finished)) {
    state->abandoned = true;
    const size_t unprinted = state->Unprinted();
    hold.unlock();
    printer.detach();
    return unprinted;
  }
  hold.unlock();
  printer.join();
  return 0;
}

}  // namespace viewer
