#include "drivers/runtime_record.h"

#include <cstring>
#include <map>

#include "common/format.h"
#include "common/record_file.h"
#include "common/runtime_class.h"
#include "drivers/process.h"
#include "drivers/session_input.h"

namespace lab {
namespace {

// What the stand-in reads at each call.
constexpr char kSettingsKey[] = "Software\\OMBRU\\RuntimeStandIn";

std::string ClassKey() {
  const GUID& id = kRuntimeClass;
  return Format("Software\\Classes\\CLSID\\{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                id.Data1, id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3],
                id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
}

void Register() {
  const std::string serverKey = ClassKey() + "\\InprocServer32";
  SetMachineString(serverKey.c_str(), nullptr, SiblingPath("runtime_stand_in.dll").c_str());
  SetMachineString(serverKey.c_str(), "ThreadingModel", "Both");
}

// The stand-in's settings are environment variables, which the agents started later inherit.
void ClearSettings() {
  for (const char* name : {"OMBRU_RUNTIME_RECORD", "OMBRU_RUNTIME_FAIL", "OMBRU_RUNTIME_OPERATION",
                           "OMBRU_RUNTIME_HOLD_CONNECT"}) {
    SetEnvironmentVariableA(name, nullptr);
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

}  // namespace

RuntimeStandIn::RuntimeStandIn(bool registered) {
  recordPath = TempPath("runtime");
  ClearSettings();
  SetEnvironmentVariableA("OMBRU_RUNTIME_RECORD", recordPath.c_str());
  if (registered) {
    Register();
  } else {
    DeleteMachineKey(ClassKey().c_str());
  }
}

RuntimeStandIn::~RuntimeStandIn() {
  ReleaseConnect();
  Register();
  ClearSettings();
  DeleteFileA(recordPath.c_str());
}

void RuntimeStandIn::SetFailures(const char* steps) {
  SetEnvironmentVariableA("OMBRU_RUNTIME_FAIL", steps);
}

void RuntimeStandIn::SetStorageType(const char* value) {
  if (value) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "StorageType", REG_SZ, value,
                    static_cast<DWORD>(std::strlen(value) + 1));
  } else {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "StorageType");
  }
}

void RuntimeStandIn::SetOperation(const char* served) {
  SetEnvironmentVariableA("OMBRU_RUNTIME_OPERATION", served);
}

void RuntimeStandIn::HoldConnect(DWORD ms, unsigned ordinal) {
  SetEnvironmentVariableA("OMBRU_RUNTIME_HOLD_CONNECT", Format("%lu,%u", ms, ordinal).c_str());
}

void RuntimeStandIn::HoldConnectUntilReleased(unsigned ordinal) {
  releaseName = Format("OMBRU.RuntimeRelease.%lu", GetCurrentProcessId());
  release.Reset(CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str()));
  SetEnvironmentVariableA("OMBRU_RUNTIME_HOLD_CONNECT",
                          Format("60000,%u,%s", ordinal, releaseName.c_str()).c_str());
}

void RuntimeStandIn::ReleaseConnect() { SetEvent(release.Get()); }

std::vector<RuntimeCall> RuntimeStandIn::Calls() const {
  std::vector<RuntimeCall> calls;
  for (const std::string& line : CompleteLines(recordPath)) {
    std::vector<std::string> parts = Fields(line);
    if (parts.size() < 4)
      continue;
    RuntimeCall call{static_cast<DWORD>(std::stoul(parts[0])),
                     std::stod(parts[1]),
                     std::stol(parts[2]),
                     parts[3],
                     {}};
    call.arguments.assign(parts.begin() + 4, parts.end());
    calls.push_back(call);
  }
  return calls;
}

std::vector<RuntimeCall> RuntimeStandIn::Calls(const char* operation) const {
  std::vector<RuntimeCall> matching;
  for (const RuntimeCall& call : Calls()) {
    if (call.operation == operation)
      matching.push_back(call);
  }
  return matching;
}

std::vector<RuntimeCall> RuntimeStandIn::WaitForCalls(const char* operation, size_t count,
                                                      DWORD timeoutMs) const {
  return PollForCount([&] { return Calls(operation); }, count, timeoutMs);
}

std::vector<RuntimeCall> RuntimeStandIn::Sent(uint32_t methodId) const {
  // The message's first four bytes, as the record shows them: the method, little-endian.
  const std::string method =
      lab::Format("%02x%02x%02x%02x", methodId & 0xFF, (methodId >> 8) & 0xFF,
                  (methodId >> 16) & 0xFF, methodId >> 24);
  std::vector<RuntimeCall> sent;
  for (const RuntimeCall& call : Calls("Invoke")) {
    if (call.arguments.at(1).compare(0, method.size(), method) == 0)
      sent.push_back(call);
  }
  return sent;
}

std::vector<RuntimeCall> RuntimeStandIn::WaitForSent(uint32_t methodId, size_t count,
                                                     DWORD timeoutMs) const {
  return PollForCount([&] { return Sent(methodId); }, count, timeoutMs);
}

std::vector<ParsedMessage> RuntimeStandIn::Messages() const {
  std::vector<ParsedMessage> messages;
  for (const RuntimeCall& call : Calls("Invoke")) {
    const std::vector<uint8_t> bytes = FromHex(call.arguments.at(1));
    if (auto parsed = ParseInvokeMessage(bytes.data(), bytes.size()))
      messages.push_back(std::move(*parsed));
  }
  return messages;
}

std::vector<std::string> RuntimeStandIn::UnbalancedObjects() const {
  std::map<std::string, int> finalCounts;
  std::vector<std::string> unbalanced;
  for (const RuntimeCall& call : Calls()) {
    const std::string object = std::to_string(call.processId) + ":" + std::to_string(call.object);
    if (call.operation == "Created")
      finalCounts[object] = 1;
    if (call.operation == "AddRef" || call.operation == "Release") {
      finalCounts[object] = std::stoi(call.arguments.at(0));
      if (finalCounts[object] < 0)
        unbalanced.push_back(object + " released too often");
    }
  }
  for (const auto& entry : finalCounts) {
    if (entry.second > 0)
      unbalanced.push_back(entry.first + " still referenced");
  }
  return unbalanced;
}

}  // namespace lab
