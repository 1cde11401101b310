#pragma once

// Wall-clock time in the local time zone, the monotonic tick count, and the speed of the layer's
// clock.

#include <chrono>
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

// Milliseconds of the layer's monotonic clock since an arbitrary start; wraps like a 32-bit tick
// count. It runs at the time scale below.
std::uint32_t TickCount() noexcept;

// The layer's clock runs this many times faster than real time, so that tests of long time-outs
// run fast: PLATFORM_TIME_SCALE (a positive number, inherited by child processes) when the process
// starts, 1 otherwise. Every time-out, sleep and the tick count go through it. Any thread may read
// it; tests set it before they start timing anything.
double TimeScale() noexcept;
void SetTimeScale(double scale) noexcept;

// The real duration that a span of the layer's clock takes at the current time scale.
std::chrono::nanoseconds RealDuration(std::chrono::milliseconds layerDuration) noexcept;

}  // namespace platform
