#include "tray/tests/TraySystem.h"

#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/kernel/Root.h"
#include "platform/player/PlayerApplication.h"

namespace tray_test {
namespace {

using platform::testing::ChildProgram;

std::map<std::string, std::string> InSession(std::uint32_t p_nSession) {
  return {{"PLATFORM_SESSION", std::to_string(p_nSession)}};
}

std::optional<int> RunToEnd(std::vector<std::string> p_Words,
                            const std::map<std::string, std::string>& p_Changes = {}) {
  ChildProgram l_Program(std::move(p_Words), p_Changes);
  return l_Program.Wait(kPatience);
}

std::string g_PlatformControl;

}  // namespace

std::string Control(std::vector<std::string> p_Words) {
  p_Words.insert(p_Words.begin(), g_PlatformControl);
  ChildProgram l_Program(std::move(p_Words), {});
  l_Program.Wait(kPatience);
  return l_Program.Output();
}

TraySystem::TraySystem(BuildPrograms p_Programs) : m_Programs(std::move(p_Programs)) {
  g_PlatformControl = m_Programs.m_PlatformControl;
  // The server binds the player in real time: the service's binding retries a second apart.
  setenv("PLATFORM_TIME_SCALE", "1", 1);
  platform::SetTimeScale(1);
  const std::filesystem::path l_Data = platform::PlatformRoot() / "data";
  std::filesystem::create_directories(l_Data / "MediaPlayer");
  std::filesystem::copy_file(m_Programs.m_Library, l_Data / "MediaPlayer" / "library.json",
                             std::filesystem::copy_options::overwrite_existing);
  setenv("XDG_DATA_HOME", l_Data.c_str(), 1);

  const std::string l_Started = Control({"start", "--virtual-hid"});
  if (l_Started.find("ready") == std::string::npos) {
    m_Problem = std::string("the managers did not start: ").append(l_Started);
    return;
  }
  if (RunToEnd({m_Programs.m_Server, "-RegServer"}) != 0) {
    m_Problem = "the server did not register";
    return;
  }
  if (!platform::player::RegisterPlayerApplication(m_Programs.m_PlayerApplication)) {
    m_Problem = "the player application did not register";
    return;
  }
  const std::string l_Logon = Control({"logon", "tester", "--console"});
  std::istringstream l_Session(l_Logon);
  if (!(l_Session >> m_nSession)) {
    m_Problem = std::string("the logon failed: ").append(l_Logon);
    return;
  }
  m_bReady = RunToEnd({m_Programs.m_Service, "-Service"}) == 0;
  if (!m_bReady) m_Problem = "the service did not install";
}

TraySystem::~TraySystem() {
  Control({"shutdown"});
  RunToEnd({m_Programs.m_Server, "-UnregServer"});
}

std::uint32_t TraySystem::LogonAnother(const std::string& p_User) {
  std::istringstream l_Logon(Control({"logon", p_User}));
  std::uint32_t l_nSession = 0;
  l_Logon >> l_nSession;
  return l_nSession;
}

void TraySystem::StartService() const { Control({"start-service", "Tamsvard"}); }
void TraySystem::StopService() const { Control({"stop-service", "Tamsvard"}); }

std::string TraySystem::ServiceState() const {
  std::istringstream l_Lines(Control({"services"}));
  for (std::string l_Line; std::getline(l_Lines, l_Line);) {
    std::istringstream l_Words(l_Line);
    std::string l_Name;
    std::string l_State;
    if (l_Words >> l_Name >> l_State && l_Name == "Tamsvard") return l_State;
  }
  return {};
}

std::size_t TraySystem::ServiceStarts() const {
  const std::string l_Log = Control({"eventlog"});
  std::size_t l_nStarts = 0;
  for (std::size_t l_nAt = l_Log.find("Service started"); l_nAt != std::string::npos;
       l_nAt = l_Log.find("Service started", l_nAt + 1)) {
    ++l_nStarts;
  }
  return l_nStarts;
}

std::unique_ptr<ChildProgram> TraySystem::StartTray(
    std::uint32_t p_nSession, const std::map<std::string, std::string>& p_Changes) const {
  std::map<std::string, std::string> l_Changes = InSession(p_nSession);
  l_Changes.insert(p_Changes.begin(), p_Changes.end());
  return std::make_unique<ChildProgram>(std::vector<std::string>{m_Programs.m_Tray}, l_Changes);
}

std::optional<int> TraySystem::StopTrays(std::uint32_t p_nSession) const {
  return RunToEnd({m_Programs.m_Tray, "-Stop"}, InSession(p_nSession));
}

std::string TraySystem::WaitForIcon(std::uint32_t p_nIcon) const {
  std::string l_Line;
  Eventually([&] {
    std::istringstream l_Lines(Control({"icons"}));
    for (std::string l_Icon; std::getline(l_Lines, l_Icon);) {
      if (l_Icon.find(std::string(" icon ").append(std::to_string(p_nIcon)).append(" ")) != std::string::npos) {
        l_Line = l_Icon;
        return true;
      }
    }
    return false;
  });
  return l_Line;
}

std::string TraySystem::OpenMenu(const std::string& p_IconLine) const {
  Control({"click", HandleOfLineWith(p_IconLine, " "), "right"});
  std::string l_Menu;
  Eventually([&] {
    l_Menu = Control({"menus"});
    return !l_Menu.empty();
  });
  return l_Menu.substr(0, l_Menu.find('\n'));
}

bool TraySystem::Pick(const std::string& p_IconLine, unsigned p_nCommand) const {
  const std::string l_Menu = OpenMenu(p_IconLine);
  if (l_Menu.empty()) return false;
  Control({"pick", HandleOfLineWith(l_Menu, " "), std::to_string(p_nCommand)});
  return true;
}

std::string TraySystem::WindowsOfClass(const std::string& p_Class) const {
  std::istringstream l_Lines(Control({"windows"}));
  std::string l_Found;
  for (std::string l_Line; std::getline(l_Lines, l_Line);) {
    if (l_Line.find(std::string("class \"").append(p_Class).append("\"")) != std::string::npos) l_Found += l_Line + "\n";
  }
  return l_Found;
}

}  // namespace tray_test
