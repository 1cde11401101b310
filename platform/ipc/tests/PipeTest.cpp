#include "platform/ipc/Pipe.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/ipc/PipeRecord.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using testing::HelperProcess;

constexpr std::u16string_view kPipe = u"\\\\.\\pipe\\SimulateDeviceData";
constexpr char kConnect[] = "connect \\\\.\\pipe\\SimulateDeviceData";
// Helper answers come in real time; a negative time-out that blocked would give none.
constexpr std::chrono::seconds kAnswerLimit(5);

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
    ASSERT_EQ(client_.Command(kConnect), "new 0");
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
  ASSERT_EQ(instance_.Write(Bytes("Now Playing"), kInfinite), ERROR_SUCCESS);
  ASSERT_EQ(instance_.Write({}, kInfinite), ERROR_SUCCESS);
  ASSERT_EQ(instance_.Write(Bytes(large), kInfinite), ERROR_SUCCESS);
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
  EXPECT_EQ(instance_.Write(std::vector<std::byte>(kMaxPipeMessage + 1), kInfinite),
            ERROR_INVALID_PARAMETER);
}

TEST_F(ConnectedPipe, TheServerSeesTheClientGo) {
  ASSERT_EQ(client_.Command("write 0 41"), "ok");
  ASSERT_EQ(client_.Command("close 0"), "ok");
  // What was sent before the close is still read.
  EXPECT_EQ(instance_.Read(kInfinite).status, PipeReadStatus::Message);
  EXPECT_EQ(instance_.Read(kInfinite).status, PipeReadStatus::Disconnected);
  EXPECT_EQ(instance_.Write(Bytes("page"), kInfinite), ERROR_NO_DATA);
}

TEST_F(ConnectedPipe, TheClientSeesTheServerGoAndAKilledClientIsSeenToo) {
  instance_.Close();
  EXPECT_EQ(client_.Command("read 0 inf"), "disconnected");
  EXPECT_EQ(client_.Command("write 0 41"), "error 232");

  HelperProcess second;
  ASSERT_EQ(second.Command(kConnect), "new 0");
  PipeServer::Accepted accepted = server_.WaitForClient({}, kInfinite);
  ASSERT_TRUE(accepted.client);
  second.Kill();
  EXPECT_EQ(accepted.client.Read(kInfinite).status, PipeReadStatus::Disconnected);
}

TEST_F(ConnectedPipe, ANegativeTimeOutReadsAsZero) {
  for (const char* timeout : {"-1", "-5000", "-9223372036854775808"}) {
    EXPECT_EQ(client_.Command(std::string("read 0 ") + timeout, kAnswerLimit), "timeout")
        << timeout;
  }
}

// Accepts one helper process as a client of the server each time.
PipeConnection AcceptHelper(const PipeServer& server, HelperProcess& helper) {
  EXPECT_EQ(helper.Command(kConnect), "new 0");
  PipeServer::Accepted accepted = server.WaitForClient({}, kInfinite);
  EXPECT_TRUE(accepted.client);
  return std::move(accepted.client);
}

TEST(PipeConnection, AWriteThatFindsNoRoomInTimeEndsTheConnection) {
  auto server = PipeServer::Create(kPipe);
  ASSERT_TRUE(server.handle);
  const std::vector<std::byte> large(60000, std::byte{'p'});
  for (const Timeout timeout : {Timeout(100), Timeout(0), Timeout(-5000), Timeout::min()}) {
    HelperProcess reader;  // never reads until told
    const PipeConnection instance = AcceptHelper(server.handle, reader);
    std::uint32_t written = ERROR_SUCCESS;
    std::size_t sent = 0;
    for (; sent < 1000 && written == ERROR_SUCCESS; ++sent) {
      written = instance.Write(large, timeout);
    }
    ASSERT_EQ(written, ERROR_TIMEOUT) << timeout.count();
    EXPECT_EQ(instance.Write(Bytes("page"), kInfinite), ERROR_NO_DATA);
    EXPECT_TRUE(instance.PeerGone());
    EXPECT_EQ(instance.Read(kInfinite).status, PipeReadStatus::Disconnected);
    // The reader takes what was sent whole, then sees the end rather than a gap.
    for (std::size_t count = 1; count < sent; ++count) {
      ASSERT_EQ(reader.Command("read 0 inf").substr(0, 10), "message 70");
    }
    EXPECT_EQ(reader.Command("read 0 inf"), "disconnected");
  }
}

TEST(PipeConnection, APeerThatWroteAndWasKilledIsSeenGoneWhateverWasLeftUnread) {
  auto server = PipeServer::Create(kPipe);
  ASSERT_TRUE(server.handle);
  for (const bool pageLeftUnread : {false, true}) {
    HelperProcess tool;
    const PipeConnection instance = AcceptHelper(server.handle, tool);
    if (pageLeftUnread) {
      ASSERT_EQ(instance.Write(Bytes("page"), kInfinite), ERROR_SUCCESS);
    }
    ASSERT_EQ(tool.Command("write 0 41"), "ok");
    EXPECT_FALSE(instance.PeerGone());
    tool.Kill();
    EXPECT_TRUE(instance.PeerGone()) << pageLeftUnread;
    // What it wrote before it died is still read, then the end.
    const PipeRead written = instance.Read(kInfinite);
    EXPECT_EQ(written.status, PipeReadStatus::Message) << pageLeftUnread;
    EXPECT_EQ(written.message, Bytes("A"));
    EXPECT_EQ(instance.Read(kInfinite).status, PipeReadStatus::Disconnected);
  }
  EXPECT_TRUE(PipeConnection().PeerGone());
}

// A client that does not frame its messages: one raw socket on the pipe's socket file.
class ForeignClient {
 public:
  ForeignClient() : socket_(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (PlatformRoot() / "pipes" / "SimulateDeviceData").string();
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    connected_ =
        connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }

  bool Connected() const { return connected_; }
  bool Send(std::span<const std::byte> record) const {
    return send(socket_.Get(), record.data(), record.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(record.size());
  }
  // True once the other end has ended the connection: nothing more to read, nothing to send.
  bool SeesTheEnd() const {
    std::byte byte{};
    return recv(socket_.Get(), &byte, 1, MSG_DONTWAIT) == 0 && !Send(Bytes("MA"));
  }

 private:
  detail::UniqueFd socket_;
  bool connected_ = false;
};

TEST(PipeServer, ARecordThatBreaksTheFramingEndsThatConnectionAlone) {
  auto server = PipeServer::Create(kPipe);
  ASSERT_TRUE(server.handle);
  std::vector<std::byte> longest(detail::kMaxPipeRecord, std::byte{'l'});
  longest.front() = detail::kMessageRecord;
  std::vector<std::byte> tooLong = longest;
  tooLong.push_back(std::byte{'l'});
  {
    const ForeignClient framing;
    ASSERT_TRUE(framing.Connected());
    const PipeConnection instance = server.handle.WaitForClient({}, kInfinite).client;
    ASSERT_TRUE(framing.Send(longest));
    EXPECT_EQ(instance.Read(kInfinite).message.size(), kMaxPipeMessage);
  }
  const std::vector<std::vector<std::byte>> broken{{}, Bytes("XA"), tooLong};
  for (const std::vector<std::byte>& record : broken) {
    const ForeignClient foreign;
    ASSERT_TRUE(foreign.Connected());
    const PipeConnection instance = server.handle.WaitForClient({}, kInfinite).client;
    ASSERT_TRUE(instance);
    ASSERT_TRUE(foreign.Send(record));
    ASSERT_TRUE(foreign.Send(Bytes("MA")));
    const PipeRead read = instance.Read(kInfinite);
    EXPECT_EQ(read.status, PipeReadStatus::Disconnected) << record.size();
    EXPECT_EQ(read.error, ERROR_BROKEN_PIPE);
    // The message behind the bad record is not taken either: the connection is over.
    EXPECT_EQ(instance.Read(Timeout(0)).status, PipeReadStatus::Disconnected);
    EXPECT_TRUE(instance.PeerGone());
    EXPECT_TRUE(foreign.SeesTheEnd()) << record.size();
  }
  // The server serves the next client as before.
  const PipeConnection next = PipeConnection::Connect(kPipe).handle;
  const PipeConnection instance = server.handle.WaitForClient({}, kInfinite).client;
  ASSERT_EQ(next.Write(Bytes("MA"), kInfinite), ERROR_SUCCESS);
  EXPECT_EQ(instance.Read(kInfinite).message, Bytes("MA"));
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
  ASSERT_EQ(stopper.Command(kConnect), "new 1");
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
