#pragma once

// Finding and opening the remote: a HID device of vendor 0xFFFE and product 0x0003 whose input
// reports carry report identifier 8. Each device thread opens it on its own, one for reading
// and one for writing, into a record of its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/hid/Hid.h"

inline constexpr std::uint16_t kRemoteVendorId = 0xFFFE;
inline constexpr std::uint16_t kRemoteProductId = 0x0003;
inline constexpr std::uint8_t kRemoteReportId = 8;
// The input report's button code is its second byte.
inline constexpr std::size_t kRemoteInputReportMinLength = 2;

// The report byte lengths of the device's descriptor.
struct HidCaps {
  std::size_t m_nInputReportByteLength = 0;
  std::size_t m_nOutputReportByteLength = 0;
  std::size_t m_nFeatureReportByteLength = 0;
};

// One device thread's hold on the remote; a cleared record (as constructed, or after
// HidCloseDevice) holds nothing. Used by one thread at a time: the output thread shares its
// record with the writer thread only while the writer runs.
struct HidDeviceRecord {
  platform::HidDevice m_hDevice;
  std::optional<platform::HidReportDescriptor> m_PreparsedData;
  HidCaps m_Caps;
  std::vector<std::uint8_t> m_InputReport;
  std::vector<platform::HidValueCapability> m_InputValueCaps;
  std::vector<std::uint8_t> m_OutputReport;
};

// Opens the first remote in the system's order that passes every test, with `p_Access`
// (reading for the input thread, writing for the output thread). Devices that cannot be
// probed, foreign devices, and remotes that cannot carry the remote's reports (input value
// capability not of report 8, input report shorter than 2 bytes, output report shorter than an
// LCD packet's) are skipped. Logs "Device opened". False, with the record cleared, when none
// passes.
bool OpenRemoteDevice(HidDeviceRecord& p_Record, platform::HidAccess p_Access);

// Fills the record's report buffers (zeroed, of the descriptor's lengths) and its input value
// capabilities from the record's descriptor. False when there is none or a buffer cannot be
// allocated.
bool HidReadCapabilities(HidDeviceRecord& p_Record);

// Closes the device and clears the record.
void HidCloseDevice(HidDeviceRecord& p_Record);
