#pragma once

// What the person at the terminal sees and does once the system runs: the remote's display as
// the device shows it, the player application's line, a status line, and the keys that press
// the remote's buttons, plug and unplug it. Or, for a script, one command a line with the
// display printed after each.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tools/run-system/PlayerLine.h"
#include "tools/run-system/RemoteLink.h"
#include "tools/run-system/TrayLink.h"

// One thread, whose apartment is initialised, uses it. `p_nStop` is a descriptor that becomes
// readable when the run is to end (a signal).
class Console {
 public:
  Console(RemoteLink& p_Remote, std::uint32_t p_nSession, std::filesystem::path p_Root,
          int p_nStop)
      : m_Remote(p_Remote), m_nSession(p_nSession), m_Root(std::move(p_Root)), m_nStop(p_nStop) {}

  // The view on the terminal until the person quits or the stop descriptor fires.
  void RunTerminal();
  // Runs the commands: a button's word, "plug", "unplug", "wait MS", or a tray command's word
  // ("service-stop", ...); blank lines and lines that start with '#' are skipped. After each the
  // display and the player's line are printed; a tray command first waits (bounded) until the
  // service is in the state in which the menu offers it, and the tray's line is printed once the
  // icon shows its outcome. The first press after the remote is plugged in only wakes its
  // display, whose first page (the main menu) may come only once the session's player thread
  // has started: that page is waited for, bounded, before the display is printed. Stops
  // at the first command it does not know (false) or when the stop descriptor fires.
  bool RunScript(const std::vector<std::string>& p_Commands, std::ostream& p_Out);

 private:
  // The whole view.
  std::vector<std::string> View();
  // One line for each piece of the system whose state the view shows beside the display.
  std::vector<std::string> StatusLines();
  // Presses, plugs or unplugs for the key; false when the key ends the run.
  bool OnKey(const std::string& p_Key);
  void TogglePlug();
  bool StopRequested(int p_nMilliseconds) const;

  RemoteLink& m_Remote;
  const std::uint32_t m_nSession;
  const std::filesystem::path m_Root;
  const int m_nStop;
  PlayerLine m_Player;
  TrayLink m_Tray;
  std::string m_Status;  // the last thing the view did that has no place on the display
  // The script's next press is the first since the remote was plugged in: its answer is the page
  // that follows the display's waking.
  bool m_bFirstPress = true;
};
