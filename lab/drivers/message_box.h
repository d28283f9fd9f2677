// Finds a message box of another thread, reads it and presses its OK button.
#pragma once

#include <windows.h>

#include <string>

namespace lab {

struct MessageBoxSeen {
  bool found = false;
  std::string caption;
  std::string text;
  HWND owner = nullptr;
};

MessageBoxSeen AcknowledgeMessageBox(DWORD threadId, DWORD timeoutMs = 10000);

}  // namespace lab
