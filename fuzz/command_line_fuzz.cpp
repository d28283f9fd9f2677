// The option search on arbitrary command lines: the first key in table order always wins, and the
// value is the conversion of the text right after it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_check.h"
#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const ombru::ModeSelection selection = ombru::SelectMode(line);

  static constexpr struct {
    std::string_view key;
    ombru::Mode mode;
  } kKeys[] = {{"/OPKEY:", ombru::Mode::PendingOperation},
               {"/WATCHDOG:", ombru::Mode::Watchdog},
               {"/WATCHDOG2:", ombru::Mode::Watchdog2}};
  for (const auto& key : kKeys) {
    const size_t at = line.find(key.key);
    if (at == std::string_view::npos)
      continue;
    Check(selection.mode == key.mode);
    Check(selection.value == ombru::DecimalValue(line.substr(at + key.key.size())));
    return 0;
  }
  Check(selection.mode == ombru::Mode::Agent && selection.value == 0);
  return 0;
}
