#include "failure/stack_guard.h"

#include <windows.h>

#include <cstddef>

namespace ombru {
namespace {

bool Query(const void* address, MEMORY_BASIC_INFORMATION& region) {
  return VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
}

}  // namespace

bool ArmStackGuard(const void* continueAt) {
  MEMORY_BASIC_INFORMATION region = {};
  const char* const stackPointer =
      continueAt ? static_cast<const char*>(continueAt) : reinterpret_cast<const char*>(&region);
  if (!Query(stackPointer, region))
    // Not reached: VirtualQuery does not fail on the thread's own stack.
    return false;
  char* const reserveBase = static_cast<char*>(region.AllocationBase);

  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  ULONG guarantee = 0;
  SetThreadStackGuarantee(&guarantee);

  // Below this page only the guaranteed stack (and the final page) remain.
  char* guard = reserveBase + page + guarantee;
  if (!Query(guard, region))
    // Not reached: VirtualQuery does not fail on the thread's own stack.
    return false;
  if (region.State != MEM_COMMIT) {
    // The stack has not grown this far: the lowest committed page of it takes the guard.
    while (guard < stackPointer && Query(guard, region) && region.State != MEM_COMMIT) {
      // Not reached under test: the stack is committed down to the guard's place by then.
      guard = static_cast<char*>(region.BaseAddress) + region.RegionSize;
    }
  }
  if (region.Protect & PAGE_GUARD)
    // Not reached: the guard is armed once, at installation, and again only after it fired.
    return true;
  if (stackPointer - guard < static_cast<ptrdiff_t>(4 * page))
    return false;
  DWORD previous;
  return VirtualProtect(guard, page, PAGE_READWRITE | PAGE_GUARD, &previous) != 0;
}

}  // namespace ombru
