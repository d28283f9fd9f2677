#include "monitor/hot_key_settings.h"

#include <string>
#include <vector>

#include "harness/test.h"

using namespace ombru;

START_TEST(setting_text) {
  const std::string full(260, 'u');
  static const struct {
    const char* name;
    long result;
    uint32_t type;
    std::string bytes;  // exactly what the query wrote
    size_t size;        // what the query reported
    std::string text;
  } cases[] = {
      {"failed query", kErrorMoreData, kRegSz, "", 0, ""},
      {"failed query keeps no bytes", 2, kRegSz, std::string("k\0", 2), 2, ""},
      {"REG_SZ NUL only", kErrorSuccess, kRegSz, std::string(1, '\0'), 1, ""},
      {"REG_SZ Ctrl+K", kErrorSuccess, kRegSz, std::string("Ctrl+K\0", 7), 7, "Ctrl+K"},
      {"REG_SZ without NUL", kErrorSuccess, kRegSz, "ab", 2, "ab"},
      {"REG_EXPAND_SZ unexpanded", kErrorSuccess, kRegExpandSz, std::string("%X%\0", 4), 4, "%X%"},
      {"REG_MULTI_SZ first string", kErrorSuccess, kRegMultiSz, std::string("m\0n\0\0", 5), 5, "m"},
      {"REG_DWORD 0x4B", kErrorSuccess, kRegDword, std::string("K\0\0\0", 4), 4, "K"},
      {"REG_DWORD 0", kErrorSuccess, kRegDword, std::string(4, '\0'), 4, ""},
      {"REG_QWORD", kErrorSuccess, kRegQword, std::string("N\0\0\0\0\0\0\0", 8), 8, "N"},
      {"REG_BINARY one byte", kErrorSuccess, kRegBinary, "o", 1, "o"},
      {"REG_NONE byte", kErrorSuccess, kRegNone, "z", 1, "z"},
      {"259 characters and NUL", kErrorSuccess, kRegSz, std::string(259, 't') + '\0', 260,
       std::string(259, 't')},
      {"260 bytes without NUL", kErrorSuccess, kRegBinary, full, 260, full},
      {"a size beyond the buffer is never read past it", kErrorSuccess, kRegSz, full, 100000, full},
  };
  for (const auto& c : cases) {
    // An exactly sized copy, so that the sanitizer sees any read past what the query wrote.
    std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());
    const std::string got = SettingText(c.result, c.type, bytes.data(), c.size);
    ok(got == c.text, "%s: got %zu bytes [%.20s]\n", c.name, got.size(), got.c_str());
  }
}
