#pragma once

#include <cstdint>
#include <string_view>

namespace ombru {

enum class SettingSection { Environment, StorageSettings, Other };

// "Environment" and "VLMStorageSettings" in any letter case. Both names are plain ASCII, so a
// multibyte name can only match them byte for byte, letters ignoring case.
SettingSection ClassifySection(std::string_view sectionName);

// A WM_SETTINGCHANGE lParam below 0x10000 (null included) is a string-resource id, and the agent
// has no string table: such a section has no name.
inline bool SectionHasName(uintptr_t lParam) { return lParam >= 0x10000; }

}  // namespace ombru
