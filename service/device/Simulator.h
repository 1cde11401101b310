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
#include "service/device/SimulatorProtocol.h"

// Ten seconds without a simulated key ask once for the now-playing screen.
inline constexpr std::uint32_t kSimulatorIdleMilliseconds = 10000;

// Writes the page to the pipe as one message when the pipe is connected; a write to a tool that
// went away has no effect, and a tool that takes no page for a second loses the pipe. The
// simulator output thread's.
void SendOutputData(const platform::PipeConnection& p_Pipe, const CDeviceData& p_Page);

// Thread procedures; the argument is ignored, each returns 0 after its terminate event. The
// service starts them and joins them.
std::uint32_t SimulateDeviceInput(void* p_pArgument);
std::uint32_t SimulateDeviceOutput(void* p_pArgument);
