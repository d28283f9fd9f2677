// A per-thread structured-exception translator for GCC-compiled code, in the manner of the
// Microsoft runtime's _set_se_translator: on a thread that has one, a structured exception of
// error severity that reaches a function with exception handlers is handed to the translator,
// and whatever the translator throws is thrown from the point of the fault, as if the faulting
// instruction had thrown it.
//
// How: GCC's SEH personality routine is wrapped at link time (-Wl,--wrap=__gxx_personality_seh0).
// When the wrapper first sees such an exception, in the search for a handler, it saves the record
// and the processor state for the thread and continues the thread in a small thunk that appears
// to have been called from the fault; the thunk calls the translator. The thrown exception then
// takes the ordinary two passes of a C++ exception from there, so that:
// - every frame between the fault and the handler is unwound, also frames of other modules with
//   C++ runtimes of their own (their destructors run) and frames with __finally blocks;
// - the language's rules hold: a fault where the function's call-site table says nothing may
//   throw (a noexcept function, a destructor run by unwinding, a call GCC assumes cannot throw)
//   ends in std::terminate.
// Two places are passed over to their caller, because GCC leaves them out of the call-site table
// although they fault: a function's prologue (its stack stores) and the stack probe
// ___chkstk_ms. Exceptions that are not of error severity, C++ exceptions, debug output,
// fast-fail reports and non-continuable exceptions are left to the system.
#pragma once

#include <windows.h>

#include <cstddef>

namespace ombru {

using SeTranslator = void (*)(unsigned code, EXCEPTION_POINTERS* pointers);

// Installs the translator for the calling thread and returns the one it replaces. Also reserves
// stack for handling a stack overflow on this thread. The thread's state is freed when it ends.
SeTranslator SetStructuredExceptionTranslator(SeTranslator translator);

// How many threads hold a translator's state now: for tests that threads leave none behind.
size_t TranslatingThreads();

}  // namespace ombru
