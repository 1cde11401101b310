// Gives each test process a fresh platform root and the fast clock, before any test runs.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/base/Time.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform::testing {
namespace {

class FreshRoot : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "platform-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    setenv("PLATFORM_ROOT", root_.c_str(), 1);
    setenv("PLATFORM_TIME_SCALE", std::to_string(kTestTimeScale).c_str(), 1);
    SetTimeScale(kTestTimeScale);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  std::filesystem::path root_;
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new FreshRoot);

}  // namespace
}  // namespace platform::testing
