#pragma once

// The event log of the platform root: records that programs report through an event source,
// kept under the root in the order they were written, readable by the control tool.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr std::uint16_t EVENTLOG_SUCCESS = 0x0000;
inline constexpr std::uint16_t EVENTLOG_ERROR_TYPE = 0x0001;
inline constexpr std::uint16_t EVENTLOG_WARNING_TYPE = 0x0002;
inline constexpr std::uint16_t EVENTLOG_INFORMATION_TYPE = 0x0004;

// A registered event source: the name its records carry. A null source (empty name) reports
// nothing. A value; any thread.
class EventSource {
 public:
  EventSource() = default;
  explicit EventSource(std::u16string name) : name_(std::move(name)) {}
  const std::u16string& Name() const noexcept { return name_; }
  explicit operator bool() const noexcept { return !name_.empty(); }

 private:
  std::u16string name_;
};

// The server must be empty (this machine); a null source for an empty name.
EventSource RegisterEventSource(std::u16string_view serverName, std::u16string_view sourceName);
// Appends one record; false for a null source or when the log cannot be written. Records of
// several processes never interleave.
bool ReportEvent(const EventSource& source, std::uint16_t type, std::uint16_t category,
                 std::uint32_t eventId, std::span<const std::u16string> strings);

struct EventLogRecord {
  std::uint64_t timeWritten = 0;  // milliseconds since 1970
  std::u16string source;
  std::uint16_t type = 0;
  std::uint16_t category = 0;
  std::uint32_t eventId = 0;
  std::vector<std::u16string> strings;
};

// Every record, oldest first; a line that does not parse is skipped.
std::vector<EventLogRecord> ReadEventLog();

// The type's name as the tool shows it: "error", "warning", "information", "success".
std::string EventTypeName(std::uint16_t type);

}  // namespace platform
