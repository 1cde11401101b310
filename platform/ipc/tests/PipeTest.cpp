#include "platform/ipc/Pipe.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using testing::HelperProcess;

constexpr std::u16string_view kPipe = u"\\\\.\\pipe\\SimulateDeviceData";

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> bytes;
  for (const char character : text) {
    bytes.push_back(static_cast<std::byte>(character));
  }
  return bytes;
}

// A server of the simulator's pipe with one helper process connected as its client.
class ConnectedPipe : public ::testing::Test {
 protected:
  void SetUp() override {
    auto created = PipeServer::Create(kPipe);
    ASSERT_TRUE(created.handle) << created.error;
    server_ = std::move(created.handle);
    ASSERT_EQ(client_.Command("connect \\\\.\\pipe\\SimulateDeviceData"), "new 0");
    PipeServer::Accepted accepted = server_.WaitForClient({}, kInfinite);
    ASSERT_TRUE(accepted.wait.Signalled(0));
    instance_ = std::move(accepted.client);
    ASSERT_TRUE(instance_);
  }

  PipeServer server_;
  PipeConnection instance_;
  HelperProcess client_;
};

TEST_F(ConnectedPipe, MessagesKeepTheirBoundariesBothWays) {
  const std::string large(1000, 'x');
  ASSERT_EQ(instance_.Write(Bytes("Now Playing")), ERROR_SUCCESS);
  ASSERT_EQ(instance_.Write({}), ERROR_SUCCESS);
  ASSERT_EQ(instance_.Write(Bytes(large)), ERROR_SUCCESS);
  EXPECT_EQ(client_.Command("read 0 inf"), "message 4e6f7720506c6179696e67");
  EXPECT_EQ(client_.Command("read 0 inf"), "message -");
  std::string largeHex;
  for (std::size_t count = 0; count < large.size(); ++count) {
    largeHex += "78";
  }
  EXPECT_EQ(client_.Command("read 0 inf"), "message " + largeHex);
  EXPECT_EQ(client_.Command("read 0 100"), "timeout");

  ASSERT_EQ(client_.Command("write 0 -"), "ok");
  ASSERT_EQ(client_.Command("write 0 0102"), "ok");
  const PipeRead empty = instance_.Read(kInfinite);
  ASSERT_EQ(empty.status, PipeReadStatus::Message);
  EXPECT_TRUE(empty.message.empty());
  const PipeRead two = instance_.Read(kInfinite);
  ASSERT_EQ(two.status, PipeReadStatus::Message);
  EXPECT_EQ(two.message, (std::vector<std::byte>{std::byte{1}, std::byte{2}}));
  EXPECT_EQ(instance_.Read(Timeout(0)).status, PipeReadStatus::TimedOut);
  EXPECT_EQ(instance_.Write(std::vector<std::byte>(kMaxPipeMessage + 1)), ERROR_INVALID_PARAMETER);
}

TEST_F(ConnectedPipe, TheServerSeesTheClientGo) {
  ASSERT_EQ(client_.Command("write 0 41"), "ok");
  ASSERT_EQ(client_.Command("close 0"), "ok");
  // What was sent before the close is still read.
  EXPECT_EQ(instance_.Read(kInfinite).status, PipeReadStatus::Message);
  EXPECT_EQ(instance_.Read(kInfinite).status, PipeReadStatus::Disconnected);
  EXPECT_EQ(instance_.Write(Bytes("page")), ERROR_NO_DATA);
}

TEST_F(ConnectedPipe, TheClientSeesTheServerGoAndAKilledClientIsSeenToo) {
  instance_.Close();
  EXPECT_EQ(client_.Command("read 0 inf"), "disconnected");
  EXPECT_EQ(client_.Command("write 0 41"), "error 232");

  HelperProcess second;
  ASSERT_EQ(second.Command("connect \\\\.\\pipe\\SimulateDeviceData"), "new 0");
  PipeServer::Accepted accepted = server_.WaitForClient({}, kInfinite);
  ASSERT_TRUE(accepted.client);
  second.Kill();
  EXPECT_EQ(accepted.client.Read(kInfinite).status, PipeReadStatus::Disconnected);
}

TEST(PipeServer, WaitForClientEndsOnItsTerminateEventOrTimeOut) {
  auto server = PipeServer::Create(kPipe);
  ASSERT_TRUE(server.handle);
  const Event other = Event::Create(EventReset::Auto, false).handle;
  const auto terminate =
      Event::Create(EventReset::Auto, false, u"Local\\SimulateDeviceOutputThreadTerminate");
  const std::array<ObjectRef, 2> interrupters{other.Ref(), terminate.handle.Ref()};

  EXPECT_EQ(server.handle.WaitForClient(interrupters, Timeout(100)).wait.status,
            WaitStatus::TimedOut);

  HelperProcess stopper;
  ASSERT_EQ(stopper.Command("event Local\\SimulateDeviceOutputThreadTerminate auto reset"),
            "existed 0");
  Thread serving = Thread::Start([&] {
    const PipeServer::Accepted accepted = server.handle.WaitForClient(interrupters, kInfinite);
    return accepted.wait.Signalled(1) && !accepted.client ? 0u : 1u;
  });
  ASSERT_EQ(stopper.Command("set 0"), "ok");
  EXPECT_TRUE(serving.Join());
  EXPECT_EQ(serving.ExitCode(), 0u);

  // A client that came while nobody waited is there for the next wait.
  ASSERT_EQ(stopper.Command("connect \\\\.\\pipe\\SimulateDeviceData"), "new 1");
  const PipeServer::Accepted accepted = server.handle.WaitForClient(interrupters, kInfinite);
  EXPECT_TRUE(accepted.wait.Signalled(2));
  EXPECT_TRUE(accepted.client);
}

TEST(PipeServer, OneServerANameAndAKilledServersNameIsFree) {
  EXPECT_EQ(PipeConnection::Connect(kPipe).error, ERROR_FILE_NOT_FOUND);
  {
    auto first = PipeServer::Create(kPipe);
    ASSERT_TRUE(first.handle);
    EXPECT_EQ(PipeServer::Create(kPipe).error, ERROR_PIPE_BUSY);
  }
  EXPECT_EQ(PipeConnection::Connect(kPipe).error, ERROR_FILE_NOT_FOUND);

  HelperProcess crashing;
  ASSERT_EQ(crashing.Command("serve \\\\.\\pipe\\SimulateDeviceData"), "new 0");
  EXPECT_TRUE(PipeConnection::Connect(kPipe).handle);
  EXPECT_EQ(PipeServer::Create(kPipe).error, ERROR_PIPE_BUSY);
  crashing.Kill();
  EXPECT_TRUE(PipeServer::Create(kPipe).handle);

  for (const std::u16string_view bad :
       {std::u16string_view(u"SimulateDeviceData"), std::u16string_view(u"\\\\.\\pipe\\"),
        std::u16string_view(u"\\\\.\\pipe\\a/b")}) {
    EXPECT_EQ(PipeServer::Create(bad).error, ERROR_INVALID_NAME);
    EXPECT_EQ(PipeConnection::Connect(bad).error, ERROR_INVALID_NAME);
  }
  EXPECT_EQ(PipeServer::Create(u"\\\\.\\pipe\\" + std::u16string(200, u'n')).error,
            ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace
}  // namespace platform
