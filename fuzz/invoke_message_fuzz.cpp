// Builds random argument lists, serialises them into buffers of random capacity and checks the
// size, the out-of-memory answer and that the bytes parse back to what went in.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/invoke_message.h"
#include "fuzz_check.h"
#include "runtime_link/invoke_data.h"

namespace {

// What an argument must read back as: a number, a text, or (no value) a null text.
using Expected = std::optional<std::vector<uint8_t>>;

void CheckArgument(const lab::ParsedArgument& argument, const Expected& expected, bool isNumber) {
  Check(argument.type == (isNumber ? ombru::ARG_UINT32 : ombru::ARG_STRING));
  Check(argument.data == expected.value_or(std::vector<uint8_t>()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint32_t method = input.ConsumeIntegral<uint32_t>();
  const uint32_t object = input.ConsumeIntegral<uint32_t>();
  const uint32_t mode = input.ConsumeIntegralInRange<uint32_t>(0, 3);
  ombru::CInvokeData message(method, object);

  std::vector<std::pair<bool, Expected>> expected;  // is a number, bytes
  for (int count = input.ConsumeIntegralInRange(0, 15); count > 0; --count) {
    switch (input.ConsumeIntegralInRange(0, 2)) {
      case 0: {
        const uint32_t value = input.ConsumeIntegral<uint32_t>();
        message.AddUInt32(value);
        expected.push_back({true, std::vector<uint8_t>{static_cast<uint8_t>(value),
                                                       static_cast<uint8_t>(value >> 8),
                                                       static_cast<uint8_t>(value >> 16),
                                                       static_cast<uint8_t>(value >> 24)}});
        break;
      }
      case 1: {
        const std::string text = input.ConsumeRandomLengthString(64);
        message.AddString(text.c_str());
        const std::string stored = text.substr(0, text.find('\0'));
        expected.push_back(
            {false, std::vector<uint8_t>(stored.c_str(), stored.c_str() + stored.size() + 1)});
        break;
      }
      default:
        message.AddString(nullptr);
        expected.push_back({false, std::nullopt});
    }
  }

  const uint32_t needed = message.GetSerializedSize(mode);
  const uint32_t capacity = needed + 8 - input.ConsumeIntegralInRange<uint32_t>(0, 15);
  std::vector<uint8_t> buffer(capacity + 1, 0xA5);
  const int32_t result = message.Serialize(buffer.data(), capacity, mode);
  if (capacity < needed) {
    Check(result == ombru::kInvokeOutOfMemory);
    for (uint8_t byte : buffer)
      Check(byte == 0xA5);
    return 0;
  }
  Check(result == static_cast<int32_t>(needed));
  for (size_t i = needed; i < buffer.size(); ++i)
    Check(buffer[i] == 0xA5);

  const auto parsed = lab::ParseInvokeMessage(buffer.data(), needed);
  Check(parsed.has_value());
  Check(parsed->methodId == method && parsed->objectId == object && parsed->mode == mode);
  const bool call = mode == ombru::SERIALIZE_CALL || mode == ombru::SERIALIZE_BOTH;
  Check(parsed->inArguments.size() == (call ? expected.size() : 0));
  for (size_t i = 0; call && i < expected.size(); ++i)
    CheckArgument(parsed->inArguments[i], expected[i].second, expected[i].first);
  Check(parsed->outArguments.empty());
  Check(parsed->result.has_value() == (mode == 1 || mode == 2));
  return 0;
}
