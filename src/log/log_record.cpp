#include "log/log_record.h"

#include "framework/format.h"

namespace ombru {
namespace {

const char* TextOrNotAvailable(const char* text) { return text ? text : "N/A"; }

}  // namespace

std::string FormatInfoRecord(const char* message, uint32_t threadId, const char* modulePath) {
  return FormatString("%s|%u|%s", message ? message : "", static_cast<unsigned>(threadId),
                      modulePath ? modulePath : "");
}

std::string FormatStructuredRecord(const StructuredRecordFields& f, uint32_t threadId) {
  return FormatString("%d|%d|%d|%s|%s|%s|%s|%d|%u", static_cast<int>(f.field1),
                      static_cast<int>(f.field2), static_cast<int>(f.field3),
                      TextOrNotAvailable(f.field4), TextOrNotAvailable(f.field5),
                      TextOrNotAvailable(f.field6), TextOrNotAvailable(f.field7),
                      static_cast<int>(f.field8), static_cast<unsigned>(threadId));
}

std::string RecordPipeName(uint32_t instanceNumber) {
  std::string name = kRecordPipeBaseName;
  if (instanceNumber != 0)
    name += FormatString(".%u", static_cast<unsigned>(instanceNumber));
  return name;
}

}  // namespace ombru
