// What the log viewer prints for each connection: one field a line, the raw record (both through
// TerminalSafe), or one JSON object a line. A record's text comes from any process of the
// session, so nothing of it reaches the output unescaped that a terminal could take as a control.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "log_viewer/pipe_server.h"

namespace viewer {

enum class Format { Fields, Raw, Json };

// One connection as the viewer received it.
struct Received {
  ClientMessage message;
  double timeMs;   // NowMs(), for times relative to the viewer's start
  SYSTEMTIME utc;  // for the JSON lines
};

// What to print for it: for standard output, or a notice for standard error.
struct Output {
  std::string text;
  bool notice;
};

using Fields = std::vector<std::pair<const char*, std::string>>;

// The record's named fields, or nothing when it does not split into them: it must end in its one
// NUL, hold no other, and have three fields (information records; further "|" belong to the
// message) or exactly nine (structured records).
std::optional<Fields> SplitRecord(const LogPipe& pipe, const std::string& message);

// The named fields of a record, without its closing NUL, however many "|" it holds: an
// information record's message may itself hold "|", so the fields after it are counted from the
// end; fields beyond the layout are named "extra".
Fields RecordFields(const LogPipe& pipe, const std::string& message);

// A JSON string (quotes included) of text in `codePage`, converted to UTF-8; controls, DEL and C1
// characters escaped as \u00XX.
std::string JsonString(const std::string& text, UINT codePage);

Output Render(const Received& received, Format format, double epochMs, UINT codePage);

}  // namespace viewer
