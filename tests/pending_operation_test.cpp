#include "runtime_link/pending_operation.h"

#include <cstring>
#include <string>
#include <vector>

#include "harness/test.h"

using namespace ombru;

START_TEST(message_box_look) {
  static const struct {
    uint32_t typeMask;
    const char* caption;
    uint32_t style;
  } cases[] = {
      {0, "", 0x10000},
      {1, "Information", 0x10040},
      {2, "Warning Message", 0x10030},
      {4, "Critical Message", 0x10010},
      {6, "Critical Message", 0x10030},
      {7, "Critical Message", 0x10070},
      {8, "", 0x10000},
      {0xFFFFFFF9, "Information", 0x10040},
      {0xFFFFFFFF, "Critical Message", 0x10070},
  };
  for (const auto& c : cases) {
    const MessageBoxLook look = MessageBoxLookFor(c.typeMask);
    ok(std::string(look.caption) == c.caption && look.style == c.style, "mask %#x: [%s] %#x\n",
       c.typeMask, look.caption, look.style);
  }
}

START_TEST(record_and_payload_offsets) {
  // Every byte the agent must not read is set, so a wrong offset shows.
  std::vector<uint8_t> record(kPendingRecordSize, 0xEE);
  const uint8_t fields[] = {11, 0, 0, 0, 7, 0, 0, 0};
  std::memcpy(record.data() + 4, fields, sizeof(fields));
  const uint8_t pointer[] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
  std::memcpy(record.data() + 24, pointer, sizeof(pointer));
  const PendingOperationFields read = ReadPendingOperation(record.data());
  ok(read.objectId == 11 && read.kind == 7, "object %u kind %u\n", read.objectId, read.kind);
  ok(read.payload == 0x1122334455667788ull, "payload %#llx\n",
     static_cast<unsigned long long>(read.payload));

  std::vector<uint8_t> payload(kMessageTextOffset + 3, 0xEE);
  const uint8_t maskAndFlags[] = {0x05, 0x00, 0x00, 0x80, 0x03, 0x00, 0x01, 0x00};
  std::memcpy(payload.data() + 4, maskAndFlags, sizeof(maskAndFlags));
  const MessagePayloadFields message = ReadMessagePayload(payload.data());
  ok(message.typeMask == 0x80000005 && message.flags == 0x00010003, "mask %#x flags %#x\n",
     message.typeMask, message.flags);
}
