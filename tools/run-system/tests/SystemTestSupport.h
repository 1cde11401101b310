#pragma once

// What the whole-system tests share: the running system of one build under a fresh root with the
// virtual remote plugged into it, and the pages they expect on the display as the remote decodes
// it. The programs of a root belong to the process that made it (PlatformRoot is fixed for a
// process's life), so each test runs in a process of its own, as ctest runs them.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/ProcessIdentity.h"
#include "platform/kernel/tests/Eventually.h"
#include "tools/run-system/LcdPicture.h"
#include "tools/run-system/PlayerLine.h"
#include "tools/run-system/ProgramScope.h"
#include "tools/run-system/RemoteLink.h"
#include "tools/run-system/SystemRun.h"

using Shows = std::function<bool(const LcdScreen&)>;

// Real time: the machine is loaded, and the system's programs keep real time.
inline constexpr std::chrono::milliseconds kPatience = platform::testing::kProgramPatience;

inline const std::vector<std::string> kCategories = {"Playlists", "Albums",      "Artists",
                                                     "Genre",     "Now Playing", "Options"};

using platform::testing::Eventually;

// The display as its rows, for a failure's message.
std::string Drawn(const LcdScreen& p_Screen);

// A menu page: its title, its first rows (all of them when `p_bAllRows`) and the cursor's row
// (none: any).
Shows MenuPage(std::string p_Title, std::vector<std::string> p_Rows, std::optional<int> p_nCursor,
               bool p_bAllRows = false);
Shows RootMenu(int p_nCursor);
// The player page: the times shown and the play state's icon (1 playing, 0 stopped).
Shows PlayerPage(int p_nIcon);

// The first process of the root that runs the program (its image name, "Ruvello.exe") in the
// session.
std::optional<platform::detail::ProcessIdentity> RunningProgram(const std::string& p_Image,
                                                                std::uint32_t p_nSession);

// The test's name suffix for the build of the parameter (true: the second).
std::string BuildName(const ::testing::TestParamInfo<bool>& p_Info);

// The running system of one build (the parameter: the second build) and the remote plugged into
// it. The test's thread.
class SystemFixture : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Waits until a page has ended on the display after the first `p_nScreens` and the display
  // shows what `p_Shows` expects; the display as it then is, or nothing when it does not in time.
  std::optional<LcdScreen> PageAfter(int p_nScreens, const Shows& p_Shows,
                                     std::chrono::milliseconds p_Limit, LcdScreen& p_Last);
  // Does `p_Act` and waits for the page after it that shows what `p_Shows` expects; the display
  // as it then is. A failure tells what was done and draws what the display shows.
  LcdScreen Await(const std::string& p_What, const std::function<void()>& p_Act,
                  const Shows& p_Shows);
  // Presses the button (its script word) and waits for the page that answers it.
  LcdScreen Press(const std::string& p_Word, const Shows& p_Shows);

  // What the player application of the session plays.
  std::string PlayerState(std::uint32_t p_nSession);
  // The session of the user that the system logged on at the console.
  std::uint32_t Console() const { return m_pSystem->Session(); }

  // Runs the control tool with these words in the console session, as a person at the console
  // does; its exit code.
  std::optional<int> Control(std::vector<std::string> p_Words);
  // The player application of the console session, once it runs.
  std::optional<platform::detail::ProcessIdentity> PlayerApplication() const;

  std::unique_ptr<SystemRun> m_pSystem;
  std::unique_ptr<ApartmentScope> m_pApartment;
  RemoteLink m_Remote;
  // One line a session: a line holds on to the application it found first.
  std::map<std::uint32_t, PlayerLine> m_Players;
};
