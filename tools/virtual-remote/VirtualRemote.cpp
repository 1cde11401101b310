#include "tools/virtual-remote/VirtualRemote.h"

#include <chrono>
#include <optional>
#include <vector>

#include "platform/base/Text.h"
#include "tools/common/ToolCommands.h"

namespace {

constexpr int kDefaultMilliseconds = 5000;
constexpr std::uint16_t kVendorId = 0xFFFE;
constexpr std::uint16_t kProductId = 0x0003;

// One vendor-defined collection, report 8: seven value bytes in (the button code second) and
// seven out (one LCD packet).
const std::vector<std::uint8_t> kReportDescriptor = {
    0x06, 0x00, 0xFF,  // usage page, vendor-defined
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection, application
    0x85, 0x08,        // report identifier 8
    0x15, 0x00,        // logical minimum 0
    0x26, 0xFF, 0x00,  // logical maximum 255
    0x75, 0x08,        // report size 8 bits
    0x95, 0x07,        // report count 7
    0x09, 0x01,        // usage 1
    0x81, 0x02,        // input, data variable absolute
    0x75, 0x08,        // report size 8 bits
    0x95, 0x07,        // report count 7
    0x09, 0x02,        // usage 2
    0x91, 0x02,        // output, data variable absolute
    0xC0,              // end collection
};
constexpr std::size_t kInputReportBytes = 8;

// "N" or "N MS".
std::optional<std::pair<int, int>> CountAndTime(std::string_view p_Argument) {
  const auto [l_Count, l_Time] = SplitCommand(p_Argument);
  const std::optional<int> l_nCount = ParseCount(l_Count);
  const std::optional<int> l_nTime = ParseMilliseconds(l_Time, kDefaultMilliseconds);
  if (!l_nCount || !l_nTime) {
    return std::nullopt;
  }
  return std::pair{*l_nCount, *l_nTime};
}

std::chrono::steady_clock::time_point After(int p_nMilliseconds) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(p_nMilliseconds);
}

}  // namespace

platform::VirtualHidDeviceDescription RemoteDeviceDescription() {
  return {{kVendorId, kProductId, 0}, kReportDescriptor};
}

std::vector<std::uint8_t> ButtonReport(std::uint8_t p_byCode) {
  std::vector<std::uint8_t> l_Report(kInputReportBytes, 0);
  l_Report[0] = 8;
  l_Report[1] = p_byCode;
  return l_Report;
}

std::string VirtualRemote::Command(std::string_view p_Line) {
  const auto [l_Word, l_Argument] = SplitCommand(p_Line);
  if (l_Word == "plug") {
    return Plug();
  }
  if (l_Word == "quit") {
    m_bQuit = true;
    Unplug();
    return "bye";
  }
  if (l_Word == "screen") {
    return FormatScreen(m_Model.Screen());
  }
  if (!m_pDevice) {
    return "error: not plugged";
  }
  if (l_Word == "unplug") {
    return Unplug();
  }
  if (l_Word == "handles") {
    return "handles " + std::to_string(m_pDevice->OpenHandles());
  }
  if (l_Word == "press") {
    const std::optional<int> l_nCode = ParseCount(l_Argument);
    if (!l_nCode || *l_nCode > 255) {
      return "error: not a button code";
    }
    return Press(*l_nCode);
  }
  if (l_Word == "reports" || l_Word == "screens") {
    const std::optional<std::pair<int, int>> l_CountAndTime = CountAndTime(l_Argument);
    if (!l_CountAndTime) {
      return "error: expected a count and a time in milliseconds";
    }
    const auto [l_nCount, l_nTime] = *l_CountAndTime;
    return l_Word == "reports" ? TakeReports(l_nCount, l_nTime) : TakeScreens(l_nCount, l_nTime);
  }
  return "error: unknown command";
}

std::string VirtualRemote::Plug() {
  Unplug();
  m_pDevice = platform::VirtualHidDevice::Plug(RemoteDeviceDescription());
  if (!m_pDevice) {
    return "error: cannot plug";
  }
  m_Model.Reset();
  return "plugged " + platform::ToUtf8(m_pDevice->InterfaceName());
}

std::string VirtualRemote::Unplug() {
  if (m_pDevice) {
    m_pDevice->Unplug();
    m_pDevice.reset();
  }
  return "unplugged";
}

std::string VirtualRemote::Press(int p_nCode) {
  if (!m_pDevice->SendInputReport(ButtonReport(static_cast<std::uint8_t>(p_nCode)))) {
    return "error: not sent";
  }
  return "sent " + std::to_string(p_nCode);
}

bool VirtualRemote::TakeReport(std::chrono::steady_clock::time_point p_Deadline) {
  const auto l_Left = std::chrono::duration_cast<std::chrono::milliseconds>(
      p_Deadline - std::chrono::steady_clock::now());
  const std::optional<std::vector<std::uint8_t>> l_Report =
      m_pDevice->ReadOutputReport(std::max(l_Left, std::chrono::milliseconds(0)));
  if (!l_Report) {
    return false;
  }
  m_Model.Receive(*l_Report);
  return true;
}

std::string VirtualRemote::TakeReports(int p_nCount, int p_nMilliseconds) {
  const auto l_Deadline = After(p_nMilliseconds);
  int l_nTaken = 0;
  while (l_nTaken < p_nCount && TakeReport(l_Deadline)) {
    ++l_nTaken;
  }
  if (l_nTaken == p_nCount) {
    return "received " + std::to_string(p_nCount);
  }
  return "received " + std::to_string(l_nTaken) + " of " + std::to_string(p_nCount);
}

std::string VirtualRemote::TakeScreens(int p_nCount, int p_nMilliseconds) {
  const auto l_Deadline = After(p_nMilliseconds);
  while (m_Model.Screen().m_nScreensEnded < p_nCount) {
    if (!TakeReport(l_Deadline)) {
      return "timeout " + FormatScreen(m_Model.Screen());
    }
  }
  return FormatScreen(m_Model.Screen());
}
