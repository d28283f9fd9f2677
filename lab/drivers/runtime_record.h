// Registers the runtime stand-in's COM class in the Wine prefix and reads back what it recorded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/handle.h"
#include "common/invoke_message.h"

namespace lab {

// One recorded call: the process, the object's number, the operation and its arguments.
struct RuntimeCall {
  DWORD processId;
  double timeMs;  // the same clock as NowMs()
  long object;
  std::string operation;
  std::vector<std::string> arguments;
};

class RuntimeStandIn {
 public:
  // Registers the class (InprocServer32, ThreadingModel "Both") unless `registered` is false, in
  // which case the class is removed. Sets the stand-in's environment for children started later.
  explicit RuntimeStandIn(bool registered = true);
  ~RuntimeStandIn();
  RuntimeStandIn(const RuntimeStandIn&) = delete;
  RuntimeStandIn& operator=(const RuntimeStandIn&) = delete;

  // "create", "connect", "invoke" and/or "getoperation"; empty for none.
  void SetFailures(const char* steps);
  // What GetStorageType writes (null: nothing); also while an agent runs.
  void SetStorageType(const char* value);
  // What GetOperation serves: "object,kind,typeMask,flags,text", or "object,kind,-" for a record
  // without payload; null: nothing.
  void SetOperation(const char* served);
  // Holds up the `ordinal`-th Connect of each process (the first is 1) by this many milliseconds,
  // once it is recorded.
  void HoldConnect(DWORD ms, unsigned ordinal = 1);
  // The same, but until ReleaseConnect (or the destructor), 60 s at the most.
  void HoldConnectUntilReleased(unsigned ordinal = 1);
  void ReleaseConnect();

  std::vector<RuntimeCall> Calls() const;
  std::vector<RuntimeCall> Calls(const char* operation) const;
  std::vector<RuntimeCall> WaitForCalls(const char* operation, size_t count,
                                        DWORD timeoutMs = 10000) const;

  // The Invoke calls whose message carries the given method number.
  std::vector<RuntimeCall> Sent(uint32_t methodId) const;
  std::vector<RuntimeCall> WaitForSent(uint32_t methodId, size_t count,
                                       DWORD timeoutMs = 10000) const;

  // Every message handed over with Invoke, read back as the runtime reads it (those that do not
  // read as one message are left out).
  std::vector<ParsedMessage> Messages() const;

  // Objects whose reference count did not return to zero, or went below it.
  std::vector<std::string> UnbalancedObjects() const;

 private:
  std::string recordPath;
  std::string releaseName;
  Handle release;
};

}  // namespace lab
