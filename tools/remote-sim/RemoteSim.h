#pragma once

// The tool at the other end of the service's device simulator. It answers each command with one
// line:
//   power-on [ms]   set the simulated power-on and connect to the page pipe, waiting up to ms
//                   (5000) of real time for the service to open it: "powered on" or "no pipe";
//                   once connected, the tool keeps its pipe
//   power-off       set the simulated power-off and close the pipe: "powered off"
//   press BUTTON    up, down, left, right, ok, play, pause, stop, prev, next or home:
//                   "pressed BUTTON"
//   read [ms]       the next page within ms (5000) of real time, as FormatPage prints it, or
//                   "no page", "not powered on", "disconnected"
//   quit            "bye"; the tool ends
// Anything else answers "error: " and why.

#include <array>
#include <string>
#include <string_view>

#include "common/DeviceData.h"
#include "platform/ipc/Pipe.h"
#include "platform/kernel/Event.h"
#include "service/device/SimulatorProtocol.h"

// One line: the title, the lines with the cursor's row marked '>', the position and total, and
// the screen type, update mode and play state, e.g.
//   page "Music" | "Playlists" | >"Albums" | position 1 of 7 | screen 12 | mode 6 | play 0
std::string FormatPage(const CDeviceData& p_Page);

// Holds the simulator's events open while it lives, so that no press is lost with its event.
// One thread uses it.
class RemoteSim {
 public:
  RemoteSim();

  std::string Command(std::string_view p_Line);
  bool Quit() const { return m_bQuit; }

 private:
  std::string PowerOn(int p_nMilliseconds);
  std::string PowerOff();
  std::string Press(std::string_view p_Button);
  std::string Read(int p_nMilliseconds);

  std::array<platform::Event, kSimulatedButtonCount> m_Buttons;
  platform::Event m_PowerOff;
  platform::PipeConnection m_Pipe;
  bool m_bQuit = false;
};
