// Stand-in for the runtime's in-process COM class. It implements IRuntimeSession and
// IPendingOperations at the agent's vtable positions and appends one line per call to the file
// named by OMBRU_RUNTIME_RECORD:
//
//   <process id>|<milliseconds, performance counter>|<object number>|<operation>|<arguments...>
//
// Told through the environment (which Wine passes on to the agent):
//   OMBRU_RUNTIME_FAIL          any of "create", "connect", "invoke": that step fails
//   OMBRU_RUNTIME_STORAGE_TYPE  the value GetStorageType writes (unset: nothing is written)
//   OMBRU_RUNTIME_OPERATION     the record GetOperation serves: "object,kind,typeMask,flags,text",
//                               or "object,kind,-" for a record without payload
//   OMBRU_RUNTIME_FAIL          may also name "getoperation"
//   OMBRU_RUNTIME_HOLD_CONNECT  milliseconds by which the first Connect of a process is held up
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/clock.h"
#include "common/little_endian.h"
#include "common/record_file.h"
#include "framework/format.h"
#include "runtime_link/runtime_interfaces.h"
#include "common/invoke_message.h"

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
  lab::AppendLine(Environment("OMBRU_RUNTIME_RECORD"),
                  ombru::FormatString("%lu|%.3f|%ld|%s", GetCurrentProcessId(), lab::NowMs(),
                                      object, line.c_str()));
}

std::string Hex(const BYTE* bytes, uint32_t length) {
  std::string text;
  for (uint32_t i = 0; i < length; ++i)
    text += ombru::FormatString("%02x", bytes[i]);
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

class Session;

class PendingOperations : public IPendingOperations {
 public:
  explicit PendingOperations(Session& session) : session(session) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Unused3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused15() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused16() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused17() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused18() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused19() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused20() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused21() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused22() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused23() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompleteOperation(const char* computerName,
                                              uint32_t operationKey) override;
  HRESULT STDMETHODCALLTYPE FailOperation(const char* computerName, uint32_t operationKey,
                                          uint32_t level, HRESULT error, const char* text) override;
  HRESULT STDMETHODCALLTYPE Unused26() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOperation(const char* computerName, uint32_t operationKey,
                                         BYTE** record) override;
  HRESULT STDMETHODCALLTYPE FreeOperation(BYTE* record) override;

 private:
  Session& session;
};

class Session final : public IRuntimeSession {
 public:
  Session() : number(InterlockedIncrement(&lastObjectNumber)), operations(*this) {
    InterlockedIncrement(&objectsAlive);
    Record(number, "Created");
  }

  LONG Number() const { return number; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IRuntimeSession) {
      *out = static_cast<IRuntimeSession*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    const LONG count = InterlockedIncrement(&references);
    Record(number, ombru::FormatString("AddRef|%ld", count));
    return count;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&references);
    Record(number, ombru::FormatString("Release|%ld", count));
    if (count == 0) {
      InterlockedDecrement(&objectsAlive);
      delete this;
    }
    return count;
  }
  HRESULT STDMETHODCALLTYPE Connect(const char* target, uint64_t length) override {
    Record(number,
           ombru::FormatString("Connect|%s|%llu", target, static_cast<unsigned long long>(length)));
    static LONG connects = 0;
    if (InterlockedIncrement(&connects) == 1)
      Sleep(std::strtoul(Environment("OMBRU_RUNTIME_HOLD_CONNECT").c_str(), nullptr, 10));
    return Fails("connect") ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unused4() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPendingOperations(IPendingOperations** out) override {
    Record(number, "GetPendingOperations");
    *out = &operations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unused8() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(const BYTE* message, uint32_t length, BYTE** reply,
                                   uint32_t* replyLength) override {
    Record(number, ombru::FormatString("Invoke|%u|%s|%p|%u", length, Hex(message, length).c_str(),
                                       static_cast<void*>(*reply), *replyLength));
    RecordTokenState(message, length);
    if (Fails("invoke"))
      return E_FAIL;
    *reply = static_cast<BYTE*>(CoTaskMemAlloc(4));
    *replyLength = 4;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FreeReply(BYTE* reply) override {
    Record(number, ombru::FormatString("FreeReply|%s", reply ? "reply" : "null"));
    CoTaskMemFree(reply);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unused12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStorageType(uint32_t* storageType) override {
    Record(number, ombru::FormatString("GetStorageType|%u", *storageType));
    const std::string configured = Environment("OMBRU_RUNTIME_STORAGE_TYPE");
    if (!configured.empty())
      *storageType = static_cast<uint32_t>(std::strtoul(configured.c_str(), nullptr, 0));
    return S_OK;
  }

 private:
  ~Session() { Record(number, "Destroyed"); }

  const LONG number;
  LONG references = 1;
  PendingOperations operations;
};

// The pending-operations object lives as long as its session and shares its reference count.
ULONG PendingOperations::AddRef() { return session.AddRef(); }
ULONG PendingOperations::Release() { return session.Release(); }

HRESULT PendingOperations::CompleteOperation(const char* computerName, uint32_t operationKey) {
  Record(session.Number(),
         ombru::FormatString("CompleteOperation|%s|%u", computerName, operationKey));
  return S_OK;
}

HRESULT PendingOperations::FailOperation(const char* computerName, uint32_t operationKey,
                                         uint32_t level, HRESULT error, const char* text) {
  Record(session.Number(),
         ombru::FormatString("FailOperation|%s|%u|%u|0x%08lx|%s", computerName, operationKey, level,
                             static_cast<unsigned long>(error), text));
  return S_OK;
}

HRESULT PendingOperations::GetOperation(const char* computerName, uint32_t operationKey,
                                        BYTE** record) {
  Record(session.Number(), ombru::FormatString("GetOperation|%s|%u", computerName, operationKey));
  *record = nullptr;
  const std::string served = Environment("OMBRU_RUNTIME_OPERATION");
  if (Fails("getoperation") || served.empty())
    return E_FAIL;
  *record = BuildOperation(served);
  Record(session.Number(), ombru::FormatString("Served|%p", static_cast<void*>(*record)));
  return S_OK;
}

HRESULT PendingOperations::FreeOperation(BYTE* record) {
  Record(session.Number(), ombru::FormatString("FreeOperation|%p", static_cast<void*>(record)));
  BYTE* payload;
  std::memcpy(&payload, record + 24, sizeof(payload));
  CoTaskMemFree(payload);
  CoTaskMemFree(record);
  return S_OK;
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
    Session* session = new Session();
    const HRESULT result = session->QueryInterface(iid, out);
    session->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != CLSID_RuntimeSession) {
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return objectsAlive == 0 ? S_OK : S_FALSE;
}
