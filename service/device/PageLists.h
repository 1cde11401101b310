#pragma once

// The two lists of display pages: the output list, which the session threads append to and the
// device output thread drains, and the simulator's list, which the device output thread appends
// to and the simulator's output thread drains. Each has its own lock, held only for one append or
// one removal. Lists and locks are never destroyed, so they exist before the first thread that
// uses them starts and after the last one ends.

#include <cstddef>
#include <deque>
#include <optional>

#include "common/DeviceData.h"
#include "platform/base/NoDestructor.h"
#include "platform/kernel/CriticalSection.h"

using DeviceDataList = std::deque<CDeviceData>;

extern NoDestructor<DeviceDataList> g_DeviceOutputList;
extern NoDestructor<platform::CriticalSection> g_DeviceOutputListLock;
extern NoDestructor<DeviceDataList> g_SimulatorOutputList;
extern NoDestructor<platform::CriticalSection> g_SimulatorOutputListLock;

// The simulator's list keeps at most this many pages, dropping the oldest: while no tool reads
// them they are only discarded.
inline constexpr std::size_t kSimulatorOutputListLimit = 64;

// Any thread.
void AppendDeviceOutput(CDeviceData p_Page);
std::optional<CDeviceData> TakeFirstDeviceOutput();
void AppendSimulatorOutput(CDeviceData p_Page);
std::optional<CDeviceData> TakeFirstSimulatorOutput();
