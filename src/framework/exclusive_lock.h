// Holds a slim reader/writer lock exclusively for the life of the object, so that every path out
// of a guarded region releases it.
#pragma once

#include <windows.h>

namespace ombru {

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock(lock) { AcquireSRWLockExclusive(&lock); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK& lock;
};

}  // namespace ombru
