// The real agent's hot keys: which combinations it holds, and what a press starts.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/test.h"
#include "support/agent.h"
#include "support/log_collector.h"
#include "support/process.h"
#include "support/runtime_stand_in.h"
#include "support/session_input.h"
#include "support/stand_ins.h"

using namespace testsupport;

namespace {

constexpr char kConsoleKey[] = "Software\\Velmora\\TSL";
constexpr char kAgentKey[] = "Software\\Velmora\\OMBR";
constexpr char kDefaultConsole[] = "C:\\Program Files\\Velmora\\Tessaline\\TSL.exe";

std::vector<std::string> LaunchLines(const LogCollector& collector) {
  std::vector<std::string> lines;
  for (const std::string& record : collector.Messages(kInfoPipe)) {
    if (record.rfind("Launching TSL|", 0) == 0)
      lines.push_back(record);
  }
  return lines;
}

void RunRegEdit(const std::string& arguments) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  ChildProcess reg(std::string(system) + "\\reg.exe", arguments);
  ok(reg.WaitForExit(20000) && reg.ExitCode() == 0, "reg.exe %s failed\n", arguments.c_str());
}

struct Value {
  const char* name;
  DWORD type;
  std::string bytes;
};

}  // namespace

START_TEST(ignore_switch_types) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  ConsoleRecord console;
  DeleteMachineKey(kAgentKey);
  DeleteMachineKey(kConsoleKey);
  SetMachineString(kConsoleKey, "Path", SiblingPath("console").c_str());
  static const struct {
    const char* name;
    DWORD type;
    std::string bytes;
    bool ignored;
  } cases[] = {
      {"REG_DWORD 1", REG_DWORD, std::string("\1\0\0\0", 4), true},
      {"REG_DWORD 0xFFFFFFFF", REG_DWORD, std::string(4, '\xFF'), true},
      {"REG_DWORD 0", REG_DWORD, std::string(4, '\0'), false},
      {"REG_DWORD of two bytes", REG_DWORD, std::string("\1\0", 2), true},
      {"REG_SZ 1", REG_SZ, std::string("1\0", 2), false},
      {"REG_EXPAND_SZ 1", REG_EXPAND_SZ, std::string("1\0", 2), false},
      {"REG_MULTI_SZ 1", REG_MULTI_SZ, std::string("1\0\0", 3), false},
      {"REG_BINARY 1", REG_BINARY, std::string("\1\0\0\0", 4), false},
      {"REG_QWORD 1", REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8), false},
      {"REG_NONE", REG_NONE, "", false},
  };
  LogCollector collector;
  Agent agent;
  size_t launches = 0;
  for (const auto& c : cases) {
    // Read at every press: the same agent sees each value. The press is sent, so that it has
    // been handled, logged line included, when the call returns.
    SetMachineValue(kAgentKey, "IgnoreHotKey", c.type, c.bytes.data(),
                    static_cast<DWORD>(c.bytes.size()));
    DWORD_PTR result = 0;
    SendMessageTimeoutA(agent.Frame(), WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, 'F'),
                        SMTO_NORMAL, 10000, &result);
    if (!c.ignored)
      ++launches;
    collector.WaitForMessages(kInfoPipe, 2 + launches, c.ignored ? 200 : 5000);
    ok(LaunchLines(collector).size() == launches, "%s: %s\n", c.name,
       c.ignored ? "must silence the press" : "must not");
  }
  ok(console.WaitForStarts(launches).size() == launches, "every launch started the console\n");
  DeleteMachineKey(kAgentKey);
  DeleteMachineKey(kConsoleKey);
}

START_TEST(registered_combinations) {
  ShellStandIn shell;
  const std::string longText(300, 'v');
  static const struct {
    std::vector<Value> values;
    UINT keys[3];
  } cases[] = {
      {{{"HotKey", REG_SZ, std::string("k\0", 2)},
        {"ShutdownHotKey", REG_SZ, std::string("Ctrl+K\0", 7)},
        {"LogoffHotKey", REG_DWORD, std::string("Q\0\0\0", 4)}},
       {'K', 'C', 'Q'}},
      {{{"HotKey", REG_DWORD, std::string("K\0\0\0", 4)},
        {"ShutdownHotKey", REG_SZ, ""},
        {"LogoffHotKey", REG_EXPAND_SZ, std::string("%x\0", 3)}},
       {'K', 'S', '%'}},
      {{{"HotKey", REG_MULTI_SZ, std::string("m\0n\0\0", 5)},
        {"ShutdownHotKey", REG_QWORD, std::string("N\0\0\0\0\0\0\0", 8)},
        {"LogoffHotKey", REG_BINARY, "o"}},
       {'M', 'N', 'O'}},
      {{{"HotKey", REG_NONE, ""},
        {"ShutdownHotKey", REG_SZ, std::string(259, 't') + '\0'},
        {"LogoffHotKey", REG_BINARY, std::string(260, 'u')}},
       {'F', 'T', 'U'}},
      {{{"HotKey", REG_SZ, longText + '\0'},
        {"ShutdownHotKey", REG_SZ, std::string(1, '\0')},
        {"LogoffHotKey", REG_BINARY, "w"}},
       {'F', 'S', 'W'}},
      {{}, {'F', 'S', 'L'}},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    DeleteMachineKey(kConsoleKey);
    SetMachineString(kConsoleKey, "Unrelated", "x");
    for (const Value& value : cases[i].values) {
      SetMachineValue(kConsoleKey, value.name, value.type, value.bytes.data(),
                      static_cast<DWORD>(value.bytes.size()));
    }
    Agent agent;
    for (UINT key : cases[i].keys) {
      ok(HotKeyTaken(key), "case %zu: Ctrl+Shift+%c should be registered\n", i, key);
    }
    agent.Exit();
    for (UINT key : cases[i].keys) {
      ok(!HotKeyTaken(key), "case %zu: Ctrl+Shift+%c should be free after exit\n", i, key);
    }
  }

  // The same through Wine's own reg.exe.
  DeleteMachineKey(kConsoleKey);
  RunRegEdit("add HKLM\\Software\\Velmora\\TSL /v HotKey /t REG_SZ /d z /f");
  {
    Agent agent;
    ok(HotKeyTaken('Z') && HotKeyTaken('S') && HotKeyTaken('L'), "reg.exe HotKey z\n");
  }

  // No settings key, no hot keys at all.
  DeleteMachineKey(kConsoleKey);
  Agent agent;
  ok(agent.Frame() != nullptr, "agent without settings key\n");
  for (UINT key : {'F', 'S', 'L'})
    ok(!HotKeyTaken(key), "Ctrl+Shift+%c must stay free\n", key);
}

START_TEST(presses_start_the_console) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  ConsoleRecord console;
  DeleteMachineKey(kAgentKey);
  DeleteMachineKey(kConsoleKey);
  const std::string folder = "D:\\Apps\\TSL";
  InstallConsole(folder + "\\tsl.exe");
  SetMachineString(kConsoleKey, "Path", folder.c_str());
  SetMachineDword(kAgentKey, "IgnoreShutdownHotKey", 1);
  SetMachineString(kAgentKey, "IgnoreHotKey", "1");
  LogCollector collector;
  {
    Agent agent;
    PressHotKey('S');
    PressHotKey('F');
    PressHotKey('L');
    const auto starts = console.WaitForStarts(2);
    ok(starts.size() == 2, "two starts expected, got %zu\n", starts.size());
    Sleep(300);
    ok(console.Starts().size() == 2, "Ctrl+Shift+S is switched off\n");
    ok(LaunchLines(collector).size() == 2, "\"Launching TSL\" twice, got %zu\n",
       LaunchLines(collector).size());
    for (const ConsoleStart& start : starts) {
      ok(start.module == folder + "\\tsl.exe", "started [%s]\n", start.module.c_str());
      const bool logoff = start.arguments == "-LOGOFF";
      ok(logoff ? start.showCommand == SW_SHOWNA
                : start.arguments.empty() && start.showCommand == SW_SHOWNORMAL,
         "arguments [%s] show %d\n", start.arguments.c_str(), start.showCommand);
      ok(start.showCommandSet, "the show command is passed on\n");
    }
  }

  DeleteMachineKey(kAgentKey);
  SetMachineString(kConsoleKey, "Path", (folder + "\\").c_str());
  {
    Agent agent;
    PressHotKey('S');
    const auto starts = console.WaitForStarts(3);
    ok(starts.size() == 3 && starts[2].arguments == "-SHUTDOWN" &&
           starts[2].showCommand == SW_SHOWNA && starts[2].module == folder + "\\tsl.exe",
       "Ctrl+Shift+S with a trailing backslash in Path\n");
  }
}

START_TEST(console_paths) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  ConsoleRecord console;
  DeleteMachineKey(kAgentKey);
  DeleteMachineKey(kConsoleKey);
  InstallConsole(kDefaultConsole);
  InstallConsole("D:\\Apps\\TSL\\tsl.exe");
  const std::string consoleFolder = SiblingPath("console");
  LogCollector collector;

  const std::string nul(1, '\0');
  static const struct {
    const char* name;
    DWORD type;
    std::string path;  // the value's exact bytes
    bool hasPath;
    const char* started;  // null: nothing
  } cases[] = {
      {"no Path", REG_SZ, "", false, kDefaultConsole},
      {"empty Path: tsl.exe from the current directory", REG_SZ, "", true, "console"},
      {"REG_NONE, empty", REG_NONE, "", true, "console"},
      // Wine's ShellExecuteA expands variables in the file name itself, so an unexpanded
      // variable cannot be told apart from an expanded one here.
      {"REG_EXPAND_SZ", REG_EXPAND_SZ, "D:\\Apps\\TSL" + nul, true, "D:\\Apps\\TSL\\tsl.exe"},
      {"REG_MULTI_SZ", REG_MULTI_SZ, "D:\\Apps\\TSL" + nul + nul, true, "D:\\Apps\\TSL\\tsl.exe"},
      {"REG_BINARY without NUL", REG_BINARY, "D:\\Apps\\TSL", true, "D:\\Apps\\TSL\\tsl.exe"},
      {"REG_DWORD", REG_DWORD, std::string("K\0\0\0", 4), true, nullptr},
      {"too long for tsl.exe", REG_SZ, "C:\\" + std::string(250, 'p') + nul, true, nullptr},
      {"260 bytes without NUL", REG_BINARY, "C:\\" + std::string(257, 'p'), true, nullptr},
      {"longer than the buffer: the default", REG_SZ, "C:\\" + std::string(300, 'p') + nul, true,
       kDefaultConsole},
  };
  size_t expectedStarts = 0;
  for (const auto& c : cases) {
    if (c.hasPath) {
      SetMachineValue(kConsoleKey, "Path", c.type, c.path.data(),
                      static_cast<DWORD>(c.path.size()));
    } else {
      DeleteMachineKey(kConsoleKey);
      SetMachineString(kConsoleKey, "HotKey", "f");
    }
    const size_t launchesBefore = LaunchLines(collector).size();
    {
      Agent agent(consoleFolder.c_str());
      DWORD_PTR result = 0;
      SendMessageTimeoutA(agent.Frame(), WM_HOTKEY, 1, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, 'F'),
                          SMTO_NORMAL, 10000, &result);
      if (c.started)
        ++expectedStarts;
      const auto starts = console.WaitForStarts(expectedStarts, c.started ? 10000 : 1000);
      ok(starts.size() == expectedStarts, "%s: %zu starts\n", c.name, starts.size());
      if (c.started && starts.size() == expectedStarts) {
        const std::string expected =
            std::string(c.started) == "console" ? consoleFolder + "\\tsl.exe" : c.started;
        ok(starts.back().module == expected, "%s: started [%s]\n", c.name,
           starts.back().module.c_str());
      }
    }
    ok(LaunchLines(collector).size() == launchesBefore + 1, "%s: \"Launching TSL\" once\n", c.name);
  }
  DeleteMachineKey(kConsoleKey);
}
