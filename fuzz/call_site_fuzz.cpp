// Call-site tables of arbitrary content: the reader stays within the bytes it is given.
#include <cstdint>
#include <cstring>

#include "failure/call_site_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  const uint64_t offset = data[0] | uint64_t{data[1]} << 8;
  // An exact copy, so that a read past the table is caught.
  uint8_t* table = new uint8_t[size - 2 + 1];
  std::memcpy(table, data + 2, size - 2);
  ombru::CallSiteCovers(table, size - 2, offset);
  delete[] table;
  return 0;
}
