#pragma once

#include "platform/kernel/Posix.h"

// What a whole-system tool's main thread sets up for its run. Main thread only.

// Ctrl-C, a hang-up and a termination come as a readable descriptor, so that every wait of the
// run can end on them and the run stops what it started. Call before any thread starts, so that
// every thread leaves them to the descriptor; the programs started get a clear mask.
platform::detail::UniqueFd StopSignals();

// This thread's apartment, from construction to destruction.
class ApartmentScope {
 public:
  ApartmentScope();
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;
  ~ApartmentScope();

 private:
  bool m_bEntered;
};
