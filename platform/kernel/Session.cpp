#include "platform/kernel/Session.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

std::uint32_t ProcessSessionId() noexcept {
  static const std::uint32_t session = [] {
    const char* text = std::getenv("PLATFORM_SESSION");
    std::uint32_t value = 0;
    if (text == nullptr) {
      return value;
    }
    const char* end = text + std::strlen(text);
    const auto [last, error] = std::from_chars(text, end, value);
    return error == std::errc() && last == end ? value : 0u;
  }();
  return session;
}

}  // namespace platform
