#include "log_viewer/print_queue.h"

#include <utility>

namespace viewer {

PrintQueue::PrintQueue(size_t capacity, Print print, ReportDropped reportDropped)
    : capacity(capacity),
      print(std::move(print)),
      reportDropped(std::move(reportDropped)),
      printer([this] { PrintAll(); }) {}

PrintQueue::~PrintQueue() {
  {
    const std::lock_guard<std::mutex> hold(lock);
    ending = true;
  }
  queued.notify_one();
  printer.join();
}

void PrintQueue::Push(Received received) {
  const size_t size = received.message.bytes.size();
  {
    const std::lock_guard<std::mutex> hold(lock);
    if (!entries.empty() && (entries.size() >= capacity || bytes + size > kMaxBytes)) {
      ++entries.back().droppedAfter;
      return;
    }
    bytes += size;
    entries.push_back({std::move(received)});
  }
  queued.notify_one();
}

void PrintQueue::PrintAll() {
  std::unique_lock<std::mutex> hold(lock);
  for (;;) {
    queued.wait(hold, [this] { return ending || !entries.empty(); });
    if (entries.empty())
      return;
    Entry entry = std::move(entries.front());
    entries.pop_front();
    bytes -= entry.received.message.bytes.size();
    hold.unlock();
    print(entry.received);
    if (entry.droppedAfter > 0)
      reportDropped(entry.droppedAfter);
    hold.lock();
  }
}

}  // namespace viewer
