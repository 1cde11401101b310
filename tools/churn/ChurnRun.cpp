#include "tools/churn/ChurnRun.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <thread>

#include "platform/base/Text.h"
#include "platform/kernel/Wait.h"
#include "platform/sessions/RootProcesses.h"
#include "platform/sessions/SessionManager.h"
#include "tools/run-system/RemoteButtons.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::u16string_view kServerImage = u"Ruvello.exe";
// The user of the second session.
constexpr const char* kSecondUser = "churn-second";

// Real-time bounds: the machine is loaded and the sanitizer build is slow, so each is generous.
constexpr int kAnswerMilliseconds = 5000;     // the first report after a press
constexpr auto kPageBound = 30s;              // a checked page
constexpr int kServingMilliseconds = 120000;  // the session thread's start-up after a fault
constexpr auto kProcessEndBound = 60s;        // processes of a logged-off session, a killed one
constexpr auto kSettleBound = 120s;           // the census back to its baseline
constexpr auto kLook = 100ms;

// What the random buttons press: the menu and the transport, not the display's own power,
// sleep, reset and init, which blank it or start it over.
constexpr const char* kRandomButtons[] = {"up",     "down",       "left",    "right",     "ok",
                                          "pageup", "pagedown",   "pagesup", "pagesdown", "home",
                                          "back",   "nowplaying", "play",    "pause",     "stop",
                                          "prev",   "next",       "rewind",  "forward"};

std::uint8_t CodeOf(const char* p_pWord) {
  return static_cast<std::uint8_t>(ButtonNamed(p_pWord)->m_nCode);
}

std::size_t Index(FaultKind p_Kind) { return static_cast<std::size_t>(p_Kind); }

}  // namespace

ChurnPlan LongPlan(std::uint32_t p_nSeed, std::chrono::minutes p_Limit) {
  ChurnPlan l_Plan;
  l_Plan.m_nSeed = p_nSeed;
  l_Plan.m_Limit = p_Limit;
  l_Plan.m_Faults[Index(FaultKind::SecondSession)] = 200;
  l_Plan.m_Faults[Index(FaultKind::Unplug)] = 100;
  l_Plan.m_Faults[Index(FaultKind::PlayerKilled)] = 20;
  l_Plan.m_Faults[Index(FaultKind::ServerKilled)] = 20;
  l_Plan.m_Faults[Index(FaultKind::ServiceRestarted)] = 20;
  return l_Plan;
}

ChurnPlan ShortPlan(std::uint32_t p_nSeed) {
  ChurnPlan l_Plan;
  l_Plan.m_nSeed = p_nSeed;
  l_Plan.m_Limit = std::chrono::minutes(6);
  l_Plan.m_Faults[Index(FaultKind::SecondSession)] = 3;
  l_Plan.m_Faults[Index(FaultKind::Unplug)] = 3;
  l_Plan.m_Faults[Index(FaultKind::PlayerKilled)] = 2;
  l_Plan.m_Faults[Index(FaultKind::ServerKilled)] = 2;
  l_Plan.m_Faults[Index(FaultKind::ServiceRestarted)] = 2;
  l_Plan.m_nMostButtonsBetween = 4;
  return l_Plan;
}

const char* FaultName(FaultKind p_Kind) {
  switch (p_Kind) {
    case FaultKind::SecondSession:
      return "second-session logon/logoff";
    case FaultKind::Unplug:
      return "unplug/replug while drawing";
    case FaultKind::PlayerKilled:
      return "player application killed";
    case FaultKind::ServerKilled:
      return "server killed";
    case FaultKind::ServiceRestarted:
      return "service restarted";
    case FaultKind::Count:
      break;
  }
  return "?";
}

void PrintFigures(const ChurnFigures& p_Figures, std::ostream& p_Out) {
  p_Out << "faults injected:\n";
  for (std::size_t l_nKind = 0; l_nKind < p_Figures.m_Injected.size(); ++l_nKind) {
    p_Out << "  " << FaultName(static_cast<FaultKind>(l_nKind)) << ": "
          << p_Figures.m_Injected[l_nKind] << "\n";
  }
  p_Out << "faults not recovered from: " << p_Figures.m_nFaultsFailed << "\n"
        << "buttons pressed: " << p_Figures.m_nButtons << " (" << p_Figures.m_nUnanswered
        << " drew nothing)\n"
        << "pages checked: " << p_Figures.m_nPagesChecked << "\n"
        << "pages lost: " << p_Figures.m_nPagesLost << "\n"
        << "leaks found: " << p_Figures.m_nLeaks << "\n";
  if (p_Figures.m_bStopped) {
    p_Out << "stopped by a signal\n";
  }
  if (p_Figures.m_bTimeRanOut) {
    p_Out << "the time bound ended the run before every fault of the plan\n";
  }
}

ShownPage PageOf(const LcdScreen& p_Screen) {
  return {p_Screen.m_Title, p_Screen.m_Rows, p_Screen.m_nCursorRow};
}

std::string Describe(const ShownPage& p_Page) {
  std::string l_Text = "\"";
  l_Text += p_Page.m_Title;
  l_Text += "\"";
  for (std::size_t l_nRow = 0; l_nRow < p_Page.m_Rows.size(); ++l_nRow) {
    l_Text += static_cast<int>(l_nRow) == p_Page.m_nCursorRow ? " >\"" : " \"";
    l_Text += p_Page.m_Rows[l_nRow];
    l_Text += "\"";
  }
  return l_Text;
}

ChurnRun::ChurnRun(SystemRun& p_System, RemoteLink& p_Remote, const ChurnPlan& p_Plan,
                   std::filesystem::path p_PlayerImage, std::ostream& p_Log, int p_nStop)
    : m_System(p_System),
      m_Remote(p_Remote),
      m_Plan(p_Plan),
      m_PlayerImage(p_PlayerImage.filename().string() + ".exe"),
      m_Log(p_Log),
      m_nStop(p_nStop),
      m_Random(p_Plan.m_nSeed) {}

bool ChurnRun::PressAndSettle(const char* p_pWord) {
  const std::uint64_t l_nBefore = m_Remote.Reports();
  ++m_Figures.m_nButtons;
  if (!m_Remote.Press(CodeOf(p_pWord))) {
    return false;
  }
  m_Remote.Settle(l_nBefore, kAnswerMilliseconds, -1);
  return m_Remote.Reports() != l_nBefore;
}

void ChurnRun::RandomButtons(int p_nCount) {
  std::uniform_int_distribution<std::size_t> l_Pick(0, std::size(kRandomButtons) - 1);
  for (int l_nPress = 0; l_nPress < p_nCount; ++l_nPress) {
    if (!PressAndSettle(kRandomButtons[l_Pick(m_Random)])) {
      ++m_Figures.m_nUnanswered;
    }
  }
}

bool ChurnRun::WaitUntilRemoteOpen() {
  // The device input and output threads each keep a handle open.
  for (const auto l_By = Clock::now() + std::chrono::milliseconds(kServingMilliseconds);
       Clock::now() < l_By; std::this_thread::sleep_for(kLook)) {
    if (m_Remote.OpenHandles() >= 2) {
      return true;
    }
  }
  m_Log << "the service does not open the remote\n";
  return false;
}

bool ChurnRun::Prepare() {
  // The service may still be starting for the console session: the tray shows it running once
  // the session's thread has started, and the first page follows that.
  if (!m_Tray.WaitForState(true, kServingMilliseconds)) {
    m_Log << "the tray does not show the service running\n";
    return false;
  }
  if (!WaitUntilRemoteOpen()) {
    return false;
  }
  // The first press wakes the display; the menu is as new.
  PressAndSettle("home");
  ShownPage* const l_pRecorded[] = {&m_MainMenu, &m_MainMenuDown, &m_EntryList};
  const char* const l_pPath[] = {"home", "down", "right"};
  for (std::size_t l_nStep = 0; l_nStep < std::size(l_pPath); ++l_nStep) {
    if (!PressAndSettle(l_pPath[l_nStep])) {
      m_Log << "the display does not answer " << l_pPath[l_nStep] << "\n";
      return false;
    }
    *l_pRecorded[l_nStep] = PageOf(m_Remote.Screen());
    m_Log << "check page after " << l_pPath[l_nStep] << ": " << Describe(*l_pRecorded[l_nStep])
          << "\n";
  }
  if (m_MainMenu.m_nCursorRow != 0 || m_EntryList.m_nCursorRow != 0 ||
      m_MainMenuDown.m_nCursorRow != 1 || m_MainMenuDown.m_Rows != m_MainMenu.m_Rows) {
    m_Log << "the menu was not as new before any fault\n";
    return false;
  }
  return true;
}

void ChurnRun::Steady() {
  // What played has told the service of its state (the player's connection for its events is
  // made when it first has one to send); then nothing plays and the main menu shows.
  PressAndSettle("play");
  PressAndSettle("stop");
  PressAndSettle("home");
  std::this_thread::sleep_for(2s);
}

bool ChurnRun::TakeBaseline() {
  Steady();
  m_Baseline = TakeResourceCensus();
  m_Log << "baseline: " << m_Baseline.m_nObjects << " table objects, " << m_Baseline.m_nHandles
        << " handles, " << m_Baseline.m_Programs.size() << " programs\n";
  for (const std::string& l_Fault : m_Baseline.m_TableFaults) {
    m_Log << "table fault at the baseline: " << l_Fault << "\n";
  }
  return m_Baseline.m_TableFaults.empty();
}

bool ChurnRun::CycleSecondSession() {
  std::optional<platform::SessionControl> l_Control = platform::SessionControl::Connect();
  if (!l_Control) {
    m_Log << "the session manager does not answer\n";
    return false;
  }
  const platform::SessionControl::Result l_Logon = l_Control->Logon(kSecondUser, false);
  if (l_Logon.error != 0) {
    m_Log << "the logon of a second session fails with " << l_Logon.error << "\n";
    return false;
  }
  const std::uint32_t l_nSession = static_cast<std::uint32_t>(std::stoul(l_Logon.value));
  // The first session browses while the second starts up.
  RandomButtons(std::uniform_int_distribution<int>(0, m_Plan.m_nMostButtonsBetween)(m_Random));
  if (const platform::SessionControl::Result l_Logoff = l_Control->Logoff(l_nSession);
      l_Logoff.error != 0) {
    m_Log << "the logoff of session " << l_nSession << " fails with " << l_Logoff.error << "\n";
    return false;
  }
  std::vector<platform::detail::RootProcess> l_Left;
  for (const auto l_By = Clock::now() + kProcessEndBound; Clock::now() < l_By;
       std::this_thread::sleep_for(kLook)) {
    l_Left = platform::detail::ListRootProcesses();
    std::erase_if(l_Left, [l_nSession](const platform::detail::RootProcess& p_Process) {
      return p_Process.sessionId != l_nSession;
    });
    if (l_Left.empty()) {
      return true;
    }
  }
  m_Log << "processes of session " << l_nSession << " outlive its logoff:";
  for (const platform::detail::RootProcess& l_Process : l_Left) {
    m_Log << " " << platform::ToUtf8(l_Process.imageName) << " " << l_Process.identity.pid;
  }
  m_Log << "\n";
  return false;
}

bool ChurnRun::UnplugWhileDrawing() {
  std::uniform_int_distribution<std::size_t> l_Pick(0, std::size(kRandomButtons) - 1);
  const std::uint64_t l_nBefore = m_Remote.Reports();
  ++m_Figures.m_nButtons;
  m_Remote.Press(CodeOf(kRandomButtons[l_Pick(m_Random)]));
  // Out once the page has begun to arrive, or after the time it would have taken.
  for (const auto l_By = Clock::now() + std::chrono::milliseconds(kAnswerMilliseconds);
       m_Remote.Reports() == l_nBefore && Clock::now() < l_By;) {
    std::this_thread::sleep_for(1ms);
  }
  m_Remote.Unplug();
  std::this_thread::sleep_for(
      std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 200)(m_Random)));
  if (!m_Remote.Plug()) {
    m_Log << "the remote cannot be plugged in again\n";
    return false;
  }
  return WaitUntilRemoteOpen();
}

bool ChurnRun::KillInConsoleSession(const std::string& p_Image) {
  const std::u16string l_Image = platform::FromUtf8(p_Image);
  std::vector<platform::detail::ProcessIdentity> l_Victims;
  for (const platform::detail::RootProcess& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.sessionId == m_System.Session() && l_Process.imageName == l_Image) {
      l_Victims.push_back(l_Process.identity);
    }
  }
  if (l_Victims.empty()) {
    m_Log << "no " << p_Image << " runs in the console session\n";
    return false;
  }
  for (const platform::detail::ProcessIdentity& l_Victim : l_Victims) {
    // Only while the id still names that process.
    if (const std::optional<platform::detail::RootProcess> l_Now =
            platform::detail::FindRootProcess(l_Victim.pid);
        l_Now && l_Now->identity == l_Victim) {
      kill(l_Victim.pid, SIGKILL);
    }
  }
  for (const auto l_By = Clock::now() + kProcessEndBound; Clock::now() < l_By;
       std::this_thread::sleep_for(kLook)) {
    if (std::none_of(l_Victims.begin(), l_Victims.end(),
                     [](const platform::detail::ProcessIdentity& p_Victim) {
                       const std::optional<platform::detail::RootProcess> l_Now =
                           platform::detail::FindRootProcess(p_Victim.pid);
                       return l_Now && l_Now->identity == p_Victim;
                     })) {
      return true;
    }
  }
  m_Log << p_Image << " outlives its kill\n";
  return false;
}

bool ChurnRun::RestartAndWait() {
  // The tray shows the service running again once the console session's thread has started.
  const TrayLink::Outcome l_Restart =
      m_Tray.CarryOut(*TrayCommandNamed("service-restart"), kServingMilliseconds);
  if (!l_Restart.m_bShown) {
    m_Log << "the restart through the tray (" << l_Restart.m_Done
          << ") does not show the service running again\n";
    return false;
  }
  return WaitUntilRemoteOpen();
}

bool ChurnRun::Inject(FaultKind p_Kind) {
  switch (p_Kind) {
    case FaultKind::SecondSession:
      return CycleSecondSession();
    case FaultKind::Unplug:
      return UnplugWhileDrawing();
    case FaultKind::PlayerKilled:
      // Nothing starts a player again by itself: the session thread's next start-up, after a
      // restart from the tray, has the server start one.
      return KillInConsoleSession(m_PlayerImage) && RestartAndWait();
    case FaultKind::ServerKilled:
      return KillInConsoleSession(platform::ToUtf8(kServerImage)) && RestartAndWait();
    case FaultKind::ServiceRestarted:
      return RestartAndWait();
    case FaultKind::Count:
      break;
  }
  return false;
}

bool ChurnRun::PageArrives(const char* p_pWord, const std::function<bool(const ShownPage&)>& p_Fits,
                           const std::string& p_Expected) {
  const int l_nScreens = m_Remote.Screen().m_nScreensEnded;
  ++m_Figures.m_nButtons;
  ++m_Figures.m_nPagesChecked;
  m_Remote.Press(CodeOf(p_pWord));
  for (const auto l_By = Clock::now() + kPageBound; Clock::now() < l_By;) {
    const LcdScreen l_Screen = m_Remote.Screen();
    if (l_Screen.m_nScreensEnded > l_nScreens && p_Fits(PageOf(l_Screen))) {
      // The next press meets a quiet display.
      m_Remote.Settle(m_Remote.Reports(), 0, -1);
      return true;
    }
    pollfd l_Wake{m_Remote.WakeDescriptor(), POLLIN, 0};
    poll(&l_Wake, 1, static_cast<int>(kLook / 1ms));
    m_Remote.TakeWake();
  }
  ++m_Figures.m_nPagesLost;
  m_Log << "page lost after " << p_pWord << ": expected " << p_Expected << ", shown "
        << Describe(PageOf(m_Remote.Screen())) << "\n";
  return false;
}

bool ChurnRun::UpToTop(const ShownPage& p_Top) {
  // Up moves the cursor a row up, or at the top row scrolls the list a line down; a list
  // never needs more presses than it has entries, and the sample's lists are short.
  constexpr int kMostPresses = 200;
  for (int l_nPress = 0; l_nPress < kMostPresses; ++l_nPress) {
    const ShownPage l_Shown = PageOf(m_Remote.Screen());
    if (l_Shown == p_Top) {
      return true;
    }
    if (l_Shown.m_nCursorRow > 0) {
      ShownPage l_Next = l_Shown;
      --l_Next.m_nCursorRow;
      if (!PageArrives(
              "up", [&l_Next](const ShownPage& p_Page) { return p_Page == l_Next; },
              Describe(l_Next))) {
        return false;
      }
      continue;
    }
    const auto l_Scrolled = [&l_Shown](const ShownPage& p_Page) {
      return p_Page.m_Title == l_Shown.m_Title && p_Page.m_nCursorRow == 0 &&
             p_Page.m_Rows.size() == l_Shown.m_Rows.size() && !p_Page.m_Rows.empty() &&
             std::equal(l_Shown.m_Rows.begin(), l_Shown.m_Rows.end() - 1,
                        p_Page.m_Rows.begin() + 1);
    };
    if (!PageArrives("up", l_Scrolled, Describe(l_Shown) + " a line further down")) {
      return false;
    }
  }
  ++m_Figures.m_nPagesLost;
  m_Log << "Up does not reach " << Describe(p_Top) << "\n";
  return false;
}

void ChurnRun::CheckPages() {
  // A stop's automatic return to the main menu comes first, not in the middle of the path.
  PressAndSettle("stop");
  std::this_thread::sleep_for(1s);
  m_Remote.Settle(m_Remote.Reports(), 0, -1);
  const ShownPage& l_Menu = m_MainMenu;
  const bool l_bWhole =
      PageArrives(
          "home",
          [&l_Menu](const ShownPage& p_Page) {
            return p_Page.m_Title == l_Menu.m_Title && p_Page.m_Rows == l_Menu.m_Rows;
          },
          Describe(m_MainMenu) + " with the cursor anywhere") &&
      UpToTop(m_MainMenu) &&
      PageArrives(
          "down", [this](const ShownPage& p_Page) { return p_Page == m_MainMenuDown; },
          Describe(m_MainMenuDown)) &&
      PageArrives(
          "right",
          [this](const ShownPage& p_Page) { return p_Page.m_Title == m_EntryList.m_Title; },
          Describe({m_EntryList.m_Title, {}, 0}) + " at any line") &&
      UpToTop(m_EntryList);
  if (!l_bWhole) {
    m_Log << "the check path was left after a lost page\n";
  }
}

std::vector<std::string> ChurnRun::LeaksAfterSettling() {
  std::vector<std::string> l_Differences;
  for (const auto l_By = Clock::now() + kSettleBound; Clock::now() < l_By;
       std::this_thread::sleep_for(1s)) {
    l_Differences = CensusDifferences(m_Baseline, TakeResourceCensus());
    if (l_Differences.empty()) {
      break;
    }
  }
  return l_Differences;
}

ChurnFigures ChurnRun::Run() {
  // One fault of each kind comes first and the baseline after them: what a program makes once,
  // at its first restart or the first logon of a second session, is not what the churn looks
  // for; what grows with the faults after them is. The second session's cycle is the last of
  // them, so that the baseline's service holds what a logoff leaves it until its next post (its
  // connection to a queue of the ended session), as it does after every later cycle.
  constexpr FaultKind kFirstOrder[] = {FaultKind::Unplug, FaultKind::PlayerKilled,
                                       FaultKind::ServerKilled, FaultKind::ServiceRestarted,
                                       FaultKind::SecondSession};
  static_assert(std::size(kFirstOrder) == static_cast<std::size_t>(FaultKind::Count));
  std::vector<FaultKind> l_Order;
  std::vector<FaultKind> l_Rest;
  for (const FaultKind l_Kind : kFirstOrder) {
    if (const int l_nCount = m_Plan.m_Faults[Index(l_Kind)]; l_nCount > 0) {
      l_Order.push_back(l_Kind);
      l_Rest.insert(l_Rest.end(), static_cast<std::size_t>(l_nCount - 1), l_Kind);
    }
  }
  const std::size_t l_nFirst = l_Order.size();
  std::shuffle(l_Rest.begin(), l_Rest.end(), m_Random);
  l_Order.insert(l_Order.end(), l_Rest.begin(), l_Rest.end());
  const auto l_End = Clock::now() + m_Plan.m_Limit;
  std::uniform_int_distribution<int> l_Burst(1, m_Plan.m_nMostButtonsBetween);
  bool l_bBaseline = false;
  for (std::size_t l_nAt = 0; l_nAt < l_Order.size(); ++l_nAt) {
    if (l_nAt == l_nFirst) {
      if (!TakeBaseline()) {
        ++m_Figures.m_nLeaks;
        break;
      }
      l_bBaseline = true;
    }
    if (Clock::now() >= l_End) {
      m_Figures.m_bTimeRanOut = true;
      break;
    }
    if (pollfd l_Stop{m_nStop, POLLIN, 0}; poll(&l_Stop, 1, 0) == 1) {
      m_Figures.m_bStopped = true;
      break;
    }
    const FaultKind l_Kind = l_Order[l_nAt];
    RandomButtons(l_Burst(m_Random));
    ++m_Figures.m_Injected[Index(l_Kind)];
    m_Log << "fault " << FaultName(l_Kind) << "\n";
    if (!Inject(l_Kind)) {
      ++m_Figures.m_nFaultsFailed;
      m_Log << "the system did not come back from: " << FaultName(l_Kind) << "\n";
    }
    CheckPages();
  }
  if (!l_bBaseline) {
    m_Log << "no baseline: the run ended before a fault of each kind\n";
    return m_Figures;
  }
  Steady();
  for (const std::string& l_Leak : LeaksAfterSettling()) {
    ++m_Figures.m_nLeaks;
    m_Log << "leak: " << l_Leak << "\n";
  }
  return m_Figures;
}
