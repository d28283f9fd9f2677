#pragma once

#include "framework/com_ptr.h"
#include "runtime_link/runtime_interfaces.h"

namespace ombru {

// A runtime session object of the caller's own, in-process; empty when the class is missing or
// refuses creation. Failures are not retried.
ComPtr<IRuntimeSession> CreateRuntimeSession();

}  // namespace ombru
