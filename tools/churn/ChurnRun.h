#pragma once

// The churn: the whole system driven for a bounded time with a fixed seed through random
// buttons of the virtual remote while faults come one after another (a second session logged on
// and off, the remote unplugged and plugged while a page is drawn, the player application and the
// server killed, the service restarted). After each fault the pages of a fixed path of buttons
// must arrive on the display as they did for the same path before any fault; at the end the
// root's processes, their descriptors and threads, and the object table are back to their
// baseline, taken once a fault of each kind has been through.

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tools/churn/ResourceCensus.h"
#include "tools/run-system/RemoteLink.h"
#include "tools/run-system/SystemRun.h"
#include "tools/run-system/TrayLink.h"

enum class FaultKind { SecondSession, Unplug, PlayerKilled, ServerKilled, ServiceRestarted, Count };

// What one run does: its seed, its time bound and how many faults of each kind it injects.
struct ChurnPlan {
  std::uint32_t m_nSeed = 1;
  std::chrono::minutes m_Limit{30};
  std::array<int, static_cast<std::size_t>(FaultKind::Count)> m_Faults{};
  int m_nMostButtonsBetween = 8;  // random buttons before each fault, at least one
};

// The long run's counts within `p_Limit`, or the short run's for CI.
ChurnPlan LongPlan(std::uint32_t p_nSeed, std::chrono::minutes p_Limit);
ChurnPlan ShortPlan(std::uint32_t p_nSeed);

struct ChurnFigures {
  std::array<int, static_cast<std::size_t>(FaultKind::Count)> m_Injected{};
  int m_nButtons = 0;
  int m_nUnanswered = 0;  // random buttons after which the display drew nothing (not a loss)
  int m_nPagesChecked = 0;
  int m_nPagesLost = 0;
  int m_nFaultsFailed = 0;  // a fault that could not be injected, or the system not coming back
  int m_nLeaks = 0;
  bool m_bTimeRanOut = false;
  bool m_bStopped = false;  // by a signal

  bool Sound() const {
    return m_nPagesLost == 0 && m_nFaultsFailed == 0 && m_nLeaks == 0 && !m_bStopped;
  }
};

const char* FaultName(FaultKind p_Kind);
void PrintFigures(const ChurnFigures& p_Figures, std::ostream& p_Out);

// The display's page as the menu shows it: title, rows and the cursor.
struct ShownPage {
  std::string m_Title;
  std::vector<std::string> m_Rows;
  int m_nCursorRow = 0;

  bool operator==(const ShownPage&) const = default;
};
ShownPage PageOf(const LcdScreen& p_Screen);
std::string Describe(const ShownPage& p_Page);

// Drives a running system through its remote. One thread uses it, with its apartment
// initialised; the remote is plugged in when it is made.
class ChurnRun {
 public:
  ChurnRun(SystemRun& p_System, RemoteLink& p_Remote, const ChurnPlan& p_Plan,
           std::filesystem::path p_PlayerImage, std::ostream& p_Log, int p_nStop);

  // Waits for the service to serve the console session, wakes the display and records the check
  // path's pages; false when the system does not answer.
  bool Prepare();
  // Injects the plan's faults until they are done, the time is up or the stop descriptor is
  // readable: one of each kind, then the baseline census, then the rest in a seeded order. At
  // the end compares the census with the baseline.
  ChurnFigures Run();

 private:
  // Presses and waits for the display to go quiet; false when nothing was drawn.
  bool PressAndSettle(const char* p_pWord);
  void RandomButtons(int p_nCount);
  // True when the fault was injected and the system is ready again.
  bool Inject(FaultKind p_Kind);
  bool CycleSecondSession();
  bool UnplugWhileDrawing();
  bool KillInConsoleSession(const std::string& p_Image);
  bool RestartAndWait();
  // Waits until the service has the remote open for reading and writing.
  bool WaitUntilRemoteOpen();
  // The check after a fault: Home, Up to the top of the main menu, Down, Right into the
  // entry, Up to the top of its list, each page predicted from the one before it by the menu's
  // own moves and compared with the pages recorded for the same path before any fault. Counts
  // each page checked and each that did not arrive.
  void CheckPages();
  // Presses Up until `p_Top` shows, predicting each page; false after a lost page.
  bool UpToTop(const ShownPage& p_Top);
  // Presses and waits until the display shows a new screen that `p_Fits` accepts; counts it,
  // and a lost page with what it was to be.
  bool PageArrives(const char* p_pWord, const std::function<bool(const ShownPage&)>& p_Fits,
                   const std::string& p_Expected);
  // Brings the system to the state in which its census is taken.
  void Steady();
  // The census in the steady state, to compare the end with; false on a fault in the table.
  bool TakeBaseline();
  // The census against the baseline, given a while to settle; the differences that stay.
  std::vector<std::string> LeaksAfterSettling();

  SystemRun& m_System;
  RemoteLink& m_Remote;
  const ChurnPlan m_Plan;
  const std::string m_PlayerImage;
  std::ostream& m_Log;
  const int m_nStop;
  std::mt19937 m_Random;
  ChurnFigures m_Figures;
  // Recorded before any fault: the main menu at its top, after Down, and the list that Right
  // opens from there at its top.
  ShownPage m_MainMenu;
  ShownPage m_MainMenuDown;
  ShownPage m_EntryList;
  ResourceCensus m_Baseline;
  TrayLink m_Tray;  // the console session's tray
};
