#include "drivers/process.h"

#include <tlhelp32.h>

#include <vector>

namespace lab {

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string SiblingPath(const char* fileName) {
  std::string directory = OwnPath();
  directory.erase(directory.find_last_of('\\') + 1);
  return directory + fileName;
}

ChildProcess::ChildProcess(const std::string& exePath, const std::string& arguments,
                           WORD showCommand, const char* currentDirectory)
    : path(exePath) {
  std::string commandLine = "\"" + exePath + "\"";
  if (!arguments.empty())
    commandLine += " " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showCommand;
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                     currentDirectory, &startup, &info)) {
    process.Reset(info.hProcess);
    CloseHandle(info.hThread);
    processId = info.dwProcessId;
    threadId = info.dwThreadId;
  }
}

ChildProcess::~ChildProcess() { Terminate(); }

bool ChildProcess::WaitForExit(DWORD timeoutMs) const {
  return process && WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process)
    GetExitCodeProcess(process.Get(), &code);
  return code;
}

void ChildProcess::Terminate() {
  if (process && !WaitForExit(0)) {
    TerminateProcess(process.Get(), 255);
    WaitForExit(5000);
  }
}

bool PostToThread(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
  return PollUntil([&] { return PostThreadMessageA(threadId, message, wParam, lParam) != FALSE; },
                   timeoutMs);
}

namespace {

struct WindowSearch {
  const char* classPrefix;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<WindowSearch*>(parameter);
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  if (std::string(name).rfind(search.classPrefix, 0) != 0)
    return TRUE;
  search.found = window;
  return FALSE;
}

}  // namespace

HWND WaitForThreadWindow(DWORD threadId, const char* classPrefix, DWORD timeoutMs) {
  WindowSearch search = {classPrefix, nullptr};
  PollUntil(
      [&] {
        EnumThreadWindows(threadId, MatchClass, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

HWND WaitForAgentFrame(const ChildProcess& agent, DWORD timeoutMs) {
  WaitForInputIdle(agent.Get(), timeoutMs);
  return WaitForThreadWindow(agent.MainThreadId(), "ATL:", timeoutMs);
}

std::vector<HeldHandle> HandlesOf(DWORD processId) {
  struct Entry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR attributes;
    USHORT handle;
    void* object;
    ULONG grantedAccess;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr ULONG kSystemHandleInformation = 16;
  std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
               &needed) != 0) {
    if (buffer.size() >= (1u << 28))
      return {};
    buffer.resize(buffer.size() * 2);
  }
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  std::vector<HeldHandle> held;
  for (ULONG i = 0; i < table->count; ++i) {
    const Entry& entry = table->entries[i];
    if (entry.processId == static_cast<USHORT>(processId)) {
      held.push_back(
          {reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry.handle)), entry.grantedAccess});
    }
  }
  return held;
}

DWORD HandleCountOf(DWORD processId) { return static_cast<DWORD>(HandlesOf(processId).size()); }

size_t ThreadCountOf(DWORD processId) {
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  size_t count = 0;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
       more = Thread32Next(snapshot.Get(), &entry)) {
    count += entry.th32OwnerProcessID == processId;
  }
  return count;
}

}  // namespace lab
