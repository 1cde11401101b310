#include "service/device/HeldRemote.h"

#include <algorithm>

bool HeldRemotePresent(const HidDeviceRecord& p_Record) {
  if (!p_Record.m_hDevice) {
    return false;
  }
  const std::u16string& l_strPath = p_Record.m_hDevice.Info().path;
  const std::vector<platform::HidDeviceInfo> l_Present = platform::EnumerateHidDevices();
  return std::any_of(
      l_Present.begin(), l_Present.end(),
      [&l_strPath](const platform::HidDeviceInfo& p_Info) { return p_Info.path == l_strPath; });
}
