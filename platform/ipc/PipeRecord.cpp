#include "platform/ipc/PipeRecord.h"

namespace platform::detail {

std::optional<std::span<const std::byte>> MessageOfRecord(
    std::span<const std::byte> record) noexcept {
  if (record.empty() || record.size() > kMaxPipeRecord || record.front() != kMessageRecord) {
    return std::nullopt;
  }
  return record.subspan(1);
}

}  // namespace platform::detail
