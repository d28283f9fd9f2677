#include "framework/wtl_message_loop.h"

namespace WTL {

namespace {
constexpr UINT kCaretBlinkTimer = 0x0118;
}

int CMessageLoop::Run() {
  bool doIdle = true;
  for (;;) {
    while (doIdle && !PeekMessageA(&current, nullptr, 0, 0, PM_NOREMOVE)) {
      OnIdle();
      doIdle = false;
    }

    const BOOL got = GetMessageA(&current, nullptr, 0, 0);
    if (got == -1)
      // Not reached: GetMessageA answers -1 only for a window filter, and this loop passes none.
      continue;
    if (got == 0)
      break;

    if (!PreTranslateMessage(&current)) {
      TranslateMessage(&current);
      DispatchMessageA(&current);
    }
    if (!IsIdleMessage(current))
      doIdle = true;
  }
  return static_cast<int>(current.wParam);
}

bool CMessageLoop::IsIdleMessage(const MSG& message) {
  switch (message.message) {
    // Not reached: the hidden frame gets no mouse, paint or caret messages.
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case kCaretBlinkTimer:
      // Not reached: the hidden frame gets no mouse, paint or caret messages.
      return true;
  }
  return false;
}

BOOL CMessageLoop::PreTranslateMessage(MSG* message) {
  for (auto filter = filters.rbegin(); filter != filters.rend(); ++filter) {
    if ((*filter)->PreTranslateMessage(message))
      // Not reached: the frame has no accelerators, so its filter consumes nothing.
      return TRUE;
  }
  return FALSE;
}

void CMessageLoop::OnIdle() {
  for (CIdleHandler* handler : idleHandlers)
    handler->OnIdle();
}

}  // namespace WTL
