#include "runtime_link/pending_operation.h"

namespace ombru {
namespace {

uint32_t ReadUInt32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint64_t ReadUInt64(const uint8_t* at) {
  return uint64_t{ReadUInt32(at)} | uint64_t{ReadUInt32(at + 4)} << 32;
}

constexpr uint32_t MB_SETFOREGROUND = 0x10000;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONERROR = 0x10;

}  // namespace

PendingOperationFields ReadPendingOperation(const uint8_t* record) {
  return {ReadUInt32(record + 4), ReadUInt32(record + 8), ReadUInt64(record + 24)};
}

MessagePayloadFields ReadMessagePayload(const uint8_t* payload) {
  return {ReadUInt32(payload + 4), ReadUInt32(payload + 8)};
}

const char* RejectionText(uint32_t flags) {
  if (flags & 1)
    return nullptr;
  return (flags & 2) ? "Message type not supported" : "Unknown message type";
}

MessageBoxLook MessageBoxLookFor(uint32_t typeMask) {
  MessageBoxLook look = {"", MB_SETFOREGROUND};
  if (typeMask & 1)
    look = {"Information", MB_SETFOREGROUND | MB_ICONINFORMATION};
  if (typeMask & 2)
    look = {"Warning Message", look.style | MB_ICONWARNING};
  if (typeMask & 4)
    look = {"Critical Message", look.style | MB_ICONERROR};
  return look;
}

}  // namespace ombru
