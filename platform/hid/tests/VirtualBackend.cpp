// Makes the test program use the virtual HID devices, under the fresh platform root that the
// kernel's test support gives it.

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

class VirtualBackend : public ::testing::Environment {
 public:
  void SetUp() override { setenv("PLATFORM_HID", "virtual", 1); }
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new VirtualBackend);

}  // namespace
