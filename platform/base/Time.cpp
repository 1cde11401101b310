#include "platform/base/Time.h"

#include <ctime>

namespace platform {

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
  const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000u;
  return static_cast<std::uint32_t>(milliseconds);
}

}  // namespace platform
