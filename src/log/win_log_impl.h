// The program's log: the event log under the source "OMBR", the record pipe and the information
// pipe. Its state never changes after construction, so any thread may use it.
#pragma once

#include <cstdint>

#include "framework/unique_handle.h"
#include "log/event_report.h"
#include "log/ivllog.h"

class CWinLogImpl : public IVLLog {
 public:
  CWinLogImpl();
  // Tests see the event log's arguments through `eventLog`: Wine keeps only an event's strings.
  explicit CWinLogImpl(const ombru::EventLogApi& eventLog);
  virtual ~CWinLogImpl();

  CWinLogImpl(const CWinLogImpl&) = delete;
  CWinLogImpl& operator=(const CWinLogImpl&) = delete;

  void Reserved() override;
  void LogEvent(WORD eventType, WORD category, DWORD eventId, WORD stringCount, LPCSTR* strings,
                DWORD dataSize, LPVOID data) override;
  void LogRecord(int field1, int field2, const char* field4, const char* field5, int field3,
                 const char* field6, const char* field7, int field8) override;
  void LogInfo(const char* message) override;

 private:
  ombru::EventSource eventSource;  // null when the source could not be registered
  uint32_t instanceNumber = 0;
  const ombru::EventLogApi& eventLog;
};
