#include "tools/run-system/ProgramScope.h"

#include <signal.h>
#include <sys/signalfd.h>

#include "platform/com/Apartment.h"

platform::detail::UniqueFd StopSignals() {
  sigset_t l_Signals;
  sigemptyset(&l_Signals);
  sigaddset(&l_Signals, SIGINT);
  sigaddset(&l_Signals, SIGTERM);
  sigaddset(&l_Signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &l_Signals, nullptr);
  return platform::detail::UniqueFd(signalfd(-1, &l_Signals, SFD_CLOEXEC | SFD_NONBLOCK));
}

ApartmentScope::ApartmentScope() : m_bEntered(SUCCEEDED(CoInitialize(nullptr))) {}

ApartmentScope::~ApartmentScope() {
  if (m_bEntered) {
    CoUninitialize();
  }
}
