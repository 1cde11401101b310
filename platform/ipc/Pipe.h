#pragma once

// Named pipes in message mode between the processes of the root, named "\\.\pipe\Name" as the
// system's code names them. Each write is one message and each read returns one whole message,
// an empty one included. A negative time-out reads as zero, as in WaitForObjects.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/kernel/KernelHandle.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Wait.h"

namespace platform {

inline constexpr std::size_t kMaxPipeMessage = 65536;

enum class PipeReadStatus { Message, Disconnected, TimedOut, Failed };

struct PipeRead {
  PipeReadStatus status = PipeReadStatus::Failed;
  std::vector<std::byte> message;
  std::uint32_t error = ERROR_SUCCESS;
};

// One end of a connected pipe: a client's, or one instance of a server. Owns its socket. Move-only;
// one thread reads and one thread writes at a time, and any thread may ask PeerGone.
//
// The connection ends, for both ends at once, on a record that breaks the framing (from a peer
// that does not frame its messages) and on a write that times out. Then reads answer
// Disconnected with ERROR_BROKEN_PIPE and writes ERROR_NO_DATA, so neither end ever takes a later
// message without the ones before it.
class PipeConnection {
 public:
  PipeConnection() = default;
  PipeConnection(PipeConnection&& other) noexcept;
  PipeConnection& operator=(PipeConnection&& other) noexcept;
  PipeConnection(const PipeConnection&) = delete;
  PipeConnection& operator=(const PipeConnection&) = delete;
  ~PipeConnection() = default;

  // Connects to the server of that pipe; ERROR_FILE_NOT_FOUND when none listens,
  // ERROR_INVALID_NAME for a name that is not a pipe's.
  static HandleResult<PipeConnection> Connect(std::u16string_view pipeName);

  // Sends one message of up to kMaxPipeMessage bytes, waiting up to `timeout` for the other end
  // to make room: ERROR_SUCCESS, ERROR_NO_DATA when the connection has ended, ERROR_TIMEOUT when
  // no room came in time (the message is not sent and the connection ends),
  // ERROR_INVALID_PARAMETER when it is too long or the connection is null.
  std::uint32_t Write(std::span<const std::byte> message, Timeout timeout) const;
  // Takes the next message, waiting up to `timeout`; Disconnected once the other end has gone and
  // every message it sent has been read, or once the connection has ended.
  PipeRead Read(Timeout timeout) const;
  // True once the other end has closed or died, whatever either end left unread, or the
  // connection has ended; also for a null connection. Does not wait.
  bool PeerGone() const noexcept;

  explicit operator bool() const noexcept { return static_cast<bool>(socket_); }
  void Close() noexcept;

 private:
  friend class PipeServer;
  explicit PipeConnection(detail::UniqueFd socket) noexcept : socket_(std::move(socket)) {}

  // Shuts the socket down both ways; later reads answer Disconnected whatever is still queued.
  void End() const noexcept;

  detail::UniqueFd socket_;
  mutable std::atomic<bool> ended_{false};
};

// The server of one pipe name on the root: while it lives, clients connect to it, each getting an
// instance of its own. A second server of the same name fails with ERROR_PIPE_BUSY; the name of a
// server whose process died is free again. Move-only; one thread waits for clients at a time.
class PipeServer {
 public:
  PipeServer() = default;

  static HandleResult<PipeServer> Create(std::u16string_view pipeName);

  struct Accepted {
    WaitResult wait;        // index interrupters.size(): a client connected
    PipeConnection client;  // that client's instance
  };
  // Waits for the next client, or until one of `interrupters` is signalled (the lowest index wins,
  // as in WaitForObjects), or `timeout`.
  Accepted WaitForClient(std::span<const ObjectRef> interrupters, Timeout timeout) const;

  explicit operator bool() const noexcept { return static_cast<bool>(listener_); }

 private:
  // Owns the socket file that the server bound; removes it when the server goes.
  class BoundName {
   public:
    BoundName() = default;
    explicit BoundName(std::filesystem::path path) : path_(std::move(path)) {}
    BoundName(BoundName&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    BoundName& operator=(BoundName&& other) noexcept;
    BoundName(const BoundName&) = delete;
    BoundName& operator=(const BoundName&) = delete;
    ~BoundName() { Remove(); }

   private:
    void Remove() noexcept;

    std::filesystem::path path_;
  };

  detail::UniqueFd nameLock_;  // the lock file held while the server lives: one server a name
  BoundName boundName_;
  detail::UniqueFd listener_;
};

}  // namespace platform
