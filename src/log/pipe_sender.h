// Delivers one record to a log collector pipe: open, message mode, one write, close.
#pragma once

#include <string>

namespace ombru {

// Waits at most once, 1000 ms, for a busy pipe. An absent or busy pipe drops the record
// silently; any later failure goes to the debugger output with the record itself.
void SendRecordToPipe(const std::string& pipeName, const std::string& record);

}  // namespace ombru
