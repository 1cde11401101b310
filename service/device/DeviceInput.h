#pragma once

// The device input thread: reads the remote's button reports and turns each into the service's
// button events, an LCD packet that answers the key, or a change of the display state.

#include <cstdint>
#include <filesystem>
#include <span>

#include "service/device/DeviceInputDecision.h"
#include "service/device/FirmwareUpload.h"
#include "service/device/LcdProtocol.h"
#include "service/device/ServiceEvents.h"

inline constexpr char16_t kDeviceInputTerminateEvent[] = u"REMOTE_DEVICE_INPUT_THREAD_TERMINATE";

// The shared words as they are now, read once for one key.
DeviceInputState ReadDeviceInputState();

// The display as after a service start: asleep, no forced write, no upload, no init sent, no
// player screen, and the ring empty with the sequence byte at 0x20. For a remote opened at start
// and one that arrives, so that a replugged remote is initialised again by its first key.
void ResetDeviceDisplayState(LcdProtocol& p_Protocol, FirmwareUpload& p_Upload);

// Carries out the steps of one report on the protocol, the upload, the service's events and the
// shared words. The device input thread's.
class DeviceInputActions {
 public:
  DeviceInputActions(LcdProtocol& p_Protocol, FirmwareUpload& p_Upload,
                     const ServiceEvents& p_Events, std::filesystem::path p_FirmwareImage);

  // The report's second byte decides; a report shorter than two bytes, or of another report
  // identifier than the remote's, is none.
  void HandleReport(std::span<const std::uint8_t> p_Report);
  void Apply(const std::vector<InputStep>& p_Steps);

 private:
  LcdProtocol& m_Protocol;
  FirmwareUpload& m_Upload;
  const ServiceEvents& m_Events;
  const std::filesystem::path m_FirmwareImage;
};

// The thread procedure; the argument is ignored. Ends with 0 on
// "REMOTE_DEVICE_INPUT_THREAD_TERMINATE"; the service starts and joins it.
std::uint32_t RemoteDeviceInput(void* p_pArgument);
