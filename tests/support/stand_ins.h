// The desktop shell and the directory client, as the tests arrange them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "framework/unique_handle.h"
#include "support/process.h"

namespace testsupport {

// A shell window of a process of its own, from construction until Stop or destruction.
class ShellStandIn {
 public:
  ShellStandIn();
  ~ShellStandIn() { Stop(); }
  bool Running() const { return running; }
  void Stop();
  // Destroys the shell window, or makes a new one, in the same process.
  bool Toggle();

 private:
  std::string stopName, toggleName, toggledName;
  ombru::Handle stop, toggle, toggled;
  std::optional<ChildProcess> process;
  bool running = false;
};

enum class DirectoryClient { Absent, Complete, Incomplete };

// A folder from which a process finds the given "NETWIN32.DLL" (or none) as its current directory.
std::string DirectoryClientFolder(DirectoryClient client);

// The directory client stand-in's behaviour, read by it at every call.
struct DirectoryClientSettings {
  const char* identity = nullptr;  // null: the stand-in's default, "CN=alice.O=CORP"
  bool authenticated = true;
  const char* failingCall = nullptr;
  const char* recordPath = nullptr;
};
void ConfigureDirectoryClient(const DirectoryClientSettings& settings);

}  // namespace testsupport
