// The agent's only window: hidden, top-level so that it receives broadcast setting changes, and
// the owner of the hot keys, the shell-watch timer and the session state they compare against.
#pragma once

#include <string>

#include "framework/com_ptr.h"
#include "framework/wtl_frame_window.h"
#include "framework/wtl_message_loop.h"
#include "framework/wtl_update_ui.h"
#include "log/win_log_impl.h"
#include "runtime_link/runtime_interfaces.h"

class CMainFrame : public WTL::CFrameWindowImpl<CMainFrame>,
                   public WTL::CUpdateUI<CMainFrame>,
                   public WTL::CMessageFilter,
                   public WTL::CIdleHandler {
 public:
  CMainFrame() = default;
  ~CMainFrame() override = default;
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;
  void OnFinalMessage(HWND window) override;
  BOOL PreTranslateMessage(MSG* message) override;
  BOOL OnIdle() override;

 private:
  LRESULT OnCreate();
  LRESULT OnHotKey(WPARAM hotKeyId);
  LRESULT OnDestroy();
  LRESULT OnTimer(WPARAM timerId);
  LRESULT OnSettingChange(LPARAM sectionName);
  void OnEnvironmentChange();
  void OnStorageSettingsChange();
  LRESULT OnExitCommand();

  ombru::ComPtr<IRuntimeSession> runtimeSession;
  CWinLogImpl log;
  std::string lastDirectoryUser;
  bool shellRunning = false;
  bool hotKeysRegistered = false;
};
