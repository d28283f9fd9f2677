// A per-thread structured-exception translator for GCC-compiled code, in the manner of the
// Microsoft runtime's _set_se_translator: on a thread that has one, a structured exception of
// error severity that reaches a function with exception handlers is handed to the translator at
// that point, and whatever the translator throws continues from there as a C++ exception.
//
// How: GCC's SEH personality routine is wrapped at link time (-Wl,--wrap=__gxx_personality_seh0).
// When the wrapper sees such an exception in a frame whose fault point its call-site table
// covers, it saves the record and the processor state for the thread and rewrites the context so
// that execution continues in a small thunk that appears to have been called from that point;
// the thunk calls the translator. Frames where no call site covers the point (prologues,
// functions without handlers) are passed over to their callers.
#pragma once

#include <windows.h>

namespace ombru {

using SeTranslator = void (*)(unsigned code, EXCEPTION_POINTERS* pointers);

// Installs the translator for the calling thread and returns the one it replaces. Also reserves
// stack for handling a stack overflow on this thread.
SeTranslator SetStructuredExceptionTranslator(SeTranslator translator);

}  // namespace ombru
