#include "monitor/setting_sections.h"

namespace ombru {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view name, std::string_view keyword) {
  if (name.size() != keyword.size())
    return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (AsciiLower(name[i]) != AsciiLower(keyword[i]))
      return false;
  }
  return true;
}

}  // namespace

SettingSection ClassifySection(std::string_view sectionName) {
  if (EqualsIgnoringAsciiCase(sectionName, "Environment"))
    return SettingSection::Environment;
  if (EqualsIgnoringAsciiCase(sectionName, "VLMStorageSettings")) {
    return SettingSection::StorageSettings;
  }
  return SettingSection::Other;
}

}  // namespace ombru
