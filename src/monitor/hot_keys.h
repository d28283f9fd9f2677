// The hot keys on the frame window: registered at creation from the console's settings key,
// unregistered at destruction, and each press starting the console unless switched off.
#pragma once

#include <windows.h>

#include "framework/unique_handle.h"
#include "log/ivllog.h"

namespace ombru {

// Opens "Software\Velmora\TSL" for the frame's create handler, which keeps it until it returns.
RegistryKey OpenHotKeySettings();

// Registers the three hot keys with the keys the settings name (their defaults where a value is
// missing, empty or unreadable). Results are not examined: a combination held elsewhere simply
// does not work.
void RegisterHotKeys(HWND frame, const RegistryKey& settings);

void UnregisterHotKeys(HWND frame);

// Checks the ignore switches, logs "Launching TSL" and starts the console.
void HandleHotKeyPress(int hotKeyId, IVLLog& log);

}  // namespace ombru
