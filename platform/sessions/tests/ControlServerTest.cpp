#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/kernel/tests/Eventually.h"
#include "platform/kernel/tests/OpenDescriptors.h"
#include "platform/sessions/ControlServer.h"

namespace platform {
namespace {

// A manager serves callers that come and go for as long as it runs: each one's descriptor must
// close when that caller goes, not when the next caller comes.
TEST(ControlServerTest, AGoneCallersConnectionClosesWithoutWaitingForTheNextCaller) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("control-server-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path path = folder / "echo.sock";
  std::optional<ControlListener> listener = ControlListener::Create(path);
  ASSERT_TRUE(listener);
  ControlServer server(std::move(*listener));
  const int before = testing::OpenDescriptorCount();
  std::thread running([&server] {
    server.Run([](const ControlConnection& caller) {
      while (const std::optional<std::string> request = caller.Receive()) {
        caller.Send(*request);
      }
    });
  });
  for (int round = 0; round < 3; ++round) {
    {
      const ControlConnection caller = ControlConnection::Connect(path);
      ASSERT_TRUE(caller);
      EXPECT_EQ(caller.Request("ping"), "ping");
    }
    ASSERT_TRUE(testing::Eventually([before] { return testing::OpenDescriptorCount() == before; }))
        << "round " << round << ": " << testing::OpenDescriptorCount() << " descriptors open, "
        << before << " before any caller";
  }
  server.Stop();
  running.join();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace platform
