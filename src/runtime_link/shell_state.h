#pragma once

// True when the session's desktop shell runs: its window exists and its process can be opened
// for synchronisation. Holds nothing between calls.
bool IsShellRunning();
