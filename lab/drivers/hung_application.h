// An application of the session that has stopped responding, in the foreground.
#pragma once

#include <windows.h>

#include <optional>

#include "drivers/process.h"

namespace lab {

class HungApplication {
 public:
  HungApplication();  // returns once its window exists and its thread no longer reads messages
  HWND Window() const { return window; }

 private:
  std::optional<ChildProcess> process;
  HWND window = nullptr;
};

}  // namespace lab
