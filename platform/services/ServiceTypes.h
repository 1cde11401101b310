#pragma once

// The words of the service manager that both its callers and the services speak: access rights,
// states, controls, start types and the status record.

#include <cstdint>

#include "platform/base/AccessRights.h"
#include "platform/base/Status.h"

namespace platform {

// Rights on the manager.
inline constexpr std::uint32_t SC_MANAGER_CONNECT = 0x0001;
inline constexpr std::uint32_t SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr std::uint32_t SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
inline constexpr std::uint32_t SC_MANAGER_LOCK = 0x0008;
inline constexpr std::uint32_t SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;
inline constexpr std::uint32_t SC_MANAGER_MODIFY_BOOT_CONFIG = 0x0020;
inline constexpr std::uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;

// Rights on a service.
inline constexpr std::uint32_t SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr std::uint32_t SERVICE_CHANGE_CONFIG = 0x0002;
inline constexpr std::uint32_t SERVICE_QUERY_STATUS = 0x0004;
inline constexpr std::uint32_t SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
inline constexpr std::uint32_t SERVICE_START = 0x0010;
inline constexpr std::uint32_t SERVICE_STOP = 0x0020;
inline constexpr std::uint32_t SERVICE_PAUSE_CONTINUE = 0x0040;
inline constexpr std::uint32_t SERVICE_INTERROGATE = 0x0080;
inline constexpr std::uint32_t SERVICE_USER_DEFINED_CONTROL = 0x0100;
inline constexpr std::uint32_t SERVICE_ALL_ACCESS = 0xF01FF;

// What a user who is not the administrator may do with a service unless its access list gives
// more: look, never touch.
inline constexpr std::uint32_t kServiceUserDefaultRights = SERVICE_QUERY_CONFIG |
                                                           SERVICE_QUERY_STATUS |
                                                           SERVICE_ENUMERATE_DEPENDENTS |
                                                           SERVICE_INTERROGATE | READ_CONTROL;
// What such a user may do with the manager.
inline constexpr std::uint32_t kManagerUserRights =
    SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS |
    READ_CONTROL;

inline constexpr std::uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr std::uint32_t SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr std::uint32_t SERVICE_INTERACTIVE_PROCESS = 0x100;

inline constexpr std::uint32_t SERVICE_BOOT_START = 0;
inline constexpr std::uint32_t SERVICE_SYSTEM_START = 1;
inline constexpr std::uint32_t SERVICE_AUTO_START = 2;
inline constexpr std::uint32_t SERVICE_DEMAND_START = 3;
inline constexpr std::uint32_t SERVICE_DISABLED = 4;

inline constexpr std::uint32_t SERVICE_ERROR_IGNORE = 0;
inline constexpr std::uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr std::uint32_t SERVICE_ERROR_SEVERE = 2;
inline constexpr std::uint32_t SERVICE_ERROR_CRITICAL = 3;

inline constexpr std::uint32_t SERVICE_STOPPED = 1;
inline constexpr std::uint32_t SERVICE_START_PENDING = 2;
inline constexpr std::uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr std::uint32_t SERVICE_RUNNING = 4;
inline constexpr std::uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr std::uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr std::uint32_t SERVICE_PAUSED = 7;

inline constexpr std::uint32_t SERVICE_ACCEPT_STOP = 0x01;
inline constexpr std::uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 0x02;
inline constexpr std::uint32_t SERVICE_ACCEPT_SHUTDOWN = 0x04;

inline constexpr std::uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr std::uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr std::uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr std::uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr std::uint32_t SERVICE_CONTROL_SHUTDOWN = 5;
inline constexpr std::uint32_t SERVICE_CONTROL_DEVICEEVENT = 11;

inline constexpr std::uint32_t SERVICE_NO_CHANGE = 0xFFFFFFFFu;
inline constexpr std::uint32_t SERVICE_CONFIG_DESCRIPTION = 1;

// The service manager's errors beyond the common ones.
inline constexpr std::uint32_t ERROR_INVALID_SERVICE_CONTROL = 1052;
inline constexpr std::uint32_t ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
inline constexpr std::uint32_t ERROR_SERVICE_DISABLED = 1058;
inline constexpr std::uint32_t ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr std::uint32_t ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
inline constexpr std::uint32_t ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr std::uint32_t ERROR_PROCESS_ABORTED = 1067;
inline constexpr std::uint32_t ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
inline constexpr std::uint32_t ERROR_SERVICE_EXISTS = 1073;
inline constexpr std::uint32_t ERROR_INVALID_SERVICE_NAME = 1213;
inline constexpr std::uint32_t ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr std::uint32_t ERROR_CALL_NOT_IMPLEMENTED = 120;

struct SERVICE_STATUS {
  std::uint32_t dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  std::uint32_t dwCurrentState = SERVICE_STOPPED;
  std::uint32_t dwControlsAccepted = 0;
  std::uint32_t dwWin32ExitCode = ERROR_SUCCESS;
  std::uint32_t dwServiceSpecificExitCode = 0;
  std::uint32_t dwCheckPoint = 0;
  std::uint32_t dwWaitHint = 0;

  bool operator==(const SERVICE_STATUS&) const = default;
};

}  // namespace platform
