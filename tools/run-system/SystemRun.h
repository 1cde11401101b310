#pragma once

// The whole system on this machine, started as its installer and a user would: a fresh platform
// root, its session manager and service manager, the programs registered, a user logged on at
// the console, and the service installed and started. The service then starts the rest itself
// (the server by the session moniker, the player application by the remote control, the hook
// library by the message hook). Stop ends everything in turn and then, by process id, whatever
// of the root still runs, and removes the root.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/kernel/Posix.h"
#include "platform/kernel/ProcessIdentity.h"

struct SystemPrograms {
  std::filesystem::path m_Build;  // the folder of one build's programs: Tamsvard, Ruvello, Peskarin
  std::filesystem::path m_PlatformControl;
  std::filesystem::path m_PlayerApplication;
  std::filesystem::path m_Library;  // the sample library that the user gets
  std::string m_User;
};

// One thread uses it.
class SystemRun {
 public:
  explicit SystemRun(SystemPrograms p_Programs) : m_Programs(std::move(p_Programs)) {}
  SystemRun(const SystemRun&) = delete;
  SystemRun& operator=(const SystemRun&) = delete;
  ~SystemRun() { Stop(); }

  // Runs the steps, telling each on `p_Progress`; false, after saying why, when one fails (what
  // was started stays until Stop).
  bool Start(std::ostream& p_Progress);
  void Stop();

  const std::filesystem::path& Root() const { return m_Root; }
  const SystemPrograms& Programs() const { return m_Programs; }
  // The user's session, once logged on.
  std::uint32_t Session() const { return m_nSession; }
  // Runs a program of the system to its end in the session (the services' by default); its exit
  // code, none when it did not start, end in time or exit.
  std::optional<int> RunToEnd(std::vector<std::string> p_Words, std::uint32_t p_nSession = 0);

 private:
  // A manager of the root, started as this program's child.
  struct Manager {
    platform::detail::ProcessIdentity m_Identity;
    platform::detail::UniqueFd m_Process;  // readable once it has ended
  };

  bool MakeRoot(std::ostream& p_Progress);
  bool StartManager(const char* p_pCommand, std::ostream& p_Progress);
  // Logs the user on; the session's id.
  std::optional<std::uint32_t> Logon(const std::string& p_User, bool p_bConsole);
  bool StartTray(std::ostream& p_Progress);
  void StopManagers();
  void EndWhatIsLeft();

  SystemPrograms m_Programs;
  std::filesystem::path m_Root;
  std::vector<Manager> m_Managers;
  std::uint32_t m_nSession = 0;
};
