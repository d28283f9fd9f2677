// Stand-in for the runtime's in-process COM class. Its two objects are laid out by hand, slot by
// slot, from the runtime's documentation (QueryInterface = 0):
//
//   IRuntimeSession     3 Connect, 7 GetPendingOperations, 10 Invoke, 11 FreeReply,
//                       14 GetStorageType
//   IPendingOperations  24 CompleteOperation, 25 FailOperation, 27 GetOperation, 28 FreeOperation
//
// Every other slot records "Unexpected|<slot>" and answers E_NOTIMPL, so that a call through a
// wrong slot shows. Each call appends one line to the file named by OMBRU_RUNTIME_RECORD:
//
//   <process id>|<milliseconds, performance counter>|<object number>|<operation>|<arguments...>
//
// Told through the environment (which Wine passes on to the agent):
//   OMBRU_RUNTIME_FAIL          any of "create", "connect", "invoke": that step fails
//   OMBRU_RUNTIME_OPERATION     the record GetOperation serves: "object,kind,typeMask,flags,text",
//                               or "object,kind,-" for a record without payload
//   OMBRU_RUNTIME_FAIL          may also name "getoperation"
//   OMBRU_RUNTIME_HOLD_CONNECT  "MS,N": the N-th Connect of a process (counted from 1) is held
//                               up MS milliseconds after it was recorded; "MS,N,NAME": at most MS
//                               milliseconds, until the event NAME is set
// and, at each call, so that a test can change it while an agent runs, the registry value
// HKCU\Software\OMBRU\RuntimeStandIn "StorageType": what GetStorageType writes (absent: nothing).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <objbase.h>

#include <array>
#include <initializer_list>
#include <cstdint>
#include <utility>

#include "common/clock.h"
#include "common/format.h"
#include "common/invoke_message.h"
#include "common/little_endian.h"
#include "common/record_file.h"
#include "common/runtime_class.h"

namespace {

LONG objectsAlive = 0;
LONG lastObjectNumber = 0;

std::string Environment(const char* name) {
  char value[1024] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

bool Fails(const char* step) {
  return Environment("OMBRU_RUNTIME_FAIL").find(step) != std::string::npos;
}

void Record(LONG object, const std::string& line) {
  lab::AppendLine(
      Environment("OMBRU_RUNTIME_RECORD"),
      lab::Format("%lu|%.3f|%ld|%s", GetCurrentProcessId(), lab::NowMs(), object, line.c_str()));
}

std::string Hex(const BYTE* bytes, uint32_t length) {
  std::string text;
  for (uint32_t i = 0; i < length; ++i)
    text += lab::Format("%02x", bytes[i]);
  return text;
}

// A user-change message names a token handle of the calling process, which must still be open.
void RecordTokenState(const BYTE* message, uint32_t length) {
  const auto parsed = lab::ParseInvokeMessage(message, length);
  if (!parsed || parsed->methodId != 901 || parsed->inArguments.size() != 4)
    return;
  const uint32_t value = lab::ArgumentUInt32(parsed->inArguments[2]);
  HANDLE token = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
  TOKEN_TYPE type;
  DWORD size = 0;
  const bool open = GetTokenInformation(token, TokenType, &type, sizeof(type), &size);
  Record(0, open ? "TokenHandle|open" : "TokenHandle|invalid");
}

// The runtime's record layout: objectId at 4, kind at 8, payload pointer at 24; the payload's
// typeMask at 4, flags at 8, text from 24. Unread bytes are filled, not zeroed.
BYTE* BuildOperation(const std::string& served) {
  uint32_t numbers[4] = {};
  size_t at = 0;
  int field = 0;
  for (; field < 4; ++field) {
    const size_t comma = served.find(',', at);
    const std::string text =
        served.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    if (text == "-")
      break;
    numbers[field] = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
    if (comma == std::string::npos) {
      at = served.size();
      ++field;
      break;
    }
    at = comma + 1;
  }
  BYTE* record = static_cast<BYTE*>(CoTaskMemAlloc(32));
  std::memset(record, 0xCD, 32);
  lab::WriteUInt32(record + 4, numbers[0]);
  lab::WriteUInt32(record + 8, numbers[1]);
  BYTE* payload = nullptr;
  if (field == 4) {
    const std::string text = served.substr(at);
    payload = static_cast<BYTE*>(CoTaskMemAlloc(24 + text.size() + 1));
    std::memset(payload, 0xCD, 24);
    lab::WriteUInt32(payload + 4, numbers[2]);
    lab::WriteUInt32(payload + 8, numbers[3]);
    std::memcpy(payload + 24, text.c_str(), text.size() + 1);
  }
  std::memcpy(record + 24, &payload, sizeof(payload));
  return record;
}

// A COM object as the caller sees it: a pointer to its table of slots.
using Slot = const void*;
template <size_t Count>
using SlotTable = std::array<Slot, Count>;

template <typename Function>
Slot AsSlot(Function* function) {
  return reinterpret_cast<Slot>(function);
}

struct Session;

struct PendingOperations {
  const Slot* slots;
  Session* session;
};

struct Session {
  const Slot* slots;
  LONG number;
  LONG references;
  PendingOperations operations;
};

LONG NumberOf(Session* session) { return session->number; }
LONG NumberOf(PendingOperations* operations) { return operations->session->number; }

template <typename Object, size_t Position>
HRESULT WINAPI Unexpected(Object* self) {
  Record(NumberOf(self), lab::Format("Unexpected|%zu", Position));
  return E_NOTIMPL;
}

template <typename Object, size_t... Positions>
SlotTable<sizeof...(Positions)> UnexpectedSlots(std::index_sequence<Positions...>) {
  return {AsSlot(&Unexpected<Object, Positions>)...};
}

// A table of `Count` slots: the operations at their positions, every other slot recording an
// unexpected call.
template <typename Object, size_t Count>
SlotTable<Count> Slots(std::initializer_list<std::pair<size_t, Slot>> operations) {
  SlotTable<Count> table = UnexpectedSlots<Object>(std::make_index_sequence<Count>());
  for (const auto& operation : operations)
    table[operation.first] = operation.second;
  return table;
}

ULONG WINAPI SessionAddRef(Session* self) {
  const LONG count = InterlockedIncrement(&self->references);
  Record(self->number, lab::Format("AddRef|%ld", count));
  return count;
}

ULONG WINAPI SessionRelease(Session* self) {
  const LONG count = InterlockedDecrement(&self->references);
  Record(self->number, lab::Format("Release|%ld", count));
  if (count == 0) {
    Record(self->number, "Destroyed");
    InterlockedDecrement(&objectsAlive);
    delete self;
  }
  return count;
}

HRESULT WINAPI SessionQueryInterface(Session* self, REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == lab::kRuntimeSessionInterface) {
    *out = self;
    SessionAddRef(self);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT WINAPI Connect(Session* self, const char* target, uint64_t length) {
  Record(self->number,
         lab::Format("Connect|%s|%llu", target, static_cast<unsigned long long>(length)));
  static LONG connects = 0;
  const std::string hold = Environment("OMBRU_RUNTIME_HOLD_CONNECT");
  const size_t comma = hold.find(',');
  if (comma != std::string::npos &&
      InterlockedIncrement(&connects) == std::strtol(hold.c_str() + comma + 1, nullptr, 10)) {
    const DWORD ms = std::strtoul(hold.c_str(), nullptr, 10);
    const size_t name = hold.find(',', comma + 1);
    const HANDLE release = name == std::string::npos
                               ? nullptr
                               : OpenEventA(SYNCHRONIZE, FALSE, hold.c_str() + name + 1);
    if (release) {
      WaitForSingleObject(release, ms);
      CloseHandle(release);
    } else {
      Sleep(ms);
    }
  }
  return Fails("connect") ? E_FAIL : S_OK;
}

HRESULT WINAPI GetPendingOperations(Session* self, PendingOperations** out) {
  Record(self->number, "GetPendingOperations");
  *out = &self->operations;
  return S_OK;
}

HRESULT WINAPI Invoke(Session* self, const BYTE* message, uint32_t length, BYTE** reply,
                      uint32_t* replyLength) {
  Record(self->number, lab::Format("Invoke|%u|%s|%p|%u", length, Hex(message, length).c_str(),
                                   static_cast<void*>(*reply), *replyLength));
  RecordTokenState(message, length);
  if (Fails("invoke"))
    return E_FAIL;
  *reply = static_cast<BYTE*>(CoTaskMemAlloc(4));
  *replyLength = 4;
  return S_OK;
}

HRESULT WINAPI FreeReply(Session* self, BYTE* reply) {
  Record(self->number, lab::Format("FreeReply|%s", reply ? "reply" : "null"));
  CoTaskMemFree(reply);
  return S_OK;
}

HRESULT WINAPI GetStorageType(Session* self, uint32_t* storageType) {
  Record(self->number, lab::Format("GetStorageType|%u", *storageType));
  char configured[32] = {};
  DWORD size = sizeof(configured) - 1;
  if (RegGetValueA(HKEY_CURRENT_USER, "Software\\OMBRU\\RuntimeStandIn", "StorageType",
                   RRF_RT_REG_SZ, nullptr, configured, &size) == ERROR_SUCCESS) {
    *storageType = static_cast<uint32_t>(std::strtoul(configured, nullptr, 0));
  }
  return S_OK;
}

// The pending-operations object lives as long as its session and shares its reference count.
HRESULT WINAPI OperationsQueryInterface(PendingOperations*, REFIID, void** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG WINAPI OperationsAddRef(PendingOperations* self) { return SessionAddRef(self->session); }
ULONG WINAPI OperationsRelease(PendingOperations* self) { return SessionRelease(self->session); }

HRESULT WINAPI CompleteOperation(PendingOperations* self, const char* computerName,
                                 uint32_t operationKey) {
  Record(NumberOf(self), lab::Format("CompleteOperation|%s|%u", computerName, operationKey));
  return S_OK;
}

HRESULT WINAPI FailOperation(PendingOperations* self, const char* computerName,
                             uint32_t operationKey, uint32_t level, HRESULT error,
                             const char* text) {
  Record(NumberOf(self), lab::Format("FailOperation|%s|%u|%u|0x%08lx|%s", computerName,
                                     operationKey, level, static_cast<unsigned long>(error), text));
  return S_OK;
}

HRESULT WINAPI GetOperation(PendingOperations* self, const char* computerName,
                            uint32_t operationKey, BYTE** record) {
  Record(NumberOf(self), lab::Format("GetOperation|%s|%u", computerName, operationKey));
  *record = nullptr;
  const std::string served = Environment("OMBRU_RUNTIME_OPERATION");
  if (Fails("getoperation") || served.empty())
    return E_FAIL;
  *record = BuildOperation(served);
  Record(NumberOf(self), lab::Format("Served|%p", static_cast<void*>(*record)));
  return S_OK;
}

HRESULT WINAPI FreeOperation(PendingOperations* self, BYTE* record) {
  Record(NumberOf(self), lab::Format("FreeOperation|%p", static_cast<void*>(record)));
  BYTE* payload;
  std::memcpy(&payload, record + 24, sizeof(payload));
  CoTaskMemFree(payload);
  CoTaskMemFree(record);
  return S_OK;
}

// Built at load, not on first use: the C++ runtime's guard for a local static would leave handles
// behind each time COM unloads the stand-in.
const SlotTable<15> sessionSlots = Slots<Session, 15>({
    {0, AsSlot(&SessionQueryInterface)},
    {1, AsSlot(&SessionAddRef)},
    {2, AsSlot(&SessionRelease)},
    {3, AsSlot(&Connect)},
    {7, AsSlot(&GetPendingOperations)},
    {10, AsSlot(&Invoke)},
    {11, AsSlot(&FreeReply)},
    {14, AsSlot(&GetStorageType)},
});
const SlotTable<29> operationsSlots = Slots<PendingOperations, 29>({
    {0, AsSlot(&OperationsQueryInterface)},
    {1, AsSlot(&OperationsAddRef)},
    {2, AsSlot(&OperationsRelease)},
    {24, AsSlot(&CompleteOperation)},
    {25, AsSlot(&FailOperation)},
    {27, AsSlot(&GetOperation)},
    {28, AsSlot(&FreeOperation)},
});

Session* NewSession() {
  auto* session = new Session{sessionSlots.data(), InterlockedIncrement(&lastObjectNumber), 1, {}};
  session->operations = {operationsSlots.data(), session};
  InterlockedIncrement(&objectsAlive);
  Record(session->number, "Created");
  return session;
}

class ClassFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer)
      return CLASS_E_NOAGGREGATION;
    if (Fails("create")) {
      Record(0, "CreateRefused");
      return E_FAIL;
    }
    Session* session = NewSession();
    const HRESULT result = SessionQueryInterface(session, iid, out);
    SessionRelease(session);
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != lab::kRuntimeClass) {
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return objectsAlive == 0 ? S_OK : S_FALSE;
}
