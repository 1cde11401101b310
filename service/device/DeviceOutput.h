#pragma once

// The device output thread: takes the session threads' pages from the output list, draws them
// on the LCD, hands them on to the simulator, and runs the report writer while the remote is
// present.

#include <cstdint>

#include "platform/kernel/Event.h"
#include "service/device/PageRenderer.h"

inline constexpr char16_t kDeviceOutputTerminateEvent[] = u"REMOTE_DEVICE_OUTPUT_THREAD_TERMINATE";
// Set by whoever appends to the output list.
inline constexpr char16_t kDeviceOutputDataEvent[] = u"REMOTE_DEVICE_OUTPUT_DATA";

// Renders every page of the output list, passing on to the simulator's list those that are not
// dropped, and then sets the simulator's data event. The device output thread's.
void RenderDeviceOutput(PageRenderer& p_Renderer, const platform::Event& p_SimulatorData);

// The thread procedure; the argument is ignored. Ends with 0 on
// "REMOTE_DEVICE_OUTPUT_THREAD_TERMINATE", after it has stopped and joined its writer; the
// service starts and joins it.
std::uint32_t RemoteDeviceOutput(void* p_pArgument);
