// The desktop shell: a shell window of a process of its own.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "drivers/process.h"
#include "common/handle.h"

namespace lab {

// A shell window of a process of its own, from construction until Stop or destruction.
class ShellStandIn {
 public:
  ShellStandIn();
  ~ShellStandIn() { Stop(); }
  bool Running() const { return running; }
  void Stop();
  // Destroys the shell window, or makes a new one, in the same process.
  bool Toggle();

 private:
  std::string stopName, toggleName, toggledName;
  lab::Handle stop, toggle, toggled;
  std::optional<ChildProcess> process;
  bool running = false;
};

}  // namespace lab
