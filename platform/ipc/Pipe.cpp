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
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "platform/ipc/ReadinessWatch.h"
#include "platform/kernel/Root.h"

namespace platform {
namespace {

using detail::UniqueFd;

// Every record on the socket starts with this byte, so that an empty message is a record of one
// byte and never looks like the end of the connection (a record of none).
constexpr std::byte kMessageRecord{'M'};

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
  const std::string path = socketFile.string();
  if (path.size() >= sizeof result.address.sun_path) {
    result.error = ERROR_FILENAME_EXCED_RANGE;
    return result;
  }
  result.address.sun_family = AF_UNIX;
  std::memcpy(result.address.sun_path, path.c_str(), path.size() + 1);
  return result;
}

const sockaddr* Generic(const sockaddr_un& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

UniqueFd NewSocket() { return UniqueFd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)); }

// Waits on the layer's clock until the descriptor is readable: true when it is.
std::optional<bool> WaitReadable(int descriptor, Timeout timeout) {
  const auto realLimit =
      std::chrono::duration_cast<std::chrono::milliseconds>(RealDuration(timeout));
  const int limit =
      timeout == kInfinite
          ? -1
          : static_cast<int>(std::min<std::int64_t>(realLimit.count() + 1, 0x7FFFFFFF));
  pollfd watched{descriptor, POLLIN, 0};
  int count = 0;
  do {
    count = poll(&watched, 1, timeout == Timeout::zero() ? 0 : limit);
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    return std::nullopt;
  }
  return count > 0;
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

std::uint32_t PipeConnection::Write(std::span<const std::byte> message) const {
  if (!socket_ || message.size() > kMaxPipeMessage) {
    return ERROR_INVALID_PARAMETER;
  }
  std::byte header = kMessageRecord;
  std::array<iovec, 2> parts{iovec{&header, 1},
                             iovec{const_cast<std::byte*>(message.data()), message.size()}};
  msghdr record{};
  record.msg_iov = parts.data();
  record.msg_iovlen = parts.size();
  ssize_t sent = 0;
  do {
    sent = sendmsg(socket_.Get(), &record, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent < 0 ? ERROR_NO_DATA : ERROR_SUCCESS;
}

PipeRead PipeConnection::Read(Timeout timeout) const {
  PipeRead result;
  if (!socket_) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  const std::optional<bool> readable = WaitReadable(socket_.Get(), timeout);
  if (!readable) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  if (!*readable) {
    result.status = PipeReadStatus::TimedOut;
    return result;
  }
  // MSG_TRUNC makes the peek tell the record's whole length.
  std::byte first{};
  const ssize_t length = recv(socket_.Get(), &first, 1, MSG_PEEK | MSG_TRUNC);
  if (length <= 0) {
    result.status =
        length == 0 || errno == ECONNRESET ? PipeReadStatus::Disconnected : PipeReadStatus::Failed;
    result.error = length == 0 ? ERROR_BROKEN_PIPE : static_cast<std::uint32_t>(errno);
    return result;
  }
  std::vector<std::byte> record(static_cast<std::size_t>(length));
  const ssize_t received = recv(socket_.Get(), record.data(), record.size(), 0);
  if (received != length || record.front() != kMessageRecord) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  result.status = PipeReadStatus::Message;
  result.message.assign(record.begin() + 1, record.end());
  return result;
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
