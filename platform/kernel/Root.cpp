#include "platform/kernel/Root.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace platform {
namespace {

std::filesystem::path ChooseRoot() {
  if (const char* root = std::getenv("PLATFORM_ROOT"); root != nullptr && *root != '\0') {
    return root;
  }
  if (geteuid() == 0) {
    return "/run/calvora";
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    return std::filesystem::path(runtime) / "calvora";
  }
  return std::filesystem::temp_directory_path() / ("calvora-" + std::to_string(geteuid()));
}

std::filesystem::path MakeRoot() {
  std::filesystem::path root = ChooseRoot();
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  return root;
}

}  // namespace

std::filesystem::path PlatformRootLocation() { return ChooseRoot(); }

const std::filesystem::path& PlatformRoot() {
  static const std::filesystem::path root = MakeRoot();
  return root;
}

}  // namespace platform
