// The program's upper-casing and comparison in a double-byte code page, where a lead byte that
// stands last must not take the terminating NUL for its trail byte.
#include <mbctype.h>

#include <cstring>
#include <string>

#include "framework/narrow_string.h"
#include "harness/test.h"
#include "monitor/hot_key_settings.h"

namespace {

constexpr char kGuard[] = "zzzzzz";  // lower case: upper-casing past the end would change it

struct GuardedText {
  char bytes[32];
  explicit GuardedText(const std::string& text) {
    std::memset(bytes, 0, sizeof(bytes));
    std::memcpy(bytes, text.data(), text.size());
    std::memcpy(bytes + text.size() + 1, kGuard, sizeof(kGuard));
  }
  bool GuardIntact(size_t textSize) const {
    return bytes[textSize] == 0 && std::memcmp(bytes + textSize + 1, kGuard, sizeof(kGuard)) == 0;
  }
};

void UpperCasingStaysWithinTheText(int codePage) {
  ok(_setmbcp(codePage) == 0, "code page %d not available\n", codePage);

  for (int c = 1; c < 256; ++c) {
    GuardedText text(std::string(1, static_cast<char>(c)));
    ombru::UpperCaseInPlace(text.bytes);
    const int expected = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    ok(static_cast<unsigned char>(text.bytes[0]) == expected && text.GuardIntact(1),
       "%d, byte %#x: became %#x, guard %s\n", codePage, c,
       static_cast<unsigned char>(text.bytes[0]), text.GuardIntact(1) ? "intact" : "changed");
  }

  static const struct {
    const char* text;
    const char* upper;
  } endingInLeadByte[] = {
      {"k\x82", "K\x82"},
      {"\x82\xa0q\x81", "\x82\xa0Q\x81"},  // a whole character, then a lone lead byte
      {"\x9f", "\x9f"},
  };
  for (const auto& c : endingInLeadByte) {
    GuardedText text(c.text);
    ombru::UpperCaseInPlace(text.bytes);
    ok(std::strcmp(text.bytes, c.upper) == 0 && text.GuardIntact(std::strlen(c.text)),
       "%d [%s]: guard %s\n", codePage, c.upper,
       text.GuardIntact(std::strlen(c.text)) ? "intact" : "changed");
    ok(ombru::MakeUpper(c.text) == c.upper, "%d [%s]: MakeUpper\n", codePage, c.upper);
  }

  // REG_DWORD 0x82: VK_F19 in its first byte, a lead byte here.
  const uint8_t dword[] = {0x82, 0, 0, 0};
  const std::string setting =
      ombru::SettingText(ombru::kErrorSuccess, ombru::kRegDword, dword, sizeof(dword));
  ok(ombru::HotKeyCode(ombru::MakeUpper(setting), 'F') == 0x82, "%d: F19 expected\n", codePage);

  ok(ombru::CompareNoCase("user\x82", "USER\x82") == 0, "same texts ending in a lead byte\n");
  ok(ombru::CompareNoCase("user\x82", "USER") != 0 && ombru::CompareNoCase("USER", "user\x82") != 0,
     "a lone lead byte is part of the text\n");
  ok(ombru::CompareNoCase("\x82\xa0user", "\x82\xa0USER") == 0, "whole characters ignore case\n");
}

}  // namespace

START_TEST(upper_casing_stays_within_the_text_on_double_byte_code_pages) {
  // 0x81, 0x82 and 0x9F are lead bytes in each of them.
  for (const int codePage : {932, 936, 949, 950})
    UpperCasingStaysWithinTheText(codePage);
  _setmbcp(_MB_CP_ANSI);
}
