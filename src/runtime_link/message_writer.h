// Bounded, little-endian writes into a message buffer. A write that does not fit writes nothing
// and leaves the cursor where it was.
//
// Every source handed to it is the message's own storage of exactly the size written, and the
// destination's capacity is checked against the whole message before the first write, so no copy
// can fault; there is no fault handling here (on the pool threads that serialise there is no
// exception translator, and GCC code cannot catch a structured exception without one).
#pragma once

#include <cstdint>
#include <cstring>

namespace ombru {

class MessageWriter {
 public:
  MessageWriter(uint8_t* start, uint32_t capacity)
      : cursor(start), capacity(capacity), remaining(capacity) {}

  bool Write(const void* source, uint32_t size) {
    if (remaining == 0 || size > remaining)
      return false;
    if (size > 0)
      std::memcpy(cursor, source, size);
    cursor += size;
    remaining -= size;
    return true;
  }

  bool WriteUInt32(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(bytes, sizeof(bytes));
  }

  bool WriteUInt16(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Write(bytes, sizeof(bytes));
  }

  uint32_t Written() const { return capacity - remaining; }

 private:
  uint8_t* cursor;
  uint32_t capacity;
  uint32_t remaining;
};

}  // namespace ombru
