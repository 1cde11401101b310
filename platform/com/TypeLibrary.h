#pragma once

// Type libraries declared in code: a library's id, name, version, locale and help string, and
// its types (classes, interfaces and dispatch interfaces with their members' dispatch ids), for
// registration and for the dispatch sinks that a library describes. There is no binary form.
//
// Registration writes "TypeLib\{id}\<major>.<minor>" = help string, with "<locale in hex>\win32"
// = the module, "FLAGS" = "0" and "HELPDIR" = the module's folder, and for each interface
// "Interface\{iid}" = its name with "ProxyStubClsid32" and "TypeLib" (value "Version"); the
// parents "TypeLib" and "Interface" are never removed. Values; any thread.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Dispatch.h"
#include "platform/com/Event.h"
#include "platform/com/Guid.h"
#include "platform/com/Interface.h"
#include "platform/com/RegistryScript.h"

inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHresult(0x8002802B);

namespace platform {

struct TypeMember {
  DISPID dispid = 0;
  std::u16string name;
  std::u16string helpString;
};

enum class TypeKind { CoClass, Interface, DualInterface, DispInterface };

struct TypeDescription {
  TypeKind kind = TypeKind::Interface;
  std::u16string name;
  GUID guid;
  std::u16string helpString;
  std::vector<TypeMember> members;
  // A class's interfaces, and those it fires (its sources).
  std::vector<GUID> interfaces;
  std::vector<GUID> sources;
};

struct TypeLibrary {
  GUID libid;
  std::u16string name;
  std::uint16_t majorVersion = 1;
  std::uint16_t minorVersion = 0;
  LCID locale = 0;
  std::u16string helpString;
  std::vector<TypeDescription> types;

  // The type of that id; null when the library has none.
  const TypeDescription* Find(REFGUID guid) const;
  // Whether the library declares `iid` as a dispatch (or dual) interface; with a member of that
  // id.
  bool DeclaresDispatchInterface(REFIID iid) const;
  bool DeclaresDispatchMember(REFIID iid, DISPID dispid) const;
  // The keys registration writes; %MODULE% is the program that holds the library.
  RegistryScript RegistrationScript() const;
};

// Writes the library's keys with `module` as its program; unregistration removes them.
HRESULT RegisterTypeLib(const TypeLibrary& library, std::u16string_view module);
HRESULT UnRegisterTypeLib(const TypeLibrary& library);

// The description of a dispatch interface from its event declarations, each with its help
// string, in the order given:
//   DispInterfaceType<_IFooEvents, _IFooEvents::Changed>(u"_IFooEvents Interface",
//                                                         {u"method Changed"})
template <class Events, class... Members>
TypeDescription DispInterfaceType(
    std::u16string_view helpString,
    const std::array<std::u16string_view, sizeof...(Members)>& memberHelpStrings) {
  TypeDescription type{TypeKind::DispInterface,
                       std::u16string(InterfaceDeclaration<Events>::name.begin(),
                                      InterfaceDeclaration<Events>::name.end()),
                       IidOf<Events>,
                       std::u16string(helpString),
                       {},
                       {},
                       {}};
  std::size_t at = 0;
  ((type.members.push_back(TypeMember{Members::dispid,
                                      std::u16string(Members::name.begin(), Members::name.end()),
                                      std::u16string(memberHelpStrings[at++])})),
   ...);
  return type;
}

}  // namespace platform
