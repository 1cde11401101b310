#include "service/device/DeviceInputDecision.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using Steps = std::vector<InputStep>;
using K = InputStepKind;
using E = ServiceEvent;

InputStep S(K p_Kind) { return {p_Kind}; }
InputStep Ev(E p_Event) { return {K::SetEvent, p_Event}; }
InputStep Cmd(std::uint8_t p_byCommand) {
  return {K::SendCommand, E::MediaPlayerEvent, p_byCommand};
}

// Awake, menu shown, stopped, initialised: the state in which every key means itself.
constexpr DeviceInputState kMenu{true, false, false, 1, true};

DeviceInputState With(DeviceInputState p_State, bool DeviceInputState::*p_Member, bool p_bValue) {
  p_State.*p_Member = p_bValue;
  return p_State;
}
DeviceInputState Playing(DeviceInputState p_State, std::int32_t p_nState) {
  p_State.m_nDevicePlayState = p_nState;
  return p_State;
}

const DeviceInputState kPlayerScreen = With(kMenu, &DeviceInputState::m_bPlayerScreenShown, true);
const DeviceInputState kNowPlaying =
    With(kMenu, &DeviceInputState::m_bCurrentlyPlayingDisplayed, true);
const DeviceInputState kPlayerScreenAndList =
    With(kPlayerScreen, &DeviceInputState::m_bCurrentlyPlayingDisplayed, true);
const DeviceInputState kAsleep = With(kMenu, &DeviceInputState::m_bDisplayAwake, false);
const DeviceInputState kAsleepUninitialised =
    With(kAsleep, &DeviceInputState::m_bLcdInitialised, false);

struct Case {
  std::string m_Name;
  int m_nCode;
  DeviceInputState m_State;
  Steps m_Expected;
};

const Steps kWakeHome{S(K::ResetRing), S(K::DisplayAwake), S(K::ClearPlayerScreen),
                      Ev(E::ButtonHome)};
const Steps kWakeIdle{S(K::ResetRing), S(K::DisplayAwake), S(K::ClearPlayerScreen),
                      S(K::IdleRecord)};
const Steps kRefused{Cmd(0)};

const std::vector<Case> kCases = {
    // The wake rule: any code but 15, 16, 21 while asleep only wakes the display.
    {"asleep up stopped", 2, kAsleep, kWakeHome},
    {"asleep up playing", 2, Playing(kAsleep, 3), kWakeIdle},
    {"asleep up paused", 2, Playing(kAsleep, 2), kWakeIdle},
    {"asleep code 0", 0, kAsleep, kWakeHome},
    {"asleep code above table", 40, kAsleep, kWakeHome},
    {"asleep uninitialised sends init",
     8,
     kAsleepUninitialised,
     {S(K::ResetRing), S(K::DisplayAwake), S(K::SendInit), S(K::ClearPlayerScreen),
      Ev(E::ButtonHome)}},
    {"asleep bit 7", 0x80, kAsleep, {}},
    {"awake bit 7", 0xFF, kMenu, {}},
    {"asleep sleep code 15",
     15,
     kAsleep,
     {S(K::CursorRowToZero), S(K::DisplayAsleep), S(K::ClearPlayerScreen)}},
    {"asleep 21 playing", 21, Playing(kAsleep, 3), {S(K::DisplayAwake), Cmd(6), S(K::IdleRecord)}},
    {"asleep 21 paused",
     21,
     Playing(kAsleep, 2),
     {S(K::DisplayAsleep), S(K::ForceLcdWrite), Cmd(7)}},
    // Awake: each code of the table.
    {"code 0", 0, kMenu, {}},
    {"code above table", 26, kMenu, {}},
    {"1 home",
     1,
     kMenu,
     {S(K::StopUpload), S(K::ResetRing), S(K::DisplayAwake), S(K::ClearPlayerScreen),
      Ev(E::ButtonHome)}},
    {"1 uninitialised",
     1,
     With(kMenu, &DeviceInputState::m_bLcdInitialised, false),
     {S(K::StopUpload), S(K::ResetRing), S(K::DisplayAwake), S(K::SendInit),
      S(K::ClearPlayerScreen), Ev(E::ButtonHome)}},
    {"2 up", 2, kMenu, {Ev(E::ButtonUp)}},
    {"2 up player screen", 2, kPlayerScreen, kRefused},
    {"2 up now playing", 2, kNowPlaying, kRefused},
    {"3 down", 3, kMenu, {Ev(E::ButtonDown)}},
    {"3 down now playing", 3, kNowPlaying, kRefused},
    {"4 ok", 4, kMenu, {Ev(E::ButtonOk)}},
    {"4 ok player screen", 4, kPlayerScreen, kRefused},
    {"5 left", 5, kMenu, {Ev(E::ButtonLeft), S(K::ClearPlayerScreen)}},
    {"5 left player screen",
     5,
     kPlayerScreen,
     {Cmd(18), Ev(E::RefreshScreen), S(K::ClearPlayerScreen)}},
    {"5 left now playing", 5, kNowPlaying, {Ev(E::ButtonLeft), S(K::ClearPlayerScreen)}},
    {"10 left player screen and list",
     10,
     kPlayerScreenAndList,
     {Ev(E::ButtonLeft), S(K::ClearPlayerScreen)}},
    {"10 left player screen",
     10,
     kPlayerScreen,
     {Cmd(18), Ev(E::RefreshScreen), S(K::ClearPlayerScreen)}},
    {"6 stop stopped", 6, kMenu, kRefused},
    {"6 stop paused", 6, Playing(kMenu, 2), {Ev(E::ButtonStop)}},
    {"6 stop playing", 6, Playing(kMenu, 3), {Ev(E::ButtonStop)}},
    {"7 pause paused", 7, Playing(kMenu, 2), kRefused},
    {"7 pause playing", 7, Playing(kMenu, 3), {Ev(E::ButtonPause)}},
    {"8 play", 8, kPlayerScreen, {Ev(E::ButtonPlay)}},
    {"9 right", 9, kNowPlaying, {Ev(E::ButtonRight)}},
    {"9 right player screen", 9, kPlayerScreen, kRefused},
    {"11 prev", 11, kPlayerScreen, {S(K::ClearPlayerScreen), Ev(E::ButtonPrev)}},
    {"12 next", 12, kMenu, {S(K::ClearPlayerScreen), Ev(E::ButtonNext)}},
    {"13 rewind", 13, kMenu, {Ev(E::ButtonRewind), Cmd(0)}},
    {"14 fast forward", 14, kMenu, {Ev(E::ButtonFastForward), Cmd(0)}},
    {"16 sleep",
     16,
     kPlayerScreen,
     {S(K::CursorRowToZero), S(K::DisplayAsleep), S(K::ClearPlayerScreen)}},
    {"17 page down", 17, kMenu, {Ev(E::ButtonPageDown)}},
    {"17 page down player screen", 17, kPlayerScreen, kRefused},
    {"18 page up", 18, kMenu, {Ev(E::ButtonPageUp)}},
    {"18 page up now playing", 18, kNowPlaying, kRefused},
    {"19 on", 19, kPlayerScreen, {S(K::DisplayAwake), S(K::ClearPlayerScreen), Ev(E::ButtonHome)}},
    {"20 stopped", 20, kPlayerScreen, {Ev(E::ButtonHome), S(K::ClearPlayerScreen)}},
    {"20 paused", 20, Playing(kMenu, 2), {S(K::ClearPlayerScreen), S(K::IdleRecord)}},
    {"21 playing", 21, Playing(kMenu, 3), {S(K::DisplayAwake), Cmd(6), S(K::IdleRecord)}},
    {"21 stopped", 21, kMenu, {S(K::DisplayAsleep), S(K::ForceLcdWrite), Cmd(7)}},
    {"22 pages up", 22, kNowPlaying, {Ev(E::ButtonPagesUp)}},
    {"22 pages up player screen", 22, kPlayerScreen, kRefused},
    {"23 pages down", 23, kNowPlaying, {Ev(E::ButtonPagesDown)}},
    {"23 pages down player screen", 23, kPlayerScreen, kRefused},
    {"24 init", 24, kMenu, {S(K::SendInit), Cmd(0)}},
    {"25 upload", 25, kMenu, {S(K::StartUpload)}},
};

TEST(DeviceInputDecisionTest, EveryCodeInEveryStateThatChangesItsAnswer) {
  for (const Case& l_Case : kCases) {
    EXPECT_EQ(DecideDeviceInput(static_cast<std::uint8_t>(l_Case.m_nCode), l_Case.m_State),
              l_Case.m_Expected)
        << l_Case.m_Name;
  }
}

// Only 15, 16 and 21 act while asleep; every other code of the table first wakes the display.
TEST(DeviceInputDecisionTest, OnlySleepCodesActWhileAsleep) {
  for (int l_nCode = 0; l_nCode <= 127; ++l_nCode) {
    const Steps l_Steps = DecideDeviceInput(static_cast<std::uint8_t>(l_nCode), kAsleep);
    const bool l_bSleepCode = l_nCode == 15 || l_nCode == 16 || l_nCode == 21;
    EXPECT_EQ(l_Steps == kWakeHome, !l_bSleepCode) << l_nCode;
  }
}

// A key that wakes the display raises what draws its page only once the display is awake and
// the init packet is queued: the session's page may be drawn before this thread goes on, and
// drawn onto a sleeping display it would be dropped, or wiped by an init behind it.
TEST(DeviceInputDecisionTest, AWakingKeyRaisesItsPageOnlyOnceTheDisplayIsAwake) {
  const DeviceInputState kStates[] = {kAsleep,       kAsleepUninitialised, Playing(kAsleep, 3),
                                      kMenu,         kPlayerScreen,        kNowPlaying,
                                      Playing(kMenu, 3),
                                      With(kMenu, &DeviceInputState::m_bLcdInitialised, false)};
  for (const DeviceInputState& l_State : kStates) {
    for (int l_nCode = 0; l_nCode <= 127; ++l_nCode) {
      const Steps l_Steps = DecideDeviceInput(static_cast<std::uint8_t>(l_nCode), l_State);
      const auto l_Awake = std::find(l_Steps.begin(), l_Steps.end(), S(K::DisplayAwake));
      if (l_Awake == l_Steps.end()) continue;
      const auto l_Init = std::find(l_Steps.begin(), l_Steps.end(), S(K::SendInit));
      const auto l_Ready = l_Init == l_Steps.end() ? l_Awake : std::max(l_Awake, l_Init);
      for (auto l_It = l_Steps.begin(); l_It != l_Ready; ++l_It) {
        EXPECT_TRUE(l_It->m_Kind != K::SetEvent && l_It->m_Kind != K::IdleRecord)
            << "code " << l_nCode << " raises its page before the display is ready";
      }
    }
  }
}

}  // namespace
