#include "platform/sessions/Sessions.h"

#include <algorithm>
#include <array>

#include "platform/base/Text.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/kernel/Session.h"
#include "platform/sessions/RootProcesses.h"
#include "platform/sessions/SessionRecords.h"

namespace platform {

std::string ConnectStateName(std::uint32_t state) {
  static constexpr std::array<const char*, 10> kNames = {
      "WTSActive", "WTSConnected", "WTSConnectQuery", "WTSShadow", "WTSDisconnected",
      "WTSIdle",   "WTSListen",    "WTSReset",        "WTSDown",   "WTSInit"};
  return state < kNames.size() ? kNames[state] : "";
}

std::uint32_t WTSGetActiveConsoleSessionId() {
  const std::optional<detail::SessionTableData> table = detail::ReadSessionTable();
  return table ? table->console : kNoConsoleSession;
}

std::optional<std::vector<WTS_SESSION_INFO>> WTSEnumerateSessions() {
  const std::optional<detail::SessionTableData> table = detail::ReadSessionTable();
  if (!table) {
    return std::nullopt;
  }
  std::vector<WTS_SESSION_INFO> sessions;
  for (const detail::SessionRecord& record : table->sessions) {
    sessions.push_back({record.id, FromUtf8(record.station),
                        static_cast<WTS_CONNECTSTATE_CLASS>(record.state), FromUtf8(record.user)});
  }
  return sessions;
}

bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t& sessionId) {
  if (processId == static_cast<std::uint32_t>(detail::ThisProcess().pid)) {
    sessionId = ProcessSessionId();
    return true;
  }
  const std::optional<detail::RootProcess> process =
      detail::FindRootProcess(static_cast<std::int32_t>(processId));
  if (!process) {
    return false;
  }
  sessionId = process->sessionId;
  return true;
}

std::optional<std::vector<WTS_PROCESS_INFO>> WTSEnumerateProcesses() {
  std::vector<WTS_PROCESS_INFO> processes;
  for (detail::RootProcess& process : detail::ListRootProcesses()) {
    processes.push_back({process.sessionId, static_cast<std::uint32_t>(process.identity.pid),
                         std::move(process.imageName)});
  }
  return processes;
}

std::vector<THREADENTRY32> CreateThreadSnapshot() {
  std::vector<THREADENTRY32> threads;
  for (const detail::RootProcess& process : detail::ListRootProcesses()) {
    for (const std::uint32_t thread : detail::ThreadsOf(process.identity.pid)) {
      threads.push_back({thread, static_cast<std::uint32_t>(process.identity.pid)});
    }
  }
  return threads;
}

namespace {

// Rewrites the registrations without the window, then hands them to `add` to put records back.
bool ChangeRegistration(std::uint32_t window,
                        const std::function<void(std::vector<detail::NoticeRegistration>&)>& add) {
  if (!detail::ReadSessionTable()) {
    return false;
  }
  const detail::ProcessIdentity self = detail::ThisProcess();
  return detail::RegistrationFile().Update([&](std::string& text) {
    std::vector<detail::NoticeRegistration> registrations = detail::ParseLiveRegistrations(text);
    std::erase_if(registrations, [&](const detail::NoticeRegistration& entry) {
      return entry.window == window && entry.process == self;
    });
    add(registrations);
    text = detail::FormatRegistrations(registrations);
    return true;
  });
}

}  // namespace

bool WTSRegisterSessionNotification(std::uint32_t window, std::uint32_t flags) {
  if (window == 0 || flags > NOTIFY_FOR_ALL_SESSIONS) {
    return false;
  }
  return ChangeRegistration(window, [&](std::vector<detail::NoticeRegistration>& registrations) {
    registrations.push_back({window, flags, detail::ThisProcess(), ProcessSessionId()});
  });
}

bool WTSUnRegisterSessionNotification(std::uint32_t window) {
  return ChangeRegistration(window, [](std::vector<detail::NoticeRegistration>&) {});
}

}  // namespace platform
