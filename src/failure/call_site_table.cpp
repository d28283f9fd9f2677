#include "failure/call_site_table.h"

namespace ombru {
namespace {

constexpr uint8_t DW_EH_PE_omit = 0xff;
constexpr uint8_t DW_EH_PE_uleb128 = 0x01;
constexpr uint8_t DW_EH_PE_udata2 = 0x02;
constexpr uint8_t DW_EH_PE_udata4 = 0x03;
constexpr uint8_t DW_EH_PE_udata8 = 0x04;
constexpr uint8_t DW_EH_PE_sleb128 = 0x09;
constexpr uint8_t DW_EH_PE_sdata2 = 0x0a;
constexpr uint8_t DW_EH_PE_sdata4 = 0x0b;
constexpr uint8_t DW_EH_PE_sdata8 = 0x0c;

class Reader {
 public:
  Reader(const uint8_t* bytes, size_t size) : bytes(bytes), size(size) {}

  bool Byte(uint8_t& value) {
    if (at >= size)
      return false;
    value = bytes[at++];
    return true;
  }

  bool Leb128(uint64_t& value, bool isSigned) {
    value = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
      if (!Byte(byte) || shift >= 64)
        return false;
      value |= uint64_t{byte & 0x7fu} << shift;
      shift += 7;
    } while (byte & 0x80);
    if (isSigned && shift < 64 && (byte & 0x40))
      value |= ~uint64_t{0} << shift;
    return true;
  }

  bool Fixed(unsigned width, uint64_t& value) {
    if (at > size || size - at < width)
      return false;
    value = 0;
    for (unsigned i = 0; i < width; ++i)
      value |= uint64_t{bytes[at + i]} << (8 * i);
    at += width;
    return true;
  }

  // Offsets within one function: only the value formats, no pointer applications.
  bool Encoded(uint8_t encoding, uint64_t& value) {
    switch (encoding & 0x0f) {
      case DW_EH_PE_uleb128:
        return Leb128(value, false);
      case DW_EH_PE_sleb128:
        return Leb128(value, true);
      case DW_EH_PE_udata2:
      case DW_EH_PE_sdata2:
        return Fixed(2, value);
      case DW_EH_PE_udata4:
      case DW_EH_PE_sdata4:
        return Fixed(4, value);
      case DW_EH_PE_udata8:
      case DW_EH_PE_sdata8:
      case 0x00:  // absptr
        return Fixed(8, value);
    }
    return false;
  }

  size_t Position() const { return at; }

 private:
  const uint8_t* bytes;
  size_t size;
  size_t at = 0;
};

}  // namespace

bool CallSiteCovers(const uint8_t* lsda, size_t size, uint64_t offset) {
  Reader reader(lsda, size);
  uint8_t lpStartEncoding, typeEncoding, callSiteEncoding;
  uint64_t ignored, tableLength;
  if (!reader.Byte(lpStartEncoding))
    return false;
  if (lpStartEncoding != DW_EH_PE_omit && !reader.Encoded(lpStartEncoding, ignored))
    return false;
  if (!reader.Byte(typeEncoding))
    return false;
  if (typeEncoding != DW_EH_PE_omit && !reader.Leb128(ignored, false))
    return false;
  if (!reader.Byte(callSiteEncoding) || !reader.Leb128(tableLength, false))
    return false;

  const size_t tableEnd = reader.Position() + tableLength;
  if (tableLength > size || tableEnd > size)
    return false;
  while (reader.Position() < tableEnd) {
    uint64_t start, length, landingPad, action;
    if (!reader.Encoded(callSiteEncoding, start) || !reader.Encoded(callSiteEncoding, length) ||
        !reader.Encoded(callSiteEncoding, landingPad) || !reader.Leb128(action, false)) {
      return false;
    }
    if (offset >= start && offset - start < length)
      return true;
  }
  return false;
}

}  // namespace ombru
