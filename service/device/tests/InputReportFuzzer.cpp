// Feeds arbitrary bytes to the device input thread's handling of the remote's reports, as a
// remote (or anything that plugs in with its identifiers) may send them: a run of reports of any
// length, handled with the display words a first byte chooses. Every packet that the reports
// make must build an output report, a firmware upload that one starts must go on to its end, and
// the records the keys queue are taken again, so that one input leaves nothing for the next.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>

#include "platform/kernel/tests/BenchmarkRoot.h"
#include "service/device/DeviceInput.h"
#include "service/device/DisplayState.h"
#include "service/device/FirmwareUpload.h"
#include "service/device/LcdPacketRing.h"
#include "service/device/LcdProtocol.h"
#include "service/device/OutputReport.h"
#include "service/device/ServiceEvents.h"
#include "service/device/tests/HexText.h"
#include "service/menu/CurrentTrack.h"
#include "service/session/MediaPlayerEvents.h"

namespace {

// The named events live in a root of the fuzzer's own, made before the layer first looks.
const platform::testing::BenchmarkRoot g_Root;

// Everything one run of reports works on, made once: the events are named and shared.
struct Device {
  Device() : m_Image(std::filesystem::temp_directory_path() / "fuzz-input-report.hex") {
    std::ofstream(m_Image) << HexRecord(0x1800, Counting(0, 40)) << kHexEndOfFile;
  }
  ~Device() {
    std::error_code l_Ignored;
    std::filesystem::remove(m_Image, l_Ignored);
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  const std::filesystem::path m_Image;
  LcdPacketRing m_Ring;
  LcdPacketRing::Consumer m_Consumer{m_Ring, [] {}};
  LcdProtocol m_Protocol{m_Ring, [] { return LcdLanguage{}; }};
  FirmwareUpload m_Upload{m_Protocol};
  ServiceEvents m_Events;
  DeviceInputActions m_Actions{m_Protocol, m_Upload, m_Events, m_Image};
};

// Sends what the ring holds as the writer thread would, topping a running upload up after each
// packet as the writer does.
void Drain(Device& p_Device) {
  while (const auto l_Packet = p_Device.m_Consumer.Take()) {
    std::array<std::uint8_t, 8> l_Report{};
    if (!BuildOutputReport(*l_Packet, l_Report)) {
      std::abort();
    }
    p_Device.m_Upload.TopUp();
  }
}

}  // namespace

// The first byte sets the display words; after it each report is a length byte (0 to 15) and
// that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Device s_Device;
  ResetDeviceDisplayState(s_Device.m_Protocol, s_Device.m_Upload);
  std::span<const std::uint8_t> l_Input(data, size);
  if (!l_Input.empty()) {
    const std::uint8_t l_byWords = l_Input.front();
    g_bDisplayAwake = (l_byWords & 1) != 0;
    g_bPlayerScreenShown = (l_byWords & 2) != 0;
    g_bCurrentlyPlayingDisplayed = (l_byWords & 4) != 0;
    g_bLcdInitialised = (l_byWords & 8) != 0;
    g_nDevicePlayState = (l_byWords >> 4) & 7;
    l_Input = l_Input.subspan(1);
  }
  while (!l_Input.empty()) {
    const std::size_t l_nLength = std::min<std::size_t>(l_Input.front() & 0xF, l_Input.size() - 1);
    s_Device.m_Actions.HandleReport(l_Input.subspan(1, l_nLength));
    Drain(s_Device);
    l_Input = l_Input.subspan(1 + l_nLength);
  }
  if (s_Device.m_Upload.IsRunning()) {
    std::abort();
  }
  while (TakeFirstMediaPlayerEvent()) {
  }
  return 0;
}
