// Delivers one record to a log collector pipe: open, message mode, one write, close.
#pragma once

#include <string>

namespace ombru {

// Waits at most once, 1000 ms, for a busy pipe, and at most 1000 ms for the server to take the
// record. An absent or busy pipe drops the record silently; any later failure, a write the server
// did not take in time among them, goes to the debugger output with the record itself.
void SendRecordToPipe(const std::string& pipeName, const std::string& record);

}  // namespace ombru
