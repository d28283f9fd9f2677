// Registry values of any type and size as hot-key and path settings: the text never reaches past
// what the query wrote nor past the 260-byte buffer, and holds no NUL.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "monitor/hot_key_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3)
    return 0;
  const uint32_t type = data[0] % 12;
  const long result = (data[1] & 1) ? ombru::kErrorSuccess : ombru::kErrorMoreData;
  const uint8_t defaultKey = data[2];
  const size_t valueSize = size - 3;
  uint8_t* bytes = new uint8_t[std::max<size_t>(valueSize, 1)];
  std::memcpy(bytes, data + 3, valueSize);

  const std::string text = ombru::SettingText(result, type, bytes, valueSize);
  Check(text.size() <= ombru::kSettingBufferSize && text.size() <= valueSize);
  Check(text.find('\0') == std::string::npos);
  Check(std::memcmp(text.data(), bytes, text.size()) == 0);
  if (result != ombru::kErrorSuccess)
    Check(text.empty());
  delete[] bytes;

  const uint8_t code = ombru::HotKeyCode(text, defaultKey);
  Check(code == (text.empty() ? defaultKey : static_cast<uint8_t>(text[0])));
  return 0;
}
