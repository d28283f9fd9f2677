// The two record formats of the log collector's pipes. Every record is fields joined by "|",
// sent with one terminating NUL; texts are arguments of the format, never the format itself.
#pragma once

#include <cstdint>
#include <string>

namespace ombru {

inline constexpr char kInfoPipeName[] = "\\\\.\\pipe\\VLM.Log.Info";
inline constexpr char kRecordPipeBaseName[] = "\\\\.\\pipe\\VLM.Log";

// The fields of each record, named in record order.
inline constexpr const char* kInfoRecordFieldNames[] = {"message", "thread", "module"};
inline constexpr const char* kStructuredRecordFieldNames[] = {
    "field1", "field2", "field3", "field4", "field5", "field6", "field7", "field8", "thread"};

// "%s|%u|%s": message (null counts as empty), thread id, module path.
std::string FormatInfoRecord(const char* message, uint32_t threadId, const char* modulePath);

struct StructuredRecordFields {
  int32_t field1;
  int32_t field2;
  int32_t field3;
  const char* field4;
  const char* field5;
  const char* field6;
  const char* field7;
  int32_t field8;
};

// "%d|%d|%d|%s|%s|%s|%s|%d|%u": the eight fields in record order, then the thread id; null texts
// become "N/A".
std::string FormatStructuredRecord(const StructuredRecordFields& fields, uint32_t threadId);

// "\\.\pipe\VLM.Log", with ".%u" of the instance number appended when that is not 0.
std::string RecordPipeName(uint32_t instanceNumber);

}  // namespace ombru
