#include "drivers/message_box.h"

#include "drivers/process.h"

namespace lab {

MessageBoxSeen AcknowledgeMessageBox(DWORD threadId, DWORD timeoutMs) {
  MessageBoxSeen seen;
  HWND box = WaitForThreadWindow(threadId, "#32770", timeoutMs);
  if (!box)
    return seen;
  // The dialog exists before its texts are set; it is shown once they are.
  PollUntil([&] { return IsWindowVisible(box) != FALSE; }, timeoutMs);
  char text[1024] = {};
  seen.found = true;
  GetWindowTextA(box, text, sizeof(text));
  seen.caption = text;
  // The message text is the static control with the id 0xFFFF.
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
  seen.text = text;
  seen.owner = GetWindow(box, GW_OWNER);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return seen;
}

}  // namespace lab
