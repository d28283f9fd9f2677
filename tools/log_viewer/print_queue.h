// Records wait here for the console, so that a console that stops reading (Ctrl+S, a pager that
// is not paged on) delays the output and never a client of the pipes. Bounded: a record that finds
// the queue full is dropped, and the printer says how many were dropped, where they would have
// stood, once it can print again.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "log_viewer/record_text.h"

namespace viewer {

class PrintQueue {
 public:
  // The queue holds at most `capacity` records and kMaxBytes of messages.
  static constexpr size_t kMaxBytes = 32 * 1024 * 1024;

  using Print = std::function<void(const Received&)>;
  using ReportDropped = std::function<void(size_t dropped)>;

  PrintQueue(size_t capacity, Print print, ReportDropped reportDropped);
  ~PrintQueue();  // prints what is queued, then ends
  PrintQueue(const PrintQueue&) = delete;
  PrintQueue& operator=(const PrintQueue&) = delete;

  // Never waits for the printer.
  void Push(Received received);

 private:
  struct Entry {
    Received received;
    size_t droppedAfter = 0;
  };

  void PrintAll();

  const size_t capacity;
  const Print print;
  const ReportDropped reportDropped;
  std::mutex lock;
  std::condition_variable queued;
  std::deque<Entry> entries;
  size_t bytes = 0;
  bool ending = false;
  std::thread printer;
};

}  // namespace viewer
