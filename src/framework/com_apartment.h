// COM initialised for the calling thread for the life of the object, and uninitialised exactly
// as often as it was successfully initialised.
#pragma once

#include <objbase.h>

namespace ombru {

class ComApartment {
 public:
  ComApartment() : initialised(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComApartment() {
    if (initialised)
      CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised;
};

}  // namespace ombru
