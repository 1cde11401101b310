#pragma once

// The whole system in the test's root, for the tray's and the proxy's tests: the session and
// service managers, the server and the player application registered, a user logged on at the
// console, and the service installed (started when a test asks). The control tool reads and
// clicks the tray's icon, menus and boxes. The test's thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/tests/ChildProgram.h"
#include "platform/kernel/tests/Eventually.h"

namespace tray_test {

inline constexpr auto kPatience = platform::testing::kProgramPatience;
using platform::testing::Eventually;
using platform::testing::HandleOfLineWith;

// Runs the control tool with these words to its end; what it printed.
std::string Control(std::vector<std::string> p_Words);

// The programs of one build and the tools the system needs.
struct BuildPrograms {
  std::string m_Tray;
  std::string m_Service;
  std::string m_Server;
  std::string m_PlatformControl;
  std::string m_PlayerApplication;
  std::string m_Library;
};

class TraySystem {
 public:
  explicit TraySystem(BuildPrograms p_Programs);
  TraySystem(const TraySystem&) = delete;
  TraySystem& operator=(const TraySystem&) = delete;
  ~TraySystem();

  // Whether every step of the set-up went well.
  bool Ready() const noexcept { return m_bReady; }
  // What went wrong when it is not ready.
  const std::string& Problem() const noexcept { return m_Problem; }
  std::uint32_t Session() const noexcept { return m_nSession; }
  // Logs another user on (not at the console); the new session.
  std::uint32_t LogonAnother(const std::string& p_User);

  void StartService() const;
  void StopService() const;
  // The service's state word in the control tool's list ("running", "stopped", ...).
  std::string ServiceState() const;
  // How often the service has started so far.
  std::size_t ServiceStarts() const;

  // A tray in the session with these variables added (PLATFORM_UI_LANGUAGE, ...).
  std::unique_ptr<platform::testing::ChildProgram> StartTray(
      std::uint32_t p_nSession, const std::map<std::string, std::string>& p_Changes = {}) const;
  // Runs the tray with "-Stop" in the session; its exit code.
  std::optional<int> StopTrays(std::uint32_t p_nSession) const;

  // The icon line of the session's tray once one shows `p_Icon` (202 running, 203 stopped);
  // empty when none does.
  std::string WaitForIcon(std::uint32_t p_nIcon) const;
  // Clicks the icon and gives the menu's line once it is shown; the menu waits for a pick.
  std::string OpenMenu(const std::string& p_IconLine) const;
  // Opens the menu and picks the command.
  bool Pick(const std::string& p_IconLine, unsigned p_nCommand) const;

  // The window lines of the class (as the control tool lists them).
  std::string WindowsOfClass(const std::string& p_Class) const;

 private:
  BuildPrograms m_Programs;
  bool m_bReady = false;
  std::string m_Problem;
  std::uint32_t m_nSession = 0;
};

}  // namespace tray_test
