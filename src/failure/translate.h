#pragma once

#include <windows.h>

// The main thread's structured-exception translator: throws VLM::access_violation,
// VLM::stack_overflow or VLM::win32_exception for the code, with a copy of the fault. Never
// returns.
[[noreturn]] void TranslateStructuredException(unsigned code, EXCEPTION_POINTERS* pointers);
