#pragma once

#include "runtime_link/invoke_data.h"

namespace ombru {

// Hands one call message to a runtime session object of its own, on the calling thread, and
// discards the reply. Always 0: the outcome reaches nobody.
int SendToRuntime(const CInvokeData& message);

}  // namespace ombru
