#include "runtime_link/invoke_data.h"

#include <cstring>
#include <utility>

#include "runtime_link/message_writer.h"

namespace ombru {
namespace {

constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kArgumentHeaderSize = 8;

bool HasCall(uint32_t mode) { return mode == SERIALIZE_CALL || mode == SERIALIZE_BOTH; }
bool HasReply(uint32_t mode) { return mode == SERIALIZE_REPLY || mode == SERIALIZE_BOTH; }

uint32_t ArgumentsSize(const std::vector<InvokeArg>& arguments) {
  uint32_t size = 0;
  for (const InvokeArg& argument : arguments) {
    size += kArgumentHeaderSize + static_cast<uint32_t>(argument.data.size());
  }
  return size;
}

void WriteArguments(MessageWriter& writer, const std::vector<InvokeArg>& arguments) {
  for (const InvokeArg& argument : arguments) {
    writer.WriteUInt32(static_cast<uint32_t>(argument.data.size()));
    writer.WriteUInt32(argument.type);
    writer.Write(argument.data.data(), static_cast<uint32_t>(argument.data.size()));
  }
}

}  // namespace

CInvokeData::CInvokeData(uint32_t methodId, uint32_t objectId)
    : methodId(methodId), objectId(objectId) {}

CInvokeData::~CInvokeData() = default;

void CInvokeData::AddUInt32(uint32_t value) {
  inArguments.push_back({ARG_UINT32,
                         {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}});
}

void CInvokeData::AddString(const char* text) {
  InvokeArg argument{ARG_STRING, {}};
  if (text)
    argument.data.assign(text, text + std::strlen(text) + 1);
  inArguments.push_back(std::move(argument));
}

void CInvokeData::AddOutArgument(InvokeArg argument) {
  outArguments.push_back(std::move(argument));
}

uint32_t CInvokeData::GetSerializedSize(uint32_t mode) const {
  uint32_t size = kHeaderSize;
  if (HasCall(mode))
    size += ArgumentsSize(inArguments);
  if (HasReply(mode))
    size += 4 + ArgumentsSize(outArguments);
  return size;
}

int32_t CInvokeData::Serialize(uint8_t* buffer, uint32_t capacity, uint32_t mode) const {
  const uint32_t size = GetSerializedSize(mode);
  if (size > capacity)
    // Not reached from SendToRuntime, which sizes the buffer; invoke_message_fuzz takes it
    // natively.
    return kInvokeOutOfMemory;

  MessageWriter writer(buffer, capacity);
  writer.WriteUInt32(methodId);
  writer.WriteUInt32(mode);
  writer.WriteUInt32(objectId);
  writer.WriteUInt32(interfaceId.data1);
  writer.WriteUInt16(interfaceId.data2);
  writer.WriteUInt16(interfaceId.data3);
  writer.Write(interfaceId.data4, sizeof(interfaceId.data4));
  writer.WriteUInt32(HasCall(mode) ? static_cast<uint32_t>(inArguments.size()) : 0);
  writer.WriteUInt32(HasReply(mode) ? static_cast<uint32_t>(outArguments.size()) : 0);
  if (HasCall(mode))
    WriteArguments(writer, inArguments);
  if (HasReply(mode)) {
    writer.WriteUInt32(static_cast<uint32_t>(result));
    WriteArguments(writer, outArguments);
  }
  return static_cast<int32_t>(size);
}

}  // namespace ombru
