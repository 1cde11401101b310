#pragma once

// The registry: keys and their named text values under the platform root, for what programs'
// registration writes and activation reads. A key is a folder (its path's parts separated by
// "\", compared without regard to case); its values stand in one file that is replaced whole
// (written beside it and renamed over it), so a crash never leaves a half-written key.
// Any thread and any process may use it; writers of one key take turns.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class RegistryHive { ClassesRoot, LocalMachine };

// Sets value `name` ("" is the key's default value) of `key`, creating the key; false when the
// key's path is not a valid one or the file cannot be written.
bool RegistrySetValue(RegistryHive hive, std::u16string_view key, std::u16string_view name,
                      std::u16string_view value);
std::optional<std::u16string> RegistryGetValue(RegistryHive hive, std::u16string_view key,
                                               std::u16string_view name);
// Removes the key with its values and subkeys; false when it was not there.
bool RegistryDeleteKey(RegistryHive hive, std::u16string_view key);

// Writes `content` to `path` atomically: a file beside it, synced, renamed over it.
bool ReplaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace platform
