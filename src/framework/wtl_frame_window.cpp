#include "framework/wtl_frame_window.h"

#include <cstdio>
#include <unordered_map>

#include "framework/wtl_app_module.h"

namespace WTL {
namespace {

// The object whose window is being created on this thread: it has no handle until its first
// message arrives.
thread_local CFrameWindowImplBase* windowBeingCreated = nullptr;

constexpr int kTitleLength = 256;

using WindowObjects = std::unordered_map<HWND, CFrameWindowImplBase*>;

// The object of each window of this thread. Kept in the process's own memory: a window's
// GWLP_USERDATA, the usual place, can be written by any process of the session, and a value
// written there would become the object the next message is dispatched to.
WindowObjects& ThreadWindowObjects() {
  thread_local WindowObjects objects;
  return objects;
}

CFrameWindowImplBase* FromWindow(HWND window) {
  const WindowObjects& objects = ThreadWindowObjects();
  const auto found = objects.find(window);
  return found == objects.end() ? nullptr : found->second;
}

ATOM RegisterFrameClass(CFrameWndClassInfo& info, HINSTANCE instance, UINT resourceId,
                        WNDPROC windowProc) {
  if (info.atom)
    return info.atom;
  std::snprintf(info.name, sizeof(info.name), "ATL:%p", static_cast<void*>(&info));
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = 0;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = info.name;
  windowClass.hIcon = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  info.atom = RegisterClassExA(&windowClass);
  return info.atom;
}

}  // namespace

BOOL CFrameWindowImplBase::ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT&) {
  // A top-level frame ends its thread's loop when it is destroyed, unless its own map handled
  // WM_DESTROY first. The message still goes on to DefWindowProcA.
  if (message == WM_DESTROY && (GetStyle() & (WS_CHILD | WS_POPUP)) == 0)
    // Not reached: CMainFrame handles WM_DESTROY itself.
    PostQuitMessage(1);
  return FALSE;
}

CFrameWindowImplBase::~CFrameWindowImplBase() {
  if (m_hWnd)
    // Not reached from the agent, whose run loop destroys the window first; any other owner's
    // window that outlives its object falls back to DefWindowProcA instead of a dangling object.
    ThreadWindowObjects().erase(m_hWnd);
}

WNDPROC CFrameWindowImplBase::GetWindowProc() { return WindowProc; }

// Not reached: CMainFrame has a final-message hook of its own.
void CFrameWindowImplBase::OnFinalMessage(HWND) {}

HWND CFrameWindowImplBase::CreateFrame(CFrameWndClassInfo& classInfo, UINT resourceId, DWORD style,
                                       DWORD exStyle) {
  const HINSTANCE instance = AppModule().GetModuleInstance();
  char title[kTitleLength] = {};
  LoadStringA(instance, resourceId, title, kTitleLength);
  HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(resourceId));

  if (!RegisterFrameClass(classInfo, instance, resourceId, StartWindowProc))
    // Not reached: registering a class under its generated name does not fail.
    return nullptr;

  windowBeingCreated = this;
  HWND window = CreateWindowExA(exStyle, MAKEINTATOM(classInfo.atom), title, style, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu,
                                instance, nullptr);
  windowBeingCreated = nullptr;
  if (window) {
    m_hAccel = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(resourceId));
    // Not reached: the hidden frame's window is always created under test.
  } else if (menu) {
    DestroyMenu(menu);
  }
  return window;
}

LRESULT CALLBACK CFrameWindowImplBase::StartWindowProc(HWND window, UINT message, WPARAM wParam,
                                                       LPARAM lParam) {
  CFrameWindowImplBase* self = windowBeingCreated;
  windowBeingCreated = nullptr;
  if (!self)
    // Not reached: the class is the process's own, and its every window comes from CreateFrame.
    return DefWindowProcA(window, message, wParam, lParam);
  self->m_hWnd = window;
  ThreadWindowObjects()[window] = self;
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->GetWindowProc()));
  return WindowProc(window, message, wParam, lParam);
}

LRESULT CALLBACK CFrameWindowImplBase::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  CFrameWindowImplBase* self = FromWindow(window);
  LRESULT result = 0;
  if (self && self->ProcessWindowMessage(window, message, wParam, lParam, result))
    return result;
  result = DefWindowProcA(window, message, wParam, lParam);
  if (self && message == WM_NCDESTROY) {
    ThreadWindowObjects().erase(window);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(window);
  }
  return result;
}

}  // namespace WTL
