#pragma once

// The registry: keys with their default and named values (text or DWORD) under the platform
// root, for what programs' registration writes and activation reads. A key is a folder (its
// path's parts separated by "\", compared without regard to case); its values stand in one file
// that is replaced whole (written beside it and renamed over it), so a process killed while it
// writes leaves the key as its last whole write. Writers of one key take turns.
//
// The classes root is the local machine's "SOFTWARE\Classes": HKEY_LOCAL_MACHINE
// "SOFTWARE\Classes\AppID\{...}" is the very key HKEY_CLASSES_ROOT "AppID\{...}".
// A key's files belong to the user who created it; another user may read it, not change it.
// Any thread and any process may use it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Status.h"

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using REGSAM = std::uint32_t;

namespace platform {

enum class RegistryHive { ClassesRoot, LocalMachine };

}  // namespace platform

inline constexpr platform::RegistryHive HKEY_CLASSES_ROOT = platform::RegistryHive::ClassesRoot;
inline constexpr platform::RegistryHive HKEY_LOCAL_MACHINE = platform::RegistryHive::LocalMachine;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr std::uint32_t ERROR_INVALID_DATA = 13;
inline constexpr std::uint32_t ERROR_WRITE_FAULT = 29;
inline constexpr std::uint32_t ERROR_KEY_DELETED = 1018;

namespace platform {

// An open key: its hive, its path and the access it was opened with. A closed (or never opened)
// key answers ERROR_INVALID_HANDLE; a key deleted since it was opened ERROR_KEY_DELETED; a
// change without KEY_SET_VALUE, or to a key of another user, ERROR_ACCESS_DENIED. Value names
// are compared without regard to case; "" is the key's default value. A value copy: one thread
// at a time.
class RegistryKey {
 public:
  // ERROR_FILE_NOT_FOUND when the key is not there, ERROR_INVALID_NAME for a path with an empty
  // part or one that starts with '.'.
  LONG Open(RegistryHive hive, std::u16string_view path, REGSAM access = KEY_READ | KEY_WRITE);
  // Opens the key, creating it and the keys above it that are missing.
  LONG Create(RegistryHive hive, std::u16string_view path, REGSAM access = KEY_READ | KEY_WRITE);
  void Close() noexcept;
  bool IsOpen() const noexcept { return m_folder.has_value(); }

  LONG SetStringValue(std::u16string_view name, std::u16string_view value) const;
  LONG SetDWORDValue(std::u16string_view name, DWORD value) const;
  // ERROR_FILE_NOT_FOUND when there is no such value, ERROR_INVALID_DATA when it is of the
  // other type.
  LONG QueryStringValue(std::u16string_view name, std::u16string& value) const;
  LONG QueryDWORDValue(std::u16string_view name, DWORD& value) const;
  LONG DeleteValue(std::u16string_view name) const;
  // Removes the subkey `path` with its values and subkeys.
  LONG RecurseDeleteKey(std::u16string_view path) const;

 private:
  LONG Writable() const;
  template <class T>
  LONG Query(std::u16string_view name, T& value) const;

  std::optional<std::string> m_folder;
  REGSAM m_access = 0;
};

// Sets the text value `name` of `key`, creating the key; false when the key's path is not a
// valid one or the key cannot be written.
bool RegistrySetValue(RegistryHive hive, std::u16string_view key, std::u16string_view name,
                      std::u16string_view value);
// A text value; nothing when the key or the value is missing or the value is a DWORD.
std::optional<std::u16string> RegistryGetValue(RegistryHive hive, std::u16string_view key,
                                               std::u16string_view name);
// Removes the key with its values and subkeys; false when it was not there.
bool RegistryDeleteKey(RegistryHive hive, std::u16string_view key);

// Writes `content` to `path` atomically: a file beside it, synced, renamed over it.
bool ReplaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace platform
