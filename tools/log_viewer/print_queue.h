// Records wait here for the console, so that a console that stops reading (Ctrl+S, a pager that
// is not paged on) delays the output and never a client of the pipes. Bounded: a record that finds
// the queue full is dropped, and the printer says how many were dropped, where they would have
// stood, once it can print again.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
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
  ~PrintQueue();  // finishes, without a time limit, unless Finish did
  PrintQueue(const PrintQueue&) = delete;
  PrintQueue& operator=(const PrintQueue&) = delete;

  // Never waits for the printer.
  void Push(Received received);

  // Prints what is queued, for at most `timeoutMs`, and returns how many records could not be
  // printed in that time: those still queued, the one being printed and those dropped without a
  // word yet. A printer held up by a console that does not read is left where it is, never waited
  // for past the time; it prints nothing more.
  size_t Finish(DWORD timeoutMs);

 private:
  struct State;

  std::shared_ptr<State> state;  // shared with the printer, which may outlive the queue
  std::thread printer;
};

}  // namespace viewer
