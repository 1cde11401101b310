#include "platform/kernel/tests/OpenDescriptors.h"

#include <filesystem>

namespace platform::testing {

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

}  // namespace platform::testing
