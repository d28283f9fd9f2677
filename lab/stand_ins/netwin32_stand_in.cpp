// Stand-in for the Novell directory client library "NETWIN32.DLL": the five entry points the
// agent needs and NWDSFreeContext, with undecorated names. Each context handle it gives out is
// new, so that its record shows which context was freed. Told at each call through the registry, so
// that tests can change it while an agent runs, under HKCU\Software\OMBRU\NetWin32StandIn:
//   Authenticated  "0": NWIsDSAuthenticated answers 0 (default: 1)
//   Fail           the name of one entry point that returns an error
//   Identity       what NWDSWhoAmI writes (default "CN=alice.O=CORP")
//   Record         a file to which each call appends "<name>|<arguments>"
//   HoldWhoAmI     "N,NAME": the N-th NWDSWhoAmI of a process (counted from 1, across loads of
//                  the library) reads the identity, then waits until the event NAME is set (at
//                  most 60 s) before it writes it
// Built again without NWDSSetContext, as an incomplete client, and without NWDSFreeContext, as a
// client that cannot free its contexts.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/record_file.h"
#include "common/format.h"

namespace {

// Seeded from the clock at each load, so that contexts of different loads differ too.
LONG lastContext = [] {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<LONG>(now.LowPart & 0x0FFFFFFF) << 2;
}();

std::string Setting(const char* name) {
  char value[1024] = {};
  DWORD size = sizeof(value) - 1;
  if (RegGetValueA(HKEY_CURRENT_USER, "Software\\OMBRU\\NetWin32StandIn", name, RRF_RT_REG_SZ,
                   nullptr, value, &size) != ERROR_SUCCESS) {
    return std::string();
  }
  return value;
}

// The library is loaded afresh for each look, so the count of a process's calls lives in its
// environment, under a mutex of the process.
long CountWhoAmI() {
  const HANDLE guard = CreateMutexA(
      nullptr, FALSE, lab::Format("Local\\OMBRU.NetWin32.%lu", GetCurrentProcessId()).c_str());
  WaitForSingleObject(guard, INFINITE);
  char count[32] = {};
  GetEnvironmentVariableA("OMBRU_NETWIN32_WHOAMI_CALLS", count, sizeof(count));
  const long calls = std::strtol(count, nullptr, 10) + 1;
  SetEnvironmentVariableA("OMBRU_NETWIN32_WHOAMI_CALLS", std::to_string(calls).c_str());
  ReleaseMutex(guard);
  CloseHandle(guard);
  return calls;
}

void HoldIfAsked(long call) {
  const std::string hold = Setting("HoldWhoAmI");
  const size_t comma = hold.find(',');
  if (comma == std::string::npos || std::strtol(hold.c_str(), nullptr, 10) != call)
    return;
  const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str() + comma + 1);
  WaitForSingleObject(release, 60000);
  CloseHandle(release);
}

int Answer(const char* entryPoint, const std::string& arguments) {
  lab::AppendLine(Setting("Record"), std::string(entryPoint) + "|" + arguments);
  return Setting("Fail") == entryPoint ? 0x8999 : 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI NWIsDSAuthenticated() {
  Answer("NWIsDSAuthenticated", "");
  return Setting("Authenticated") == "0" ? 0 : 1;
}

__declspec(dllexport) int WINAPI NWDSCreateContextHandle(uint32_t* context) {
  *context = static_cast<uint32_t>(InterlockedIncrement(&lastContext));
  return Answer("NWDSCreateContextHandle", lab::Format("%#x", *context));
}

#ifndef OMBRU_NETWIN32_WITHOUT_FREE_CONTEXT
__declspec(dllexport) int WINAPI NWDSFreeContext(uint32_t context) {
  return Answer("NWDSFreeContext", lab::Format("%#x", context));
}
#endif

__declspec(dllexport) int WINAPI NWDSGetContext(uint32_t context, int key, void* value) {
  *static_cast<uint32_t*>(value) = 0x1;  // DCV_DEREF_ALIASES
  return Answer("NWDSGetContext", lab::Format("%#x|%d", context, key));
}

#ifndef OMBRU_NETWIN32_INCOMPLETE
__declspec(dllexport) int WINAPI NWDSSetContext(uint32_t context, int key, void* value) {
  return Answer("NWDSSetContext",
                lab::Format("%#x|%d|%#x", context, key, *static_cast<uint32_t*>(value)));
}
#endif

__declspec(dllexport) int WINAPI NWDSWhoAmI(uint32_t context, char* name) {
  const int result = Answer("NWDSWhoAmI", lab::Format("%#x", context));
  if (result != 0)
    return result;
  std::string identity = Setting("Identity");
  if (identity.empty())
    identity = "CN=alice.O=CORP";
  HoldIfAsked(CountWhoAmI());
  lstrcpynA(name, identity.c_str(), 257);
  return 0;
}

}  // extern "C"
