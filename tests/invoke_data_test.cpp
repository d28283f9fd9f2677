#include "runtime_link/invoke_data.h"

#include <string>
#include <vector>

#include "harness/test.h"
#include "support/invoke_message.h"

using ombru::CInvokeData;

namespace {

std::vector<uint8_t> Serialized(const CInvokeData& data, uint32_t mode) {
  std::vector<uint8_t> bytes(data.GetSerializedSize(mode));
  const int32_t written = data.Serialize(bytes.data(), static_cast<uint32_t>(bytes.size()), mode);
  if (written != static_cast<int32_t>(bytes.size()))
    bytes.clear();
  return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t byte : bytes)
    text += ombru::FormatString("%02x", byte);
  return text;
}

}  // namespace

START_TEST(shell_messages_are_36_bytes) {
  for (uint32_t method : {ombru::METHOD_SHELL_STARTED, ombru::METHOD_SHELL_STOPPED}) {
    CInvokeData data(method, ombru::RUNTIME_SESSION_OBJECT);
    const std::vector<uint8_t> bytes = Serialized(data, ombru::SERIALIZE_CALL);
    std::vector<uint8_t> expected = {static_cast<uint8_t>(method & 0xFF),
                                     static_cast<uint8_t>(method >> 8),
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     11,
                                     0,
                                     0,
                                     0};
    expected.resize(36, 0);
    ok(bytes == expected, "%u: %s\n", method, Hex(bytes).c_str());
  }
}

START_TEST(user_changed_message_layout) {
  CInvokeData data(ombru::METHOD_USER_CHANGED, ombru::RUNTIME_SESSION_OBJECT);
  data.AddString("bob");
  data.AddString("");
  data.AddUInt32(0x12345678);
  data.AddUInt32(4711);
  ok(data.GetSerializedSize(ombru::SERIALIZE_CALL) == 81, "size %u\n",
     data.GetSerializedSize(ombru::SERIALIZE_CALL));
  const std::string expected =
      "85030000"
      "00000000"
      "0b000000"
      "00000000000000000000000000000000"
      "04000000"
      "00000000"
      "04000000"
      "02000000"
      "626f6200"
      "01000000"
      "02000000"
      "00"
      "04000000"
      "01000000"
      "78563412"
      "04000000"
      "01000000"
      "67120000";
  ok(Hex(Serialized(data, ombru::SERIALIZE_CALL)) == expected, "got %s\n",
     Hex(Serialized(data, ombru::SERIALIZE_CALL)).c_str());
}

START_TEST(null_and_empty_strings) {
  CInvokeData data(1, 2);
  data.AddString(nullptr);
  data.AddString("");
  const auto message =
      testsupport::ParseInvokeMessage(Serialized(data, ombru::SERIALIZE_CALL).data(),
                                      data.GetSerializedSize(ombru::SERIALIZE_CALL));
  ok(message.has_value() && message->inArguments.size() == 2, "two arguments\n");
  if (!message || message->inArguments.size() != 2)
    return;
  ok(message->inArguments[0].type == ombru::ARG_STRING && message->inArguments[0].data.empty(),
     "a null text is an empty argument\n");
  ok(message->inArguments[1].data == std::vector<uint8_t>{0}, "\"\" is its NUL alone\n");
  ok(data.GetSerializedSize(ombru::SERIALIZE_CALL) == 36 + 8 + 9, "size %u\n",
     data.GetSerializedSize(ombru::SERIALIZE_CALL));
}

START_TEST(modes_and_sizes) {
  CInvokeData data(7, 8);
  data.AddUInt32(1);
  data.AddString("in");
  data.AddOutArgument({ombru::ARG_STRING, {'o', 'u', 't', 0}});
  static const struct {
    uint32_t mode;
    uint32_t size;
    uint32_t inCount, outCount;
  } cases[] = {
      {ombru::SERIALIZE_CALL, 36 + 12 + 11, 2, 0},
      {ombru::SERIALIZE_REPLY, 36 + 4 + 12, 0, 1},
      {ombru::SERIALIZE_BOTH, 36 + 12 + 11 + 4 + 12, 2, 1},
      {3, 36, 0, 0},
      {0xFFFFFFFF, 36, 0, 0},
  };
  for (const auto& c : cases) {
    ok(data.GetSerializedSize(c.mode) == c.size, "mode %u: size %u, expected %u\n", c.mode,
       data.GetSerializedSize(c.mode), c.size);
    const std::vector<uint8_t> bytes = Serialized(data, c.mode);
    const auto message = testsupport::ParseInvokeMessage(bytes.data(), bytes.size());
    ok(message && message->inArguments.size() == c.inCount &&
           message->outArguments.size() == c.outCount && message->mode == c.mode,
       "mode %u parses back\n", c.mode);
  }
  // In mode 2 the result sits right after the last in-argument, then the out-arguments.
  const std::vector<uint8_t> both = Serialized(data, ombru::SERIALIZE_BOTH);
  const std::string tail = Hex(both).substr(2 * (36 + 12 + 11));
  ok(tail ==
         "05400080"
         "04000000"
         "02000000"
         "6f757400",
     "mode 2 tail %s\n", tail.c_str());
}

START_TEST(capacity_too_small_writes_nothing) {
  CInvokeData data(ombru::METHOD_USER_CHANGED, 11);
  data.AddString("alice");
  const uint32_t size = data.GetSerializedSize(ombru::SERIALIZE_CALL);
  for (uint32_t capacity : {0u, 1u, 35u, size - 1}) {
    std::vector<uint8_t> buffer(size + 4, 0xCC);
    const int32_t result = data.Serialize(buffer.data(), capacity, ombru::SERIALIZE_CALL);
    ok(result == ombru::kInvokeOutOfMemory, "capacity %u: result %#x\n", capacity,
       static_cast<unsigned>(result));
    ok(buffer == std::vector<uint8_t>(size + 4, 0xCC), "capacity %u: bytes written\n", capacity);
  }
  std::vector<uint8_t> larger(size + 4, 0xCC);
  ok(data.Serialize(larger.data(), size + 4, ombru::SERIALIZE_CALL) == static_cast<int32_t>(size),
     "a larger buffer takes the message\n");
  ok(larger[size] == 0xCC, "nothing past the message\n");
}
