#include "platform/sessions/SessionRecords.h"

#include <charconv>
#include <sstream>

#include "platform/kernel/Session.h"
#include "platform/sessions/RecordText.h"

namespace platform::detail {
namespace {

// Runs `line` on each line of the text; false as soon as one does not parse.
template <class Action>
bool ForEachLine(std::string_view text, Action line) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (!line(SplitRecordFields(text.substr(0, end)))) {
      return false;
    }
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return true;
}

}  // namespace

SessionRecord* SessionTableData::Find(std::uint32_t id) {
  for (SessionRecord& session : sessions) {
    if (session.id == id) {
      return &session;
    }
  }
  return nullptr;
}

std::string FormatSessionTable(const SessionTableData& table) {
  std::ostringstream text;
  text << "console\t" << table.console << "\nnext\t" << table.nextId << '\n';
  // The names go through the record fields' escapes, as the reader takes them out again: a user
  // such as "DOMAIN\alice" keeps its backslash.
  for (const SessionRecord& session : table.sessions) {
    text << JoinRecordFields({"session", std::to_string(session.id), std::to_string(session.state),
                              session.station, session.user})
         << '\n';
  }
  return text.str();
}

std::optional<SessionTableData> ParseSessionTable(std::string_view text) {
  SessionTableData table;
  bool sawConsole = false;
  const bool parsed = ForEachLine(text, [&](const std::vector<std::string>& fields) {
    if (fields.size() == 2 && fields[0] == "console") {
      sawConsole = true;
      return ParseRecordNumber(fields[1], table.console);
    }
    if (fields.size() == 2 && fields[0] == "next") {
      return ParseRecordNumber(fields[1], table.nextId);
    }
    SessionRecord session;
    if (fields.size() != 5 || fields[0] != "session" || !ParseRecordNumber(fields[1], session.id) ||
        !ParseRecordNumber(fields[2], session.state)) {
      return false;
    }
    session.station = fields[3];
    session.user = fields[4];
    table.sessions.push_back(std::move(session));
    return true;
  });
  return parsed && sawConsole ? std::optional(std::move(table)) : std::nullopt;
}

const RecordFile& SessionTableFile() {
  static const RecordFile file(RootFolder("sessions") / "table");
  return file;
}

std::optional<SessionTableData> ReadSessionTable() {
  return ParseSessionTable(SessionTableFile().Read());
}

bool StartWhileSessionStands(std::uint32_t id, const std::function<void()>& start) {
  bool stands = true;
  const auto startIfStands = [id, &start, &stands](const std::string& text) {
    if (std::optional<SessionTableData> table = ParseSessionTable(text)) {
      stands = table->Find(id) != nullptr;
    }
    if (stands) {
      start();
    }
  };
  // A user who may not open the lock file gets the table as it reads now.
  if (!SessionTableFile().Hold(startIfStands)) {
    startIfStands(SessionTableFile().Read());
  }
  return stands;
}

std::string FormatRegistrations(const std::vector<NoticeRegistration>& registrations) {
  std::ostringstream text;
  for (const NoticeRegistration& entry : registrations) {
    text << entry.window << '\t' << entry.flags << '\t' << entry.process.pid << '\t'
         << entry.process.startTime << '\t' << entry.sessionId << '\n';
  }
  return text.str();
}

std::vector<NoticeRegistration> ParseLiveRegistrations(std::string_view text) {
  std::vector<NoticeRegistration> registrations;
  ForEachLine(text, [&registrations](const std::vector<std::string>& fields) {
    NoticeRegistration entry;
    if (fields.size() == 5 && ParseRecordNumber(fields[0], entry.window) &&
        ParseRecordNumber(fields[1], entry.flags) &&
        ParseRecordNumber(fields[2], entry.process.pid) &&
        ParseRecordNumber(fields[3], entry.process.startTime) &&
        ParseRecordNumber(fields[4], entry.sessionId) && IsAlive(entry.process)) {
      registrations.push_back(entry);
    }
    return true;
  });
  return registrations;
}

const RecordFile& RegistrationFile() {
  static const RecordFile file(RootFolder("sessions") / "notices");
  return file;
}

bool IsRecordName(std::string_view name) {
  return !name.empty() &&
         name.find_first_of(std::string_view("\t\n\r\0", 4)) == std::string_view::npos;
}

}  // namespace platform::detail
