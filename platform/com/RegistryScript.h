#pragma once

// Registration scripts declared in code: the keys a program's registration writes under one
// hive, with their default and named values, applied on registration and removed on
// unregistration. Key names and text values may hold replacements such as %MODULE% (the
// program's command) and %APPID% (its application id); "%%" is a '%'.
//
// What unregistration does with a key depends on its lifetime:
//   Removed            the key goes whole, with what others added to it;
//   ReplacedOnRegister as Removed, and registration first deletes what was there;
//   NeverRemoved       the key stays (a parent such as "CLSID" or "AppID"); only the script's own
//                      named values and its subkeys are taken away.
// Values copied freely; applying one is for any thread.

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/com/Guid.h"
#include "platform/com/Registry.h"

namespace platform {

using RegistryData = std::variant<std::u16string, DWORD>;

struct ScriptValue {
  std::u16string name;
  RegistryData data;
};

enum class KeyLifetime { Removed, ReplacedOnRegister, NeverRemoved };

struct ScriptKey {
  std::u16string name;  // one part, or several separated by "\"
  KeyLifetime lifetime = KeyLifetime::Removed;
  std::optional<std::u16string> defaultValue;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> subkeys;
};

// A replacement's name without its percent signs, and what it stands for.
using Replacements = std::vector<std::pair<std::u16string, std::u16string>>;

struct RegistryScript {
  RegistryHive hive = RegistryHive::ClassesRoot;
  std::vector<ScriptKey> keys;

  // S_OK, or the first failed write as an HRESULT; E_INVALIDARG, before anything is written,
  // for a replacement the list does not give.
  HRESULT Register(const Replacements& replacements) const;
  // Keys that are not there are passed over.
  HRESULT Unregister(const Replacements& replacements) const;
};

// `text` as a script's text that stands for itself: each '%' doubled.
std::u16string ScriptLiteral(std::u16string_view text);

// The usual scripts of a local server; their names and descriptions stand for themselves.

// "AppID\{id}" = name and "AppID\<program file>" with the value "AppID" = %APPID%; "AppID"
// itself is never removed.
RegistryScript ApplicationIdScript(std::u16string_view name, std::u16string_view programFile);

struct LocalServerClass {
  CLSID clsid;
  std::u16string description;
  std::u16string progId;                    // "Program.Class.1"
  std::u16string versionIndependentProgId;  // "Program.Class"
  GUID typeLib{};                           // none: IID_NULL
};
// Both program ids = description with "CLSID" (the second with "CurVer" = the first), and
// "CLSID\{clsid}" = description (deleted first when registering) with "ProgID",
// "VersionIndependentProgID", an empty "Programmable", "LocalServer32" = %MODULE%, the value
// "AppID" = %APPID% and "TypeLib"; "CLSID" itself is never removed.
RegistryScript LocalServerClassScript(const LocalServerClass& server);

// MODULE = this program's path (in double quotes when it holds a space) and APPID = `appId`.
Replacements ModuleReplacements(REFGUID appId);

}  // namespace platform
