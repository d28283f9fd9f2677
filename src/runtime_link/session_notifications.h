// Thread-pool work items that tell the runtime what changed in the session. Each finds its facts
// again when it runs, uses only objects of its own and shares nothing with the frame.
#pragma once

#include <windows.h>

// Reports METHOD_SHELL_STARTED or METHOD_SHELL_STOPPED, whichever holds when it runs. These items
// run one at a time, so that the runtime's last report is always the latest state.
DWORD WINAPI NotifyShellStateChange(void* unused);

// Reports the session's user (the directory identity where the client is installed and storage
// is not local, else the Windows account) with a handle to the agent's own access token. These
// items too run one at a time, so that the runtime's last report always carries the identity
// read last.
DWORD WINAPI NotifyUserChange(void* unused);
