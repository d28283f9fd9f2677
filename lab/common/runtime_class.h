// The runtime's COM class as its installer registers it, written down here from the runtime's
// documentation and never taken from the agent: a wrong id in the agent then finds no stand-in.
#pragma once

#include <guiddef.h>

namespace lab {

// {7A3C1E52-4B9D-4F61-9C2E-0D5B8A6F3E11}
inline constexpr GUID kRuntimeClass = {
    0x7a3c1e52, 0x4b9d, 0x4f61, {0x9c, 0x2e, 0x0d, 0x5b, 0x8a, 0x6f, 0x3e, 0x11}};
// {7A3C1E53-4B9D-4F61-9C2E-0D5B8A6F3E11}: IRuntimeSession
inline constexpr GUID kRuntimeSessionInterface = {
    0x7a3c1e53, 0x4b9d, 0x4f61, {0x9c, 0x2e, 0x0d, 0x5b, 0x8a, 0x6f, 0x3e, 0x11}};

}  // namespace lab
