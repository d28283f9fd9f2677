// A DLL with a C++ runtime of its own (libstdc++ linked in statically, GCC's personality routine
// not wrapped): it holds an object with a destructor and a locked lock across a call back into
// its caller, as a third-party library would.
#include <windows.h>

namespace {

class Held {
 public:
  Held(SRWLOCK& lock, int& destroyed) : lock(lock), destroyed(destroyed) {
    AcquireSRWLockExclusive(&lock);
  }
  ~Held() {
    ReleaseSRWLockExclusive(&lock);
    ++destroyed;
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  SRWLOCK& lock;
  int& destroyed;
};

}  // namespace

extern "C" __declspec(dllexport) void CallBackHolding(void (*callback)(), SRWLOCK* lock,
                                                      int* destroyed) {
  const Held held(*lock, *destroyed);
  callback();
}
