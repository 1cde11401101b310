#include "platform/player/PlaybackClock.h"

#include "platform/base/Time.h"

namespace platform::player {

std::uint32_t PlaybackTickCount() noexcept { return platform::TickCount(); }

}  // namespace platform::player
