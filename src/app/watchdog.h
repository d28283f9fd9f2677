#pragma once

#include <windows.h>

#include "framework/unique_handle.h"

// The process to watch, opened for synchronisation; null when there is no such process or no
// right to open it. Taken before anything that may wait, so that the process cannot end unseen,
// nor its id pass to another process, in the meantime.
ombru::Handle OpenWatchedProcess(DWORD processId);

// Waits, without a time limit, until the process has ended, then asks the service control
// manager to start the service again. Reports on the debug output only; a null process ends at
// once, silently.
void RestartServiceAfterProcess(const ombru::Handle& process, const char* serviceName);
