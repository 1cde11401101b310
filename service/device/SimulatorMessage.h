#pragma once

// One message of the simulator's pipe: a page's flat record, which any reader of the flat format
// reads up to its terminator, followed by the page's numbers that the flat record does not carry,
// so that a tool can show the whole page.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/DeviceData.h"

inline constexpr char16_t kSimulatorPipeName[] = u"\\\\.\\pipe\\SimulateDeviceData";

// The numbers behind the record: position, total, duration, elapsed time, screen type, update
// mode and play state, each 4 bytes little-endian.
inline constexpr std::size_t kSimulatorTrailerBytes = 7 * 4;

std::vector<std::byte> EncodeSimulatorMessage(const CDeviceData& p_Page);
// Nothing for a message too short to hold the numbers and a record's selected row.
std::optional<CDeviceData> DecodeSimulatorMessage(std::span<const std::byte> p_Message);
