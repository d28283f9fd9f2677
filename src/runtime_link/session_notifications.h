// Thread-pool work items that tell the runtime what changed in the session. Each finds its facts
// again when it runs, uses only objects of its own and shares nothing with the frame. The frame
// asks for them through report_requests.h, which runs those of one kind one at a time: from its
// look at the facts to the end of its send, so that the runtime's last report always carries the
// latest state, even when an earlier one was held up after its look (a slow runtime, directory
// client or log collector).
#pragma once

#include <windows.h>

// Reports METHOD_SHELL_STARTED or METHOD_SHELL_STOPPED, whichever holds when it runs.
DWORD WINAPI NotifyShellStateChange(void* unused);

// Reports the session's user (the directory identity where the client is installed and storage
// is not local, else the Windows account) with a handle to the agent's own access token.
DWORD WINAPI NotifyUserChange(void* unused);
