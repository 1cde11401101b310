#include "platform/ipc/Pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/ipc/PipeRecord.h"
#include "platform/ipc/ReadinessWatch.h"
#include "platform/kernel/Root.h"

namespace platform {
namespace {

using detail::kMessageRecord;
using detail::UniqueFd;
using Clock = std::chrono::steady_clock;

struct PipeAddress {
  sockaddr_un address{};
  std::filesystem::path lockFile;
  std::uint32_t error = ERROR_SUCCESS;
};

PipeAddress AddressOf(std::u16string_view pipeName) {
  constexpr std::u16string_view kPrefix = u"\\\\.\\pipe\\";
  PipeAddress result;
  constexpr std::u16string_view kForbidden(u"/\0", 2);
  if (pipeName.size() <= kPrefix.size() || !pipeName.starts_with(kPrefix) ||
      pipeName.find_first_of(kForbidden, kPrefix.size()) != std::u16string_view::npos) {
    result.error = ERROR_INVALID_NAME;
    return result;
  }
  const std::string name = ToUtf8(pipeName.substr(kPrefix.size()));
  const std::filesystem::path socketFile = PlatformRoot() / "pipes" / name;
  result.lockFile = PlatformRoot() / "pipe-locks" / name;
  const std::optional<sockaddr_un> address = detail::LocalSocketAddress(socketFile);
  if (!address) {
    result.error = ERROR_FILENAME_EXCED_RANGE;
    return result;
  }
  result.address = *address;
  return result;
}

const sockaddr* Generic(const sockaddr_un& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

UniqueFd NewSocket() { return UniqueFd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)); }

// A time-out on the layer's clock as a real deadline for poll; a negative time-out reads as zero.
class PollDeadline {
 public:
  explicit PollDeadline(Timeout timeout)
      : deadline_(
            timeout == kInfinite
                ? std::nullopt
                : std::optional(Clock::now() + RealDuration(std::max(timeout, Timeout::zero())))) {}

  // Waits until the descriptor reports one of `events` (or a hang-up or error, which poll always
  // reports): what it reported, 0 at the deadline, nothing when poll fails.
  std::optional<short> Wait(int descriptor, short events) const {
    pollfd watched{descriptor, events, 0};
    for (;;) {
      const int count = poll(&watched, 1, MillisecondsLeft());
      if (count >= 0) {
        return count == 0 ? 0 : watched.revents;
      }
      if (errno != EINTR) {
        return std::nullopt;
      }
    }
  }

 private:
  // Rounded up, so that a wait never ends before its deadline.
  int MillisecondsLeft() const {
    if (!deadline_) {
      return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
  }

  std::optional<Clock::time_point> deadline_;
};

PipeRead BrokenPipe() {
  PipeRead result;
  result.status = PipeReadStatus::Disconnected;
  result.error = ERROR_BROKEN_PIPE;
  return result;
}

}  // namespace

HandleResult<PipeConnection> PipeConnection::Connect(std::u16string_view pipeName) {
  const PipeAddress address = AddressOf(pipeName);
  if (address.error != ERROR_SUCCESS) {
    return {{}, false, address.error};
  }
  UniqueFd socket = NewSocket();
  if (!socket) {
    return {{}, false, ERROR_NOT_ENOUGH_MEMORY};
  }
  if (connect(socket.Get(), Generic(address.address), sizeof address.address) != 0) {
    const int error = errno;
    return {{}, false, error == EAGAIN ? ERROR_PIPE_BUSY : ERROR_FILE_NOT_FOUND};
  }
  return {PipeConnection(std::move(socket)), false, ERROR_SUCCESS};
}

PipeConnection::PipeConnection(PipeConnection&& other) noexcept
    : socket_(std::move(other.socket_)), ended_(other.ended_.exchange(false)) {}

PipeConnection& PipeConnection::operator=(PipeConnection&& other) noexcept {
  if (this != &other) {
    socket_ = std::move(other.socket_);
    ended_ = other.ended_.exchange(false);
  }
  return *this;
}

void PipeConnection::Close() noexcept {
  socket_.Reset();
  ended_ = false;
}

void PipeConnection::End() const noexcept {
  ended_ = true;
  shutdown(socket_.Get(), SHUT_RDWR);
}

std::uint32_t PipeConnection::Write(std::span<const std::byte> message, Timeout timeout) const {
  if (!socket_ || message.size() > kMaxPipeMessage) {
    return ERROR_INVALID_PARAMETER;
  }
  std::byte header = kMessageRecord;
  std::array<iovec, 2> parts{iovec{&header, 1},
                             iovec{const_cast<std::byte*>(message.data()), message.size()}};
  msghdr record{};
  record.msg_iov = parts.data();
  record.msg_iovlen = parts.size();
  const PollDeadline deadline(timeout);
  for (;;) {
    if (sendmsg(socket_.Get(), &record, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) {
      return ERROR_SUCCESS;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return ERROR_NO_DATA;
    }
    // Writable means a quarter of the buffer free, so the next send goes through: no spin.
    const std::optional<short> events = deadline.Wait(socket_.Get(), POLLOUT);
    if (events == 0) {
      End();
      return ERROR_TIMEOUT;
    }
    if (!events || (*events & POLLOUT) == 0) {
      return ERROR_NO_DATA;  // a hang-up or an error without room
    }
  }
}

PipeRead PipeConnection::Read(Timeout timeout) const {
  PipeRead result;
  if (!socket_) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  if (ended_) {
    return BrokenPipe();
  }
  const std::optional<short> events = PollDeadline(timeout).Wait(socket_.Get(), POLLIN);
  if (!events) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  if (*events == 0) {
    result.status = PipeReadStatus::TimedOut;
    return result;
  }
  // MSG_TRUNC makes the peek tell the record's whole length. A peer that died leaving our
  // messages unread is reported once as a reset; what it sent before is still read.
  std::byte first{};
  ssize_t length = 0;
  do {
    length = recv(socket_.Get(), &first, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  } while (length < 0 && (errno == EINTR || errno == ECONNRESET));
  if (length < 0) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  // A record of none is the end of the connection, or a peer's that does not frame its
  // messages; a record too long is no message either. Both end the connection.
  if (length == 0 || static_cast<std::size_t>(length) > detail::kMaxPipeRecord) {
    End();
    return BrokenPipe();
  }
  std::vector<std::byte> record(static_cast<std::size_t>(length));
  const ssize_t received = recv(socket_.Get(), record.data(), record.size(), MSG_DONTWAIT);
  const std::optional<std::span<const std::byte>> message =
      received == length ? detail::MessageOfRecord(record) : std::nullopt;
  if (!message) {
    End();
    return BrokenPipe();
  }
  result.status = PipeReadStatus::Message;
  result.message.assign(message->begin(), message->end());
  return result;
}

bool PipeConnection::PeerGone() const noexcept {
  if (!socket_) {
    return true;
  }
  // Hang-ups and errors are reported without being asked for; nothing is read.
  pollfd watched{socket_.Get(), 0, 0};
  int count = 0;
  do {
    count = poll(&watched, 1, 0);
  } while (count < 0 && errno == EINTR);
  return count < 0 || (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

PipeServer::BoundName& PipeServer::BoundName::operator=(BoundName&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

void PipeServer::BoundName::Remove() noexcept {
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    path_.clear();
  }
}

HandleResult<PipeServer> PipeServer::Create(std::u16string_view pipeName) {
  const PipeAddress address = AddressOf(pipeName);
  if (address.error != ERROR_SUCCESS) {
    return {{}, false, address.error};
  }
  const std::filesystem::path socketFile(address.address.sun_path);
  std::error_code ignored;
  std::filesystem::create_directories(socketFile.parent_path(), ignored);
  std::filesystem::create_directories(address.lockFile.parent_path(), ignored);

  // The lock dies with its process, so a crashed server's name is free again.
  UniqueFd nameLock(open(address.lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!nameLock) {
    return {{}, false, ERROR_ACCESS_DENIED};
  }
  if (flock(nameLock.Get(), LOCK_EX | LOCK_NB) != 0) {
    return {{}, true, ERROR_PIPE_BUSY};
  }
  std::filesystem::remove(socketFile, ignored);
  UniqueFd listener = NewSocket();
  if (!listener || bind(listener.Get(), Generic(address.address), sizeof address.address) != 0) {
    return {{}, false, ERROR_ACCESS_DENIED};
  }
  PipeServer server;
  server.nameLock_ = std::move(nameLock);
  server.boundName_ = BoundName(socketFile);
  if (listen(listener.Get(), SOMAXCONN) != 0 ||
      fcntl(listener.Get(), F_SETFL, fcntl(listener.Get(), F_GETFL) | O_NONBLOCK) != 0) {
    return {{}, false, ERROR_ACCESS_DENIED};
  }
  server.listener_ = std::move(listener);
  return {std::move(server), false, ERROR_SUCCESS};
}

PipeServer::Accepted PipeServer::WaitForClient(std::span<const ObjectRef> interrupters,
                                               Timeout timeout) const {
  Accepted accepted;
  if (!listener_ || interrupters.size() >= kMaxWaitObjects) {
    accepted.wait = {WaitStatus::Failed, 0, ERROR_INVALID_PARAMETER};
    return accepted;
  }
  const detail::ReadinessWatch watch(listener_.Get());
  std::array<ObjectRef, kMaxWaitObjects> objects{};
  std::copy(interrupters.begin(), interrupters.end(), objects.begin());
  objects[interrupters.size()] = watch.Ready();
  accepted.wait = WaitForObjects(std::span(objects.data(), interrupters.size() + 1), timeout);
  if (accepted.wait.Signalled(interrupters.size())) {
    UniqueFd client(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
      accepted.wait = {WaitStatus::Failed, interrupters.size(), ERROR_PIPE_NOT_CONNECTED};
      return accepted;
    }
    accepted.client = PipeConnection(std::move(client));
  }
  return accepted;
}

}  // namespace platform
