#include "platform/sessions/ControlChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

using detail::UniqueFd;

constexpr std::size_t kMaxMessage = 65536;

}  // namespace

ControlConnection ControlConnection::Connect(const std::filesystem::path& path) {
  const std::optional<sockaddr_un> address = detail::LocalSocketAddress(path);
  UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!address || !socket ||
      connect(socket.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    return ControlConnection();
  }
  return ControlConnection(std::move(socket));
}

std::optional<std::pair<ControlConnection, ControlConnection>> ControlConnection::Pair() {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    return std::nullopt;
  }
  return std::pair{ControlConnection(UniqueFd(ends[0])), ControlConnection(UniqueFd(ends[1]))};
}

bool ControlConnection::Send(std::string_view text) const {
  if (!socket_ || text.size() > kMaxMessage) {
    return false;
  }
  ssize_t sent;
  do {
    sent = send(socket_.Get(), text.data(), text.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(text.size());
}

std::optional<std::string> ControlConnection::Receive(
    std::optional<std::chrono::milliseconds> limit) const {
  if (!socket_) {
    return std::nullopt;
  }
  pollfd ready{socket_.Get(), POLLIN, 0};
  int polled;
  do {
    polled = poll(&ready, 1, limit ? static_cast<int>(limit->count()) : -1);
  } while (polled < 0 && errno == EINTR);
  if (polled <= 0) {
    return std::nullopt;
  }
  std::vector<char> buffer(kMaxMessage);
  ssize_t count;
  do {
    count = recv(socket_.Get(), buffer.data(), buffer.size(), 0);
  } while (count < 0 && errno == EINTR);
  // An empty message never comes from a peer of ours: it is the end of the connection.
  if (count <= 0) {
    return std::nullopt;
  }
  return std::string(buffer.data(), static_cast<std::size_t>(count));
}

std::optional<std::string> ControlConnection::Request(std::string_view text) const {
  if (!Send(text)) {
    return std::nullopt;
  }
  return Receive();
}

PeerCredentials ControlConnection::Peer() const {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(socket_.Get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
    // Nobody: a caller whose credentials cannot be read gets no rights.
    return PeerCredentials{0, static_cast<uid_t>(-1), static_cast<gid_t>(-1)};
  }
  return PeerCredentials{credentials.pid, credentials.uid, credentials.gid};
}

void ControlConnection::Shutdown() const noexcept {
  if (socket_) {
    shutdown(socket_.Get(), SHUT_RDWR);
  }
}

std::optional<ControlListener> ControlListener::Create(const std::filesystem::path& path) {
  const std::optional<sockaddr_un> address = detail::LocalSocketAddress(path);
  if (!address) {
    return std::nullopt;
  }
  ControlListener listener;
  listener.nameLock_ =
      UniqueFd(open((path.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!listener.nameLock_ || flock(listener.nameLock_.Get(), LOCK_EX | LOCK_NB) != 0) {
    return std::nullopt;
  }
  unlink(path.c_str());
  listener.socket_ = UniqueFd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!listener.socket_ ||
      bind(listener.socket_.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) !=
          0 ||
      chmod(path.c_str(), 0666) != 0 || listen(listener.socket_.Get(), 64) != 0) {
    return std::nullopt;
  }
  listener.path_ = path;
  return listener;
}

ControlListener::~ControlListener() {
  if (socket_ && !path_.empty()) {
    unlink(path_.c_str());
  }
}

ControlConnection ControlListener::Accept() const {
  for (;;) {
    UniqueFd client(accept4(socket_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (client) {
      return ControlConnection(std::move(client));
    }
    if (errno != EINTR && errno != ECONNABORTED) {
      return ControlConnection();
    }
  }
}

void ControlListener::Shutdown() const noexcept {
  if (socket_) {
    shutdown(socket_.Get(), SHUT_RDWR);
  }
}

}  // namespace platform
