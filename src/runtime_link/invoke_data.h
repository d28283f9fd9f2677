// One method call to the runtime, packed into the flat little-endian invocation message.
#pragma once

#include <cstdint>
#include <vector>

namespace ombru {

inline constexpr int32_t kInvokeOutOfMemory = static_cast<int32_t>(0x8007000E);  // E_OUTOFMEMORY
inline constexpr int32_t kInvokeFail = static_cast<int32_t>(0x80004005);         // E_FAIL

inline constexpr uint32_t ARG_UINT32 = 1;
inline constexpr uint32_t ARG_STRING = 2;

inline constexpr uint32_t METHOD_USER_CHANGED = 901;
inline constexpr uint32_t METHOD_SHELL_STOPPED = 922;
inline constexpr uint32_t METHOD_SHELL_STARTED = 923;
inline constexpr uint32_t RUNTIME_SESSION_OBJECT = 11;

enum SerializeMode : uint32_t {
  SERIALIZE_CALL = 0,   // in-arguments
  SERIALIZE_REPLY = 1,  // result and out-arguments
  SERIALIZE_BOTH = 2,
};

// The nil GUID's memory form, and the form of any interface id in the message.
struct InterfaceId {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};

struct InvokeArg {
  uint32_t type;
  std::vector<uint8_t> data;  // exactly the argument's size in bytes
};

class CInvokeData {
 public:
  CInvokeData(uint32_t methodId, uint32_t objectId);
  virtual ~CInvokeData();

  // {ARG_UINT32, 4 little-endian bytes}.
  void AddUInt32(uint32_t value);
  // {ARG_STRING, the characters and their NUL}; a null text gives an empty argument.
  void AddString(const char* text);
  // The agent sends calls only; replies carry out-arguments that the runtime adds.
  void AddOutArgument(InvokeArg argument);

  uint32_t GetSerializedSize(uint32_t mode) const;
  // The message's size, or kInvokeOutOfMemory (nothing written) when it exceeds the capacity.
  int32_t Serialize(uint8_t* buffer, uint32_t capacity, uint32_t mode) const;

 private:
  uint32_t methodId;
  int32_t result = kInvokeFail;
  InterfaceId interfaceId;
  uint32_t objectId;
  std::vector<InvokeArg> inArguments;
  std::vector<InvokeArg> outArguments;
};

}  // namespace ombru
