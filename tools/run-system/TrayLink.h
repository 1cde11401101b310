#pragma once

// The tray of the user's session as the control tool sees it: its icon's state, the menu it
// offers in that state, and the menu's Start, Stop and Restart, picked by clicking the icon as a
// person would. One thread uses it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/user/UserRegistry.h"

// The tray's service commands as a person names them: the script's word, the terminal's key,
// the menu's command, and whether the service runs when the menu offers it and once it is done.
struct TrayCommand {
  std::string_view m_Word;
  std::string_view m_Key;
  std::uint32_t m_nCommand;
  bool m_bRunsBefore;
  bool m_bRunsAfter;
};
std::span<const TrayCommand> TrayCommands();
std::optional<TrayCommand> TrayCommandNamed(std::string_view p_Word);

class TrayLink {
 public:
  // The tray's line, e.g.
  //   tray: service running; menu: Restart, Stop, Help..., About...
  //   tray: not running
  // The menu is read again (opened and closed) whenever the icon's state changed.
  std::string Line();
  // Opens the menu and picks the command when the menu offers it, else closes it again; what
  // happened, for the status line.
  std::string Choose(std::uint32_t p_nCommand, const std::string& p_Word);
  // Waits up to the real time given until the icon shows the service `p_bRunning`.
  bool WaitForState(bool p_bRunning, int p_nMilliseconds) const;

  struct Outcome {
    std::string m_Done;     // what Choose said
    bool m_bShown = false;  // the icon shows the command's outcome
  };
  // Waits for the state in which the menu offers the command, picks it and waits until the icon
  // shows the outcome (a restart's stop on the way first); each wait up to the real time given.
  Outcome CarryOut(const TrayCommand& p_Command, int p_nMilliseconds);

 private:
  // The tray's icon: the one whose owner is the tray's hidden dialog.
  static std::optional<platform::detail::ShellRecord> Icon();
  // Clicks the icon and gives the menu once it is shown.
  static std::optional<platform::detail::ShellRecord> OpenMenu(
      const platform::detail::ShellRecord& p_Icon);

  std::uint32_t m_nIcon = 0;  // the icon whose menu m_Menu lists
  std::string m_Menu;
};
