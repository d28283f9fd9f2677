// The one reporting interface of the program. Logging never fails towards its caller.
#pragma once

#include <windows.h>

class IVLLog {
 public:
  virtual void Reserved() = 0;
  // Note the parameter order: string count and strings come before the data size here, while
  // ReportEventA takes the data size first.
  virtual void LogEvent(WORD eventType, WORD category, DWORD eventId, WORD stringCount,
                        LPCSTR* strings, DWORD dataSize, LPVOID data) = 0;
  // The fifth parameter fills record field 3; the third and fourth fill fields 4 and 5.
  virtual void LogRecord(int field1, int field2, const char* field4, const char* field5, int field3,
                         const char* field6, const char* field7, int field8) = 0;
  virtual void LogInfo(const char* message) = 0;
  // Log objects are always destroyed as CWinLogImpl, never through this interface.
};
