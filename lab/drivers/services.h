// The service stand-in created in the Wine prefix under the runtime's service names.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lab {

struct ServiceStart {
  double timeMs;
  std::string name;
};

class ServiceStandIns {
 public:
  // Creates (or reconfigures) "ombr" and "VLMSpindleSrv" with the given behaviour: "stay" or
  // "refuse-first". Whatever was started runs until Stop or the end of the object.
  explicit ServiceStandIns(const char* behaviour);
  ~ServiceStandIns();

  bool Start(const char* name);
  void Stop(const char* name);
  void Delete(const char* name);
  // The services in the order they were started.
  std::vector<ServiceStart> Starts() const;

 private:
  std::string recordPath;
};

}  // namespace lab
