// Records wait here for the console, so that a console that stops reading (Ctrl+S, a pager that
// is not paged on) delays the output and never a client of the pipes. Bounded: a record that finds
// the queue full is dropped, and the printer says how many were dropped, where they would have
// stood, once it can print again. An output that fails (its reader gone, a full disk) ends the
// printing: nothing more is printed, and the queue tells whoever waits for it.
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
  static constexpr size_t kMaxBytes = 32 * 1024 * 1024;

  // Prints one record; false when the output failed.
  using Print = std::function<bool(const Received&)>;
  using ReportDropped = std::function<void(size_t dropped)>;
  // Called on the printer's thread, once, when a print failed.
  using OutputFailed = std::function<void()>;

  // At most `capacity` records wait, with at most `maxBytes` of messages, beside the one being
  // printed.
  PrintQueue(size_t capacity, Print print, ReportDropped reportDropped, OutputFailed outputFailed,
             size_t maxBytes = kMaxBytes);
  ~PrintQueue();  // finishes, without a time limit, unless Finish did
  PrintQueue(const PrintQueue&) = delete;
  PrintQueue& operator=(const PrintQueue&) = delete;

  // Never waits for the printer.
  void Push(Received received);

  // Prints what is queued, for at most `timeoutMs`, and returns how many records could not be
  // printed: those still queued, the one being printed and those dropped without a word yet; after
  // a failed output, every record not printed. A printer held up by a console that does not read
  // is left where it is, never waited for past the time; it prints nothing more.
  size_t Finish(DWORD timeoutMs);

 private:
  struct State;

  std::shared_ptr<State> state;  // shared with the printer, which may outlive the queue
  std::thread printer;
};

}  // namespace viewer
