#pragma once

// What the service manager, its callers and its services send each other: messages of
// tab-separated fields (platform/sessions/RecordText.h). Internal to the layer.
//
// Caller to manager: a verb and its fields; the answer "ok" and its fields, or "error" and the
// error code. Service to manager on its channel: "hello" once its dispatcher runs, "status" and
// the status, "devices" 1 or 0 (device events wanted), "reply", the control's sequence number and
// the status after the handler. Manager to service: "start", the name and the arguments,
// "control", a sequence number (0: no reply wanted), the control, the event type and the device
// path, and "end" once the service has reported that it stopped.

#include <optional>
#include <string>
#include <vector>

#include "platform/services/ServiceTypes.h"

namespace platform::detail {

// The descriptor on which a started program finds its channel, named by this variable.
inline constexpr int kServiceChannelDescriptor = 3;
inline constexpr const char* kServiceChannelVariable = "PLATFORM_SERVICE_CHANNEL";

// The status as seven fields.
void AppendStatus(const SERVICE_STATUS& status, std::vector<std::string>& fields);
// The seven fields from `first` on; nothing when they are not there or not numbers.
std::optional<SERVICE_STATUS> ParseStatus(const std::vector<std::string>& fields,
                                          std::size_t first);

}  // namespace platform::detail
