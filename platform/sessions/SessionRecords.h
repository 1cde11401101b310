#pragma once

// The files behind Sessions.h: the session table and the windows registered for session-change
// notices, each a record file under the root (RecordFile.h). Internal to the layer.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/ProcessIdentity.h"
#include "platform/sessions/RecordFile.h"

namespace platform::detail {

struct SessionRecord {
  std::uint32_t id = 0;
  std::uint32_t state = 0;
  std::string station;
  std::string user;
};

struct SessionTableData {
  std::uint32_t console = 0xFFFFFFFFu;
  std::uint32_t nextId = 1;
  std::vector<SessionRecord> sessions;  // in the order of their ids

  SessionRecord* Find(std::uint32_t id);
};

// One line a field, tab-separated, so that a station or user name never needs quoting (names
// with tabs or line ends are refused before they get here).
std::string FormatSessionTable(const SessionTableData& table);
// Nothing for a text that is not a table (an empty file: no manager has made it).
std::optional<SessionTableData> ParseSessionTable(std::string_view text);

const RecordFile& SessionTableFile();
std::optional<SessionTableData> ReadSessionTable();

// Runs `start` unless the session table holds no session `id`, with no change to the table
// meanwhile: a logoff ends what runs in its session, takes the session out of the table and then
// ends again what came meanwhile, so a program started this way is either refused or ended by the
// logoff. False, and nothing run, when the session has gone. Without a table (no session
// manager) the sessions are not known and `start` runs.
bool StartWhileSessionStands(std::uint32_t id, const std::function<void()>& start);

struct NoticeRegistration {
  std::uint32_t window = 0;
  std::uint32_t flags = 0;
  ProcessIdentity process;      // the window's process: its death ends the registration
  std::uint32_t sessionId = 0;  // that process's session
};

std::string FormatRegistrations(const std::vector<NoticeRegistration>& registrations);
// Drops records that do not parse and those of processes that have ended.
std::vector<NoticeRegistration> ParseLiveRegistrations(std::string_view text);

const RecordFile& RegistrationFile();

// A name fit for a record: not empty, no tab, no line end, no zero.
bool IsRecordName(std::string_view name);

}  // namespace platform::detail
