#include "failure/se_translator.h"

#include <cstdint>
#include <exception>

#include "failure/call_site_table.h"
#include "failure/stack_guard.h"

extern "C" {
EXCEPTION_DISPOSITION __real___gxx_personality_seh0(PEXCEPTION_RECORD record, void* frame,
                                                    PCONTEXT context, PDISPATCHER_CONTEXT dispatch);
EXCEPTION_DISPOSITION __wrap___gxx_personality_seh0(PEXCEPTION_RECORD record, void* frame,
                                                    PCONTEXT context, PDISPATCHER_CONTEXT dispatch);
void ombru_fault_thunk_entry();
[[noreturn]] void ombru_raise_translated_exception();
}

namespace ombru {
namespace {

constexpr DWORD kCppException = 0xE06D7363;  // Microsoft C++
constexpr DWORD kGccException = 0x20474343;  // "GCC"
constexpr DWORD kFastFail = 0xC0000409;      // cannot be continued
constexpr DWORD kDebugString = 0x40010006;   // OutputDebugString
constexpr DWORD kUnwinding = 0x66;           // EXCEPTION_UNWIND and its companions
constexpr ULONG kStackGuarantee = 64 * 1024;
constexpr int kMaxUnwindDepth = 1 << 20;

// Everything a translating thread needs, reached through one TLS slot: thread_local storage may
// allocate, which a thread in the middle of a fault must not.
struct ThreadState {
  SeTranslator translator = nullptr;
  EXCEPTION_RECORD record = {};
  CONTEXT context = {};
  EXCEPTION_POINTERS pointers = {};
  bool guardNeedsRearming = false;
};

DWORD stateSlot = TLS_OUT_OF_INDEXES;

ThreadState* CurrentState() {
  if (stateSlot == TLS_OUT_OF_INDEXES)
    return nullptr;
  const DWORD lastError = GetLastError();
  auto* state = static_cast<ThreadState*>(TlsGetValue(stateSlot));
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

// Steps a context out of its function, as the dispatcher does.
bool UnwindOneFrame(CONTEXT& context) {
  ULONG64 imageBase = 0;
  PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
  if (!function) {  // a leaf: the return address is on top of the stack
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

ULONG64 EstablisherFrame(const CONTEXT& context, PRUNTIME_FUNCTION function, ULONG64 imageBase) {
  CONTEXT copy = context;
  void* handlerData = nullptr;
  ULONG64 establisher = 0;
  RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, copy.Rip, function, &copy, &handlerData,
                   &establisher, nullptr);
  return establisher;
}

// The registers of the dispatcher's current frame as of its ControlPc: the fault's context,
// unwound until it stands in that frame (matched by its establisher frame, so that recursion
// does not confuse it).
bool FrameContext(const CONTEXT& fault, const DISPATCHER_CONTEXT& dispatch, void* frame,
                  CONTEXT& result) {
  result = fault;
  for (int depth = 0; depth < kMaxUnwindDepth; ++depth) {
    if (result.Rip == dispatch.ControlPc &&
        EstablisherFrame(result, dispatch.FunctionEntry, dispatch.ImageBase) ==
            reinterpret_cast<ULONG64>(frame)) {
      return true;
    }
    if (!UnwindOneFrame(result))
      return false;
  }
  return false;
}

// The handler data lies in the image; nothing past its end is read.
size_t BytesLeftInImage(ULONG64 imageBase, const uint8_t* at) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(imageBase);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(imageBase + dos->e_lfanew);
  const ULONG64 end = imageBase + nt->OptionalHeader.SizeOfImage;
  const ULONG64 position = reinterpret_cast<ULONG64>(at);
  return position < end ? static_cast<size_t>(end - position) : 0;
}

// Continues the thread in the thunk, "called" from the frame's fault point, when the frame's own
// handler covers that point. The instruction pointer the personality will look up is the return
// address less one: for the faulting instruction itself the return address is therefore one past
// its start, for a call it is the call's own return address.
bool RedirectToTranslator(ThreadState& state, PEXCEPTION_RECORD record, void* frame,
                          PCONTEXT context, PDISPATCHER_CONTEXT dispatch) {
  const bool faultingFrame = dispatch->ControlPc == context->Rip;
  const ULONG64 returnAddress = faultingFrame ? dispatch->ControlPc + 1 : dispatch->ControlPc;
  const ULONG64 functionStart = dispatch->ImageBase + dispatch->FunctionEntry->BeginAddress;
  const auto* lsda = static_cast<const uint8_t*>(dispatch->HandlerData);
  if (!lsda || !CallSiteCovers(lsda, BytesLeftInImage(dispatch->ImageBase, lsda),
                               returnAddress - 1 - functionStart)) {
    return false;
  }

  CONTEXT resume;
  if (!FrameContext(*context, *dispatch, frame, resume))
    return false;

  state.record = *record;
  state.context = *context;
  state.pointers = {&state.record, &state.context};
  if (record->ExceptionCode == EXCEPTION_STACK_OVERFLOW)
    state.guardNeedsRearming = true;

  resume.Rip = reinterpret_cast<ULONG64>(&ombru_fault_thunk_entry);
  resume.R11 = returnAddress;
  *context = resume;
  return true;
}

}  // namespace

SeTranslator SetStructuredExceptionTranslator(SeTranslator translator) {
  if (stateSlot == TLS_OUT_OF_INDEXES)
    stateSlot = TlsAlloc();
  if (stateSlot == TLS_OUT_OF_INDEXES)
    return nullptr;
  auto* state = static_cast<ThreadState*>(TlsGetValue(stateSlot));
  if (!state) {
    state = new ThreadState();
    TlsSetValue(stateSlot, state);
    ULONG guarantee = kStackGuarantee;
    SetThreadStackGuarantee(&guarantee);
    ArmStackGuard();
  }
  const SeTranslator previous = state->translator;
  state->translator = translator;
  return previous;
}

}  // namespace ombru

extern "C" EXCEPTION_DISPOSITION __wrap___gxx_personality_seh0(PEXCEPTION_RECORD record,
                                                               void* frame, PCONTEXT context,
                                                               PDISPATCHER_CONTEXT dispatch) {
  using namespace ombru;
  if (ThreadState* state = CurrentState()) {
    if (state->guardNeedsRearming && (record->ExceptionFlags & EXCEPTION_TARGET_UNWIND)) {
      state->guardNeedsRearming = !ArmStackGuard();
    }
    if (state->translator && Translatable(*record) &&
        RedirectToTranslator(*state, record, frame, context, dispatch)) {
      return ExceptionContinueExecution;
    }
  }
  return __real___gxx_personality_seh0(record, frame, context, dispatch);
}

// Called by the thunk on the faulting thread, with the stack of the frame that takes the fault.
extern "C" void ombru_raise_translated_exception() {
  using namespace ombru;
  ThreadState* state = CurrentState();
  if (state->guardNeedsRearming)
    state->guardNeedsRearming = !ArmStackGuard();
  state->translator(state->record.ExceptionCode, &state->pointers);
  std::terminate();  // a translator that returns leaves nothing to continue with
}
