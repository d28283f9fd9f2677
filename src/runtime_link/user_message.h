// A message from the runtime to the user: shown in a message box, or rejected, and the outcome
// reported back to the runtime.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime_link/runtime_interfaces.h"

namespace ombru {

// The window-manager calls that decide how the box appears; tests replace them to see a failing
// first box, which Wine gives no way to provoke.
struct MessageBoxApi {
  HWND(WINAPI* foregroundWindow)();
  LRESULT(WINAPI* sendMessageTimeout)
  (HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
   PDWORD_PTR result);
  int(WINAPI* messageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
};

const MessageBoxApi& SystemMessageBoxApi();

// S_OK when shown and completed, E_INVALIDARG when rejected, and the second box's failure as an
// HRESULT (E_FAIL when it left no error) when neither box could be shown. The foreground window
// owns the box only when its thread answers within a second.
HRESULT DeliverUserMessage(const MessageBoxApi& api, const uint8_t* payload,
                           IPendingOperations& operations, const char* computerName,
                           uint32_t operationKey);

}  // namespace ombru
