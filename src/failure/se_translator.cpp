#include "failure/se_translator.h"

#include <cstdint>
#include <exception>

#include "failure/stack_guard.h"

extern "C" {
EXCEPTION_DISPOSITION __real___gxx_personality_seh0(PEXCEPTION_RECORD record, void* frame,
                                                    PCONTEXT context, PDISPATCHER_CONTEXT dispatch);
EXCEPTION_DISPOSITION __wrap___gxx_personality_seh0(PEXCEPTION_RECORD record, void* frame,
                                                    PCONTEXT context, PDISPATCHER_CONTEXT dispatch);
void ombru_fault_thunk_entry();
[[noreturn]] void ombru_raise_translated_exception();
void ___chkstk_ms();
}

namespace ombru {
namespace {

constexpr DWORD kCppException = 0xE06D7363;  // Microsoft C++
constexpr DWORD kGccException = 0x20474343;  // "GCC"
constexpr DWORD kFastFail = 0xC0000409;      // cannot be continued
constexpr DWORD kDebugString = 0x40010006;   // OutputDebugString
constexpr DWORD kUnwinding = 0x66;           // EXCEPTION_UNWIND and its companions
constexpr ULONG kStackGuarantee = 64 * 1024;
constexpr int kMaxPassedOver = 16;

// Everything a translating thread needs, reached through one fiber-local slot, whose callback
// frees it when the thread ends: thread_local storage may allocate, which a thread in the middle
// of a fault must not.
struct ThreadState {
  SeTranslator translator = nullptr;
  EXCEPTION_RECORD record = {};
  CONTEXT context = {};
  EXCEPTION_POINTERS pointers = {};
  bool guardNeedsRearming = false;
};

DWORD stateSlot = FLS_OUT_OF_INDEXES;
volatile LONG liveStates = 0;

void WINAPI FreeThreadState(void* state) {
  if (!state)
    // The system calls this clean-up only for a slot that holds a state.
    return;
  delete static_cast<ThreadState*>(state);
  InterlockedDecrement(&liveStates);
}

ThreadState* CurrentState() {
  if (stateSlot == FLS_OUT_OF_INDEXES)
    // Not reached: the slot is allocated when the translator is installed, before anything can
    // fault.
    return nullptr;
  const DWORD lastError = GetLastError();
  auto* state = static_cast<ThreadState*>(FlsGetValue(stateSlot));
  SetLastError(lastError);
  return state;
}

bool Translatable(const EXCEPTION_RECORD& record) {
  const DWORD code = record.ExceptionCode;
  if ((code >> 30) != 3)
    return false;  // error severity only
  if (code == kCppException || code == kGccException || code == kFastFail || code == kDebugString) {
    return false;
  }
  return (record.ExceptionFlags & (kUnwinding | EXCEPTION_NONCONTINUABLE)) == 0;
}

// The unwind information's fixed head (x64 UNWIND_INFO).
struct UnwindInfoHead {
  uint8_t versionAndFlags;
  uint8_t sizeOfProlog;
  uint8_t countOfCodes;
  uint8_t frameRegisterAndOffset;
};

// A place that GCC leaves out of the call-site table although it faults: the stack probe, or a
// prologue (of the faulting function, or of the one that called the probe).
bool PassedOver(ULONG64 instruction) {
  ULONG64 imageBase = 0;
  const PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(instruction, &imageBase, nullptr);
  if (!function)
    return false;  // a leaf, which has neither
  const ULONG64 start = imageBase + function->BeginAddress;
  if (start == reinterpret_cast<ULONG64>(&___chkstk_ms))
    return true;
  const auto* info = reinterpret_cast<const UnwindInfoHead*>(imageBase + function->UnwindData);
  return instruction - start < info->sizeOfProlog;
}

// Steps a context out of its function, as the dispatcher does.
bool UnwindOneFrame(CONTEXT& context) {
  ULONG64 imageBase = 0;
  const PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
  if (!function) {  // a leaf: the return address is on top of the stack
    // Not reached: every function of the program and its runtime libraries has unwind information.
    context.Rip = *reinterpret_cast<ULONG64*>(context.Rsp);
    context.Rsp += 8;
    return context.Rip != 0;
  }
  void* handlerData = nullptr;
  ULONG64 establisher = 0;
  RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                   &establisher, nullptr);
  return context.Rip != 0;
}

// Where the translated exception is thrown from: the registers of that frame, and the return
// address the thunk is "called" with. The personality looks up the return address less one: for
// the faulting instruction itself that is its own address, for a caller its call.
bool ThrowPoint(const CONTEXT& fault, CONTEXT& point, ULONG64& returnAddress) {
  point = fault;
  returnAddress = fault.Rip + 1;
  for (int passed = 0; PassedOver(returnAddress - 1); ++passed) {
    if (passed == kMaxPassedOver || !UnwindOneFrame(point))
      // Not reached: no fault in the program is more frames away from its throw point than this.
      return false;
    returnAddress = point.Rip;
  }
  return true;
}

// Continues the thread in the thunk at the throw point. Not yet when the throw point lies above
// this frame (it is itself passed over): a frame further up starts the translation then.
bool RedirectToTranslator(ThreadState& state, PEXCEPTION_RECORD record, void* frame,
                          PCONTEXT context) {
  CONTEXT point;
  ULONG64 returnAddress = 0;
  if (!ThrowPoint(*context, point, returnAddress) || point.Rsp > reinterpret_cast<ULONG64>(frame))
    // Not reached: a fault's throw point always lies below the frame of the handler it reaches.
    return false;

  state.record = *record;
  state.context = *context;
  state.pointers = {&state.record, &state.context};
  if (record->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
    state.guardNeedsRearming = true;

  point.Rip = reinterpret_cast<ULONG64>(&ombru_fault_thunk_entry);
  point.R11 = returnAddress;
  *context = point;
  return true;
}

}  // namespace

SeTranslator SetStructuredExceptionTranslator(SeTranslator translator) {
  if (stateSlot == FLS_OUT_OF_INDEXES)
    stateSlot = FlsAlloc(FreeThreadState);
  if (stateSlot == FLS_OUT_OF_INDEXES)
    // Not reached: FlsAlloc does not fail at start-up.
    return nullptr;
  auto* state = static_cast<ThreadState*>(FlsGetValue(stateSlot));
  if (!state) {
    state = new ThreadState();
    FlsSetValue(stateSlot, state);
    InterlockedIncrement(&liveStates);
    ULONG guarantee = kStackGuarantee;
    SetThreadStackGuarantee(&guarantee);
    ArmStackGuard();
  }
  const SeTranslator previous = state->translator;
  state->translator = translator;
  return previous;
}

size_t TranslatingThreads() { return static_cast<size_t>(liveStates); }

}  // namespace ombru

extern "C" EXCEPTION_DISPOSITION __wrap___gxx_personality_seh0(PEXCEPTION_RECORD record,
                                                               void* frame, PCONTEXT context,
                                                               PDISPATCHER_CONTEXT dispatch) {
  using namespace ombru;
  if (ThreadState* state = CurrentState()) {
    // The unwind of a translated overflow runs deep in the stack, below where the guard belongs;
    // the thread continues in this frame once it ends.
    if (state->guardNeedsRearming && (record->ExceptionFlags & EXCEPTION_TARGET_UNWIND)) {
      state->guardNeedsRearming = !ArmStackGuard(frame);
    }
    if (state->translator && Translatable(*record) &&
        RedirectToTranslator(*state, record, frame, context)) {
      return ExceptionContinueExecution;
    }
  }
  return __real___gxx_personality_seh0(record, frame, context, dispatch);
}

// Called by the thunk on the faulting thread, on the stack of the frame that throws.
extern "C" void ombru_raise_translated_exception() {
  using namespace ombru;
  ThreadState* state = CurrentState();
  if (state->guardNeedsRearming)
    state->guardNeedsRearming = !ArmStackGuard();
  state->translator(state->record.ExceptionCode, &state->pointers);
  std::terminate();  // a translator that returns leaves nothing to continue with
}
