#include "service/device/PlugEventsWindow.h"

#include "common/ProgramLogger.h"
#include "platform/user/DeviceNotification.h"
#include "platform/user/Window.h"

namespace {

constexpr char16_t kPlugWindowClass[] = u"CRemoteDevicePlugEventsMonitorWindow";

constexpr std::u16string_view kRemoteIds = u"VID_FFFE&PID_0003";

platform::Event CreateDeviceEvent(std::u16string_view p_strName) {
  return platform::Event::Create(platform::EventReset::Auto, false, p_strName).handle;
}

bool IsRemoteInterfaceBroadcast(const DeviceBroadcast* p_pBroadcast) {
  return p_pBroadcast != nullptr && p_pBroadcast->m_nDeviceType == kDeviceTypeDeviceInterface &&
         IsRemoteDeviceInterface(p_pBroadcast->m_strName);
}

}  // namespace

bool IsRemoteDeviceInterface(std::u16string_view p_strName) {
  std::u16string l_strUpper(p_strName);
  for (char16_t& l_ch : l_strUpper) {
    if (l_ch >= u'a' && l_ch <= u'z') {
      l_ch = static_cast<char16_t>(l_ch - u'a' + u'A');
    }
  }
  return l_strUpper.find(kRemoteIds) != std::u16string::npos;
}

CRemoteDevicePlugEventsMonitorWindow::~CRemoteDevicePlugEventsMonitorWindow() { DestroyWindow(); }

HWND CRemoteDevicePlugEventsMonitorWindow::Create() {
  return CreateOfClass(kPlugWindowClass, WS_OVERLAPPEDWINDOW);
}

bool CRemoteDevicePlugEventsMonitorWindow::ProcessWindowMessage(HWND, UINT p_nMessage,
                                                                WPARAM p_wParam, LPARAM p_lParam,
                                                                LRESULT& p_lResult,
                                                                std::uint32_t p_nMsgMapID) {
  if (p_nMsgMapID != 0) {
    return false;
  }
  switch (p_nMessage) {
    case WM_CREATE:
      p_lResult = OnCreate();
      return true;
    case WM_DEVICECHANGE: {
      const auto* l_pNotice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE*>(p_lParam);
      DeviceBroadcast l_Broadcast;
      if (l_pNotice != nullptr) {
        l_Broadcast.m_nDeviceType = l_pNotice->dbcc_devicetype;
        if (l_pNotice->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
          l_Broadcast.m_strName = l_pNotice->dbcc_name;
        }
      }
      p_lResult = OnDeviceChange(static_cast<std::uint32_t>(p_wParam),
                                 l_pNotice != nullptr ? &l_Broadcast : nullptr);
      return true;
    }
    default:
      return false;
  }
}

std::intptr_t CRemoteDevicePlugEventsMonitorWindow::OnCreate() {
  m_hInputDeviceArrives = CreateDeviceEvent(kInputDeviceArrivesEvent);
  m_hOutputDeviceArrives = CreateDeviceEvent(kOutputDeviceArrivesEvent);
  m_hInputDeviceRemoved = CreateDeviceEvent(kInputDeviceRemovedEvent);
  m_hOutputDeviceRemoved = CreateDeviceEvent(kOutputDeviceRemovedEvent);
  return 0;
}

std::intptr_t CRemoteDevicePlugEventsMonitorWindow::OnDeviceChange(
    std::uint32_t p_nEvent, const DeviceBroadcast* p_pBroadcast) {
  switch (static_cast<DeviceChangeEvent>(p_nEvent)) {
    case DeviceChangeEvent::Arrival:
      if (p_pBroadcast != nullptr && p_pBroadcast->m_nDeviceType == kDeviceTypeDeviceInterface) {
        g_Logger->Log(LOG_TO_FILE,
                      u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEARRIVAL for %s",
                      p_pBroadcast->m_strName);
      }
      if (IsRemoteInterfaceBroadcast(p_pBroadcast)) {
        m_hInputDeviceArrives.Set();
        m_hOutputDeviceArrives.Set();
      }
      break;
    case DeviceChangeEvent::RemoveComplete:
      g_Logger->Log(LOG_TO_FILE,
                    u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEREMOVECOMPLETE");
      if (IsRemoteInterfaceBroadcast(p_pBroadcast)) {
        m_hInputDeviceRemoved.Set();
        m_hOutputDeviceRemoved.Set();
      }
      break;
    case DeviceChangeEvent::QueryRemove:
      g_Logger->Log(LOG_TO_FILE,
                    u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEQUERYREMOVE");
      break;
    case DeviceChangeEvent::QueryRemoveFailed:
      g_Logger->Log(LOG_TO_FILE,
                    u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEQUERYREMOVEFAILED");
      break;
    case DeviceChangeEvent::RemovePending:
      g_Logger->Log(LOG_TO_FILE,
                    u"CRemoteDevicePlugEventsMonitorWindow sees DBT_DEVICEREMOVEPENDING");
      break;
  }
  return 0;
}
