#include "platform/services/ServiceWire.h"

#include <array>

#include "platform/sessions/RecordText.h"

namespace platform::detail {

void AppendStatus(const SERVICE_STATUS& status, std::vector<std::string>& fields) {
  for (const std::uint32_t value :
       {status.dwServiceType, status.dwCurrentState, status.dwControlsAccepted,
        status.dwWin32ExitCode, status.dwServiceSpecificExitCode, status.dwCheckPoint,
        status.dwWaitHint}) {
    fields.push_back(std::to_string(value));
  }
}

std::optional<SERVICE_STATUS> ParseStatus(const std::vector<std::string>& fields,
                                          std::size_t first) {
  SERVICE_STATUS status;
  const std::array<std::uint32_t*, 7> values = {
      &status.dwServiceType,   &status.dwCurrentState,          &status.dwControlsAccepted,
      &status.dwWin32ExitCode, &status.dwServiceSpecificExitCode, &status.dwCheckPoint,
      &status.dwWaitHint};
  if (fields.size() < first + values.size()) {
    return std::nullopt;
  }
  for (std::size_t at = 0; at < values.size(); ++at) {
    if (!ParseRecordNumber(fields[first + at], *values[at])) {
      return std::nullopt;
    }
  }
  return status;
}

}  // namespace platform::detail
