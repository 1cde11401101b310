#include "platform/com/TypeLibrary.h"

#include <algorithm>
#include <cstdio>

namespace platform {

namespace {

// The marshaller of interfaces that a type library describes.
constexpr CLSID kAutomationMarshaller = GuidLiteral(u"{00020424-0000-0000-C000-000000000046}");

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

ScriptKey TextKey(std::u16string name, std::u16string value) {
  return ScriptKey{std::move(name), KeyLifetime::Removed, std::move(value), {}, {}};
}

std::u16string Folder(std::u16string_view module) {
  std::u16string_view path = module;
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
    path = path.substr(1, path.size() - 2);
  }
  const std::size_t slash = path.rfind(u'/');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(0, slash));
}

}  // namespace

const TypeDescription* TypeLibrary::Find(REFGUID guid) const {
  const auto found = std::find_if(types.begin(), types.end(),
                                  [&](const TypeDescription& type) { return type.guid == guid; });
  return found == types.end() ? nullptr : &*found;
}

bool TypeLibrary::DeclaresDispatchInterface(REFIID iid) const {
  const TypeDescription* type = Find(iid);
  return type != nullptr &&
         (type->kind == TypeKind::DispInterface || type->kind == TypeKind::DualInterface);
}

bool TypeLibrary::DeclaresDispatchMember(REFIID iid, DISPID dispid) const {
  if (!DeclaresDispatchInterface(iid)) return false;
  const TypeDescription* type = Find(iid);
  return std::any_of(type->members.begin(), type->members.end(),
                     [&](const TypeMember& member) { return member.dispid == dispid; });
}

RegistryScript TypeLibrary::RegistrationScript() const {
  const std::u16string id = FormatGuid(libid);
  const std::u16string version =
      Ascii(std::to_string(majorVersion) + "." + std::to_string(minorVersion));
  char localeKey[16];
  std::snprintf(localeKey, sizeof localeKey, "%x", static_cast<unsigned>(locale));
  ScriptKey versionKey{version, KeyLifetime::Removed, ScriptLiteral(helpString), {}, {}};
  versionKey.subkeys = {ScriptKey{Ascii(localeKey),
                                  KeyLifetime::Removed,
                                  std::nullopt,
                                  {},
                                  {TextKey(u"win32", u"%MODULE%")}},
                        TextKey(u"FLAGS", u"0"), TextKey(u"HELPDIR", u"%HELPDIR%")};
  RegistryScript script{
      RegistryHive::ClassesRoot,
      {ScriptKey{
          u"TypeLib",
          KeyLifetime::NeverRemoved,
          std::nullopt,
          {},
          {ScriptKey{id, KeyLifetime::Removed, std::nullopt, {}, {std::move(versionKey)}}}}}};
  ScriptKey interfaces{u"Interface", KeyLifetime::NeverRemoved, std::nullopt, {}, {}};
  for (const TypeDescription& type : types) {
    if (type.kind == TypeKind::CoClass) continue;
    interfaces.subkeys.push_back(ScriptKey{
        FormatGuid(type.guid),
        KeyLifetime::Removed,
        ScriptLiteral(type.name),
        {},
        {TextKey(u"ProxyStubClsid32", FormatGuid(kAutomationMarshaller)),
         ScriptKey{u"TypeLib", KeyLifetime::Removed, id, {ScriptValue{u"Version", version}}, {}}}});
  }
  if (!interfaces.subkeys.empty()) script.keys.push_back(std::move(interfaces));
  return script;
}

HRESULT RegisterTypeLib(const TypeLibrary& library, std::u16string_view module) {
  return library.RegistrationScript().Register(
      {{u"MODULE", std::u16string(module)}, {u"HELPDIR", Folder(module)}});
}

HRESULT UnRegisterTypeLib(const TypeLibrary& library) {
  return library.RegistrationScript().Unregister({{u"MODULE", u""}, {u"HELPDIR", u""}});
}

}  // namespace platform
