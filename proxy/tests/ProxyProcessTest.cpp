// Drennick as its own process: started hidden by the second build's tray for its first request,
// found by its window class, carrying out the tray's requests; by itself, its about dialog by
// the accelerator, its menu's exit and its end through the terminate request.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/kernel/Event.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "proxy/ProxyResources.h"
#include "tray/TrayResources.h"
#include "tray/tests/TraySystem.h"

namespace {

using namespace tray_test;
using platform::testing::ChildProgram;

constexpr unsigned kRunning = IDI_SERVICE_RUNNING;
constexpr unsigned kStopped = IDI_SERVICE_STOPPED;

class ProxyProcess : public ::testing::Test {
 protected:
  ProxyProcess()
      : m_System({PESKARIN, TAMSVARD, RUVELLO, PLATFORMCTL, WMPLAYER, PLAYER_SAMPLE_LIBRARY}) {}
  void SetUp() override { ASSERT_TRUE(m_System.Ready()) << m_System.Problem(); }

  // Drennick's window line, once there is one.
  std::string WaitForProxyWindow() const {
    std::string l_Window;
    Eventually([&] {
      l_Window = m_System.WindowsOfClass("DRENNICK");
      return !l_Window.empty();
    });
    return l_Window;
  }

  TraySystem m_System;
};

TEST_F(ProxyProcess, TheTrayStartsDrennickForItsFirstRequestAndDrennickCarriesEachOut) {
  auto l_pTray = m_System.StartTray(m_System.Session());
  ASSERT_TRUE(m_System.WindowsOfClass("DRENNICK").empty());
  // Drennick has just started when the request is set: the request waits for it.
  ASSERT_TRUE(m_System.Pick(m_System.WaitForIcon(kStopped), ID_SERVICE_START));
  const std::string l_Window = WaitForProxyWindow();
  EXPECT_NE(l_Window.find("title \"Drennick\""), std::string::npos) << l_Window;
  ASSERT_FALSE(m_System.WaitForIcon(kRunning).empty());
  EXPECT_EQ(m_System.ServiceState(), "running");
  ASSERT_TRUE(Eventually([this] { return !m_System.WindowsOfClass("WMPlayerApp").empty(); }));

  const std::size_t l_nStarts = m_System.ServiceStarts();
  ASSERT_TRUE(m_System.Pick(m_System.WaitForIcon(kRunning), ID_SERVICE_RESTART));
  EXPECT_TRUE(Eventually([&] { return m_System.ServiceStarts() == l_nStarts + 1; }));
  ASSERT_FALSE(m_System.WaitForIcon(kRunning).empty());
  EXPECT_FALSE(m_System.WindowsOfClass("WMPlayerApp").empty()) << "a restart leaves the player";

  ASSERT_TRUE(m_System.Pick(m_System.WaitForIcon(kRunning), ID_SERVICE_STOP));
  EXPECT_FALSE(m_System.WaitForIcon(kStopped).empty());
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "stopped"; }));
  EXPECT_TRUE(Eventually([this] { return m_System.WindowsOfClass("WMPlayerApp").empty(); }));
  EXPECT_EQ(m_System.WindowsOfClass("DRENNICK"), l_Window) << "one Drennick serves every request";

  // "-Stop" ends the tray and Drennick.
  EXPECT_EQ(m_System.StopTrays(m_System.Session()), 0);
  EXPECT_EQ(l_pTray->Wait(kPatience), kExitShutdownRequested);
  EXPECT_TRUE(Eventually([this] { return m_System.WindowsOfClass("DRENNICK").empty(); }));
}

// Drennick in the session of a user with an account of the machine: that user may set its
// requests; another user who is not the administrator may not even open them.
TEST_F(ProxyProcess, OnlyTheSessionsUserMaySetItsRequests) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run helpers as other users";
  const std::uint32_t l_nSession = m_System.LogonAnother("nobody");
  ASSERT_NE(l_nSession, 0u);
  ASSERT_EQ(chmod(platform::PlatformRoot().c_str(), 0755), 0);
  const std::map<std::string, std::string> l_InSession{
      {"PLATFORM_SESSION", std::to_string(l_nSession)}};
  ChildProgram l_Proxy({DRENNICK}, l_InSession);
  ASSERT_FALSE(WaitForProxyWindow().empty());

  platform::testing::HelperProcess l_User(platform::testing::RunAs{65534}, l_InSession);
  platform::testing::HelperProcess l_Other(platform::testing::RunAs{65533}, l_InSession);
  const std::string l_Denied = std::string("error ").append(std::to_string(ERROR_ACCESS_DENIED));
  EXPECT_EQ(l_Other.Command("open-event WMP_START_SERVICE 2"), l_Denied);
  EXPECT_EQ(l_Other.Command("event WMP_PROXY_TERMINATE manual reset"), l_Denied);
  EXPECT_EQ(l_User.Command("open-event WMP_START_SERVICE 2"), "existed 0");
  EXPECT_EQ(l_User.Command("set 0"), "ok");
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "running"; }));
  EXPECT_EQ(l_User.Command("open-event WMP_PROXY_TERMINATE 2"), "existed 1");
  EXPECT_EQ(l_User.Command("set 1"), "ok");
  EXPECT_EQ(l_Proxy.Wait(kPatience), 0);
  m_System.StopService();
}

// Drennick started by hand in the test's own session, where the test sets its events.
class ProxyByItself : public ProxyProcess {
 protected:
  void SetUp() override {
    ProxyProcess::SetUp();
    m_pProxy = std::make_unique<ChildProgram>(std::vector<std::string>{DRENNICK},
                                              std::map<std::string, std::string>{});
    m_Window = HandleOfLineWith(WaitForProxyWindow(), " ");
    ASSERT_FALSE(m_Window.empty());
  }
  static void Request(const char16_t* p_Name) {
    platform::Event::Create(platform::EventReset::Manual, false, p_Name).handle.Set();
  }

  std::unique_ptr<ChildProgram> m_pProxy;
  std::string m_Window;
};

TEST_F(ProxyByItself, ItCarriesOutTheRequestEventsAndEndsOnTheTerminateRequest) {
  Request(u"WMP_START_SERVICE");
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "running"; }));
  Request(u"WMP_STOP_SERVICE");
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "stopped"; }));
  Request(u"WMP_PROXY_TERMINATE");
  EXPECT_EQ(m_pProxy->Wait(kPatience), 0);
}

TEST_F(ProxyByItself, ItsMenuStartsTheServiceAndAltQuestionMarkShowsTheAboutDialog) {
  Control({"post", m_Window, std::to_string(WM_COMMAND), std::to_string(IDM_START)});
  EXPECT_TRUE(Eventually([this] { return m_System.ServiceState() == "running"; }));

  Control({"post", m_Window, std::to_string(WM_SYSCHAR), std::to_string(u'?')});
  std::string l_About;
  ASSERT_TRUE(Eventually([&] {
    l_About = m_System.WindowsOfClass("#32770");
    return l_About.find("title \"About\"") != std::string::npos;
  }));
  EXPECT_NE(Control({"windows"}).find("\"Drennick Version 1.48\""), std::string::npos);
  Control({"press", HandleOfLineWith(l_About, "title \"About\""), "1"});
  EXPECT_TRUE(Eventually([this] { return m_System.WindowsOfClass("#32770").empty(); }));

  Control({"post", m_Window, std::to_string(WM_COMMAND), std::to_string(IDM_EXIT)});
  EXPECT_EQ(m_pProxy->Wait(kPatience), 0);
  m_System.StopService();
}

TEST_F(ProxyByItself, ClosingItsWindowEndsItsEventThreadAndTheProgram) {
  Control({"close", m_Window});
  EXPECT_EQ(m_pProxy->Wait(kPatience), 0);
}

}  // namespace
