// The first build's tray starts, stops and restarts the service itself: its steps ask only for
// the rights that those need, so a user who is not the administrator can use them once the
// service's access list allows that user to start and stop it, and not before. The steps run as
// another user in a helper of their own, so these tests need root.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/kernel/Root.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "tray/tests/TraySystem.h"

namespace {

using namespace tray_test;

constexpr const char* kUser = "65534";

TEST(TrayRights, AUserWhomTheServiceAllowsStartsStopsAndRestartsItAndOthersCannot) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the steps as another user";
  TraySystem l_System({PESKARIN, TAMSVARD, RUVELLO, PLATFORMCTL, WMPLAYER, PLAYER_SAMPLE_LIBRARY});
  ASSERT_TRUE(l_System.Ready()) << l_System.Problem();
  // A fresh root's folder is the test's user's alone.
  ASSERT_EQ(chmod(platform::PlatformRoot().c_str(), 0755), 0);
  platform::testing::HelperProcess l_Steps(
      STEPS_CLIENT, {"--as-user", kUser},
      {{"PLATFORM_SESSION", std::to_string(l_System.Session())}});

  ASSERT_EQ(l_Steps.Command("start", kPatience), "done");
  EXPECT_EQ(l_System.ServiceState(), "stopped") << "the service's list does not allow the user yet";

  ASSERT_NE(Control({"allow-service", "Tamsvard", "start", "stop"}).find("allowed"),
            std::string::npos);
  ASSERT_EQ(l_Steps.Command("start", kPatience), "done");
  EXPECT_TRUE(Eventually([&] { return l_System.ServiceState() == "running"; }));

  const std::size_t l_nStarts = l_System.ServiceStarts();
  ASSERT_EQ(l_Steps.Command("restart", kPatience), "done");
  EXPECT_TRUE(Eventually([&] { return l_System.ServiceStarts() == l_nStarts + 1; }));
  EXPECT_TRUE(Eventually([&] { return l_System.ServiceState() == "running"; }));

  ASSERT_EQ(l_Steps.Command("stop", kPatience), "done");
  EXPECT_TRUE(Eventually([&] { return l_System.ServiceState() == "stopped"; }));
}

}  // namespace
