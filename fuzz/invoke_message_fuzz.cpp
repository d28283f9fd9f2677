// Builds random argument lists, serialises them into buffers of random capacity and checks the
// size, the out-of-memory answer and that the bytes parse back to what went in.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "runtime_link/invoke_data.h"
#include "support/invoke_message.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data(data), size(size) {}
  bool Empty() const { return at >= size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  uint32_t UInt32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value = value << 8 | Byte();
    return value;
  }
  std::string Text() {
    std::string text;
    for (size_t length = Byte() % 64; length > 0 && !Empty(); --length) {
      const char c = static_cast<char>(Byte());
      if (c != '\0')
        text += c;
    }
    return text;
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  const uint32_t method = input.UInt32();
  const uint32_t object = input.UInt32();
  const uint32_t mode = input.Byte() % 4;
  ombru::CInvokeData message(method, object);

  struct Expected {
    bool isString;
    bool isNull;
    uint32_t number;
    std::string text;
  };
  std::vector<Expected> expected;
  for (size_t count = input.Byte() % 16; count > 0 && !input.Empty(); --count) {
    switch (input.Byte() % 3) {
      case 0: {
        const uint32_t value = input.UInt32();
        message.AddUInt32(value);
        expected.push_back({false, false, value, {}});
        break;
      }
      case 1: {
        const std::string text = input.Text();
        message.AddString(text.c_str());
        expected.push_back({true, false, 0, text});
        break;
      }
      default:
        message.AddString(nullptr);
        expected.push_back({true, true, 0, {}});
    }
  }

  const uint32_t needed = message.GetSerializedSize(mode);
  const uint32_t capacity = needed + 8 - input.Byte() % 16;
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

  const auto parsed = testsupport::ParseInvokeMessage(buffer.data(), needed);
  Check(parsed.has_value());
  Check(parsed->methodId == method && parsed->objectId == object && parsed->mode == mode);
  const bool call = mode == ombru::SERIALIZE_CALL || mode == ombru::SERIALIZE_BOTH;
  Check(parsed->inArguments.size() == (call ? expected.size() : 0));
  for (size_t i = 0; call && i < expected.size(); ++i) {
    const testsupport::ParsedArgument& argument = parsed->inArguments[i];
    if (!expected[i].isString) {
      Check(argument.type == ombru::ARG_UINT32 && argument.data.size() == 4);
      Check(testsupport::ArgumentUInt32(argument) == expected[i].number);
    } else if (expected[i].isNull) {
      Check(argument.type == ombru::ARG_STRING && argument.data.empty());
    } else {
      Check(argument.type == ombru::ARG_STRING);
      Check(argument.data.size() == expected[i].text.size() + 1 && argument.data.back() == 0);
      Check(testsupport::ArgumentString(argument) == expected[i].text);
    }
  }
  Check(parsed->outArguments.empty());
  Check(parsed->result.has_value() == (mode == 1 || mode == 2));
  return 0;
}
