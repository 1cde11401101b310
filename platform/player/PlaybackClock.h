#pragma once

// The clock that playback runs on: the one place the player reads the layer's time.

#include <cstdint>

namespace platform::player {

// Milliseconds, wrapping like a 32-bit tick count.
std::uint32_t PlaybackTickCount() noexcept;

}  // namespace platform::player
