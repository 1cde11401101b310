#pragma once

// The service's status record and the handle it is reported through: an own-process service
// that accepts the stop control only. The service's main thread and the control dispatcher's
// thread both report, so the record is kept under a lock; any thread.

#include <cstdint>
#include <mutex>

#include "platform/services/ServiceDispatcher.h"

class CServiceStatus {
 public:
  void SetHandle(platform::SERVICE_STATUS_HANDLE p_hStatus);
  void SetExitCode(std::uint32_t p_dwExitCode);
  std::uint32_t ExitCode() const;
  platform::SERVICE_STATUS_HANDLE Handle() const;
  // Records the state and reports the record; false when there is no handle to report it by.
  bool Report(std::uint32_t p_dwState);

 private:
  mutable std::mutex m_Lock;
  platform::SERVICE_STATUS_HANDLE m_hServiceStatus;
  platform::SERVICE_STATUS m_Status{platform::SERVICE_WIN32_OWN_PROCESS,
                                    platform::SERVICE_STOPPED,
                                    platform::SERVICE_ACCEPT_STOP,
                                    0,
                                    0,
                                    0,
                                    0};
};
