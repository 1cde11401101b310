#pragma once

// The device simulator: an outside tool presses buttons through named events and reads the
// drawn pages from a pipe, in place of the remote.
//
// "Global\SimulateDeviceInputThreadButtonPowerOn" is a manual-reset event that the tool sets.
// The input thread alone takes it (raising "RemoteButtonPower" and resetting it) and passes it
// on to the output thread through "Local\SimulateDeviceOutputPowerOn", so that both threads act
// on every power-on.

#include <cstdint>

#include "common/DeviceData.h"
#include "platform/ipc/Pipe.h"
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

// Ten seconds without a simulated key ask once for the now-playing screen.
inline constexpr std::uint32_t kSimulatorIdleMilliseconds = 10000;

// Writes the page to the pipe as one message when the pipe is connected; a write to a tool that
// went away has no effect. The simulator output thread's.
void SendOutputData(const platform::PipeConnection& p_Pipe, const CDeviceData& p_Page);

// Thread procedures; the argument is ignored, each returns 0 after its terminate event. The
// service starts them and joins them.
std::uint32_t SimulateDeviceInput(void* p_pArgument);
std::uint32_t SimulateDeviceOutput(void* p_pArgument);
