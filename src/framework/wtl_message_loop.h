// WTL's message loop: message filters asked before dispatch and idle handlers run when the queue
// runs empty.
#pragma once

#include <windows.h>

#include <vector>

namespace WTL {

class CMessageFilter {
 public:
  // Non-zero: the message was consumed and is not dispatched.
  virtual BOOL PreTranslateMessage(MSG* message) = 0;
};

class CIdleHandler {
 public:
  virtual BOOL OnIdle() = 0;
};

class CMessageLoop {
 public:
  void AddMessageFilter(CMessageFilter* filter) { filters.push_back(filter); }
  void AddIdleHandler(CIdleHandler* handler) { idleHandlers.push_back(handler); }

  // Pumps until WM_QUIT and returns its wParam.
  int Run();

  // Messages that come often and mean nothing new, so they do not start another idle pass.
  static bool IsIdleMessage(const MSG& message);

 private:
  BOOL PreTranslateMessage(MSG* message);
  void OnIdle();

  std::vector<CMessageFilter*> filters;
  std::vector<CIdleHandler*> idleHandlers;
  MSG current = {};
};

}  // namespace WTL
