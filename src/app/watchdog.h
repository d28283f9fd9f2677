#pragma once

#include <windows.h>

// Waits, without a time limit, until the process has ended, then asks the service control
// manager to start the service again. Reports on the debug output only.
void RestartServiceAfterProcess(DWORD processId, const char* serviceName);
