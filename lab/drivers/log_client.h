// A log pipe's client as the agent is documented to be, for putting a server under the load of
// many agents: each record one connection, opened with no more than a client needs; a busy pipe
// waited for once, 1000 ms, and opened once more; message mode; one write, given up after 1000 ms.
// Unlike the agent it says how the record went.
#pragma once

#include <windows.h>

#include <string>

namespace lab {

struct LogClientResult {
  bool written = false;
  bool foundBusy = false;  // the first open found every instance busy
  DWORD error = 0;         // why the record was not written
};

LogClientResult SendAsAgent(const char* pipeName, const std::string& record);

}  // namespace lab
