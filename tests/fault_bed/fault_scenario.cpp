// Faults where C++ forbids an exception, each in a process of its own, on a thread with the
// translator: the process must end in std::terminate (exit code 3), never in a handler outside
// and never with the fault's own code. And an exception raised as non-continuable, which the
// translator leaves to the system: its unhandled-exception filter ends the process with 20.
//
// A translator that returns instead of throwing leaves nothing to continue with: std::terminate.
//
//   fault_scenario.exe noexcept|destructor|noexcept-in-catch-all|returning-translator|
//                      noncontinuable
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "failure/se_translator.h"
#include "failure/translate.h"

namespace {

volatile int* volatile nowhere = nullptr;
volatile int sink = 0;

__attribute__((noinline)) void FaultNoexcept() noexcept { sink = *nowhere; }

struct FaultsWhenDestroyed {
  ~FaultsWhenDestroyed() { sink = *nowhere; }
};

__attribute__((noinline)) void ThrowThroughFaultingDestructor() {
  FaultsWhenDestroyed faulting;
  throw 1;
}

constexpr DWORD kRaisedCode = 0xE0001234;

LONG WINAPI ReachedTheSystem(EXCEPTION_POINTERS* pointers) {
  ExitProcess(pointers->ExceptionRecord->ExceptionCode == kRaisedCode ? 20 : 21);
}

}  // namespace

int main(int argc, char** argv) {
  ombru::SetStructuredExceptionTranslator(TranslateStructuredException);
  const char* scenario = argc > 1 ? argv[1] : "";
  try {
    if (std::strcmp(scenario, "noexcept") == 0) {
      FaultNoexcept();
    } else if (std::strcmp(scenario, "destructor") == 0) {
      ThrowThroughFaultingDestructor();
    } else if (std::strcmp(scenario, "returning-translator") == 0) {
      ombru::SetStructuredExceptionTranslator([](unsigned, EXCEPTION_POINTERS*) {});
      sink = *nowhere;
    } else if (std::strcmp(scenario, "noncontinuable") == 0) {
      SetUnhandledExceptionFilter(ReachedTheSystem);
      RaiseException(kRaisedCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    } else if (std::strcmp(scenario, "noexcept-in-catch-all") == 0) {
      try {
        FaultNoexcept();
      } catch (...) {
        return 10;
      }
    }
  } catch (...) {
    return 11;  // caught outside: what the language forbids
  }
  return 12;
}
