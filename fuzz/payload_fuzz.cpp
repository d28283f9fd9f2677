// Pending-operation records and message payloads of arbitrary content: the fields come from their
// fixed offsets and nothing else, and every type mask maps to one of the four looks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "runtime_link/pending_operation.h"

namespace {

uint32_t At(const uint8_t* bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
         uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < ombru::kPendingRecordSize)
    return 0;
  // Exact copies, so that a read past either layout is caught.
  uint8_t* record = new uint8_t[ombru::kPendingRecordSize];
  std::memcpy(record, data, ombru::kPendingRecordSize);
  const ombru::PendingOperationFields operation = ombru::ReadPendingOperation(record);
  Check(operation.objectId == At(record, 4) && operation.kind == At(record, 8));
  Check(operation.payload == (uint64_t{At(record, 28)} << 32 | At(record, 24)));
  delete[] record;

  const size_t payloadSize = size - ombru::kPendingRecordSize;
  if (payloadSize < ombru::kMessageTextOffset)
    return 0;
  uint8_t* payload = new uint8_t[payloadSize];
  std::memcpy(payload, data + ombru::kPendingRecordSize, payloadSize);
  const ombru::MessagePayloadFields message = ombru::ReadMessagePayload(payload);
  Check(message.typeMask == At(payload, 4) && message.flags == At(payload, 8));
  delete[] payload;

  const ombru::MessageBoxLook look = ombru::MessageBoxLookFor(message.typeMask);
  Check((look.style & ~0x70u) == 0x10000);
  const std::string caption = look.caption;
  Check(caption.empty() || caption == "Information" || caption == "Warning Message" ||
        caption == "Critical Message");
  Check(caption.empty() == ((message.typeMask & 7) == 0));
  Check((ombru::RejectionText(message.flags) == nullptr) == ((message.flags & 1) != 0));
  return 0;
}
