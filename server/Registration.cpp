#include "server/Registration.h"

#include <string>

#include "common/ProgramLogger.h"
#include "platform/com/Registry.h"
#include "platform/com/RegistryScript.h"
#include "server/WMPProxyInterface.h"

namespace {

using platform::KeyLifetime;
using platform::RegistryScript;
using platform::ScriptKey;

constexpr LONG kSucceeded = ERROR_SUCCESS;

std::u16string Braced(const GUID& p_Guid) { return platform::FormatGuid(p_Guid); }

// Script 101.
RegistryScript AppIdScript() { return platform::ApplicationIdScript(u"Ruvello", u"Ruvello.EXE"); }

// Script 102.
RegistryScript ClassScript() {
  return platform::LocalServerClassScript({CLSID_WMPProxy, u"WMPProxy Class",
                                           u"Ruvello.WMPProxy.1", u"Ruvello.WMPProxy",
                                           LIBID_RuvelloLib});
}

// The type library with the interfaces it describes.
RegistryScript TypeLibraryScript() {
  const auto l_Interface = [](const IID& p_Iid, std::u16string p_Name) {
    return ScriptKey{Braced(p_Iid),
                     KeyLifetime::Removed,
                     std::move(p_Name),
                     {},
                     {ScriptKey{u"TypeLib", KeyLifetime::Removed, Braced(LIBID_RuvelloLib), {}, {}}}};
  };
  return {platform::RegistryHive::ClassesRoot,
          {ScriptKey{u"TypeLib",
                     KeyLifetime::NeverRemoved,
                     std::nullopt,
                     {},
                     {ScriptKey{Braced(LIBID_RuvelloLib),
                                KeyLifetime::Removed,
                                std::nullopt,
                                {},
                                {ScriptKey{u"1.0", KeyLifetime::Removed,
                                           u"Ruvello 1.0 Type Library", {}, {}}}}}},
           ScriptKey{u"Interface",
                     KeyLifetime::NeverRemoved,
                     std::nullopt,
                     {},
                     {l_Interface(platform::IidOf<IWMPProxy>, u"IWMPProxy"),
                      l_Interface(platform::IidOf<_IWMPEventSinkEvents>,
                                  u"_IWMPEventSinkEvents")}}}};
}

// The values by which activation starts the server as the user of the session it is asked in.
void AddDcomSettings() {
  platform::RegistryKey l_Key;
  const LONG l_nOpen = l_Key.Open(HKEY_LOCAL_MACHINE,
                                  u"SOFTWARE\\Classes\\AppID\\" + Braced(APPID_Ruvello), KEY_WRITE);
  if (l_nOpen != kSucceeded) {
    g_Logger->Log(LOG_TO_FILE, "RegisterServer Open Error = %d", l_nOpen);
    return;
  }
  if (const LONG l_nError = l_Key.SetDWORDValue(u"AuthenticationLevel", 1);
      l_nError != kSucceeded) {
    g_Logger->Log(LOG_TO_FILE, "RegisterServer SetDWORDValue Error = %d", l_nError);
    return;
  }
  if (const LONG l_nError = l_Key.SetStringValue(u"RunAs", u"Interactive User");
      l_nError != kSucceeded) {
    g_Logger->Log(LOG_TO_FILE, "RegisterServer SetStringValue Error = %d", l_nError);
    return;
  }
  g_Logger->Log(LOG_TO_FILE, "RegisterServer DCOM Settings added");
}

}  // namespace

bool RegisterServer() {
  const platform::Replacements l_Replacements = platform::ModuleReplacements(APPID_Ruvello);
  AppIdScript().Register(l_Replacements);
  if (FAILED(ClassScript().Register(l_Replacements)) ||
      FAILED(TypeLibraryScript().Register(l_Replacements))) {
    return false;
  }
  AddDcomSettings();
  return true;
}

void UnregisterServer() {
  const platform::Replacements l_Replacements = platform::ModuleReplacements(APPID_Ruvello);
  ClassScript().Unregister(l_Replacements);
  TypeLibraryScript().Unregister(l_Replacements);
  AppIdScript().Unregister(l_Replacements);
}
