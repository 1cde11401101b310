#pragma once

// The control sockets of the root's managers (sessions, services): message sockets under the
// root on which each message is one text, and whose server learns each caller's user and process
// from the kernel, never from what the caller says.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/kernel/Posix.h"

namespace platform {

// Who is at the other end, as the kernel reports it.
struct PeerCredentials {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;
};

// One end of a connected control socket; owns it. Move-only; one thread sends and one receives
// at a time.
class ControlConnection {
 public:
  ControlConnection() = default;
  explicit ControlConnection(detail::UniqueFd socket) noexcept : socket_(std::move(socket)) {}

  // Connects to the listener at `path`; empty when none listens.
  static ControlConnection Connect(const std::filesystem::path& path);
  // Both ends of a new unnamed pair, for a parent and the child that inherits one end.
  static std::optional<std::pair<ControlConnection, ControlConnection>> Pair();

  // False when the other end has gone or the text is longer than a message may be.
  bool Send(std::string_view text) const;
  // The next message; nothing once the other end has gone, or when `limit` (none: no limit)
  // passes first.
  std::optional<std::string> Receive(
      std::optional<std::chrono::milliseconds> limit = std::nullopt) const;
  // Sends one request and takes its answer; nothing when the other end went first.
  std::optional<std::string> Request(std::string_view text) const;

  PeerCredentials Peer() const;
  int Descriptor() const noexcept { return socket_.Get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(socket_); }
  // Wakes a thread blocked in Receive on this connection: it returns nothing.
  void Shutdown() const noexcept;

 private:
  detail::UniqueFd socket_;
};

// Listens on one socket path under the root while it lives; one listener a path, and the path of
// a listener whose process died is free again. Move-only; one thread accepts at a time.
class ControlListener {
 public:
  ControlListener() = default;
  // Nothing when another listener of this path lives or the socket cannot be made. Every user may
  // connect; the manager checks each caller's credentials.
  static std::optional<ControlListener> Create(const std::filesystem::path& path);
  ControlListener(ControlListener&&) noexcept = default;
  ControlListener& operator=(ControlListener&&) noexcept = default;
  ~ControlListener();

  // The next caller; empty once Shutdown was called.
  ControlConnection Accept() const;
  // Ends every Accept, now and later; any thread.
  void Shutdown() const noexcept;

 private:
  detail::UniqueFd nameLock_;  // held while the listener lives
  detail::UniqueFd socket_;
  std::filesystem::path path_;
};

}  // namespace platform
