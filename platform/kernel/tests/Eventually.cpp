#include "platform/kernel/tests/Eventually.h"

#include <thread>

namespace platform::testing {

bool Eventually(const std::function<bool()>& check, std::chrono::steady_clock::duration limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (check()) {
      return true;
    }
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string HandleOfLineWith(const std::string& listing, const std::string& text) {
  const std::size_t at = listing.find(text);
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t lineEnd = listing.rfind('\n', at);
  const std::size_t from = lineEnd == std::string::npos ? 0 : lineEnd + 1;
  return listing.substr(from, listing.find(' ', from) - from);
}

}  // namespace platform::testing
