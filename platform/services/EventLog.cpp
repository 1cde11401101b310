#include "platform/services/EventLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <sstream>

#include "platform/base/Text.h"
#include "platform/kernel/Posix.h"
#include "platform/sessions/RecordText.h"
#include "platform/sessions/RecordFile.h"

namespace platform {
namespace {

std::filesystem::path LogPath() { return RootFolder("eventlog") / "Application"; }


}  // namespace

EventSource RegisterEventSource(std::u16string_view serverName, std::u16string_view sourceName) {
  if (!serverName.empty() || sourceName.empty()) {
    return EventSource();
  }
  return EventSource(std::u16string(sourceName));
}

bool ReportEvent(const EventSource& source, std::uint16_t type, std::uint16_t category,
                 std::uint32_t eventId, std::span<const std::u16string> strings) {
  if (!source) {
    return false;
  }
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  std::vector<std::string> fields{std::to_string(now.count()), ToUtf8(source.Name()),
                                  std::to_string(type), std::to_string(category),
                                  std::to_string(eventId)};
  for (const std::u16string& text : strings) {
    fields.push_back(ToUtf8(text));
  }
  const std::string line = detail::JoinRecordFields(fields) + "\n";
  const detail::UniqueFd log(
      open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  // One write a record, under the lock, so that records of several writers never interleave.
  if (!log || flock(log.Get(), LOCK_EX) != 0) {
    return false;
  }
  return write(log.Get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

std::vector<EventLogRecord> ReadEventLog() {
  std::vector<EventLogRecord> records;
  std::string text = RecordFile(LogPath()).Read();
  // A record being appended while the log is read is not whole yet; it is read next time.
  text.erase(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> fields = detail::SplitRecordFields(line);
    EventLogRecord record;
    if (fields.size() < 5 || !detail::ParseRecordNumber(fields[0], record.timeWritten) ||
        !detail::ParseRecordNumber(fields[2], record.type) || !detail::ParseRecordNumber(fields[3], record.category) ||
        !detail::ParseRecordNumber(fields[4], record.eventId)) {
      continue;
    }
    record.source = FromUtf8(fields[1]);
    for (std::size_t at = 5; at < fields.size(); ++at) {
      record.strings.push_back(FromUtf8(fields[at]));
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::string EventTypeName(std::uint16_t type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE:
      return "error";
    case EVENTLOG_WARNING_TYPE:
      return "warning";
    case EVENTLOG_INFORMATION_TYPE:
      return "information";
    default:
      return type == EVENTLOG_SUCCESS ? "success" : std::to_string(type);
  }
}

}  // namespace platform
