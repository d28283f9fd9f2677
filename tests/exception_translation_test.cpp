// Structured exceptions on a thread with the translator, seen by ordinary C++ handlers.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <typeinfo>

#include "failure/se_translator.h"
#include "failure/translate.h"
#include "failure/win32_exception.h"
#include "drivers/process.h"
#include "harness/test.h"

namespace {

int destroyed = 0;

struct Tracker {
  ~Tracker() { ++destroyed; }
};

__attribute__((noinline)) int ReadThrough(volatile int* pointer) {
  Tracker inFaultingFrame;
  return *pointer;
}

__attribute__((noinline)) int Divide(int dividend, int divisor) {
  Tracker inFaultingFrame;
  return dividend / divisor;
}

volatile int sink = 0;
volatile bool keepRecursing = true;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char buffer[512];
  buffer[depth % 512] = static_cast<char>(depth);
  return (keepRecursing ? Recurse(depth + 1) : 0) + buffer[(depth * 7) % 512];
}

// Frames over 4 KiB reach the stack through the stack probe.
__attribute__((noinline)) int RecurseLargeFrames(int depth) {
  volatile char buffer[9000];
  buffer[depth % 9000] = static_cast<char>(depth);
  return (keepRecursing ? RecurseLargeFrames(depth + 1) : 0) + buffer[(depth * 7) % 9000];
}

template <typename Thrown, typename Action>
bool Throws(Action action, Thrown& caught) {
  try {
    action();
  } catch (const Thrown& error) {
    caught = error;
    return true;
  } catch (...) {
  }
  return false;
}

}  // namespace

START_TEST(access_violation_arrives_typed) {
  ombru::SetStructuredExceptionTranslator(TranslateStructuredException);
  destroyed = 0;
  VLM::access_violation caught;
  const bool thrown = Throws(
      [] {
        Tracker inTryBlock;
        sink = ReadThrough(reinterpret_cast<volatile int*>(0x10));
      },
      caught);
  ok(thrown, "no VLM::access_violation caught\n");
  ok(destroyed == 2, "destructors run in the faulting frame and on the way: %d\n", destroyed);
  ok(std::string(caught.what()) == "Invalid access to memory location", "what [%s]\n",
     caught.what());
  ok(caught.code == 0xC0000005 && caught.has_record, "code %#x, record %d\n", caught.code,
     caught.has_record);
  ok(caught.record.ExceptionCode == 0xC0000005 && caught.record.ExceptionRecord == nullptr,
     "record code %#lx\n", caught.record.ExceptionCode);
  ok(caught.record.NumberParameters == 2 && caught.record.ExceptionInformation[1] == 0x10,
     "faulting address %#llx\n",
     static_cast<unsigned long long>(caught.record.ExceptionInformation[1]));
  ok(caught.context.Rip == reinterpret_cast<ULONG64>(caught.record.ExceptionAddress),
     "the context holds the fault's registers\n");
  const ULONG64 function = reinterpret_cast<ULONG64>(&ReadThrough);
  ok(caught.context.Rip >= function && caught.context.Rip < function + 256,
     "the fault is in ReadThrough\n");
}

START_TEST(other_faults_arrive_as_win32_exception) {
  VLM::win32_exception caught;
  destroyed = 0;
  ok(Throws([] { sink = Divide(1, sink); }, caught), "division by zero not caught\n");
  ok(typeid(caught) == typeid(VLM::win32_exception), "not a derived class\n");
  ok(std::string(caught.what()) == "Windows structured exception", "what [%s]\n", caught.what());
  ok(caught.code == EXCEPTION_INT_DIVIDE_BY_ZERO && caught.has_record, "code %#x\n", caught.code);
  ok(destroyed == 1, "destructor in the faulting frame: %d\n", destroyed);

  VLM::win32_exception raised;
  ok(Throws([] { RaiseException(0xE0001234, 0, 0, nullptr); }, raised), "not caught\n");
  ok(typeid(raised) == typeid(VLM::win32_exception) && raised.code == 0xE0001234 &&
         raised.record.ExceptionCode == 0xE0001234,
     "code %#x\n", raised.code);
}

START_TEST(stack_overflow_again_and_again) {
  for (int round = 0; round < 20; ++round) {
    VLM::stack_overflow caught;
    ok(Throws([] { sink = Recurse(0); }, caught), "round %d: overflow not caught\n", round);
    ok(std::string(caught.what()) == "Recursion too deep; the stack overflowed", "what [%s]\n",
       caught.what());
    ok(caught.code == 0xC00000FD && caught.record.ExceptionCode == 0xC00000FD,
       "round %d: code %#x\n", round, caught.code);
  }
  for (int round = 0; round < 5; ++round) {
    VLM::stack_overflow caught;
    ok(Throws([] { sink = RecurseLargeFrames(0); }, caught),
       "round %d: overflow through the stack probe not caught\n", round);
  }
}

START_TEST(system_handlers_come_first) {
  OutputDebugStringA("no exception");
  ok(IsBadReadPtr(reinterpret_cast<void*>(0x10), 4), "IsBadReadPtr handles the fault itself\n");
  ok(lstrlenA(reinterpret_cast<const char*>(0x10)) == 0, "lstrlenA handles the fault itself\n");
}

namespace {

HANDLE workItemDone = nullptr;
bool workItemCaught = false;
bool reachedTop = false;

// Lets a raised exception that no handler took return from RaiseException.
LONG WINAPI ContinueAfterRaise(EXCEPTION_POINTERS*) {
  reachedTop = true;
  return EXCEPTION_CONTINUE_EXECUTION;
}

DWORD WINAPI RaisingWorkItem(void*) {
  try {
    RaiseException(0xE0001234, 0, 0, nullptr);
  } catch (...) {
    workItemCaught = true;
  }
  SetEvent(workItemDone);
  return 0;
}

}  // namespace

START_TEST(work_items_are_not_translated) {
  workItemDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  reachedTop = false;
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(ContinueAfterRaise);
  QueueUserWorkItem(RaisingWorkItem, nullptr, WT_EXECUTEDEFAULT);
  ok(WaitForSingleObject(workItemDone, 10000) == WAIT_OBJECT_0, "work item did not end\n");
  SetUnhandledExceptionFilter(previous);
  ok(!workItemCaught && reachedTop, "a pool thread has no translator: caught %d, at the top %d\n",
     workItemCaught, reachedTop);
}

START_TEST(record_chain_cut_and_copies) {
  EXCEPTION_RECORD nested = {};
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = 0xC00000FD;
  record.ExceptionRecord = &nested;
  record.NumberParameters = 1;
  record.ExceptionInformation[0] = 77;
  CONTEXT context = {};
  context.Rax = 0x1234;
  EXCEPTION_POINTERS pointers = {&record, &context};
  const VLM::access_violation built("text", 0xC00000FD, &pointers);
  ok(built.code == 0xC0000005, "an access_violation keeps its own code: %#x\n", built.code);
  ok(built.has_record && built.record.ExceptionRecord == nullptr &&
         built.record.ExceptionCode == 0xC00000FD && built.record.ExceptionInformation[0] == 77 &&
         built.context.Rax == 0x1234,
     "record and context copied, chain cut\n");
  ok(record.ExceptionRecord == &nested, "the original record is left alone\n");

  const VLM::access_violation copy(built);
  ok(copy.has_record && copy.code == built.code &&
         std::memcmp(&copy.record, &built.record, sizeof(copy.record)) == 0 &&
         std::memcmp(&copy.context, &built.context, sizeof(copy.context)) == 0 &&
         std::string(copy.what()) == "text",
     "a copy keeps every field\n");
  ok(std::string(VLM::win32_exception().what()) == "Unknown exception" &&
         std::string(VLM::stack_overflow().what()) == "stack overflow",
     "default messages\n");
  const VLM::win32_exception bare("bare", 0xC0000094, nullptr);
  ok(bare.code == 0xC0000094 && !bare.has_record, "without a fault's record: none kept\n");
}

namespace {

void FaultingCallback() { sink = *static_cast<volatile int*>(nullptr); }

const void* volatile badPointer = reinterpret_cast<const void*>(0x10);

__attribute__((noipa)) void CopyFromBadPointer() {
  char target[64];
  std::memcpy(target, badPointer, sizeof(target));
  sink = target[7];
}

__attribute__((noipa)) void MeasureBadString() {
  sink = static_cast<int>(std::wcslen(static_cast<const wchar_t*>(badPointer)));
}

LRESULT CALLBACK FaultingWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER)
    FaultingCallback();
  return DefWindowProcA(window, message, wParam, lParam);
}

int FaultingComparison(const void*, const void*) {
  FaultingCallback();
  return 0;
}

DWORD WINAPI InstallAndEnd(void*) {
  ombru::SetStructuredExceptionTranslator(TranslateStructuredException);
  return 0;
}

}  // namespace

START_TEST(frames_of_other_modules_are_unwound) {
  HMODULE library = LoadLibraryA("callback_library.dll");
  using CallBackHolding = void (*)(void (*)(), SRWLOCK*, int*);
  const auto call = reinterpret_cast<CallBackHolding>(
      reinterpret_cast<void*>(GetProcAddress(library, "CallBackHolding")));
  ok(call != nullptr, "callback_library.dll not loaded\n");
  if (!call)
    return;
  SRWLOCK lock = SRWLOCK_INIT;
  int libraryDestroyed = 0;
  VLM::access_violation caught;
  ok(Throws([&] { call(FaultingCallback, &lock, &libraryDestroyed); }, caught),
     "the fault did not arrive typed through the library\n");
  ok(libraryDestroyed == 1, "the library's destructor ran %d times\n", libraryDestroyed);
  ok(TryAcquireSRWLockExclusive(&lock), "the library's lock is still held\n");
  FreeLibrary(library);
}

START_TEST(faults_through_window_procedures_and_callbacks) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = FaultingWindowProcedure;
  windowClass.lpszClassName = "OMBRU.FaultingWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, nullptr, nullptr);
  VLM::access_violation caught;
  ok(Throws([&] { SendMessageA(window, WM_USER, 0, 0); }, caught), "through SendMessageA\n");
  PostMessageA(window, WM_USER, 0, 0);
  ok(Throws(
         [] {
           MSG message;
           while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
             DispatchMessageA(&message);
         },
         caught),
     "through DispatchMessageA\n");
  DestroyWindow(window);
  int items[] = {2, 1};
  ok(Throws([&] { std::qsort(items, 2, sizeof(int), FaultingComparison); }, caught),
     "through a C library callback\n");
}

START_TEST(faults_inside_c_library_functions) {
  // Each called from a function without handlers of its own, so that what GCC assumes of these
  // calls plays no part: the fault is inside the C library's code.
  VLM::access_violation caught;
  ok(Throws([] { CopyFromBadPointer(); }, caught) && caught.has_record,
     "memcpy from a bad pointer\n");
  ok(Throws([] { MeasureBadString(); }, caught), "wcslen of a bad pointer\n");
}

START_TEST(faults_where_cpp_forbids_them_terminate) {
  for (const char* scenario :
       {"noexcept", "destructor", "noexcept-in-catch-all", "returning-translator"}) {
    lab::ChildProcess child(lab::SiblingPath("fault_scenario.exe"), scenario);
    child.WaitForExit(30000);
    ok(child.ExitCode() == 3, "%s: exit code %lu, expected 3\n", scenario, child.ExitCode());
  }
}

START_TEST(other_severities_reach_the_system) {
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(ContinueAfterRaise);
  // Warnings, informational codes, and of error severity the C++ exceptions of other compilers
  // and fast-fail reports.
  for (DWORD code : {DWORD{0x80001234}, DWORD{EXCEPTION_BREAKPOINT}, DWORD{0x40001234},
                     DWORD{0xE06D7363}, DWORD{0xC0000409}}) {
    reachedTop = false;
    bool caught = false;
    try {
      RaiseException(code, 0, 0, nullptr);
    } catch (...) {
      caught = true;
    }
    ok(reachedTop && !caught, "%#lx: reached the system %d, caught %d\n", code, reachedTop, caught);
  }
  SetUnhandledExceptionFilter(previous);
  // Of error severity, but raised as non-continuable: in a process of its own, since the system
  // ends the process once no handler took it.
  lab::ChildProcess child(lab::SiblingPath("fault_scenario.exe"), "noncontinuable");
  child.WaitForExit(30000);
  ok(child.ExitCode() == 20, "non-continuable: exit code %lu, expected 20\n", child.ExitCode());
}

START_TEST(ended_threads_leave_no_state) {
  const size_t before = ombru::TranslatingThreads();
  for (int i = 0; i < 20; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, InstallAndEnd, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  ok(ombru::TranslatingThreads() == before, "%zu states before, %zu after\n", before,
     ombru::TranslatingThreads());
}
