#pragma once

// A virtual remote on the virtual HID backend, driven one command line at a time, each answered
// with one line:
//   plug            plug the remote in (its display as new): "plugged NAME"
//   unplug          "unplugged"
//   press CODE      send the input report with button code CODE (0 to 255): "sent CODE"
//   reports N [ms]  take N output reports within ms (5000) of real time: "received N", or
//                   "received K of N"
//   screens N [ms]  take reports until N end-of-screen packets have come since plugging, within
//                   ms (5000): the screen, or "timeout " and the screen
//   screen          the display as decoded so far (FormatScreen)
//   handles         the handles that the service holds open on the remote: "handles N"
//   quit            "bye"; the tool ends, unplugging the remote
// Anything else answers "error: " and why. Runs under the service's platform root with
// PLATFORM_HID=virtual.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hid/VirtualHidDevice.h"
#include "tools/virtual-remote/LcdModel.h"

// The remote as the virtual HID backend publishes it: its identifiers and report descriptor.
platform::VirtualHidDeviceDescription RemoteDeviceDescription();
// The input report that presses the button with this code.
std::vector<std::uint8_t> ButtonReport(std::uint8_t p_byCode);

// One thread uses it.
class VirtualRemote {
 public:
  std::string Command(std::string_view p_Line);
  bool Quit() const { return m_bQuit; }

 private:
  std::string Plug();
  std::string Unplug();
  std::string Press(int p_nCode);
  std::string TakeReports(int p_nCount, int p_nMilliseconds);
  std::string TakeScreens(int p_nCount, int p_nMilliseconds);
  // Takes one report into the model, waiting until the deadline.
  bool TakeReport(std::chrono::steady_clock::time_point p_Deadline);

  std::unique_ptr<platform::VirtualHidDevice> m_pDevice;
  LcdModel m_Model;
  bool m_bQuit = false;
};
