#pragma once

// Flat records of a bounded size: the form in which a selection path crosses the transfer buffer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/DeviceData.h"

// The record's flat form cut to fit `p_nCapacity` bytes: the longest texts are shortened first (at
// a character's boundary, never to nothing), and when even that cannot fit, the uppermost lines
// go; the result still ends with its terminators. A record that fits is written as it is.
std::vector<std::uint8_t> FlatRecordWithin(const CDeviceData& p_Record, std::size_t p_nCapacity);

// The length of the flat record at the start of the bytes, when it ends with all its terminators
// within them; nothing for bytes that hold no complete record.
std::optional<std::size_t> FlatRecordLength(std::span<const std::uint8_t> p_Bytes);

// The record of an empty selection: no title, no lines, row 0.
std::vector<std::uint8_t> NoSelectionRecord();
