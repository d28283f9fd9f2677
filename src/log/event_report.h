// The event-log sink: one entry under the current user's SID, or under no SID when the token
// cannot tell it. The two system calls that decide the outcome are passed in, because Wine keeps
// only an event's strings and tests need to see the arguments themselves.
#pragma once

#include <windows.h>

namespace ombru {

struct EventLogApi {
  BOOL(WINAPI* openProcessToken)(HANDLE process, DWORD access, PHANDLE token);
  BOOL(WINAPI* reportEvent)
  (HANDLE source, WORD type, WORD category, DWORD eventId, PSID user, WORD stringCount,
   DWORD dataSize, LPCSTR* strings, LPVOID data);
};

const EventLogApi& SystemEventLogApi();

void ReportEventAsCurrentUser(const EventLogApi& api, HANDLE eventSource, WORD eventType,
                              WORD category, DWORD eventId, WORD stringCount, LPCSTR* strings,
                              DWORD dataSize, LPVOID data);

}  // namespace ombru
