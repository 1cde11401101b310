#pragma once

// Named pipes in message mode between the processes of the root, named "\\.\pipe\Name" as the
// system's code names them. Each write is one message and each read returns one whole message,
// an empty one included.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
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
// one thread reads and one thread writes at a time.
class PipeConnection {
 public:
  PipeConnection() = default;

  // Connects to the server of that pipe; ERROR_FILE_NOT_FOUND when none listens,
  // ERROR_INVALID_NAME for a name that is not a pipe's.
  static HandleResult<PipeConnection> Connect(std::u16string_view pipeName);

  // Sends one message of up to kMaxPipeMessage bytes: ERROR_SUCCESS, ERROR_NO_DATA when the other
  // end has gone, ERROR_INVALID_PARAMETER when it is too long or the connection is null.
  std::uint32_t Write(std::span<const std::byte> message) const;
  // Takes the next message, waiting up to `timeout`; Disconnected once the other end has gone and
  // every message it sent has been read.
  PipeRead Read(Timeout timeout) const;

  explicit operator bool() const noexcept { return static_cast<bool>(socket_); }
  void Close() noexcept { socket_.Reset(); }

 private:
  friend class PipeServer;
  explicit PipeConnection(detail::UniqueFd socket) noexcept : socket_(std::move(socket)) {}

  detail::UniqueFd socket_;
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
