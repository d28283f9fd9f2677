// Runs the log collector stand-in for the life of the object and reads back what it received.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/log_pipe_server.h"
#include "drivers/process.h"

namespace lab {

// The logged text of an information record: its first field.
std::string InfoText(const std::string& record);

// Texts as one string, each in brackets, from the given one on: for readable messages.
std::string Bracketed(const std::vector<std::string>& texts, size_t from = 0);

class LogCollector {
 public:
  // behaviour: "message" (the collector's contract), "byte", "busy", "briefly-busy", "many",
  // "stall", "wide" or "wide-naming".
  explicit LogCollector(const char* behaviour = "message");
  ~LogCollector();

  bool Running() const { return running; }
  HANDLE Process() const { return process ? process->Get() : nullptr; }

  // Every message taken so far on one pipe, each with its exact bytes.
  std::vector<std::string> Messages(const LogPipe& pipe) const;

  // Waits until at least `count` messages arrived on the pipe, then returns them all.
  std::vector<std::string> WaitForMessages(const LogPipe& pipe, size_t count,
                                           DWORD timeoutMs = 10000) const;

  // The logged texts of the information records, once at least `count` arrived.
  std::vector<std::string> WaitForInfoTexts(size_t count, DWORD timeoutMs = 10000) const;

 private:
  std::string outputPath;
  std::string stopName;
  lab::Handle stop;
  std::optional<ChildProcess> process;
  bool running = false;
};

}  // namespace lab
