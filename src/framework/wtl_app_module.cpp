#include "framework/wtl_app_module.h"

#include "framework/exclusive_lock.h"

namespace WTL {

void CAppModule::Init(HINSTANCE moduleInstance) {
  instance = moduleInstance;
  mainThreadId = GetCurrentThreadId();
}

void CAppModule::Term() {
  const ombru::ExclusiveLock guard(lock);
  messageLoops.clear();
}

void CAppModule::AddMessageLoop(CMessageLoop* loop) {
  const ombru::ExclusiveLock guard(lock);
  messageLoops[GetCurrentThreadId()] = loop;
}

void CAppModule::RemoveMessageLoop() {
  const ombru::ExclusiveLock guard(lock);
  messageLoops.erase(GetCurrentThreadId());
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) {
  const ombru::ExclusiveLock guard(lock);
  const auto found = messageLoops.find(threadId);
  return found == messageLoops.end() ? nullptr : found->second;
}

CAppModule& AppModule() {
  static CAppModule module;
  return module;
}

}  // namespace WTL
