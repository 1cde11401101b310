#include "server/Registration.h"

#include <string>

#include "common/ProgramLogger.h"
#include "platform/com/Registry.h"
#include "server/WMPProxyInterface.h"

namespace {

using platform::RegistryHive;

struct RegistryEntry {
  std::u16string key;
  std::u16string name;
  std::u16string value;
};

std::u16string Braced(const GUID& p_Guid) { return platform::FormatGuid(p_Guid); }

std::u16string ClassKey() { return u"CLSID\\" + Braced(CLSID_WMPProxy); }

bool WriteAll(RegistryHive p_Hive, std::initializer_list<RegistryEntry> p_Entries) {
  bool l_bWritten = true;
  for (const RegistryEntry& l_Entry : p_Entries) {
    l_bWritten = platform::RegistrySetValue(p_Hive, l_Entry.key, l_Entry.name, l_Entry.value) &&
                 l_bWritten;
  }
  return l_bWritten;
}

// The AppID's own keys.
bool RegisterAppId() {
  return WriteAll(RegistryHive::ClassesRoot,
                  {{u"AppID\\" + Braced(APPID_Ruvello), u"", u"Ruvello"},
                   {u"AppID\\Ruvello.EXE", u"AppID", Braced(APPID_Ruvello)}});
}

// The class, its program ids and the type library with its interfaces.
bool RegisterClassAndTypeLibrary(std::u16string_view p_ModulePath) {
  const std::u16string l_Class = ClassKey();
  const std::u16string l_Library = u"TypeLib\\" + Braced(LIBID_RuvelloLib);
  platform::RegistryDeleteKey(RegistryHive::ClassesRoot, l_Class);
  return WriteAll(
      RegistryHive::ClassesRoot,
      {{u"Ruvello.WMPProxy.1", u"", u"WMPProxy Class"},
       {u"Ruvello.WMPProxy.1\\CLSID", u"", Braced(CLSID_WMPProxy)},
       {u"Ruvello.WMPProxy", u"", u"WMPProxy Class"},
       {u"Ruvello.WMPProxy\\CLSID", u"", Braced(CLSID_WMPProxy)},
       {u"Ruvello.WMPProxy\\CurVer", u"", u"Ruvello.WMPProxy.1"},
       {l_Class, u"", u"WMPProxy Class"},
       {l_Class, u"AppID", Braced(APPID_Ruvello)},
       {l_Class + u"\\ProgID", u"", u"Ruvello.WMPProxy.1"},
       {l_Class + u"\\VersionIndependentProgID", u"", u"Ruvello.WMPProxy"},
       {l_Class + u"\\Programmable", u"", u""},
       {l_Class + u"\\LocalServer32", u"", std::u16string(p_ModulePath)},
       {l_Class + u"\\TypeLib", u"", Braced(LIBID_RuvelloLib)},
       {l_Library + u"\\1.0", u"", u"Ruvello 1.0 Type Library"},
       {u"Interface\\" + Braced(platform::IidOf<IWMPProxy>), u"", u"IWMPProxy"},
       {u"Interface\\" + Braced(platform::IidOf<IWMPProxy>) + u"\\TypeLib", u"",
        Braced(LIBID_RuvelloLib)},
       {u"Interface\\" + Braced(platform::IidOf<_IWMPEventSinkEvents>), u"",
        u"_IWMPEventSinkEvents"},
       {u"Interface\\" + Braced(platform::IidOf<_IWMPEventSinkEvents>) + u"\\TypeLib", u"",
        Braced(LIBID_RuvelloLib)}});
}

void AddDcomSettings() {
  const std::u16string l_Key = u"SOFTWARE\\Classes\\AppID\\" + Braced(APPID_Ruvello);
  if (!platform::RegistrySetValue(RegistryHive::LocalMachine, l_Key, u"AuthenticationLevel",
                                  u"1")) {
    g_Logger->Log(LOG_TO_FILE, "RegisterServer SetDWORDValue Error = %d", ERROR_ACCESS_DENIED);
    return;
  }
  if (!platform::RegistrySetValue(RegistryHive::LocalMachine, l_Key, u"RunAs",
                                  u"Interactive User")) {
    g_Logger->Log(LOG_TO_FILE, "RegisterServer SetStringValue Error = %d", ERROR_ACCESS_DENIED);
    return;
  }
  g_Logger->Log(LOG_TO_FILE, "RegisterServer DCOM Settings added");
}

}  // namespace

bool RegisterServer(std::u16string_view p_ModulePath) {
  RegisterAppId();
  if (!RegisterClassAndTypeLibrary(p_ModulePath)) return false;
  AddDcomSettings();
  return true;
}

void UnregisterServer() {
  for (const std::u16string& l_Key :
       {ClassKey(), std::u16string(u"Ruvello.WMPProxy.1"), std::u16string(u"Ruvello.WMPProxy"),
        u"TypeLib\\" + Braced(LIBID_RuvelloLib),
        u"Interface\\" + Braced(platform::IidOf<IWMPProxy>),
        u"Interface\\" + Braced(platform::IidOf<_IWMPEventSinkEvents>),
        u"AppID\\" + Braced(APPID_Ruvello), std::u16string(u"AppID\\Ruvello.EXE")}) {
    platform::RegistryDeleteKey(RegistryHive::ClassesRoot, l_Key);
  }
}
