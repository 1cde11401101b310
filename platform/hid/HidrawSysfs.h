#pragma once

// What the hidraw backend reads of a node in sysfs, apart from the system's device list, so that
// it can be read from any folder that has the same shape. Internal to the layer.

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/hid/Hid.h"

namespace platform::detail {

// The node's device, from `classFolder`/`node`/device (its "uevent" with HID_ID, and its
// "report_descriptor"; the HID device that it links to is the instance); nothing when the node
// or its identifiers cannot be read. A descriptor that cannot be read leaves the device without
// one.
std::optional<HidDeviceInfo> DescribeHidrawNode(const std::filesystem::path& classFolder,
                                                std::string_view node);

}  // namespace platform::detail
