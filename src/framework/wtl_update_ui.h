// WTL's UI-update helper. It keeps menu items in step with the frame's state when a pop-up opens;
// the frame declares no items to update, so no message stops here.
#pragma once

#include <windows.h>

namespace WTL {

template <class T>
class CUpdateUI {
 public:
  BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return FALSE; }
};

}  // namespace WTL
