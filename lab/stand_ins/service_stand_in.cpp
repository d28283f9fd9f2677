// Stand-in for the services "ombr" and "VLMSpindleSrv": one service program, created under both
// names, that appends "<milliseconds>|<service name>" to a record file at each start.
//
//   service_stand_in.exe RECORD-FILE stay|refuse-first
//
// stay:         runs until the service control manager stops it
// refuse-first: the first start ends the process before it reaches the service control manager,
//               so that start request fails; later starts behave as "stay"
//
// A started service never stops by itself: the service control manager reads a service's state
// after it reported running, and one that had already stopped again would make a start that
// happened count as failed.
#include <windows.h>

#include <string>

#include "common/clock.h"
#include "common/record_file.h"
#include "common/format.h"

namespace {

std::string recordPath;
std::string behaviour;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;

void SetState(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP)
    SetEvent(stopRequested);
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
  stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  statusHandle = RegisterServiceCtrlHandlerExA(argc > 0 ? argv[0] : "", Control, nullptr);
  SetState(SERVICE_RUNNING);
  lab::AppendLine(recordPath, lab::Format("%.3f|%s", lab::NowMs(), argc > 0 ? argv[0] : "?"));
  WaitForSingleObject(stopRequested, INFINITE);
  SetState(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return 2;
  recordPath = argv[1];
  behaviour = argv[2];
  if (behaviour == "refuse-first") {
    const std::string marker = recordPath + ".refused";
    if (CreateDirectoryA(marker.c_str(), nullptr))
      return 1;
  }
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 3;
}
