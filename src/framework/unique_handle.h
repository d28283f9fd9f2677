// One owner for every handle-like thing of the program: kernel handles, registry keys, service
// handles, libraries and event sources. Closing happens in the destructor, so objects declared in
// opening order are closed in reverse order on every path.
#pragma once

#include <windows.h>

namespace ombru {

template <typename Traits>
class UniqueHandle {
 public:
  using Value = typename Traits::Value;

  UniqueHandle() noexcept : value(Traits::Null()) {}
  explicit UniqueHandle(Value owned) noexcept : value(owned) {}
  ~UniqueHandle() { Reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : value(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Value Get() const noexcept { return value; }
  explicit operator bool() const noexcept { return value != Traits::Null(); }

  Value Release() noexcept {
    Value released = value;
    value = Traits::Null();
    return released;
  }

  void Reset(Value owned = Traits::Null()) noexcept {
    if (value != Traits::Null())
      Traits::Close(value);
    value = owned;
  }

  // For out-parameters of creating calls: whatever was held is closed first.
  Value* Put() noexcept {
    Reset();
    return &value;
  }

 private:
  Value value;
};

struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Null() noexcept { return nullptr; }
  static void Close(Value h) noexcept { CloseHandle(h); }
};

// CreateFile and CreateNamedPipe report failure as INVALID_HANDLE_VALUE rather than null.
struct FileHandleTraits {
  using Value = HANDLE;
  static Value Null() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Value h) noexcept { CloseHandle(h); }
};

struct RegistryKeyTraits {
  using Value = HKEY;
  static Value Null() noexcept { return nullptr; }
  static void Close(Value h) noexcept { RegCloseKey(h); }
};

struct ServiceHandleTraits {
  using Value = SC_HANDLE;
  static Value Null() noexcept { return nullptr; }
  static void Close(Value h) noexcept { CloseServiceHandle(h); }
};

struct EventSourceTraits {
  using Value = HANDLE;
  static Value Null() noexcept { return nullptr; }
  static void Close(Value h) noexcept { DeregisterEventSource(h); }
};

struct LibraryTraits {
  using Value = HMODULE;
  static Value Null() noexcept { return nullptr; }
  static void Close(Value h) noexcept { FreeLibrary(h); }
};

using Handle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;
using EventSource = UniqueHandle<EventSourceTraits>;
using Library = UniqueHandle<LibraryTraits>;

}  // namespace ombru
