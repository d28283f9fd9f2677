// The baseline for the agent's idle cost: a bare user32 program with the same hidden top-level
// window and the same 100 ms timer, doing nothing on each tick.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "OMBRU.BareTimerWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0x00040100, windowClass.lpszClassName, "", 0x06CF0000,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, instance, nullptr);
  SetTimer(window, 1, 100, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0)
    DispatchMessageA(&message);
  return static_cast<int>(message.wParam);
}
