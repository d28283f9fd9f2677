// The floors that the agent's costs are measured against: a bare user32 program with the same
// hidden top-level window and the same 100 ms timer.
//
//   bare_timer_window.exe [--shell-test] [--report | --startup]
//
// --shell-test  each tick makes the shell test's calls (GetShellWindow twice, IsWindow,
//               GetWindowThreadProcessId, OpenProcess and its close); without it a tick does
//               nothing
// --report      sends one information record once its window exists
// --startup     first makes the calls the agent makes before its first report after the start
//               record (COM, the start record, the mutex, the common controls, the runtime's
//               class), then sends that report
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#define SECURITY_WIN32
#include <secext.h>

#include <cstring>

namespace {

const GUID kRuntimeSession = {
    0x7A3C1E52, 0x4B9D, 0x4F61, {0x9C, 0x2E, 0x0D, 0x5B, 0x8A, 0x6F, 0x3E, 0x11}};

void Report(const char* text) {
  HANDLE pipe = CreateFileA("\\\\.\\pipe\\VLM.Log.Info", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(pipe, text, static_cast<DWORD>(std::strlen(text) + 1), &written, nullptr);
  CloseHandle(pipe);
}

void CALLBACK ShellTest(HWND, UINT, UINT_PTR, DWORD) {
  if (!IsWindow(GetShellWindow()))
    return;
  DWORD processId = 0;
  GetWindowThreadProcessId(GetShellWindow(), &processId);
  if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId))
    CloseHandle(process);
}

// Imports the libraries that the agent imports for its later work: loading them is part of every
// start. Never true, but the compiler cannot know.
void ImportAsTheAgentDoes() {
  if (GetCurrentProcessId() != 0)
    return;
  char path[MAX_PATH] = {};
  ULONG size = 0;
  ShellExecuteA(nullptr, nullptr, path, nullptr, nullptr, 0);
  PathAppendA(path, path);
  GetUserNameExA(NameSamCompatible, path, &size);
  RegisterEventSourceA(nullptr, path);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  const bool startup = std::strstr(commandLine, "--startup") != nullptr;
  IUnknown* runtime = nullptr;
  HANDLE mutex = nullptr;
  if (startup) {
    ImportAsTheAgentDoes();
    CoInitialize(nullptr);
    Report("bare start|0|bare");
    mutex = CreateMutexA(nullptr, TRUE, "OMBRU.Bench.Floor");
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
  }
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "OMBRU.BareTimerWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0x00040100, windowClass.lpszClassName, "", 0x06CF0000,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, instance, nullptr);
  if (startup) {
    CoCreateInstance(kRuntimeSession, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                     reinterpret_cast<void**>(&runtime));
  }
  const bool shellTest = std::strstr(commandLine, "--shell-test") != nullptr;
  SetTimer(window, 1, 100, shellTest ? ShellTest : nullptr);
  if (startup || std::strstr(commandLine, "--report"))
    Report("bare window created|0|bare");
  // The loop a message loop of the agent's kind must run: a look at the queue before the idle
  // pass, then translation and dispatch of every message. What the agent adds beyond it (its
  // filter and idle lists, the framework's bookkeeping) is what the comparison shows.
  MSG message = {};
  for (bool doIdle = true;;) {
    while (doIdle && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE))
      doIdle = false;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1)
      break;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    doIdle = true;
  }
  if (runtime)
    runtime->Release();
  if (mutex)
    CloseHandle(mutex);
  if (startup)
    CoUninitialize();
  return static_cast<int>(message.wParam);
}
