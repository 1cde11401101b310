#pragma once

// Critical sections: locks of one process that the owning thread may enter again, as the system's
// code re-enters them.

#include <mutex>

namespace platform {

// A recursive lock; each Enter needs its Leave on the same thread. Any thread.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for its scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
  ~CriticalSectionLock() { section_.Leave(); }

 private:
  CriticalSection& section_;
};

}  // namespace platform
