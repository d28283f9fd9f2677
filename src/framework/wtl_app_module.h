// WTL's application module: the program's instance and the table of message loops by thread.
#pragma once

#include <windows.h>

#include <map>

#include "framework/wtl_message_loop.h"

namespace WTL {

class CAppModule {
 public:
  CAppModule() = default;
  CAppModule(const CAppModule&) = delete;
  CAppModule& operator=(const CAppModule&) = delete;

  void Init(HINSTANCE instance);
  void Term();

  HINSTANCE GetModuleInstance() const { return instance; }
  DWORD GetMainThreadId() const { return mainThreadId; }

  // The table is guarded by the module's lock; it is held only for these short operations.
  void AddMessageLoop(CMessageLoop* loop);
  void RemoveMessageLoop();
  CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId());

 private:
  SRWLOCK lock = SRWLOCK_INIT;
  HINSTANCE instance = nullptr;
  DWORD mainThreadId = 0;
  std::map<DWORD, CMessageLoop*> messageLoops;
};

// The program's one application module.
CAppModule& AppModule();

}  // namespace WTL
