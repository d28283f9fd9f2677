// Pending-operation records and message payloads of arbitrary content, under the sanitizers:
// nothing is read outside either layout, and every type mask maps to one of the four looks.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "runtime_link/pending_operation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < ombru::kPendingRecordSize + ombru::kMessageTextOffset)
    return 0;
  // Exact copies, so that a read past either layout is caught.
  uint8_t* record = new uint8_t[ombru::kPendingRecordSize];
  std::memcpy(record, data, ombru::kPendingRecordSize);
  ombru::ReadPendingOperation(record);
  delete[] record;

  uint8_t* payload = new uint8_t[ombru::kMessageTextOffset];
  std::memcpy(payload, data + ombru::kPendingRecordSize, ombru::kMessageTextOffset);
  const ombru::MessagePayloadFields message = ombru::ReadMessagePayload(payload);
  delete[] payload;

  const std::string caption = ombru::MessageBoxLookFor(message.typeMask).caption;
  Check(caption.empty() || caption == "Information" || caption == "Warning Message" ||
        caption == "Critical Message");
  ombru::RejectionText(message.flags);
  return 0;
}
