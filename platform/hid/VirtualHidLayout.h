#pragma once

// Where virtual devices live under the platform root: one folder a plugged device in
// hid/devices, named by its interface name without the leading "\\?\HID#" (such as
// "VID_FFFE&PID_0003#v...", so that a removal tells the name without reading anything), holding
// its identifiers, its report descriptor and the socket that opens it. A device is prepared in
// hid/staging and moved in whole, and moved out whole when it is unplugged, so that a folder in
// hid/devices is always complete. Internal to the layer.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/hid/Hid.h"

namespace platform::detail::virtual_hid {

inline constexpr char kIdsFile[] = "ids";
inline constexpr char kDescriptorFile[] = "descriptor";
inline constexpr char kSocketFile[] = "socket";
// The plug's own stamp, the device's instance.
inline constexpr char kInstanceFile[] = "instance";
// Held locked by the publishing process while the device is plugged: a device whose lock is free
// belongs to a process that died, and is retired (moved out) by whoever reads it next.
inline constexpr char kLockFile[] = "lock";
// The first message on every connection, before any report.
inline constexpr std::uint8_t kWelcome = 'W';
// The first byte of every input report's message, so that an empty report is a message of one
// byte and only the end of the stream reads as nothing.
inline constexpr std::uint8_t kInputReportTag = 'R';
// How long an opener waits for the welcome of a device that is being unplugged or has died.
inline constexpr int kWelcomeMilliseconds = 5000;

std::filesystem::path DevicesFolder();
std::filesystem::path StagingFolder();

// The folder of an interface name, and the name of a folder.
std::optional<std::string> FolderOf(std::u16string_view interfaceName);
std::u16string InterfaceNameOf(std::string_view folder);

// The device of one folder in hid/devices; nothing when it is incomplete or gone, or when its
// publisher died (the folder is then moved out, so that watchers see its removal).
std::optional<HidDeviceInfo> ReadDevice(std::string_view folder);

}  // namespace platform::detail::virtual_hid
