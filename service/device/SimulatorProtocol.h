#pragma once

// What the device simulator and the tool at its other end share: the named events through which
// the tool presses buttons and powers the simulated device on and off, and the pipe on which it
// reads each drawn page.
//
// One message of the pipe is a page's flat record, which any reader of the flat format reads up
// to its terminator, followed by the page's numbers that the flat record does not carry, so that
// a tool can show the whole page.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/DeviceData.h"
#include "platform/kernel/Event.h"

inline constexpr char16_t kSimulatorInputTerminateEvent[] =
    u"Local\\SimulateDeviceInputThreadTerminate";
inline constexpr char16_t kSimulatorOutputTerminateEvent[] =
    u"Local\\SimulateDeviceOutputThreadTerminate";
inline constexpr char16_t kSimulatorOutputDataEvent[] = u"Local\\SimulateDeviceOutputData";
inline constexpr char16_t kSimulatorPowerOnEvent[] =
    u"Global\\SimulateDeviceInputThreadButtonPowerOn";
inline constexpr char16_t kSimulatorPowerOffEvent[] =
    u"Global\\SimulateDeviceInputThreadButtonPowerOff";
inline constexpr char16_t kSimulatorPowerOnPassedEvent[] = u"Local\\SimulateDeviceOutputPowerOn";

// The simulated buttons, in the order in which the input thread waits for them after its
// terminate event.
enum class SimulatedButton : std::uint8_t {
  Up,
  Down,
  Left,
  Right,
  Ok,
  Play,
  Pause,
  Stop,
  PowerOn,
  Prev,
  Next,
  Home,
};
inline constexpr std::size_t kSimulatedButtonCount = 12;
// "Global\SimulateDeviceInputThreadButtonUp" and so on.
std::u16string_view SimulatedButtonEventName(SimulatedButton p_Button);
// Creates or opens the button's event: PowerOn manual-reset, the others auto-reset.
platform::Event CreateSimulatedButtonEvent(SimulatedButton p_Button);
// Creates or opens the power-off event (auto-reset); both open to every user.
platform::Event CreateSimulatorPowerOffEvent();

inline constexpr char16_t kSimulatorPipeName[] = u"\\\\.\\pipe\\SimulateDeviceData";

// The numbers behind the record: position, total, duration, elapsed time, screen type, update
// mode and play state, each 4 bytes little-endian.
inline constexpr std::size_t kSimulatorTrailerBytes = 7 * 4;

std::vector<std::byte> EncodeSimulatorMessage(const CDeviceData& p_Page);
// Nothing for a message too short to hold the numbers and a record's selected row.
std::optional<CDeviceData> DecodeSimulatorMessage(std::span<const std::byte> p_Message);
