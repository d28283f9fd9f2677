// The baseline for the agent's costs: a bare user32 program with the same hidden top-level window
// and the same 100 ms timer, doing nothing on each tick. With --report it sends one information
// record once its window exists, as the agent's first report after its start record.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "OMBRU.BareTimerWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0x00040100, windowClass.lpszClassName, "", 0x06CF0000,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, instance, nullptr);
  SetTimer(window, 1, 100, nullptr);
  if (std::strstr(commandLine, "--report")) {
    HANDLE pipe = CreateFileA("\\\\.\\pipe\\VLM.Log.Info", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    static const char kRecord[] = "bare window created|0|bare";
    DWORD written = 0;
    WriteFile(pipe, kRecord, sizeof(kRecord), &written, nullptr);
    CloseHandle(pipe);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0)
    DispatchMessageA(&message);
  return static_cast<int>(message.wParam);
}
