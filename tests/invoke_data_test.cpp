#include "runtime_link/invoke_data.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "harness/test.h"

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

// Expected bytes are written in hex with blanks between the fields, as a reader would split them.
std::string WithoutBlanks(std::string hex) {
  hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
  return hex;
}

}  // namespace

START_TEST(message_bytes) {
  // method, mode, object 11, the nil interface id, in- and out-argument counts, then the arguments.
  static const struct {
    const char* name;
    uint32_t method;
    std::function<void(CInvokeData&)> arguments;
    uint32_t mode;
    const char* hex;
  } cases[] = {
      {"shell stopped", ombru::METHOD_SHELL_STOPPED, [](CInvokeData&) {}, ombru::SERIALIZE_CALL,
       "9a030000 00000000 0b000000 00000000000000000000000000000000 00000000 00000000"},
      {"shell started", ombru::METHOD_SHELL_STARTED, [](CInvokeData&) {}, ombru::SERIALIZE_CALL,
       "9b030000 00000000 0b000000 00000000000000000000000000000000 00000000 00000000"},
      {"user changed", ombru::METHOD_USER_CHANGED,
       [](CInvokeData& data) {
         data.AddString("bob");
         data.AddString("");
         data.AddUInt32(0x12345678);
         data.AddUInt32(4711);
       },
       ombru::SERIALIZE_CALL,
       "85030000 00000000 0b000000 00000000000000000000000000000000 04000000 00000000 "
       "04000000 02000000 626f6200  01000000 02000000 00  04000000 01000000 78563412  "
       "04000000 01000000 67120000"},
      {"a null text is an empty argument", 1, [](CInvokeData& data) { data.AddString(nullptr); },
       ombru::SERIALIZE_CALL,
       "01000000 00000000 0b000000 00000000000000000000000000000000 01000000 00000000 "
       "00000000 02000000"},
      {"reply: the result after the in-arguments, then the out-arguments", 7,
       [](CInvokeData& data) {
         data.AddUInt32(1);
         data.AddOutArgument({ombru::ARG_STRING, {'o', 0}});
       },
       ombru::SERIALIZE_BOTH,
       "07000000 02000000 0b000000 00000000000000000000000000000000 01000000 01000000 "
       "04000000 01000000 01000000  05400080  02000000 02000000 6f00"},
  };
  for (const auto& c : cases) {
    CInvokeData data(c.method, ombru::RUNTIME_SESSION_OBJECT);
    c.arguments(data);
    const std::string got = Hex(Serialized(data, c.mode));
    ok(got == WithoutBlanks(c.hex), "%s: got %s\n", c.name, got.c_str());
  }
}
