// One owned COM reference: released exactly once, by whoever holds it last.
#pragma once

#include <objbase.h>

namespace ombru {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  explicit ComPtr(Interface* owned) noexcept : pointer(owned) {}
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer = other.pointer;
      other.pointer = nullptr;
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* Get() const noexcept { return pointer; }
  Interface* operator->() const noexcept { return pointer; }
  explicit operator bool() const noexcept { return pointer != nullptr; }

  void Reset() noexcept {
    if (pointer) {
      Interface* released = pointer;
      pointer = nullptr;
      released->Release();
    }
  }

 private:
  Interface* pointer = nullptr;
};

}  // namespace ombru
