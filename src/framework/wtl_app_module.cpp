#include "framework/wtl_app_module.h"

namespace WTL {

class CAppModule::Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : section(section) { EnterCriticalSection(&section); }
  ~Lock() { LeaveCriticalSection(&section); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& section;
};

CAppModule::CAppModule() { InitializeCriticalSection(&lock); }

CAppModule::~CAppModule() { DeleteCriticalSection(&lock); }

void CAppModule::Init(HINSTANCE moduleInstance) {
  instance = moduleInstance;
  mainThreadId = GetCurrentThreadId();
}

void CAppModule::Term() {
  Lock guard(lock);
  messageLoops.clear();
}

void CAppModule::AddMessageLoop(CMessageLoop* loop) {
  Lock guard(lock);
  messageLoops[GetCurrentThreadId()] = loop;
}

void CAppModule::RemoveMessageLoop() {
  Lock guard(lock);
  messageLoops.erase(GetCurrentThreadId());
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) {
  Lock guard(lock);
  const auto found = messageLoops.find(threadId);
  return found == messageLoops.end() ? nullptr : found->second;
}

CAppModule& AppModule() {
  static CAppModule module;
  return module;
}

}  // namespace WTL
