#pragma once

// Device-change notices to a window: a window registered for device-interface notices receives
// WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE and, in lParam, the
// broadcast naming the device's interface, for each HID device that comes or goes. The notices
// come from the HID layer's watch and are sent to the window, so the broadcast lives as long as
// the window's handling of it.

#include <cstdint>

#include "platform/user/Messages.h"

inline constexpr std::uint32_t DEVICE_NOTIFY_WINDOW_HANDLE = 0;
inline constexpr std::size_t kDeviceInterfaceNameLength = 260;

// The filter of a registration and the broadcast of a notice: dbcc_name holds the interface
// name, ended by a 0.
struct DEV_BROADCAST_DEVICEINTERFACE {
  std::uint32_t dbcc_size = sizeof(DEV_BROADCAST_DEVICEINTERFACE);
  std::uint32_t dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::uint32_t dbcc_reserved = 0;
  char16_t dbcc_name[kDeviceInterfaceNameLength] = {};
};

namespace platform {

// Registers a window of this process for the notices of device interfaces (the filter is the
// window layer's broadcast, named from the global namespace: the service layer has one of its own
// in this namespace); 0 with ERROR_INVALID_PARAMETER for a filter of another device type or flags
// other than DEVICE_NOTIFY_WINDOW_HANDLE, ERROR_INVALID_WINDOW_HANDLE for another window. The
// registration ends with UnregisterDeviceNotification or with the window. The window's thread.
HDEVNOTIFY RegisterDeviceNotification(HWND window, const ::DEV_BROADCAST_DEVICEINTERFACE* filter,
                                      std::uint32_t flags);
// The window's thread.
bool UnregisterDeviceNotification(HDEVNOTIFY notification);

}  // namespace platform
