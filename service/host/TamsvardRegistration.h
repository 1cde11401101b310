#pragma once

// What the service's registration writes and does beyond the class scripts: its application id
// (as a service or a plain local server), its type library, its description in the user's
// language with the product version, and the switches that change or drive the installed
// service. The registering thread's; the program's first thread, before any other exists.

#include <string>
#include <string_view>

#include "platform/base/Language.h"
#include "platform/base/Status.h"
#include "platform/com/RegistryScript.h"
#include "platform/com/TypeLibrary.h"

platform::TypeLibrary TamsvardTypeLibrary();

// The object map's class scripts and the type library; run backwards at unregistration.
HRESULT RegisterTamsvardClasses();
HRESULT UnregisterTamsvardClasses();

// The application id as a service (with "LocalService" = the service name, the service installed)
// or as a plain local server (the service removed, "LocalService" deleted).
HRESULT RegisterTamsvardAppId(std::u16string_view p_strServiceName, bool p_bService);
// Removes the service, "LocalService" and the application id's keys.
HRESULT UnregisterTamsvardAppId(std::u16string_view p_strServiceName);
// The name of the service that the application id runs as; empty when it runs as a plain local
// server. The error of opening the application id's key when that fails.
std::uint32_t ReadLocalService(std::u16string& p_strServiceName);

// "ProductVersion" of the program's US English string table; empty when there is none.
std::u16string ReadProductVersion(std::u16string_view p_strFileName);
// The language whose description is shown for a user-interface language: by its primary language.
platform::LanguageId DescriptionLanguage(platform::LanguageId p_nUserInterfaceLanguage);
// String 104 of that language with the version for its "%s"; empty when it has no string 104.
std::u16string ServiceDescription(platform::LanguageId p_nLanguage, std::u16string_view p_strVersion);

// The one switch that registration acts on, by exact search in the whole command line; the first
// of "-AutoStart", "-Start" and "-Stop" that is present wins.
enum class ServiceSwitch { None, AutoStart, Start, Stop };
ServiceSwitch FindServiceSwitch(std::u16string_view p_strCommandLine);

// Sets the installed service's description and acts on the switch; every failure is logged and
// changes nothing else.
void ConfigureInstalledService(std::u16string_view p_strServiceName,
                               std::u16string_view p_strDescription, ServiceSwitch p_Switch);
