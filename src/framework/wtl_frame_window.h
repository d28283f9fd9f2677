// WTL's frame window, as far as the program needs it: resources under one id, a window class
// registered once under a generated name, and a message map that chains to the frame's default
// handling and then to DefWindowProcA.
#pragma once

#include <windows.h>

#include "framework/atl_window.h"

namespace WTL {

// The class record of one frame type; its address names the class, so no other program can find
// the window by a fixed class name.
struct CFrameWndClassInfo {
  ATOM atom = 0;
  char name[32] = {};
};

class CFrameWindowImplBase : public ATL::CWindow {
 public:
  HACCEL m_hAccel = nullptr;

  // The message map. Handled messages return TRUE with their result in `result`.
  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result);
  // A window that outlives its object falls back to DefWindowProcA.
  virtual ~CFrameWindowImplBase();
  virtual WNDPROC GetWindowProc();
  // Called after WM_NCDESTROY, when the window is gone.
  virtual void OnFinalMessage(HWND window);

 protected:
  HWND CreateFrame(CFrameWndClassInfo& classInfo, UINT resourceId, DWORD style, DWORD exStyle);

 private:
  static LRESULT CALLBACK StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

template <class T, class TBase = ATL::CWindow, class TWinTraits = ATL::CFrameWinTraits>
class CFrameWindowImpl : public CFrameWindowImplBase {
 public:
  HWND CreateEx(UINT resourceId) {
    static CFrameWndClassInfo classInfo;
    return CreateFrame(classInfo, resourceId, TWinTraits::kStyle, TWinTraits::kExStyle);
  }
};

}  // namespace WTL
