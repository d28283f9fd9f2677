// The administrators' log viewer as a collector: what it prints, and that it never serves beside
// another server of the log pipes. (Its Ctrl+C handling cannot be shown here: Wine's
// GenerateConsoleCtrlEvent fails without a display.)
#include <windows.h>

#include <algorithm>
#include <string>

#include "common/record_file.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "harness/test.h"
#include "log/win_log_impl.h"

namespace {

class Viewer {
 public:
  explicit Viewer(const char* arguments) : outputPath(lab::TempPath("viewer")) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    const ombru::FileHandle output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               &inheritable, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    std::string commandLine = "\"" + lab::SiblingPath("log_viewer.exe") + "\" " + arguments;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                       nullptr, nullptr, &startup, &info)) {
      process.Reset(info.hProcess);
      CloseHandle(info.hThread);
    }
  }

  ~Viewer() {
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 5000);
    DeleteFileA(outputPath.c_str());
  }

  std::string Output() const {
    std::string text = lab::FileBytes(outputPath);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());  // the console's
    return text;
  }

  std::string WaitForOutput(const char* text) const {
    lab::PollUntil([&] { return Output().find(text) != std::string::npos; }, 5000);
    return Output();
  }

  // The exit code once it ended within the time, STILL_ACTIVE otherwise.
  DWORD ExitCode(DWORD timeoutMs) const {
    DWORD code = STILL_ACTIVE;
    WaitForSingleObject(process.Get(), timeoutMs);
    GetExitCodeProcess(process.Get(), &code);
    return code;
  }

 private:
  std::string outputPath;
  ombru::Handle process;
};

}  // namespace

START_TEST(fields_one_a_line) {
  Viewer viewer("");
  ok(viewer.WaitForOutput("serving").find("serving") != std::string::npos, "not serving\n");
  CWinLogImpl log;
  log.LogInfo("Detected shell start");
  log.LogInfo("a|b");
  log.LogRecord(-1, 2, nullptr, "four", 3, "six", "seven", 8);
  const std::string output = viewer.WaitForOutput("seven");
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  const std::string thread = std::to_string(GetCurrentThreadId());
  for (const std::string& line :
       {std::string("           message  Detected shell start\n"),
        "           thread   " + thread + "\n", "           module   " + std::string(module) + "\n",
        std::string("           message  a|b\n"), std::string("           field1   -1\n"),
        std::string("           field3   3\n"), std::string("           field4   N/A\n"),
        std::string("           field8   8\n")}) {
    ok(output.find(line) != std::string::npos, "missing [%s] in:\n%s", line.c_str(),
       output.c_str());
  }
}

START_TEST(raw_records) {
  Viewer viewer("--raw");
  viewer.WaitForOutput("serving");
  CWinLogImpl log;
  log.LogInfo("tab\there");
  const std::string output = viewer.WaitForOutput("here");
  const std::string expected = "info   tab\\x09here|" + std::to_string(GetCurrentThreadId()) + "|";
  ok(output.find(expected) != std::string::npos && output.find("\\0\n") != std::string::npos,
     "raw record: %s\n", output.c_str());
}

START_TEST(refuses_beside_another_server) {
  {
    lab::LogCollector collector;
    Viewer viewer("");
    const DWORD code = viewer.ExitCode(5000);
    ok(code != STILL_ACTIVE && code != 0, "beside a collector: exit code %lu\n", code);
    ok(viewer.Output().find("is already served by another log collector or viewer") !=
           std::string::npos,
       "beside a collector: [%s]\n", viewer.Output().c_str());
    CWinLogImpl().LogInfo("for the collector");
    ok(collector.WaitForMessages(lab::InfoPipe(), 1).size() == 1, "the collector lost a record\n");
  }
  Viewer first("");
  first.WaitForOutput("serving");
  Viewer second("");
  const DWORD code = second.ExitCode(5000);
  ok(code != STILL_ACTIVE && code != 0, "beside a viewer: exit code %lu\n", code);
  CWinLogImpl().LogInfo("for the first viewer");
  ok(first.WaitForOutput("for the first viewer").find("for the first viewer") != std::string::npos,
     "the first viewer lost a record\n");
}
