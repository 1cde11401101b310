#pragma once

// The service's own named events that the device and simulator input threads set for the
// session listener, and the output thread for the automatic return home. Each is auto-reset and
// lives in the service's session.

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class ServiceEvent : std::uint8_t {
  MediaPlayerEvent,
  ButtonUp,
  ButtonDown,
  ButtonLeft,
  ButtonRight,
  ButtonOk,
  ButtonPlay,
  ButtonPause,
  ButtonStop,
  ButtonPrev,
  ButtonNext,
  ButtonRewind,
  ButtonFastForward,
  ButtonPageDown,
  ButtonPageUp,
  ButtonHome,
  ButtonPagesDown,
  ButtonPagesUp,
  ButtonPower,
  RefreshScreen,
};
inline constexpr std::size_t kServiceEventCount = 20;

// "RemoteButtonUp" and so on.
std::u16string_view ServiceEventName(ServiceEvent p_Event);
