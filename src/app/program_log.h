#pragma once

#include "log/win_log_impl.h"

// The program-wide log object: constructed during static initialisation, before WinMain, and
// destroyed at process exit.
CWinLogImpl& ProgramLog();
