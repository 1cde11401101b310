#include "service/device/RemoteDevice.h"

#include <new>
#include <optional>
#include <vector>

#include "common/ProgramLogger.h"
#include "service/device/OutputReport.h"

namespace {

// The remote's tests on the capabilities that the device threads rely on: report 8 in, a button
// code to read, and room for a whole packet out.
bool CarriesRemoteReports(const HidDeviceRecord& p_Record) {
  return !p_Record.m_InputValueCaps.empty() &&
         p_Record.m_InputValueCaps.front().reportId == kRemoteReportId &&
         p_Record.m_Caps.m_nInputReportByteLength >= kRemoteInputReportMinLength &&
         p_Record.m_Caps.m_nOutputReportByteLength >= kLcdOutputReportMinLength;
}

// The search over the listed interfaces; an allocation that fails ends it.
bool OpenFirstRemote(const std::vector<platform::HidDeviceInfo>& p_Interfaces,
                     HidDeviceRecord& p_Record, platform::HidAccess p_Access) {
  for (const platform::HidDeviceInfo& l_Interface : p_Interfaces) {
    // The probe reads what the device is without asking for access to its reports.
    auto l_Probe = platform::HidDevice::Open(l_Interface.path, platform::HidAccess::None);
    if (l_Probe.error != ERROR_SUCCESS) {
      continue;
    }
    const platform::HidDeviceInfo& l_Info = l_Probe.handle.Info();
    if (!l_Info.descriptor || l_Info.attributes.vendorId != kRemoteVendorId ||
        l_Info.attributes.productId != kRemoteProductId) {
      continue;
    }
    std::optional<platform::HidReportDescriptor> l_PreparsedData = l_Info.descriptor;
    l_Probe.handle.Close();

    auto l_Opened = platform::HidDevice::Open(l_Interface.path, p_Access);
    if (l_Opened.error != ERROR_SUCCESS) {
      continue;
    }
    p_Record.m_hDevice = std::move(l_Opened.handle);
    p_Record.m_PreparsedData = std::move(l_PreparsedData);
    if (!HidReadCapabilities(p_Record)) {
      HidCloseDevice(p_Record);
      return false;
    }
    if (!CarriesRemoteReports(p_Record)) {
      HidCloseDevice(p_Record);
      continue;
    }
    g_Logger->Log(LOG_TO_FILE, u"Device opened");
    return true;
  }
  return false;
}

}  // namespace

bool OpenRemoteDevice(HidDeviceRecord& p_Record, platform::HidAccess p_Access) {
  HidCloseDevice(p_Record);
  const std::optional<std::vector<platform::HidDeviceInfo>> l_Interfaces =
      platform::TryEnumerateHidDevices();
  if (!l_Interfaces) {
    g_Logger->Log(LOG_TO_FILE, u"SetupDiGetClassDevs failed");
    return false;
  }
  try {
    return OpenFirstRemote(*l_Interfaces, p_Record, p_Access);
  } catch (const std::bad_alloc&) {
    g_Logger->Log(LOG_TO_FILE, u"Interface malloc failed");
    HidCloseDevice(p_Record);
    return false;
  }
}

bool HidReadCapabilities(HidDeviceRecord& p_Record) {
  if (!p_Record.m_PreparsedData) {
    return false;
  }
  const platform::HidReportDescriptor& l_Descriptor = *p_Record.m_PreparsedData;
  using platform::HidReportType;
  p_Record.m_Caps = {l_Descriptor.Report(HidReportType::Input).byteLength,
                     l_Descriptor.Report(HidReportType::Output).byteLength,
                     l_Descriptor.Report(HidReportType::Feature).byteLength};
  try {
    p_Record.m_InputReport.assign(p_Record.m_Caps.m_nInputReportByteLength, 0);
    p_Record.m_OutputReport.assign(p_Record.m_Caps.m_nOutputReportByteLength, 0);
    p_Record.m_InputValueCaps = l_Descriptor.Report(HidReportType::Input).values;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void HidCloseDevice(HidDeviceRecord& p_Record) { p_Record = HidDeviceRecord{}; }
