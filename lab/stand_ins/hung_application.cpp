// Stand-in for an application that has stopped responding: a visible top-level window, brought
// to the foreground, whose thread then never reads another message.
//
//   hung_application.exe READY-EVENT
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 2)
    return 2;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "OMBRU.HungApplication";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Not responding",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
  if (!window)
    return 3;
  SetForegroundWindow(window);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageA(&message);
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
  SetEvent(ready);
  CloseHandle(ready);
  Sleep(INFINITE);
  return 0;
}
