// The event-log sink's arguments, seen through the seam that replaces ReportEventA.
#include <windows.h>

#include <memory>
#include <vector>

#include "harness/test.h"
#include "log/event_report.h"
#include "log/win_log_impl.h"

namespace {

struct ReportedEvent {
  HANDLE source;
  WORD type, category;
  DWORD eventId;
  std::vector<BYTE> user;  // empty for a null SID
  WORD stringCount;
  DWORD dataSize;
  LPCSTR* strings;
  LPVOID data;
};

std::vector<ReportedEvent> reported;

BOOL WINAPI RecordReport(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user,
                         WORD stringCount, DWORD dataSize, LPCSTR* strings, LPVOID data) {
  std::vector<BYTE> sid;
  if (user) {
    const BYTE* bytes = static_cast<const BYTE*>(user);
    sid.assign(bytes, bytes + GetLengthSid(user));
  }
  reported.push_back({source, type, category, eventId, sid, stringCount, dataSize, strings, data});
  return TRUE;
}

BOOL WINAPI FailOpenToken(HANDLE, DWORD, PHANDLE) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

std::vector<BYTE> CurrentUserSid() {
  HANDLE token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  CloseHandle(token);
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

}  // namespace

START_TEST(event_arguments_pass_in_report_order) {
  reported.clear();
  const ombru::EventLogApi api = {&::OpenProcessToken, &RecordReport};
  LPCSTR strings[] = {"one", "two", "three"};
  char data[] = "raw";
  // Through the log's own operation, which takes the string count and strings before the data.
  CWinLogImpl log(api);
  log.LogEvent(EVENTLOG_WARNING_TYPE, 7, 0xC0000101, 3, strings, sizeof(data), data);
  ok(reported.size() == 1, "expected one report, got %zu\n", reported.size());
  if (reported.size() != 1)
    return;
  const ReportedEvent& e = reported[0];
  ok(e.source != nullptr, "the registered source expected\n");
  ok(e.type == EVENTLOG_WARNING_TYPE && e.category == 7 && e.eventId == 0xC0000101,
     "type %u category %u id %#lx\n", e.type, e.category, e.eventId);
  ok(e.stringCount == 3 && e.strings == strings, "string count %u, strings %p\n", e.stringCount,
     static_cast<void*>(e.strings));
  ok(e.dataSize == sizeof(data) && e.data == data, "data size %lu, data %p\n", e.dataSize, e.data);
  ok(e.user == CurrentUserSid(), "the entry carries the current user's SID\n");
}

START_TEST(event_without_token_has_no_sid) {
  reported.clear();
  const ombru::EventLogApi api = {&FailOpenToken, &RecordReport};
  LPCSTR strings[] = {"kept"};
  ombru::ReportEventAsCurrentUser(api, reinterpret_cast<HANDLE>(1), EVENTLOG_ERROR_TYPE, 0, 1, 1,
                                  strings, 0, nullptr);
  ok(reported.size() == 1, "the entry is still written, got %zu\n", reported.size());
  if (reported.size() == 1) {
    ok(reported[0].user.empty(), "no SID expected\n");
    ok(reported[0].stringCount == 1 && reported[0].strings == strings, "strings passed on\n");
  }
}
