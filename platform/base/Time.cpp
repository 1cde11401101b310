#include "platform/base/Time.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace platform {
namespace {

double ScaleFromEnvironment() noexcept {
  const char* text = std::getenv("PLATFORM_TIME_SCALE");
  if (text == nullptr) {
    return 1.0;
  }
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return end != text && *end == '\0' && value > 0.0 ? value : 1.0;
}

std::atomic<double>& Scale() noexcept {
  static std::atomic<double> scale{ScaleFromEnvironment()};
  return scale;
}

}  // namespace

LocalTime CurrentLocalTime() noexcept {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm parts{};
  localtime_r(&now.tv_sec, &parts);
  return LocalTime{
      static_cast<unsigned>(parts.tm_year + 1900),   static_cast<unsigned>(parts.tm_mon + 1),
      static_cast<unsigned>(parts.tm_mday),          static_cast<unsigned>(parts.tm_hour),
      static_cast<unsigned>(parts.tm_min),           static_cast<unsigned>(parts.tm_sec),
      static_cast<unsigned>(now.tv_nsec / 1'000'000)};
}

std::uint32_t TickCount() noexcept {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double realMilliseconds =
      static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
  const double layerMilliseconds = realMilliseconds * TimeScale();
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(layerMilliseconds) &
                                    std::numeric_limits<std::uint32_t>::max());
}

double TimeScale() noexcept { return Scale().load(std::memory_order_relaxed); }

void SetTimeScale(double scale) noexcept {
  if (scale > 0.0) {
    Scale().store(scale, std::memory_order_relaxed);
  }
}

std::chrono::nanoseconds RealDuration(std::chrono::milliseconds layerDuration) noexcept {
  const double nanoseconds = static_cast<double>(layerDuration.count()) * 1e6 / TimeScale();
  constexpr double kLongest = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2);
  return std::chrono::nanoseconds(
      static_cast<std::int64_t>(nanoseconds < kLongest ? nanoseconds : kLongest));
}

}  // namespace platform
