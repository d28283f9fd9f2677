#include "monitor/setting_sections.h"

#include <string>

#include "harness/test.h"

using ombru::SettingSection;

START_TEST(section_names) {
  static const struct {
    std::string name;
    SettingSection section;
  } cases[] = {
      {"Environment", SettingSection::Environment},
      {"environment", SettingSection::Environment},
      {"ENVIRONMENT", SettingSection::Environment},
      {"VLMStorageSettings", SettingSection::StorageSettings},
      {"vlmstoragesettings", SettingSection::StorageSettings},
      {"", SettingSection::Other},
      {"Policy", SettingSection::Other},
      {"Environment ", SettingSection::Other},
      {"Environmen", SettingSection::Other},
      {"EnvironmentX", SettingSection::Other},
      {"Envaronment", SettingSection::Other},
      {std::string("Environment\0", 12), SettingSection::Other},
      {"\x82\xA0nvironment", SettingSection::Other},
      {"VLMStorageSetting", SettingSection::Other},
  };
  for (const auto& c : cases) {
    ok(ombru::ClassifySection(c.name) == c.section, "[%s]\n", c.name.c_str());
  }
}
