#pragma once

namespace ombru {

// Arms a guard page where the calling thread's stack must stop growing so that a stack overflow
// is raised while the thread's guaranteed stack (SetThreadStackGuarantee) is still free for
// handling it. Used when the translator is installed and again after each translated overflow,
// which uses the guard up, as _resetstkoflw would be. Fails, changing nothing, while the stack
// pointer (or the one at which the thread is about to continue, when given) is too close to that
// place.
bool ArmStackGuard(const void* continueAt = nullptr);

}  // namespace ombru
