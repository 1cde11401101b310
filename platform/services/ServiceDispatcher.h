#pragma once

// The services' side of the service manager: a program that the manager started connects its
// dispatcher to the control channel it inherited, runs each service's main on a thread of its
// own, reports its status, and receives the controls (stop, device events, ...) on the
// dispatcher's thread, where its handler runs. One dispatcher a process.

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "platform/com/Guid.h"
#include "platform/services/ServiceTypes.h"
#include "platform/user/Messages.h"

namespace platform {

using LPSERVICE_MAIN_FUNCTION = void (*)(std::uint32_t argumentCount, char16_t** arguments);
using LPHANDLER_FUNCTION = void (*)(std::uint32_t control);
using LPHANDLER_FUNCTION_EX = std::uint32_t (*)(std::uint32_t control, std::uint32_t eventType,
                                                void* eventData, void* context);

struct SERVICE_TABLE_ENTRY {
  std::u16string_view lpServiceName;
  LPSERVICE_MAIN_FUNCTION lpServiceProc = nullptr;
};

// The handle through which a service reports its status; 0 is none.
struct SERVICE_STATUS_HANDLE {
  std::uintptr_t value = 0;
  explicit operator bool() const noexcept { return value != 0; }
  bool operator==(const SERVICE_STATUS_HANDLE&) const = default;
};

// Connects to the manager and runs the first service of the table (a program is one own-process
// service): its main runs on a new thread with the service's name and the start's arguments.
// Returns once the service has reported SERVICE_STOPPED and its main has returned: ERROR_SUCCESS,
// or ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the program was not started by the manager.
// Call it on the thread that is to run the handler.
std::uint32_t StartServiceCtrlDispatcher(std::span<const SERVICE_TABLE_ENTRY> services);

// Installs the handler of the running service (a later call replaces it); null with
// ERROR_SERVICE_DOES_NOT_EXIST in `error` for another name or outside a dispatcher. Any thread.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerEx(std::u16string_view serviceName,
                                                   LPHANDLER_FUNCTION_EX handler, void* context,
                                                   std::uint32_t* error = nullptr);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                                 LPHANDLER_FUNCTION handler,
                                                 std::uint32_t* error = nullptr);

// Reports the status to the manager; false for a null or stale handle. Any thread.
bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);

// Device events for a service: arrivals and removals of device interfaces of the filter's class
// (the HID class is the one the layer watches) reach the handler as SERVICE_CONTROL_DEVICEEVENT
// with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE and a DEV_BROADCAST_DEVICEINTERFACE that
// lives for the handler's call. The event types and the device type are the windows layer's
// (platform/user/Messages.h).
inline constexpr std::uint32_t DEVICE_NOTIFY_SERVICE_HANDLE = 1;

// The interface class of HID devices.
inline constexpr GUID GUID_DEVINTERFACE_HID{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The HID class's interface id, as the HID library hands it out.
inline void HidD_GetHidGuid(GUID* hidGuid) noexcept { *hidGuid = GUID_DEVINTERFACE_HID; }

inline constexpr std::size_t kMaxDeviceInterfaceName = 256;

struct DEV_BROADCAST_HDR {
  std::uint32_t dbch_size = 0;
  std::uint32_t dbch_devicetype = 0;
  std::uint32_t dbch_reserved = 0;
};

// The header's fields first, so that a pointer to it may be read as a DEV_BROADCAST_HDR.
struct DEV_BROADCAST_DEVICEINTERFACE {
  std::uint32_t dbcc_size = 0;
  std::uint32_t dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::uint32_t dbcc_reserved = 0;
  GUID dbcc_classguid;
  char16_t dbcc_name[kMaxDeviceInterfaceName] = {};  // zero-terminated
};

// A service's registration; a type of its own beside the windows layer's HDEVNOTIFY of a window's.
struct ServiceDeviceNotification {
  std::uintptr_t value = 0;
  explicit operator bool() const noexcept { return value != 0; }
};

// Registers the service of `recipient` (DEVICE_NOTIFY_SERVICE_HANDLE) for the filter's class;
// null for another recipient kind or outside a running service.
ServiceDeviceNotification RegisterDeviceNotification(SERVICE_STATUS_HANDLE recipient,
                                      const DEV_BROADCAST_DEVICEINTERFACE& filter,
                                      std::uint32_t flags);
bool UnregisterDeviceNotification(ServiceDeviceNotification notification);

// Owns one service registration for device events and unregisters it when it goes. Move-only;
// the thread that handles the service's controls.
class ServiceDeviceRegistration {
 public:
  ServiceDeviceRegistration() = default;
  explicit ServiceDeviceRegistration(ServiceDeviceNotification notification) noexcept
      : notification_(notification) {}
  ServiceDeviceRegistration(ServiceDeviceRegistration&& other) noexcept
      : notification_(std::exchange(other.notification_, {})) {}
  ServiceDeviceRegistration& operator=(ServiceDeviceRegistration&& other) noexcept {
    if (this != &other) {
      Reset();
      notification_ = std::exchange(other.notification_, {});
    }
    return *this;
  }
  ServiceDeviceRegistration(const ServiceDeviceRegistration&) = delete;
  ServiceDeviceRegistration& operator=(const ServiceDeviceRegistration&) = delete;
  ~ServiceDeviceRegistration() { Reset(); }

  explicit operator bool() const noexcept { return static_cast<bool>(notification_); }
  void Reset() noexcept {
    if (notification_) UnregisterDeviceNotification(std::exchange(notification_, {}));
  }

 private:
  ServiceDeviceNotification notification_;
};

}  // namespace platform
