#include "tools/run-system/tests/SystemTestSupport.h"

#include <poll.h>

#include <algorithm>
#include <sstream>

#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/sessions/RootProcesses.h"
#include "tools/run-system/BuiltPrograms.h"
#include "tools/run-system/RemoteButtons.h"

namespace {

constexpr int kWakeMilliseconds = 100;

}  // namespace

std::string Drawn(const LcdScreen& p_Screen) {
  std::string l_Text;
  for (const std::string& l_Line : DrawLcd(p_Screen)) {
    l_Text += l_Line;
    l_Text += "\n";
  }
  return l_Text;
}

Shows MenuPage(std::string p_Title, std::vector<std::string> p_Rows, std::optional<int> p_nCursor,
               bool p_bAllRows) {
  return [=](const LcdScreen& p_Screen) {
    if (p_Screen.m_Title != p_Title || (p_nCursor && p_Screen.m_nCursorRow != *p_nCursor) ||
        p_Screen.m_Rows.size() < p_Rows.size() ||
        (p_bAllRows && p_Screen.m_Rows.size() != p_Rows.size())) {
      return false;
    }
    return std::equal(p_Rows.begin(), p_Rows.end(), p_Screen.m_Rows.begin());
  };
}

Shows RootMenu(int p_nCursor) { return MenuPage("Music Library", kCategories, p_nCursor, true); }

Shows PlayerPage(int p_nIcon) {
  return [=](const LcdScreen& p_Screen) {
    return p_Screen.m_bTimesShown && p_Screen.m_nPlayIcon == p_nIcon &&
           p_Screen.m_nDuration.value_or(0) > 0;
  };
}

std::optional<platform::detail::ProcessIdentity> RunningProgram(const std::string& p_Image,
                                                                std::uint32_t p_nSession) {
  for (const platform::detail::RootProcess& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.sessionId == p_nSession && platform::ToUtf8(l_Process.imageName) == p_Image) {
      return l_Process.identity;
    }
  }
  return std::nullopt;
}

std::string BuildName(const ::testing::TestParamInfo<bool>& p_Info) {
  return p_Info.param ? "Second" : "First";
}

void SystemFixture::SetUp() {
  static bool s_bRootTaken = false;
  if (s_bRootTaken) {
    GTEST_SKIP() << "one system per process: run each test on its own (ctest, --gtest_filter)";
  }
  s_bRootTaken = true;
  platform::SetTimeScale(1);
  m_pSystem = std::make_unique<SystemRun>(BuiltPrograms(GetParam(), "mara"));
  std::ostringstream l_Progress;
  ASSERT_TRUE(m_pSystem->Start(l_Progress)) << l_Progress.str();
  m_pApartment = std::make_unique<ApartmentScope>();
  ASSERT_TRUE(m_Remote.Plug());
}

void SystemFixture::TearDown() {
  m_Remote.Unplug();
  m_Players.clear();
  m_pApartment.reset();
  if (m_pSystem) m_pSystem->Stop();
}

std::optional<LcdScreen> SystemFixture::PageAfter(int p_nScreens, const Shows& p_Shows,
                                                  std::chrono::milliseconds p_Limit,
                                                  LcdScreen& p_Last) {
  const bool l_bShown = Eventually([&] {
    pollfd l_Wake{m_Remote.WakeDescriptor(), POLLIN, 0};
    poll(&l_Wake, 1, kWakeMilliseconds);
    m_Remote.TakeWake();
    p_Last = m_Remote.Screen();
    return p_Last.m_nScreensEnded > p_nScreens && p_Shows(p_Last);
  }, p_Limit);
  return l_bShown ? std::optional(p_Last) : std::nullopt;
}

LcdScreen SystemFixture::Await(const std::string& p_What, const std::function<void()>& p_Act,
                               const Shows& p_Shows) {
  const int l_nScreens = m_Remote.Screen().m_nScreensEnded;
  p_Act();
  LcdScreen l_Screen;
  EXPECT_TRUE(PageAfter(l_nScreens, p_Shows, kPatience, l_Screen))
      << "after " << p_What << " the display shows\n" << Drawn(l_Screen);
  return l_Screen;
}

LcdScreen SystemFixture::Press(const std::string& p_Word, const Shows& p_Shows) {
  const std::optional<RemoteButton> l_Button = ButtonNamed(p_Word);
  EXPECT_TRUE(l_Button) << p_Word;
  return Await(p_Word, [&] {
    EXPECT_TRUE(l_Button && m_Remote.Press(static_cast<std::uint8_t>(l_Button->m_nCode)));
  }, p_Shows);
}

std::string SystemFixture::PlayerState(std::uint32_t p_nSession) {
  return m_Players[p_nSession].Read(p_nSession);
}

std::optional<int> SystemFixture::Control(std::vector<std::string> p_Words) {
  p_Words.insert(p_Words.begin(), m_pSystem->Programs().m_PlatformControl.string());
  return m_pSystem->RunToEnd(std::move(p_Words), Console());
}

std::optional<platform::detail::ProcessIdentity> SystemFixture::PlayerApplication() const {
  return RunningProgram("wmplayer.exe", Console());
}
