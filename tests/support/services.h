// The service stand-in created in the test prefix under the runtime's service names.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

class ServiceStandIns {
 public:
  // Creates (or reconfigures) "ombr" and "VLMSpindleSrv" with the given behaviour:
  // "stop", "stay" or "refuse-first".
  explicit ServiceStandIns(const char* behaviour);
  ~ServiceStandIns();

  bool Start(const char* name);
  void Stop(const char* name);
  void Delete(const char* name);
  // Service names in the order the services were started.
  std::vector<std::string> Starts() const;

 private:
  std::string recordPath;
};

}  // namespace testsupport
