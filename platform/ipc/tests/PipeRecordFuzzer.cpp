// Feeds arbitrary bytes to the pipe's record decoding, as any peer on the socket may send them: it
// must stay inside the record, and what it takes for a message must be a framed one within the
// message limit.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/ipc/PipeRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::byte> record(reinterpret_cast<const std::byte*>(data), size);
  const auto message = platform::detail::MessageOfRecord(record);
  if (!message) {
    return 0;
  }
  if (record.front() != platform::detail::kMessageRecord ||
      message->size() > platform::kMaxPipeMessage || message->size() + 1 != record.size() ||
      !std::equal(message->begin(), message->end(), record.begin() + 1)) {
    std::abort();
  }
  return 0;
}
