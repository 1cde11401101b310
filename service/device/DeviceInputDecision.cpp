#include "service/device/DeviceInputDecision.h"

#include "platform/player/PlayerInterfaces.h"
#include "service/device/DisplayState.h"

namespace {

constexpr std::uint8_t kEndOfScreen = 0;
constexpr std::uint8_t kDisplayOn = 6;
constexpr std::uint8_t kDisplayOff = 7;
constexpr std::uint8_t kLeavePlayerScreen = 18;

InputStep Step(InputStepKind p_Kind) { return {p_Kind}; }
InputStep Event(ServiceEvent p_Event) { return {InputStepKind::SetEvent, p_Event}; }
InputStep Command(std::uint8_t p_byCommand) {
  return {InputStepKind::SendCommand, ServiceEvent::MediaPlayerEvent, p_byCommand};
}

bool PlayingOrPaused(const DeviceInputState& p_State) {
  return p_State.m_nDevicePlayState == wmppsPlaying || p_State.m_nDevicePlayState == wmppsPaused;
}

// A key refused while a condition holds answers with an end of screen; otherwise its event.
std::vector<InputStep> RefusedOr(bool p_bRefused, ServiceEvent p_Event) {
  return {p_bRefused ? Command(kEndOfScreen) : Event(p_Event)};
}

// The display awake with the init packet, unless the display knows its language already, and
// off the player screen. The page that the key asks for comes after these: raised before them,
// a page drawn at once would meet a sleeping display and be dropped, or be wiped by the init.
void Wake(const DeviceInputState& p_State, std::vector<InputStep>& p_Steps) {
  p_Steps.push_back(Step(InputStepKind::DisplayAwake));
  if (!p_State.m_bLcdInitialised) {
    p_Steps.push_back(Step(InputStepKind::SendInit));
  }
  p_Steps.push_back(Step(InputStepKind::ClearPlayerScreen));
}

std::vector<InputStep> WakeOnly(const DeviceInputState& p_State) {
  std::vector<InputStep> l_Steps{Step(InputStepKind::ResetRing)};
  Wake(p_State, l_Steps);
  l_Steps.push_back(PlayingOrPaused(p_State) ? Step(InputStepKind::IdleRecord)
                                             : Event(ServiceEvent::ButtonHome));
  return l_Steps;
}

}  // namespace

std::vector<InputStep> DecideDeviceInput(std::uint8_t p_byCode, const DeviceInputState& p_State) {
  const auto l_nCode = static_cast<std::int8_t>(p_byCode);
  if (l_nCode < 0) {
    return {};
  }
  if (!p_State.m_bDisplayAwake && l_nCode != 15 && l_nCode != 16 && l_nCode != 21) {
    return WakeOnly(p_State);
  }
  const bool l_bPlayerScreen = p_State.m_bPlayerScreenShown;
  const bool l_bListOrPlayer = l_bPlayerScreen || p_State.m_bCurrentlyPlayingDisplayed;
  switch (l_nCode) {
    case 1: {
      std::vector<InputStep> l_Steps{Step(InputStepKind::StopUpload),
                                     Step(InputStepKind::ResetRing)};
      Wake(p_State, l_Steps);
      l_Steps.push_back(Event(ServiceEvent::ButtonHome));
      return l_Steps;
    }
    case 2:
      return RefusedOr(l_bListOrPlayer, ServiceEvent::ButtonUp);
    case 3:
      return RefusedOr(l_bListOrPlayer, ServiceEvent::ButtonDown);
    case 4:
      return RefusedOr(l_bListOrPlayer, ServiceEvent::ButtonOk);
    case 5:
    case 10:
      if (l_bPlayerScreen && !p_State.m_bCurrentlyPlayingDisplayed) {
        return {Command(kLeavePlayerScreen), Event(ServiceEvent::RefreshScreen),
                Step(InputStepKind::ClearPlayerScreen)};
      }
      return {Event(ServiceEvent::ButtonLeft), Step(InputStepKind::ClearPlayerScreen)};
    case 6:
      return RefusedOr(!PlayingOrPaused(p_State), ServiceEvent::ButtonStop);
    case 7:
      return RefusedOr(p_State.m_nDevicePlayState != wmppsPlaying, ServiceEvent::ButtonPause);
    case 8:
      return {Event(ServiceEvent::ButtonPlay)};
    case 9:
      return RefusedOr(l_bPlayerScreen, ServiceEvent::ButtonRight);
    case 11:
      return {Step(InputStepKind::ClearPlayerScreen), Event(ServiceEvent::ButtonPrev)};
    case 12:
      return {Step(InputStepKind::ClearPlayerScreen), Event(ServiceEvent::ButtonNext)};
    case 13:
      return {Event(ServiceEvent::ButtonRewind), Command(kEndOfScreen)};
    case 14:
      return {Event(ServiceEvent::ButtonFastForward), Command(kEndOfScreen)};
    case 15:
    case 16:
      return {Step(InputStepKind::CursorRowToZero), Step(InputStepKind::DisplayAsleep),
              Step(InputStepKind::ClearPlayerScreen)};
    case 17:
      return RefusedOr(l_bListOrPlayer, ServiceEvent::ButtonPageDown);
    case 18:
      return RefusedOr(l_bListOrPlayer, ServiceEvent::ButtonPageUp);
    case 19:
      return {Step(InputStepKind::DisplayAwake), Step(InputStepKind::ClearPlayerScreen),
              Event(ServiceEvent::ButtonHome)};
    case 20:
      if (PlayingOrPaused(p_State)) {
        return {Step(InputStepKind::ClearPlayerScreen), Step(InputStepKind::IdleRecord)};
      }
      return {Event(ServiceEvent::ButtonHome), Step(InputStepKind::ClearPlayerScreen)};
    case 21:
      if (p_State.m_nDevicePlayState == wmppsPlaying) {
        return {Step(InputStepKind::DisplayAwake), Command(kDisplayOn),
                Step(InputStepKind::IdleRecord)};
      }
      return {Step(InputStepKind::DisplayAsleep), Step(InputStepKind::ForceLcdWrite),
              Command(kDisplayOff)};
    case 22:
      return RefusedOr(l_bPlayerScreen, ServiceEvent::ButtonPagesUp);
    case 23:
      return RefusedOr(l_bPlayerScreen, ServiceEvent::ButtonPagesDown);
    case 24:
      return {Step(InputStepKind::SendInit), Command(kEndOfScreen)};
    case 25:
      return {Step(InputStepKind::StartUpload)};
    default:
      return {};
  }
}
