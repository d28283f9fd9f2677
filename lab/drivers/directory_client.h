// The directory client stand-in ("NETWIN32.DLL"), as a driver arranges it.
#pragma once

#include <string>
#include <vector>

namespace lab {

enum class DirectoryClient {
  Absent,
  Complete,            // the five entry points the agent needs, and NWDSFreeContext
  Incomplete,          // without NWDSSetContext
  WithoutFreeContext,  // the five, without NWDSFreeContext
};

// The folder that holds the given "NETWIN32.DLL" (an empty one for Absent).
std::string DirectoryClientFolder(DirectoryClient client);

// Puts the given client's folder first on this process's PATH, which the agents started later
// inherit and where this process's own loads look too; Absent takes it off again.
void UseDirectoryClient(DirectoryClient client);

// The directory client stand-in's behaviour, read by it at every call.
struct DirectoryClientSettings {
  const char* identity = nullptr;  // null: the stand-in's default, "CN=alice.O=CORP"
  bool authenticated = true;
  const char* failingCall = nullptr;
  const char* recordPath = nullptr;
  // The N-th NWDSWhoAmI of each process (from 1; 0: none) reads the identity and holds it until
  // ReleaseWhoAmI, 60 s at most.
  unsigned holdWhoAmI = 0;
};
void ConfigureDirectoryClient(const DirectoryClientSettings& settings);
void ReleaseWhoAmI();

// The arguments of every call of `entryPoint` that the stand-in recorded in `recordPath`, in order.
std::vector<std::vector<std::string>> DirectoryClientCalls(const std::string& recordPath,
                                                           const char* entryPoint);

}  // namespace lab
