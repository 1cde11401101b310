#include "service/device/HeldRemote.h"

#include <algorithm>

bool HeldRemotePresent(const HidDeviceRecord& p_Record) {
  if (!p_Record.m_hDevice) {
    return false;
  }
  const platform::HidDeviceInfo& l_Held = p_Record.m_hDevice.Info();
  const std::vector<platform::HidDeviceInfo> l_Present = platform::EnumerateHidDevices();
  return std::any_of(l_Present.begin(), l_Present.end(),
                     [&l_Held](const platform::HidDeviceInfo& p_Info) {
                       return p_Info.path == l_Held.path && p_Info.instance == l_Held.instance;
                     });
}
