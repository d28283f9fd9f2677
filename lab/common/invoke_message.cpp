#include "common/invoke_message.h"

#include "common/little_endian.h"

namespace lab {
namespace {

class Reader {
 public:
  Reader(const uint8_t* bytes, size_t size) : bytes(bytes), size(size) {}

  bool UInt32(uint32_t& value) {
    if (size - at < 4)
      return false;
    value = ReadUInt32(bytes + at);
    at += 4;
    return true;
  }

  bool Bytes(size_t count, std::vector<uint8_t>& out) {
    if (size - at < count)
      return false;
    out.assign(bytes + at, bytes + at + count);
    at += count;
    return true;
  }

  bool Arguments(uint32_t count, std::vector<ParsedArgument>& out) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t argumentSize, type;
      ParsedArgument argument;
      if (!UInt32(argumentSize) || !UInt32(type) || !Bytes(argumentSize, argument.data)) {
        return false;
      }
      argument.type = type;
      out.push_back(std::move(argument));
    }
    return true;
  }

  bool AtEnd() const { return at == size; }

 private:
  const uint8_t* bytes;
  size_t size;
  size_t at = 0;
};

}  // namespace

std::optional<ParsedMessage> ParseInvokeMessage(const uint8_t* bytes, size_t size) {
  Reader reader(bytes, size);
  ParsedMessage message;
  uint32_t inCount, outCount;
  if (!reader.UInt32(message.methodId) || !reader.UInt32(message.mode) ||
      !reader.UInt32(message.objectId) || !reader.Bytes(16, message.interfaceId) ||
      !reader.UInt32(inCount) || !reader.UInt32(outCount) ||
      !reader.Arguments(inCount, message.inArguments)) {
    return std::nullopt;
  }
  if (message.mode == 1 || message.mode == 2) {
    uint32_t result;
    if (!reader.UInt32(result) || !reader.Arguments(outCount, message.outArguments)) {
      return std::nullopt;
    }
    message.result = result;
  }
  if (!reader.AtEnd())
    return std::nullopt;
  return message;
}

uint32_t ArgumentUInt32(const ParsedArgument& argument) {
  return argument.data.size() == 4 ? ReadUInt32(argument.data.data()) : 0;
}

std::string ArgumentString(const ParsedArgument& argument) {
  std::string text(argument.data.begin(), argument.data.end());
  if (!text.empty() && text.back() == '\0')
    text.pop_back();
  return text;
}

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace lab
