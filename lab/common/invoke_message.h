// Reads an invocation message back, as the runtime would: the inverse of CInvokeData::Serialize.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lab {

struct ParsedArgument {
  uint32_t type;
  std::vector<uint8_t> data;
};

struct ParsedMessage {
  uint32_t methodId;
  uint32_t mode;
  uint32_t objectId;
  std::vector<uint8_t> interfaceId;  // 16 bytes
  std::vector<ParsedArgument> inArguments;
  std::optional<uint32_t> result;  // reply modes only
  std::vector<ParsedArgument> outArguments;
};

// Nothing when the bytes are not exactly one well-formed message.
std::optional<ParsedMessage> ParseInvokeMessage(const uint8_t* bytes, size_t size);

uint32_t ArgumentUInt32(const ParsedArgument& argument);
std::string ArgumentString(const ParsedArgument& argument);  // without its NUL

std::vector<uint8_t> FromHex(const std::string& hex);

}  // namespace lab
