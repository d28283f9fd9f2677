// Structured exceptions on a thread with the translator, seen by ordinary C++ handlers.
#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "failure/se_translator.h"
#include "failure/translate.h"
#include "failure/win32_exception.h"
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

  // Also through handlers for the base classes and for anything.
  VLM::win32_exception asBase;
  ok(Throws([] { sink = ReadThrough(nullptr); }, asBase) && asBase.code == 0xC0000005,
     "caught as VLM::win32_exception\n");
  bool asAny = false;
  try {
    sink = ReadThrough(nullptr);
  } catch (const std::exception& error) {
    asAny = dynamic_cast<const VLM::access_violation*>(&error) != nullptr;
  }
  ok(asAny, "caught as std::exception\n");
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
  ok(raised.code == 0xE0001234 && raised.record.ExceptionCode == 0xE0001234, "code %#x\n",
     raised.code);
  try {
    RaiseException(0xE0004321, 0, 0, nullptr);
  } catch (const VLM::access_violation&) {
    ok(false, "a private code is no access violation\n");
  } catch (const VLM::win32_exception& error) {
    ok(error.code == 0xE0004321, "code %#x\n", error.code);
  }
}

START_TEST(stack_overflow_twice) {
  for (int round = 0; round < 2; ++round) {
    VLM::stack_overflow caught;
    ok(Throws([] { sink = Recurse(0); }, caught), "round %d: overflow not caught\n", round);
    ok(std::string(caught.what()) == "Recursion too deep; the stack overflowed", "what [%s]\n",
       caught.what());
    ok(caught.code == 0xC00000FD && caught.record.ExceptionCode == 0xC00000FD,
       "round %d: code %#x\n", round, caught.code);
  }
  VLM::stack_overflow caught;
  ok(Throws([] { sink = RecurseLargeFrames(0); }, caught),
     "overflow through the stack probe not caught\n");
}

START_TEST(system_and_cpp_exceptions_unchanged) {
  OutputDebugStringA("no exception");
  ok(IsBadReadPtr(reinterpret_cast<void*>(0x10), 4), "IsBadReadPtr handles the fault itself\n");
  ok(lstrlenA(reinterpret_cast<const char*>(0x10)) == 0, "lstrlenA handles the fault itself\n");

  std::string seen;
  try {
    try {
      throw std::runtime_error("plain");
    } catch (...) {
      seen += "inner ";
      throw;
    }
  } catch (const std::runtime_error& error) {
    seen += error.what();
  }
  ok(seen == "inner plain", "rethrow: [%s]\n", seen.c_str());
  int value = 0;
  try {
    throw 42;
  } catch (int thrown) {
    value = thrown;
  }
  ok(value == 42, "an int thrown and caught\n");
}

namespace {

HANDLE workItemDone = nullptr;
bool workItemCaught = false;
bool faultReachedTop = false;

void LeaveWorkItem() {
  SetEvent(workItemDone);
  ExitThread(0);
}

LONG WINAPI TopLevel(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  faultReachedTop = true;
  pointers->ContextRecord->Rsp = (pointers->ContextRecord->Rsp & ~ULONG64{15}) - 8;
  pointers->ContextRecord->Rip = reinterpret_cast<ULONG64>(&LeaveWorkItem);
  return EXCEPTION_CONTINUE_EXECUTION;
}

DWORD WINAPI FaultingWorkItem(void*) {
  try {
    sink = ReadThrough(reinterpret_cast<volatile int*>(0x20));
  } catch (...) {
    workItemCaught = true;
  }
  SetEvent(workItemDone);
  return 0;
}

}  // namespace

START_TEST(work_items_are_not_translated) {
  workItemDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(TopLevel);
  QueueUserWorkItem(FaultingWorkItem, nullptr, WT_EXECUTEDEFAULT);
  ok(WaitForSingleObject(workItemDone, 10000) == WAIT_OBJECT_0, "work item did not end\n");
  SetUnhandledExceptionFilter(previous);
  ok(!workItemCaught, "a pool thread has no translator: catch (...) must not see the fault\n");
  ok(faultReachedTop, "the fault went untranslated to the top\n");
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
}
