// The administrators' log viewer, started for a driver and ended with it; what it printed.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/handle.h"

namespace lab {

class LogViewer {
 public:
  // Standard error goes to a file, and standard output with it; with `heldOutput`, standard
  // output goes instead into a pipe that nobody reads until ReadOutputAgain: a paused console.
  // With `pipedErrors`, standard error goes through a pipe that this driver reads into the same
  // file, until StallErrors.
  explicit LogViewer(const char* arguments, bool heldOutput = false, bool pipedErrors = false);
  ~LogViewer();
  LogViewer(const LogViewer&) = delete;
  LogViewer& operator=(const LogViewer&) = delete;

  HANDLE Process() const { return process.Get(); }

  // Everything on standard error, and standard output unless it is held.
  std::string Output() const;
  std::string WaitForOutput(const char* text, DWORD timeoutMs = 5000) const;
  // Waits until every one of `texts` was printed, in any order: clients are served several at a
  // time, so records sent one after another may be printed in another order.
  std::string WaitForOutputs(const std::vector<std::string>& texts, DWORD timeoutMs = 5000) const;

  // Reads the held output from now on; a slow console takes `chunk` bytes every `pauseMs`.
  void ReadOutputAgain(DWORD chunk = 4096, DWORD pauseMs = 0);
  // Closes the held output's only reader: an output whose reader is gone.
  void CloseOutput() { held.Reset(); }
  // Stops reading the piped standard error and fills its pipe: from then on every write the viewer
  // makes to it waits, as into a paused console.
  void StallErrors();
  std::string HeldOutput();

  // The records printed whole in the raw format (a record cut short by a stalled console is not)
  // whose message holds `message`, in the held output.
  size_t PrintedRecords(const std::string& message);
  // The records the viewer said it dropped, while its output was not read or at its end.
  size_t DroppedRecords() const;

  // Delivers a console control event as the system does, on a thread of the viewer started at
  // kernelbase's CtrlRoutine (Wine's GenerateConsoleCtrlEvent cannot without a display), and
  // returns once its handler returned. After a close, log-off or shutdown event the system ends
  // the process then, and so does this.
  void Control(DWORD event);

  // The exit code once it ended within the time, STILL_ACTIVE otherwise.
  DWORD ExitCode(DWORD timeoutMs) const;

 private:
  std::string errorPath;
  lab::Handle process;
  lab::Handle held;
  lab::Handle errorsRead, errorsWrite;
  lab::Handle mayReadErrors{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
  std::thread errorsReader, errorsFiller;
  std::thread reader;
  std::mutex lock;
  std::string heldOutput;
};

}  // namespace lab
