// The administrators' log viewer as a collector: what it prints. (Its Ctrl+C handling cannot be
// shown here: Wine's GenerateConsoleCtrlEvent fails without a display.)
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "harness/test.h"
#include "log/win_log_impl.h"
#include "support/process.h"

namespace {

struct Viewer {
  PROCESS_INFORMATION process = {};
  std::string outputPath;

  explicit Viewer(const char* arguments) {
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    outputPath = std::string(directory) + testsupport::UniqueName("viewer") + ".txt";
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::string commandLine = "\"" + testsupport::SiblingPath("log_viewer.exe") + "\" " + arguments;
    CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                   nullptr, nullptr, &startup, &process);
    CloseHandle(output);
    // Serving as soon as the information pipe takes clients.
    for (int i = 0; i < 500 && !WaitNamedPipeA("\\\\.\\pipe\\VLM.Log.Info", 1); ++i)
      Sleep(10);
  }

  ~Viewer() {
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    DeleteFileA(outputPath.c_str());
  }

  std::string Output() const {
    std::ifstream file(outputPath, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The console's line ends.
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  }

  std::string WaitForOutput(const char* text) const {
    for (int i = 0; i < 500 && Output().find(text) == std::string::npos; ++i)
      Sleep(10);
    return Output();
  }
};

}  // namespace

START_TEST(fields_one_a_line) {
  Viewer viewer("");
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
  CWinLogImpl log;
  log.LogInfo("tab\there");
  const std::string output = viewer.WaitForOutput("here");
  const std::string expected = "info   tab\\x09here|" + std::to_string(GetCurrentThreadId()) + "|";
  ok(output.find(expected) != std::string::npos && output.find("\\0\n") != std::string::npos,
     "raw record: %s\n", output.c_str());
}
