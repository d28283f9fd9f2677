// The two pipes the viewer serves, with the agent's own names and record layouts.
#pragma once

#include <vector>

namespace viewer {

struct LogPipe {
  const char* name;
  const char* label;                // as printed: "info" or "record"
  std::vector<const char*> fields;  // the record's fields, in order
};

const LogPipe& InfoPipe();
const LogPipe& RecordPipe();

}  // namespace viewer
