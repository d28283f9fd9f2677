#include "app/program_log.h"

namespace {
CWinLogImpl programLog;
}

CWinLogImpl& ProgramLog() { return programLog; }
