#include "monitor/main_frame.h"

#include "framework/wtl_app_module.h"
#include "monitor/hot_keys.h"
#include "runtime_link/shell_state.h"
#include "res/resource.h"
#include "runtime_link/runtime_session.h"
#include "runtime_link/report_requests.h"

namespace {

constexpr UINT_PTR kShellWatchTimer = 1;
constexpr UINT kShellWatchPeriodMs = 100;

}  // namespace

BOOL CMainFrame::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) {
  switch (message) {
    case WM_CREATE:
      result = OnCreate();
      return TRUE;
    case WM_HOTKEY:
      result = OnHotKey(wParam);
      return TRUE;
    case WM_DESTROY:
      result = OnDestroy();
      return TRUE;
    case WM_TIMER:
      result = OnTimer(wParam);
      return TRUE;
    case WM_SETTINGCHANGE:
      result = OnSettingChange(lParam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == ID_APP_EXIT) {
        result = OnExitCommand();
        return TRUE;
      }
      break;
  }
  if (CUpdateUI<CMainFrame>::ProcessWindowMessage(window, message, wParam, lParam, result)) {
    // Not reached: the frame declares no UI-update entries.
    return TRUE;
  }
  return CFrameWindowImpl<CMainFrame>::ProcessWindowMessage(window, message, wParam, lParam,
                                                            result);
}

// The window is gone for good: end the loop, so that the session's single-instance guard is not
// held by an agent that can no longer see anything.
void CMainFrame::OnFinalMessage(HWND) { PostQuitMessage(0); }

BOOL CMainFrame::PreTranslateMessage(MSG* message) {
  return m_hAccel && TranslateAcceleratorA(m_hWnd, m_hAccel, message);
}

BOOL CMainFrame::OnIdle() { return FALSE; }

LRESULT CMainFrame::OnCreate() {
  shellRunning = true;
  runtimeSession = ombru::CreateRuntimeSession();
  if (WTL::CMessageLoop* loop = WTL::AppModule().GetMessageLoop()) {
    loop->AddMessageFilter(this);
    loop->AddIdleHandler(this);
  }
  const ombru::RegistryKey hotKeySettings = ombru::OpenHotKeySettings();
  hotKeysRegistered = static_cast<bool>(hotKeySettings);
  if (hotKeysRegistered)
    ombru::RegisterHotKeys(m_hWnd, hotKeySettings);
  SetTimer(m_hWnd, kShellWatchTimer, kShellWatchPeriodMs, nullptr);
  // The first look at the directory identity, before creation completes.
  SendMessage(WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"));
  return 0;
}

LRESULT CMainFrame::OnHotKey(WPARAM hotKeyId) {
  ombru::HandleHotKeyPress(static_cast<int>(hotKeyId), log);
  return 0;
}

LRESULT CMainFrame::OnDestroy() {
  if (hotKeysRegistered)
    ombru::UnregisterHotKeys(m_hWnd);
  runtimeSession.Reset();
  return 0;
}

LRESULT CMainFrame::OnTimer(WPARAM timerId) {
  if (timerId != kShellWatchTimer)
    return 0;
  const bool running = IsShellRunning();
  if (running == shellRunning)
    return 0;
  log.LogInfo(running ? "Detected shell start" : "Detected shell termination");
  shellRunning = running;
  ombru::RequestShellStateReport();
  return 0;
}

LRESULT CMainFrame::OnExitCommand() {
  PostMessage(WM_CLOSE);
  return 0;
}
