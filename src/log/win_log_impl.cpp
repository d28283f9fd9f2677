#include "log/win_log_impl.h"

#include "log/event_report.h"
#include "log/log_record.h"
#include "log/pipe_sender.h"

namespace {

constexpr char kEventSourceName[] = "OMBR";

std::string ModulePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

CWinLogImpl::CWinLogImpl() : CWinLogImpl(ombru::SystemEventLogApi()) {}

CWinLogImpl::CWinLogImpl(const ombru::EventLogApi& eventLog)
    : eventSource(RegisterEventSourceA(nullptr, kEventSourceName)), eventLog(eventLog) {}

CWinLogImpl::~CWinLogImpl() = default;

void CWinLogImpl::Reserved() {}

void CWinLogImpl::LogEvent(WORD eventType, WORD category, DWORD eventId, WORD stringCount,
                           LPCSTR* strings, DWORD dataSize, LPVOID data) {
  if (!eventSource)
    // Not reached under Wine, where RegisterEventSourceA does not fail.
    return;
  ombru::ReportEventAsCurrentUser(eventLog, eventSource.Get(), eventType, category, eventId,
                                  stringCount, strings, dataSize, data);
}

void CWinLogImpl::LogRecord(int field1, int field2, const char* field4, const char* field5,
                            int field3, const char* field6, const char* field7, int field8) {
  const DWORD threadId = GetCurrentThreadId();
  const ombru::StructuredRecordFields fields = {field1, field2, field3, field4,
                                                field5, field6, field7, field8};
  ombru::SendRecordToPipe(ombru::RecordPipeName(instanceNumber),
                          ombru::FormatStructuredRecord(fields, threadId));
}

void CWinLogImpl::LogInfo(const char* message) {
  const std::string modulePath = ModulePath();
  const DWORD threadId = GetCurrentThreadId();
  ombru::SendRecordToPipe(ombru::kInfoPipeName,
                          ombru::FormatInfoRecord(message, threadId, modulePath.c_str()));
}
