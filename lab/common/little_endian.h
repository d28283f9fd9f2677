// The byte order of every binary field the lab reads or writes: the agent's invocation messages,
// the runtime's records and the collector's record file.
#pragma once

#include <cstdint>
#include <string>

namespace lab {

inline uint32_t ReadUInt32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

inline void WriteUInt32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void AppendUInt32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes += static_cast<char>(value >> (8 * i));
}

}  // namespace lab
