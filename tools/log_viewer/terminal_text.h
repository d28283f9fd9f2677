// Record texts as a person reads them, safe for a terminal: a record's text comes from any
// process of the session, and must never reach the console as a control sequence.
#pragma once

#include <windows.h>

#include <string>

namespace viewer {

// NUL as \0, every other C0 control, DEL and C1 byte (0x80-0x9F) as \xNN. A lead byte of the
// code page keeps its trail byte, which is then no control but half a character.
std::string TerminalSafe(const std::string& bytes, UINT codePage = CP_ACP);

}  // namespace viewer
