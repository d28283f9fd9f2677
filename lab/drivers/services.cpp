#include "drivers/services.h"

#include "common/record_file.h"
#include "drivers/process.h"

namespace lab {
namespace {

constexpr const char* kNames[] = {"ombr", "VLMSpindleSrv"};

SC_HANDLE OpenService(SC_HANDLE manager, const char* name) {
  return OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
}

}  // namespace

ServiceStandIns::ServiceStandIns(const char* behaviour) {
  recordPath = TempPath("services");
  const std::string binary =
      "\"" + SiblingPath("service_stand_in.exe") + "\" \"" + recordPath + "\" " + behaviour;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  for (const char* name : kNames) {
    Stop(name);
    SC_HANDLE service = OpenService(manager, name);
    if (service) {
      ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE,
                           binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    } else {
      service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                               SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(), nullptr,
                               nullptr, nullptr, nullptr, nullptr);
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

ServiceStandIns::~ServiceStandIns() {
  for (const char* name : kNames)
    Stop(name);
  DeleteFileA(recordPath.c_str());
  RemoveDirectoryA((recordPath + ".refused").c_str());
}

bool ServiceStandIns::Start(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenService(manager, name);
  const bool started = service && StartServiceA(service, 0, nullptr);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return started;
}

void ServiceStandIns::Stop(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenService(manager, name);
  SERVICE_STATUS status = {};
  if (service && ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) &&
                    status.dwCurrentState != SERVICE_STOPPED;
         ++i) {
      Sleep(20);
    }
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

void ServiceStandIns::Delete(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenService(manager, name);
  if (service)
    DeleteService(service);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

std::vector<ServiceStart> ServiceStandIns::Starts() const {
  std::vector<ServiceStart> starts;
  for (const std::string& line : CompleteLines(recordPath)) {
    const std::vector<std::string> fields = Fields(line);
    starts.push_back({std::stod(fields.at(0)), fields.at(1)});
  }
  return starts;
}

}  // namespace lab
