#pragma once

// The session manager of a platform root: it owns the session table, logs users on and off,
// connects, disconnects, locks and unlocks sessions and switches the console, posts every change
// to the windows registered for session notices in the order the changes happen, starts the
// start-up programs of a new session, and ends a session's processes at its logoff. Other
// processes ask for changes through SessionControl (below) on the manager's control socket.

#include <condition_variable>
#include <functional>
#include <cstdint>
#include <deque>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/Event.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/sessions/ControlChannel.h"
#include "platform/sessions/ControlServer.h"
#include "platform/sessions/SessionRecords.h"

namespace platform {

// Error codes of session requests beyond the common ones.
inline constexpr std::uint32_t ERROR_CTX_WINSTATION_NOT_FOUND = 7022;
inline constexpr std::uint32_t ERROR_CTX_WINSTATION_BUSY = 7024;

// The manager's way to the windows of the root: session-change notices to registered windows and
// the end-of-session messages of a logoff. One implementation talks to the windows layer; tests
// may give their own. Called on the manager's threads, one call at a time.
class SessionWindowDelivery {
 public:
  virtual ~SessionWindowDelivery() = default;
  // Posts WM_WTSSESSION_CHANGE with the change type and the session id to the window.
  virtual void PostSessionChange(std::uint32_t window, std::uint32_t changeType,
                                 std::uint32_t sessionId) = 0;
  // Gives WM_QUERYENDSESSION and then WM_ENDSESSION (TRUE, ENDSESSION_LOGOFF) to the top-level
  // windows of the session's processes; the count of windows told.
  virtual std::size_t EndSession(std::uint32_t sessionId) = 0;
};

// The delivery to the windows layer's windows.
std::unique_ptr<SessionWindowDelivery> MakeWindowDelivery();

// Owns the table while it lives, its control socket, the readiness event
// "Global\TermSrvReadyEvent", the notice thread and the threads that serve callers, which Run
// (the callers') and the destructor (the notices') join. Made and run by one thread; Stop from
// any thread.
class SessionManager {
 public:
  // Makes the table anew (the services session only), listens, and sets the readiness event.
  // Nothing when another manager of the root runs or the table cannot be written.
  static std::unique_ptr<SessionManager> Start(std::unique_ptr<SessionWindowDelivery> delivery);
  SessionManager(const SessionManager&) = delete;
  SessionManager& operator=(const SessionManager&) = delete;
  ~SessionManager();

  // Serves callers until Stop or a caller's shutdown request, then logs every session off.
  void Run();
  void Stop();

  // The manager's control socket under the root.
  static std::filesystem::path SocketPath();

 private:
  struct Notice {
    std::uint32_t type;
    std::uint32_t sessionId;
  };
  // A notice with the windows registered for it when its change was made: a window that
  // registers later does not hear of it, one that unregisters later still does.
  struct AddressedNotice {
    Notice notice;
    std::vector<std::uint32_t> windows;
  };
  struct Reply {
    std::uint32_t error = 0;
    std::string value;
  };

  SessionManager(std::unique_ptr<SessionWindowDelivery> delivery, ControlListener listener);

  void Serve(const ControlConnection& caller);
  Reply Handle(const std::string& request, const PeerCredentials& caller);
  Reply Logon(const std::string& user, bool console);
  Reply Connect(std::uint32_t id, bool console);
  Reply Disconnect(std::uint32_t id);
  Reply Notify(std::uint32_t id, std::uint32_t type);
  Reply Logoff(std::uint32_t id);
  // Ends every process of the session, giving the first ones `ownEnd` to end by themselves.
  static void EndSessionProcesses(std::uint32_t id, std::chrono::nanoseconds ownEnd);
  // Changes the table under its lock; `change` says what went wrong, or nothing.
  std::optional<std::uint32_t> ChangeTable(
      const std::function<std::optional<std::uint32_t>(detail::SessionTableData&)>& change);
  // Leaves the console (when a session is there) so that `next` can take it.
  static void LeaveConsole(detail::SessionTableData& table, std::vector<Notice>& notices);
  void Queue(const std::vector<Notice>& notices);
  void DeliverNotices();
  // Returns once every notice queued before the call has been posted.
  void AwaitQueuedNotices();
  void StartStartupPrograms(std::uint32_t id, const std::string& user);

  std::unique_ptr<SessionWindowDelivery> delivery_;
  ControlServer server_;
  Event ready_;

  std::mutex changes_;  // one change of the sessions at a time, in the order callers come

  std::mutex noticesMutex_;
  std::condition_variable noticesQueued_;
  std::condition_variable noticesPosted_;
  std::deque<AddressedNotice> notices_;  // guarded by noticesMutex_
  std::uint64_t queuedNotices_ = 0;    // guarded by noticesMutex_
  std::uint64_t postedNotices_ = 0;    // guarded by noticesMutex_
  bool stopping_ = false;              // guarded by noticesMutex_
  std::thread noticeThread_;

};

// A caller's way to the root's session manager. Move-only; one thread at a time.
class SessionControl {
 public:
  struct Result {
    std::uint32_t error = 0;  // ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_CTX_WINSTATION_NOT_FOUND...
    std::string value;        // a new session's id
  };

  // Nothing when no manager runs for the root.
  static std::optional<SessionControl> Connect();

  Result Logon(const std::string& user, bool console);
  Result Logoff(std::uint32_t id);
  Result ConnectSession(std::uint32_t id, bool console);
  Result Disconnect(std::uint32_t id);
  Result Lock(std::uint32_t id);
  Result Unlock(std::uint32_t id);
  Result RemoteControl(std::uint32_t id);
  Result SwitchConsole(std::uint32_t id);
  Result Shutdown();

 private:
  explicit SessionControl(ControlConnection connection) : connection_(std::move(connection)) {}
  Result Ask(const std::string& request);

  ControlConnection connection_;
};

// Adds a start-up program that every new session runs (its arguments, the program first).
bool RegisterStartupProgram(const std::vector<std::string>& arguments);

}  // namespace platform
