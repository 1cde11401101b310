#pragma once

// Wall-clock time in the local time zone and the monotonic tick count.

#include <cstdint>

namespace platform {

struct LocalTime {
  unsigned year = 0;
  unsigned month = 0;  // 1 to 12
  unsigned day = 0;    // 1 to 31
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  unsigned millisecond = 0;
};

LocalTime CurrentLocalTime() noexcept;

// Milliseconds of the monotonic clock since an arbitrary start; wraps like a 32-bit tick count.
std::uint32_t TickCount() noexcept;

}  // namespace platform
