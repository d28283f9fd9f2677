#pragma once

// Runs the agent's hidden frame and its message loop on the calling thread until WM_QUIT, and
// returns the quit message's wParam (0 when the frame cannot be created).
int RunMessageLoop(int showCommand);
