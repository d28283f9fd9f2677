// The least of ATL's window wrapper that the program needs: a window handle and a few calls.
#pragma once

#include <windows.h>

namespace ATL {

class CWindow {
 public:
  HWND m_hWnd = nullptr;

  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL ShowWindow(int showCommand) { return ::ShowWindow(m_hWnd, showCommand); }
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
  }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  // Used only by the frame base's own WM_DESTROY handling, which CMainFrame replaces.
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
};

template <DWORD style, DWORD exStyle>
struct CWinTraits {
  static constexpr DWORD kStyle = style;
  static constexpr DWORD kExStyle = exStyle;
};

// WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE.
using CFrameWinTraits = CWinTraits<0x06CF0000, 0x00040100>;

}  // namespace ATL
