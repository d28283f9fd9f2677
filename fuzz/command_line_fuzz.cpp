// The option search on arbitrary command lines, under the sanitizers: nothing is read outside the
// line, and a line without an option is the agent with no value.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "app/command_line.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact copy without a closing NUL, so that a read past the line is caught.
  char* copy = new char[size + 1];
  std::memcpy(copy, data, size);
  const ombru::ModeSelection selection = ombru::SelectMode(std::string_view(copy, size));
  Check(selection.mode != ombru::Mode::Agent || selection.value == 0);
  delete[] copy;
  return 0;
}
