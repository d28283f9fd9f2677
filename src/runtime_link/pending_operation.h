// The runtime's pending-operation record and message payload, read at their fixed offsets
// (little-endian, 64-bit pointers), and what a message payload asks of the user's screen.
// No platform calls here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombru {

inline constexpr uint32_t OPERATION_KIND_MESSAGE = 7;
inline constexpr uint32_t kMessageFailureLevel = 4;
inline constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x80070057);  // E_INVALIDARG

// PendingOperationRecord: objectId at 4, kind at 8, payload pointer at 24.
inline constexpr size_t kPendingRecordSize = 32;
struct PendingOperationFields {
  uint32_t objectId;
  uint32_t kind;
  uint64_t payload;  // address of the MessagePayload, 0 for none
};
PendingOperationFields ReadPendingOperation(const uint8_t* record);

// MessagePayload: typeMask at 4, flags at 8, the NUL-terminated text from 24.
inline constexpr size_t kMessageTextOffset = 24;
struct MessagePayloadFields {
  uint32_t typeMask;
  uint32_t flags;
};
MessagePayloadFields ReadMessagePayload(const uint8_t* payload);

// Flags bit 0 clear: the message is rejected with this text; null when it can be shown.
const char* RejectionText(uint32_t flags);

// Reported when neither message box could be shown: the user never saw the message.
inline constexpr char kUndeliveredMessageText[] = "Message could not be shown";

struct MessageBoxLook {
  const char* caption;
  uint32_t style;
};
// Later type bits overwrite the caption; icon bits combine.
MessageBoxLook MessageBoxLookFor(uint32_t typeMask);

}  // namespace ombru
