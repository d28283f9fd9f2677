// Stand-in for the console application TSL. Appends one line per start to the file named by
// OMBRU_TSL_RECORD (inherited from whoever started the agent):
//
//   <milliseconds>|<own module path>|<wShowWindow>|<STARTF_USESHOWWINDOW set: 1 or 0>|<arguments>
#include <windows.h>

#include <string>

#include "common/clock.h"
#include "common/record_file.h"
#include "common/format.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
  char record[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("OMBRU_TSL_RECORD", record, MAX_PATH))
    return 1;
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);

  lab::AppendLine(record, lab::Format("%.3f|", lab::NowMs()) + module + "|" +
                              std::to_string(startup.wShowWindow) + "|" +
                              ((startup.dwFlags & STARTF_USESHOWWINDOW) ? "1" : "0") + "|" +
                              arguments);
  return 0;
}
