#pragma once

// The steps by which the tray, or its elevated proxy, starts, stops and restarts the service
// Tamsvard through the service manager. They ask only for the rights that starting, stopping and
// querying need, so that a user whom the service's access list allows those can use them. A
// successful stop closes the media player's main window unless it is part of a restart. Failures
// are only logged. Used on one thread (the caller's window thread).

#include <cstdint>

class CServiceControlSteps {
 public:
  void StartService() const;
  void StopService() const;
  // Stops, waits (bounded) until the service reports it has stopped, and starts it.
  void RestartService();

 private:
  bool m_bRestarting = false;
};
