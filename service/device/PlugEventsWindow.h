#pragma once

// The remote's arrival and removal as the device threads' named events: the test on a device
// interface's name, and the message handling of the hidden window that turns device-change
// notices into the events when the program does not run as a service.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kernel/Event.h"
#include "platform/user/MessageMapWindow.h"
#include "platform/user/Messages.h"

// Device-change event codes and the broadcast's device type of a device interface.
enum class DeviceChangeEvent : std::uint32_t {
  Arrival = 0x8000,
  QueryRemove = 0x8001,
  QueryRemoveFailed = 0x8002,
  RemovePending = 0x8003,
  RemoveComplete = 0x8004,
};
inline constexpr std::uint32_t kDeviceTypeDeviceInterface = 5;

// What a device-change notice carries.
struct DeviceBroadcast {
  std::uint32_t m_nDeviceType = 0;
  std::u16string m_strName;  // the device interface name, for a device interface
};

// The interface name holds "VID_FFFE&PID_0003" in any letter case.
bool IsRemoteDeviceInterface(std::u16string_view p_strName);

// The four events of the device threads, created or opened by name (auto-reset, clear).
inline constexpr char16_t kInputDeviceArrivesEvent[] = u"REMOTE_INPUT_DEVICE_ARRIVES";
inline constexpr char16_t kOutputDeviceArrivesEvent[] = u"REMOTE_OUTPUT_DEVICE_ARRIVES";
inline constexpr char16_t kInputDeviceRemovedEvent[] = u"REMOTE_INPUT_DEVICE_REMOVED";
inline constexpr char16_t kOutputDeviceRemovedEvent[] = u"REMOTE_OUTPUT_DEVICE_REMOVED";

// The hidden plug window: a top-level window of style WS_OVERLAPPEDWINDOW that is never shown;
// the thread that creates it runs its messages, and destroys it. Destruction closes the four
// events.
class CRemoteDevicePlugEventsMonitorWindow
    : public platform::MessageMapWindow<CRemoteDevicePlugEventsMonitorWindow> {
 public:
  CRemoteDevicePlugEventsMonitorWindow() = default;
  CRemoteDevicePlugEventsMonitorWindow(const CRemoteDevicePlugEventsMonitorWindow&) = delete;
  CRemoteDevicePlugEventsMonitorWindow& operator=(const CRemoteDevicePlugEventsMonitorWindow&) =
      delete;
  virtual ~CRemoteDevicePlugEventsMonitorWindow();

  // The message map: WM_CREATE and WM_DEVICECHANGE are handled (result 0); other messages and
  // any message-map identifier other than 0 are not.
  virtual bool ProcessWindowMessage(HWND p_hWnd, UINT p_nMessage, WPARAM p_wParam,
                                    LPARAM p_lParam, LRESULT& p_lResult,
                                    std::uint32_t p_nMsgMapID = 0);

  // Creates the window on the calling thread (its WM_CREATE makes the events); 0 on failure.
  HWND Create();

  // Window creation: creates or opens the four events; the result is 0.
  std::intptr_t OnCreate();
  // A device change: the remote's arrival sets the input and then the output arrival event, its
  // removal the two removal events; other notices are only logged. The result is 0.
  std::intptr_t OnDeviceChange(std::uint32_t p_nEvent, const DeviceBroadcast* p_pBroadcast);

 private:
  platform::Event m_hInputDeviceArrives;
  platform::Event m_hOutputDeviceArrives;
  platform::Event m_hInputDeviceRemoved;
  platform::Event m_hOutputDeviceRemoved;
};
