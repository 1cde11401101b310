#include "platform/sessions/SessionManager.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <sstream>
#include <system_error>

#include "platform/base/Status.h"
#include "platform/base/Time.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/RecordText.h"
#include "platform/sessions/RootProcesses.h"
#include "platform/sessions/Sessions.h"

namespace platform {
namespace {

using detail::SessionRecord;
using detail::SessionTableData;

// How long, on the layer's clock, the programs of a session whose windows were told of its end
// have to end on their own; then how long they have to end when asked, in real time.
constexpr std::chrono::milliseconds kEndSessionWait{5000};
constexpr std::chrono::seconds kLogoffGrace{5};

using detail::JoinRecordFields;
using detail::SplitRecordFields;

std::optional<std::uint32_t> SessionIdOf(const std::string& text) {
  std::uint32_t id = 0;
  return detail::ParseRecordNumber(text, id) ? std::optional(id) : std::nullopt;
}

std::string RemoteStation(std::uint32_t id) { return "RDP-Tcp#" + std::to_string(id); }

const RecordFile& StartupFile() {
  static const RecordFile file(RootFolder("sessions") / "startup");
  return file;
}

}  // namespace

std::filesystem::path SessionManager::SocketPath() {
  return RootFolder("sessions") / "manager.sock";
}

std::unique_ptr<SessionManager> SessionManager::Start(
    std::unique_ptr<SessionWindowDelivery> delivery) {
  std::optional<ControlListener> listener = ControlListener::Create(SocketPath());
  if (!listener) {
    return nullptr;
  }
  SessionTableData table;
  table.sessions.push_back({kServicesSession, WTSIdle, "Services", ""});
  const bool written = detail::SessionTableFile().Update([&table](std::string& text) {
    text = detail::FormatSessionTable(table);
    return true;
  });
  if (!written) {
    return nullptr;
  }
  std::unique_ptr<SessionManager> manager(
      new SessionManager(std::move(delivery), std::move(*listener)));
  if (!manager->ready_ || !manager->ready_.Set()) {
    return nullptr;
  }
  return manager;
}

SessionManager::SessionManager(std::unique_ptr<SessionWindowDelivery> delivery,
                               ControlListener listener)
    : delivery_(std::move(delivery)),
      server_(std::move(listener)),
      ready_(Event::Create(EventReset::Manual, false, u"Global\\TermSrvReadyEvent").handle),
      noticeThread_([this] { DeliverNotices(); }) {}

SessionManager::~SessionManager() {
  server_.Stop();
  {
    const std::lock_guard lock(noticesMutex_);
    stopping_ = true;
  }
  noticesQueued_.notify_all();
  noticeThread_.join();
  ready_.Reset();
}

void SessionManager::Run() {
  server_.Run([this](const ControlConnection& caller) { Serve(caller); });
  const std::lock_guard lock(changes_);
  if (const std::optional<SessionTableData> table = detail::ReadSessionTable()) {
    for (const SessionRecord& session : table->sessions) {
      if (session.id != kServicesSession) {
        Logoff(session.id);
      }
    }
  }
  // Without its manager the root has no sessions to show.
  ready_.Reset();
  std::error_code ignored;
  std::filesystem::remove(detail::SessionTableFile().Path(), ignored);
}

void SessionManager::Stop() { server_.Stop(); }

void SessionManager::Serve(const ControlConnection& caller) {
  const PeerCredentials peer = caller.Peer();
  while (std::optional<std::string> request = caller.Receive()) {
    const Reply reply = Handle(*request, peer);
    caller.Send(reply.error == ERROR_SUCCESS
                    ? JoinRecordFields({"ok", reply.value})
                    : JoinRecordFields({"error", std::to_string(reply.error)}));
    if (*request == "shutdown" && reply.error == ERROR_SUCCESS) {
      Stop();
    }
  }
}

SessionManager::Reply SessionManager::Handle(const std::string& request,
                                             const PeerCredentials& caller) {
  // Sessions are the machine's: only its administrator, or the user the manager runs as, may
  // change them.
  if (caller.uid != 0 && caller.uid != geteuid()) {
    return {ERROR_ACCESS_DENIED, {}};
  }
  const std::vector<std::string> fields = SplitRecordFields(request);
  if (fields.size() == 1 && fields[0] == "shutdown") {
    return {};
  }
  if (fields.size() == 3 && fields[0] == "logon") {
    if (!detail::IsRecordName(fields[1])) {
      return {ERROR_INVALID_PARAMETER, {}};
    }
    return Logon(fields[1], fields[2] == "1");
  }
  const std::optional<std::uint32_t> id =
      fields.size() >= 2 ? SessionIdOf(fields[1]) : std::nullopt;
  if (!id) {
    return {ERROR_INVALID_PARAMETER, {}};
  }
  if (*id == kServicesSession) {
    // The services' session has no user to log off and no station to connect.
    return {ERROR_ACCESS_DENIED, {}};
  }
  const std::string& verb = fields[0];
  if (fields.size() == 3 && verb == "connect") {
    return Connect(*id, fields[2] == "1");
  }
  if (fields.size() != 2) {
    return {ERROR_INVALID_PARAMETER, {}};
  }
  if (verb == "console") {
    return Connect(*id, true);
  }
  if (verb == "disconnect") {
    return Disconnect(*id);
  }
  if (verb == "lock") {
    return Notify(*id, WTS_SESSION_LOCK);
  }
  if (verb == "unlock") {
    return Notify(*id, WTS_SESSION_UNLOCK);
  }
  if (verb == "remote-control") {
    return Notify(*id, WTS_SESSION_REMOTE_CONTROL);
  }
  if (verb == "logoff") {
    const std::lock_guard lock(changes_);
    return Logoff(*id);
  }
  return {ERROR_INVALID_PARAMETER, {}};
}

std::optional<std::uint32_t> SessionManager::ChangeTable(
    const std::function<std::optional<std::uint32_t>(SessionTableData&)>& change) {
  std::optional<std::uint32_t> error;
  const bool written = detail::SessionTableFile().Update([&](std::string& text) {
    std::optional<SessionTableData> table = detail::ParseSessionTable(text);
    if (!table) {
      error = ERROR_INVALID_HANDLE;
      return false;
    }
    error = change(*table);
    if (error) {
      return false;
    }
    text = detail::FormatSessionTable(*table);
    return true;
  });
  if (!written && !error) {
    error = ERROR_NO_SYSTEM_RESOURCES;
  }
  return error;
}

void SessionManager::LeaveConsole(SessionTableData& table, std::vector<Notice>& notices) {
  if (SessionRecord* previous = table.Find(table.console)) {
    previous->state = WTSDisconnected;
    previous->station.clear();
    notices.push_back({WTS_CONSOLE_DISCONNECT, previous->id});
  }
  table.console = kNoConsoleSession;
}

SessionManager::Reply SessionManager::Logon(const std::string& user, bool console) {
  const std::lock_guard lock(changes_);
  std::vector<Notice> notices;
  std::uint32_t id = 0;
  const std::optional<std::uint32_t> error = ChangeTable([&](SessionTableData& table) {
    notices.clear();
    id = table.nextId++;
    if (console) {
      LeaveConsole(table, notices);
      table.console = id;
    }
    table.sessions.push_back({id, WTSActive, console ? "Console" : RemoteStation(id), user});
    notices.push_back({console ? WTS_CONSOLE_CONNECT : WTS_REMOTE_CONNECT, id});
    notices.push_back({WTS_SESSION_LOGON, id});
    return std::nullopt;
  });
  if (error) {
    return {*error, {}};
  }
  Queue(notices);
  StartStartupPrograms(id, user);
  return {ERROR_SUCCESS, std::to_string(id)};
}

SessionManager::Reply SessionManager::Connect(std::uint32_t id, bool console) {
  const std::lock_guard lock(changes_);
  std::vector<Notice> notices;
  const std::optional<std::uint32_t> error = ChangeTable([&](SessionTableData& table) {
    notices.clear();
    if (table.Find(id) == nullptr) {
      return std::optional(ERROR_CTX_WINSTATION_NOT_FOUND);
    }
    const bool atConsole = table.console == id;
    if (atConsole == console && table.Find(id)->state == WTSActive) {
      return std::optional<std::uint32_t>();
    }
    if (console || atConsole) {
      LeaveConsole(table, notices);
    }
    SessionRecord& session = *table.Find(id);
    session.state = WTSActive;
    session.station = console ? "Console" : RemoteStation(id);
    if (console) {
      table.console = id;
    }
    notices.push_back({console ? WTS_CONSOLE_CONNECT : WTS_REMOTE_CONNECT, id});
    return std::optional<std::uint32_t>();
  });
  if (error) {
    return {*error, {}};
  }
  Queue(notices);
  return {};
}

SessionManager::Reply SessionManager::Disconnect(std::uint32_t id) {
  const std::lock_guard lock(changes_);
  std::vector<Notice> notices;
  const std::optional<std::uint32_t> error = ChangeTable([&](SessionTableData& table) {
    notices.clear();
    SessionRecord* session = table.Find(id);
    if (session == nullptr) {
      return std::optional(ERROR_CTX_WINSTATION_NOT_FOUND);
    }
    if (session->state == WTSDisconnected) {
      return std::optional<std::uint32_t>();
    }
    if (table.console == id) {
      LeaveConsole(table, notices);
    } else {
      session->state = WTSDisconnected;
      session->station.clear();
      notices.push_back({WTS_REMOTE_DISCONNECT, id});
    }
    return std::optional<std::uint32_t>();
  });
  if (error) {
    return {*error, {}};
  }
  Queue(notices);
  return {};
}

SessionManager::Reply SessionManager::Notify(std::uint32_t id, std::uint32_t type) {
  const std::lock_guard lock(changes_);
  const std::optional<SessionTableData> table = detail::ReadSessionTable();
  if (!table || !std::any_of(table->sessions.begin(), table->sessions.end(),
                             [id](const SessionRecord& session) { return session.id == id; })) {
    return {ERROR_CTX_WINSTATION_NOT_FOUND, {}};
  }
  Queue({{type, id}});
  return {};
}

// The caller holds changes_.
SessionManager::Reply SessionManager::Logoff(std::uint32_t id) {
  std::optional<SessionTableData> before = detail::ReadSessionTable();
  if (!before || before->Find(id) == nullptr) {
    return {ERROR_CTX_WINSTATION_NOT_FOUND, {}};
  }
  // The session's windows see the changes before it in their order, then its end.
  AwaitQueuedNotices();
  const std::size_t told = delivery_->EndSession(id);
  EndSessionProcesses(id, told != 0 ? RealDuration(kEndSessionWait) : std::chrono::nanoseconds(0));
  const std::optional<std::uint32_t> error = ChangeTable([id](SessionTableData& table) {
    std::erase_if(table.sessions, [id](const SessionRecord& session) { return session.id == id; });
    if (table.console == id) {
      table.console = kNoConsoleSession;
    }
    return std::optional<std::uint32_t>();
  });
  if (error) {
    return {*error, {}};
  }
  // What started in the session while it ended; nothing starts there from now on.
  EndSessionProcesses(id, std::chrono::nanoseconds(0));
  Queue({{WTS_SESSION_LOGOFF, id}});
  return {};
}

void SessionManager::EndSessionProcesses(std::uint32_t id, std::chrono::nanoseconds ownEnd) {
  // A program that ends may start another first (a server its player, say): the session is
  // looked at again until nothing runs in it, within a bound for a program that keeps doing so.
  constexpr int kMostRounds = 10;
  for (int round = 0; round < kMostRounds; ++round) {
    std::vector<detail::ProcessIdentity> processes;
    for (const detail::RootProcess& process : detail::ListRootProcesses()) {
      if (process.sessionId == id && process.identity != detail::ThisProcess()) {
        processes.push_back(process.identity);
      }
    }
    if (processes.empty()) {
      return;
    }
    detail::EndProcesses(processes, round == 0 ? ownEnd : std::chrono::nanoseconds(0),
                         kLogoffGrace);
  }
}

void SessionManager::Queue(const std::vector<Notice>& notices) {
  const std::vector<detail::NoticeRegistration> registrations =
      detail::ParseLiveRegistrations(detail::RegistrationFile().Read());
  std::vector<AddressedNotice> addressed;
  for (const Notice& notice : notices) {
    AddressedNotice& entry = addressed.emplace_back(AddressedNotice{notice, {}});
    for (const detail::NoticeRegistration& window : registrations) {
      if (window.flags == NOTIFY_FOR_ALL_SESSIONS || window.sessionId == notice.sessionId) {
        entry.windows.push_back(window.window);
      }
    }
  }
  {
    const std::lock_guard lock(noticesMutex_);
    notices_.insert(notices_.end(), addressed.begin(), addressed.end());
    queuedNotices_ += addressed.size();
  }
  noticesQueued_.notify_all();
}

void SessionManager::AwaitQueuedNotices() {
  std::unique_lock lock(noticesMutex_);
  const std::uint64_t queued = queuedNotices_;
  noticesPosted_.wait(lock, [this, queued] { return postedNotices_ >= queued; });
}

void SessionManager::DeliverNotices() {
  std::unique_lock lock(noticesMutex_);
  for (;;) {
    noticesQueued_.wait(lock, [this] { return stopping_ || !notices_.empty(); });
    if (notices_.empty()) {
      return;
    }
    const AddressedNotice next = std::move(notices_.front());
    notices_.pop_front();
    lock.unlock();
    for (const std::uint32_t window : next.windows) {
      delivery_->PostSessionChange(window, next.notice.type, next.notice.sessionId);
    }
    lock.lock();
    ++postedNotices_;
    noticesPosted_.notify_all();
  }
}

void SessionManager::StartStartupPrograms(std::uint32_t id, const std::string& user) {
  // A machine's root runs a session's programs as its user; a test's root runs them as its own.
  const bool machineRoot = std::getenv("PLATFORM_ROOT") == nullptr;
  const std::string text = StartupFile().Read();
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    detail::LaunchSpec spec;
    spec.arguments = SplitRecordFields(line);
    spec.sessionId = id;
    spec.detached = true;
    if (machineRoot) {
      spec.user = user;
    }
    if (!spec.arguments.empty()) {
      detail::LaunchProgram(spec);
    }
  }
}

bool RegisterStartupProgram(const std::vector<std::string>& arguments) {
  if (arguments.empty() || !std::all_of(arguments.begin(), arguments.end(), [](const auto& word) {
        return detail::IsRecordName(word);
      })) {
    return false;
  }
  return StartupFile().Update([&arguments](std::string& text) {
    text += JoinRecordFields(arguments) + "\n";
    return true;
  });
}

std::optional<SessionControl> SessionControl::Connect() {
  ControlConnection connection = ControlConnection::Connect(SessionManager::SocketPath());
  if (!connection) {
    return std::nullopt;
  }
  return SessionControl(std::move(connection));
}

SessionControl::Result SessionControl::Ask(const std::string& request) {
  const std::optional<std::string> answer = connection_.Request(request);
  if (!answer) {
    return {ERROR_BROKEN_PIPE, {}};
  }
  const std::vector<std::string> fields = SplitRecordFields(*answer);
  if (!fields.empty() && fields[0] == "ok") {
    return {ERROR_SUCCESS, fields.size() > 1 ? fields[1] : std::string()};
  }
  std::uint32_t error = ERROR_INVALID_PARAMETER;
  if (fields.size() > 1) {
    std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), error);
  }
  return {error, {}};
}

SessionControl::Result SessionControl::Logon(const std::string& user, bool console) {
  return Ask(JoinRecordFields({"logon", user, console ? "1" : "0"}));
}
SessionControl::Result SessionControl::Logoff(std::uint32_t id) {
  return Ask(JoinRecordFields({"logoff", std::to_string(id)}));
}
SessionControl::Result SessionControl::ConnectSession(std::uint32_t id, bool console) {
  return Ask(JoinRecordFields({"connect", std::to_string(id), console ? "1" : "0"}));
}
SessionControl::Result SessionControl::Disconnect(std::uint32_t id) {
  return Ask(JoinRecordFields({"disconnect", std::to_string(id)}));
}
SessionControl::Result SessionControl::Lock(std::uint32_t id) {
  return Ask(JoinRecordFields({"lock", std::to_string(id)}));
}
SessionControl::Result SessionControl::Unlock(std::uint32_t id) {
  return Ask(JoinRecordFields({"unlock", std::to_string(id)}));
}
SessionControl::Result SessionControl::RemoteControl(std::uint32_t id) {
  return Ask(JoinRecordFields({"remote-control", std::to_string(id)}));
}
SessionControl::Result SessionControl::SwitchConsole(std::uint32_t id) {
  return Ask(JoinRecordFields({"console", std::to_string(id)}));
}
SessionControl::Result SessionControl::Shutdown() { return Ask("shutdown"); }

}  // namespace platform
