#pragma once

#include <windows.h>

// The long-running session agent, guarded to one per session. Returns the agent's exit code.
int RunAgentMode(HINSTANCE instance);
