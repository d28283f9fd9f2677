// The lab's owner of kernel and file handles. The lab shares no code with the agent it
// witnesses, so it has its own; null and INVALID_HANDLE_VALUE both mean "none".
#pragma once

#include <windows.h>

#include <utility>

namespace lab {

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE owned) : value(Valid(owned)) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other)
      Reset(std::exchange(other.value, nullptr));
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE Get() const { return value; }
  explicit operator bool() const { return value != nullptr; }

  void Reset(HANDLE owned = nullptr) {
    if (value)
      CloseHandle(value);
    value = Valid(owned);
  }

  // For out-parameters: whatever was held is closed first.
  HANDLE* Put() {
    Reset();
    return &value;
  }

 private:
  static HANDLE Valid(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

  HANDLE value = nullptr;
};

}  // namespace lab
