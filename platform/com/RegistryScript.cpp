#include "platform/com/RegistryScript.h"

#include <algorithm>
#include <optional>
#include <type_traits>

#include "platform/base/Process.h"

namespace platform {

namespace {

// `text` with its replacements made; nullopt for a name the list does not give or a lone '%'.
std::optional<std::u16string> Replaced(std::u16string_view text, const Replacements& replacements) {
  std::u16string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find(u'%', at);
    if (open == std::u16string_view::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, open - at);
    const std::size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    const std::u16string_view name = text.substr(open + 1, close - open - 1);
    if (name.empty()) {
      out += u'%';
    } else {
      const auto found = std::find_if(replacements.begin(), replacements.end(),
                                      [&](const auto& entry) { return entry.first == name; });
      if (found == replacements.end()) return std::nullopt;
      out += found->second;
    }
    at = close + 1;
  }
  return out;
}

// The script with its replacements made, checked whole before anything is written.
class ResolvedScript {
 public:
  static std::optional<std::vector<ScriptKey>> Resolve(const std::vector<ScriptKey>& keys,
                                                       const Replacements& replacements) {
    std::vector<ScriptKey> resolved;
    for (const ScriptKey& key : keys) {
      ScriptKey copy = key;
      if (!ResolveText(copy.name, replacements)) return std::nullopt;
      if (copy.defaultValue && !ResolveText(*copy.defaultValue, replacements)) {
        return std::nullopt;
      }
      for (ScriptValue& value : copy.values) {
        auto* text = std::get_if<std::u16string>(&value.data);
        if (!ResolveText(value.name, replacements) ||
            (text != nullptr && !ResolveText(*text, replacements))) {
          return std::nullopt;
        }
      }
      auto subkeys = Resolve(key.subkeys, replacements);
      if (!subkeys) return std::nullopt;
      copy.subkeys = std::move(*subkeys);
      resolved.push_back(std::move(copy));
    }
    return resolved;
  }

 private:
  static bool ResolveText(std::u16string& text, const Replacements& replacements) {
    auto replaced = Replaced(text, replacements);
    if (!replaced) return false;
    text = std::move(*replaced);
    return true;
  }
};

std::u16string Below(std::u16string_view parent, std::u16string_view name) {
  if (parent.empty()) return std::u16string(name);
  return std::u16string(parent) + u'\\' + std::u16string(name);
}

// Removes the key with all below it; success when it was not there.
LONG DeleteWhole(RegistryHive hive, std::u16string_view path) {
  RegistryKey opened;
  const LONG error = opened.Open(hive, path, KEY_ALL_ACCESS);
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return error;
  return RegistryDeleteKey(hive, path) ? ERROR_SUCCESS : static_cast<LONG>(ERROR_ACCESS_DENIED);
}

LONG Write(RegistryHive hive, std::u16string_view parent, const ScriptKey& key) {
  const std::u16string path = Below(parent, key.name);
  RegistryKey opened;
  // Deleted first, so that what an earlier registration left goes with it.
  if (key.lifetime == KeyLifetime::ReplacedOnRegister) {
    if (const LONG error = DeleteWhole(hive, path); error != ERROR_SUCCESS) return error;
  }
  if (const LONG error = opened.Create(hive, path, KEY_ALL_ACCESS); error != ERROR_SUCCESS) {
    return error;
  }
  if (key.defaultValue) {
    if (const LONG error = opened.SetStringValue(u"", *key.defaultValue); error != ERROR_SUCCESS) {
      return error;
    }
  }
  for (const ScriptValue& value : key.values) {
    const LONG error = std::visit(
        [&](const auto& data) {
          if constexpr (std::is_same_v<std::decay_t<decltype(data)>, DWORD>) {
            return opened.SetDWORDValue(value.name, data);
          } else {
            return opened.SetStringValue(value.name, data);
          }
        },
        value.data);
    if (error != ERROR_SUCCESS) return error;
  }
  for (const ScriptKey& subkey : key.subkeys) {
    if (const LONG error = Write(hive, path, subkey); error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

LONG Remove(RegistryHive hive, std::u16string_view parent, const ScriptKey& key) {
  const std::u16string path = Below(parent, key.name);
  RegistryKey opened;
  if (const LONG error = opened.Open(hive, path, KEY_ALL_ACCESS); error != ERROR_SUCCESS) {
    return error == ERROR_FILE_NOT_FOUND ? static_cast<LONG>(ERROR_SUCCESS) : error;
  }
  if (key.lifetime != KeyLifetime::NeverRemoved) return DeleteWhole(hive, path);
  for (const ScriptKey& subkey : key.subkeys) {
    if (const LONG error = Remove(hive, path, subkey); error != ERROR_SUCCESS) return error;
  }
  for (const ScriptValue& value : key.values) {
    const LONG error = opened.DeleteValue(value.name);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;
  }
  return ERROR_SUCCESS;
}

template <class Step>
HRESULT Apply(const RegistryScript& script, const Replacements& replacements, Step step) {
  const auto keys = ResolvedScript::Resolve(script.keys, replacements);
  if (!keys) return E_INVALIDARG;
  for (const ScriptKey& key : *keys) {
    if (const LONG error = step(script.hive, u"", key); error != ERROR_SUCCESS) {
      return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(error));
    }
  }
  return S_OK;
}

}  // namespace

HRESULT RegistryScript::Register(const Replacements& replacements) const {
  return Apply(*this, replacements, Write);
}

HRESULT RegistryScript::Unregister(const Replacements& replacements) const {
  return Apply(*this, replacements, Remove);
}

std::u16string ScriptLiteral(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    out += c;
    if (c == u'%') out += u'%';
  }
  return out;
}

RegistryScript ApplicationIdScript(std::u16string_view name, std::u16string_view programFile) {
  return {RegistryHive::ClassesRoot,
          {ScriptKey{u"AppID",
                     KeyLifetime::NeverRemoved,
                     std::nullopt,
                     {},
                     {ScriptKey{u"%APPID%", KeyLifetime::Removed, ScriptLiteral(name), {}, {}},
                      ScriptKey{ScriptLiteral(programFile),
                                KeyLifetime::Removed,
                                std::nullopt,
                                {ScriptValue{u"AppID", u"%APPID%"}},
                                {}}}}}};
}

RegistryScript LocalServerClassScript(const LocalServerClass& server) {
  const std::u16string clsid = FormatGuid(server.clsid);
  const std::u16string description = ScriptLiteral(server.description);
  const std::u16string progId = ScriptLiteral(server.progId);
  const std::u16string versionIndependentProgId = ScriptLiteral(server.versionIndependentProgId);
  // A key whose default value is a script's text.
  const auto text = [](std::u16string_view key, std::u16string_view value) {
    return ScriptKey{std::u16string(key), KeyLifetime::Removed, std::u16string(value), {}, {}};
  };
  std::vector<ScriptKey> classKeys{
      text(u"ProgID", progId), text(u"VersionIndependentProgID", versionIndependentProgId),
      ScriptKey{u"Programmable", KeyLifetime::Removed, std::nullopt, {}, {}},
      text(u"LocalServer32", u"%MODULE%")};
  if (server.typeLib != IID_NULL) classKeys.push_back(text(u"TypeLib", FormatGuid(server.typeLib)));
  RegistryScript script{RegistryHive::ClassesRoot, {}};
  if (!progId.empty()) {
    script.keys.push_back(
        ScriptKey{progId, KeyLifetime::Removed, description, {}, {text(u"CLSID", clsid)}});
  }
  if (!versionIndependentProgId.empty()) {
    script.keys.push_back(ScriptKey{versionIndependentProgId,
                                    KeyLifetime::Removed,
                                    description,
                                    {},
                                    {text(u"CLSID", clsid), text(u"CurVer", progId)}});
  }
  script.keys.push_back(ScriptKey{u"CLSID",
                                  KeyLifetime::NeverRemoved,
                                  std::nullopt,
                                  {},
                                  {ScriptKey{clsid,
                                             KeyLifetime::ReplacedOnRegister,
                                             description,
                                             {ScriptValue{u"AppID", u"%APPID%"}},
                                             std::move(classKeys)}}});
  return script;
}

Replacements ModuleReplacements(REFGUID appId) {
  std::u16string module = ModulePath();
  if (module.find(u' ') != std::u16string::npos) module = u'"' + module + u'"';
  return {{u"MODULE", std::move(module)}, {u"APPID", FormatGuid(appId)}};
}

}  // namespace platform
