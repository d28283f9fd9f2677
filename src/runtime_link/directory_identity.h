// The Novell directory identity of the logged-on user, through the optional directory client
// library "NETWIN32.DLL", loaded afresh for each use.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "framework/unique_handle.h"

class DirectoryIdentityLookup {
 public:
  using IsAuthenticatedFn = int(WINAPI*)();
  using CreateContextFn = int(WINAPI*)(uint32_t* context);
  using GetContextFn = int(WINAPI*)(uint32_t context, int key, void* value);
  using SetContextFn = int(WINAPI*)(uint32_t context, int key, void* value);
  using WhoAmIFn = int(WINAPI*)(uint32_t context, char* name);
  using FreeContextFn = int(WINAPI*)(uint32_t context);

  DirectoryIdentityLookup();
  ~DirectoryIdentityLookup();
  DirectoryIdentityLookup(const DirectoryIdentityLookup&) = delete;
  DirectoryIdentityLookup& operator=(const DirectoryIdentityLookup&) = delete;

  // Only when the library loaded and all five entry points were found; NWDSFreeContext, the
  // sixth, is used where the client has it and is not needed.
  bool Available() const { return available != 0; }

 private:
  friend int GetDirectoryUserName(const DirectoryIdentityLookup&, char*, size_t, bool);

  int32_t available = 0;
  ombru::Library module;
  CreateContextFn createContextHandle = nullptr;
  GetContextFn getContext = nullptr;
  SetContextFn setContext = nullptr;
  WhoAmIFn whoAmI = nullptr;
  IsAuthenticatedFn isDSAuthenticated = nullptr;
  FreeContextFn freeContext = nullptr;
};

// Fills the buffer with the directory identity and returns 1, or leaves "NONE" in it (as far as
// it fits) and returns 0. Unless `typed`, names are asked for typeless and canonicalised.
int GetDirectoryUserName(const DirectoryIdentityLookup& lookup, char* buffer, size_t size,
                         bool typed);
