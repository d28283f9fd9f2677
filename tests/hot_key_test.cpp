// The real agent's hot keys: which combinations it holds, and what a press starts.
#include <windows.h>

#include <string>
#include <vector>

#include "drivers/agent.h"
#include "drivers/log_collector.h"
#include "drivers/runtime_record.h"
#include "drivers/session_input.h"
#include "drivers/shell.h"
#include "harness/test.h"

using namespace lab;

namespace {

constexpr char kConsoleKey[] = "Software\\Velmora\\TSL";
constexpr char kAgentKey[] = "Software\\Velmora\\OMBR";
constexpr char kDefaultConsole[] = "C:\\Program Files\\Velmora\\Tessaline\\TSL.exe";

size_t LaunchLines(const LogCollector& collector) {
  size_t lines = 0;
  for (const std::string& record : collector.Messages(InfoPipe()))
    lines += record.rfind("Launching TSL|", 0) == 0;
  return lines;
}

// The collector writes down a record a moment after the agent has sent it.
size_t WaitForLaunchLines(const LogCollector& collector, size_t count) {
  size_t lines = 0;
  PollUntil([&] { return (lines = LaunchLines(collector)) >= count; }, 10000);
  return lines;
}

struct Value {
  const char* name;
  DWORD type;
  std::string bytes;
};

void SetValue(const char* key, const Value& value) {
  SetMachineValue(key, value.name, value.type, value.bytes.data(),
                  static_cast<DWORD>(value.bytes.size()));
}

}  // namespace

START_TEST(ignore_switch_types) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  ConsoleRecord console;
  DeleteMachineKey(kAgentKey);
  DeleteMachineKey(kConsoleKey);
  SetMachineString(kConsoleKey, "Path", SiblingPath("console").c_str());
  static const struct {
    Value value;
    bool ignored;
  } cases[] = {
      {{"IgnoreHotKey", REG_DWORD, std::string("\1\0\0\0", 4)}, true},
      {{"IgnoreHotKey", REG_DWORD, std::string(4, '\0')}, false},
      {{"IgnoreHotKey", REG_DWORD, std::string("\1\0", 2)}, true},
      {{"IgnoreHotKey", REG_SZ, std::string("1\0", 2)}, false},
      {{"IgnoreHotKey", REG_BINARY, std::string("\1\0\0\0", 4)}, false},
      {{"IgnoreShutdownHotKey", REG_DWORD, std::string("\1\0\0\0", 4)}, false},
  };
  LogCollector collector;
  Agent agent;
  size_t launches = 0;
  for (const auto& c : cases) {
    // Read at every press: the same agent sees each value.
    DeleteMachineKey(kAgentKey);
    SetValue(kAgentKey, c.value);
    agent.HotKey();
    launches += !c.ignored;
    collector.WaitForMessages(InfoPipe(), 2 + launches, c.ignored ? 200 : 5000);
    ok(LaunchLines(collector) == launches, "%s type %lu: %s\n", c.value.name, c.value.type,
       c.ignored ? "must silence the press" : "must not");
  }
  ok(console.WaitForStarts(launches).size() == launches, "every launch started the console\n");
  DeleteMachineKey(kAgentKey);
  DeleteMachineKey(kConsoleKey);
}

START_TEST(registered_combinations) {
  ShellStandIn shell;
  static const struct {
    std::vector<Value> values;
    std::vector<UINT> keys;
  } cases[] = {
      {{{"HotKey", REG_SZ, std::string("k\0", 2)},
        {"ShutdownHotKey", REG_SZ, std::string("Ctrl+K\0", 7)},
        {"LogoffHotKey", REG_DWORD, std::string("Q\0\0\0", 4)}},
       {'K', 'C', 'Q'}},
      // Longer than the agent's buffer, empty, and without a NUL.
      {{{"HotKey", REG_SZ, std::string(300, 'v') + '\0'},
        {"ShutdownHotKey", REG_SZ, std::string(1, '\0')},
        {"LogoffHotKey", REG_BINARY, "w"}},
       {'F', 'S', 'W'}},
      {{}, {'F', 'S', 'L'}},
  };
  for (const auto& c : cases) {
    DeleteMachineKey(kConsoleKey);
    SetMachineString(kConsoleKey, "Unrelated", "x");
    for (const Value& value : c.values)
      SetValue(kConsoleKey, value);
    Agent agent;
    for (UINT key : c.keys)
      ok(HotKeyTaken(key), "Ctrl+Shift+%c should be registered\n", key);
    ok(agent.Exit() == 0, "exit code\n");
    for (UINT key : c.keys)
      ok(!HotKeyTaken(key), "Ctrl+Shift+%c should be free after exit\n", key);
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
  // A trailing backslash in Path is no second one before the file name.
  SetMachineString(kConsoleKey, "Path", (folder + "\\").c_str());
  SetMachineDword(kAgentKey, "IgnoreHotKey", 1);
  LogCollector collector;
  Agent agent;
  PressHotKey('F');
  PressHotKey('S');
  PressHotKey('L');
  const auto starts = console.WaitForStarts(2);
  ok(starts.size() == 2, "two starts expected, got %zu\n", starts.size());
  collector.WaitForMessages(InfoPipe(), 4);
  ok(LaunchLines(collector) == 2, "\"Launching TSL\" twice, got %zu\n", LaunchLines(collector));
  for (const ConsoleStart& start : starts) {
    ok(start.module == folder + "\\tsl.exe", "started [%s]\n", start.module.c_str());
    ok(start.arguments == "-SHUTDOWN" || start.arguments == "-LOGOFF", "arguments [%s]\n",
       start.arguments.c_str());
    ok(start.showCommandSet && start.showCommand == SW_SHOWNA, "show %d\n", start.showCommand);
  }
  DeleteMachineKey(kAgentKey);
  agent.HotKey();
  const auto plain = console.WaitForStarts(3);
  ok(plain.size() == 3 && plain[2].arguments.empty() && plain[2].showCommand == SW_SHOWNORMAL,
     "Ctrl+Shift+F: no arguments, shown normally\n");
  agent.HotKey(7, 'Q');  // an id of no hot key of ours starts the console plainly
  const auto other = console.WaitForStarts(4);
  ok(other.size() == 4 && other[3].arguments.empty() && other[3].showCommand == SW_SHOWNORMAL,
     "hot key 7: no arguments, shown normally\n");
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
  enum ConsoleKey { NoKey, NoPath, WithPath };
  static const struct {
    const char* name;
    DWORD type;
    std::string path;  // the value's exact bytes
    ConsoleKey key;
    const char* started;  // null: nothing
  } cases[] = {
      {"no key (a hot-key message all the same)", REG_SZ, "", NoKey, kDefaultConsole},
      {"no Path", REG_SZ, "", NoPath, kDefaultConsole},
      {"empty Path: tsl.exe from the current directory", REG_SZ, "", WithPath, "console"},
      {"REG_BINARY without NUL", REG_BINARY, "D:\\Apps\\TSL", WithPath, "D:\\Apps\\TSL\\tsl.exe"},
      {"REG_DWORD", REG_DWORD, std::string("K\0\0\0", 4), WithPath, nullptr},
      {"too long for tsl.exe", REG_SZ, "C:\\" + std::string(250, 'p') + nul, WithPath, nullptr},
      {"MAX_PATH bytes and no NUL: nothing", REG_BINARY, "C:\\" + std::string(257, 'p'), WithPath,
       nullptr},
      {"longer than the buffer: the default", REG_SZ, "C:\\" + std::string(300, 'p') + nul,
       WithPath, kDefaultConsole},
  };
  size_t expectedStarts = 0;
  for (const auto& c : cases) {
    DeleteMachineKey(kConsoleKey);
    if (c.key == WithPath) {
      SetMachineValue(kConsoleKey, "Path", c.type, c.path.data(),
                      static_cast<DWORD>(c.path.size()));
    } else if (c.key == NoPath) {
      SetMachineString(kConsoleKey, "HotKey", "f");
    }
    const size_t launchesBefore = LaunchLines(collector);
    Agent agent(consoleFolder.c_str());
    agent.HotKey();
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
    ok(WaitForLaunchLines(collector, launchesBefore + 1) == launchesBefore + 1,
       "%s: \"Launching TSL\" once\n", c.name);
    ok(agent.Exit() == 0, "%s: the agent goes on and ends with 0\n", c.name);
  }
  DeleteMachineKey(kConsoleKey);
}
