#pragma once

// How a pipe's messages are framed on the socket: each record is one header byte and the message.
// Internal to the layer.

#include <cstddef>
#include <optional>
#include <span>

#include "platform/ipc/Pipe.h"

namespace platform::detail {

// The header byte, so that an empty message is a record of one byte and never looks like the end
// of the connection (a record of none).
inline constexpr std::byte kMessageRecord{'M'};
inline constexpr std::size_t kMaxPipeRecord = 1 + kMaxPipeMessage;

// The message that a record carries; nothing when the record breaks the framing: empty, with
// another first byte, or longer than any message.
std::optional<std::span<const std::byte>> MessageOfRecord(
    std::span<const std::byte> record) noexcept;

}  // namespace platform::detail
