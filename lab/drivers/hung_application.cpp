#include "drivers/hung_application.h"

#include "common/handle.h"
#include "common/record_file.h"

namespace lab {

HungApplication::HungApplication() {
  const std::string readyName = UniqueName("hung.ready");
  const Handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
  process.emplace(SiblingPath("hung_application.exe"), readyName);
  HANDLE waitFor[] = {ready.Get(), process->Get()};
  if (process->Started() && WaitForMultipleObjects(2, waitFor, FALSE, 10000) == WAIT_OBJECT_0)
    window = WaitForThreadWindow(process->MainThreadId(), "OMBRU.HungApplication", 5000);
}

}  // namespace lab
