#include "service/host/TamsvardRegistration.h"

#include <cstddef>
#include <vector>

#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/base/StringTable.h"
#include "platform/base/VersionInfo.h"
#include "platform/com/Registry.h"
#include "platform/services/ServiceControl.h"
#include "service/host/ServiceInstaller.h"
#include "service/host/TamsvardInterfaces.h"
#include "service/host/TamsvardResources.h"

namespace {

using platform::ScHandle;

constexpr char16_t kLocalService[] = u"LocalService";

std::u16string AppIdKey() { return u"AppID\\" + platform::FormatGuid(APPID_Tamsvard); }

platform::Replacements Replacements() { return platform::ModuleReplacements(APPID_Tamsvard); }

platform::RegistryScript AppIdScript() {
  return platform::ApplicationIdScript(u"Tamsvard", u"Tamsvard.EXE");
}

platform::RegistryScript ClassScript() {
  return platform::LocalServerClassScript({CLSID_HalmavetEventSink, u"HalmavetEventSink Class",
                                           u"Tamsvard.HalmavetEve.1", u"Tamsvard.HalmavetEvent",
                                           LIBID_TamsvardLib});
}

// The application id's key open for changing its values.
LONG OpenAppIdKey(platform::RegistryKey& p_Key) {
  return p_Key.Open(HKEY_CLASSES_ROOT, AppIdKey(), KEY_READ | KEY_WRITE);
}

void StartInstalledService(const ScHandle& p_Service) {
  const std::uint32_t l_nError = platform::StartService(p_Service);
  if (l_nError == ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, u"StartService Succeeds");
  } else {
    g_Logger->Log(LOG_TO_FILE, u"StartService fails with %d", l_nError);
  }
}

}  // namespace

platform::TypeLibrary TamsvardTypeLibrary() {
  using platform::TypeDescription;
  using platform::TypeKind;
  // Each class is creatable with its dual interface as the default; neither has members.
  const auto l_Class = [](const CLSID& p_Clsid, std::u16string p_strName,
                          std::u16string p_strHelp, const IID& p_Iid) {
    return TypeDescription{TypeKind::CoClass, std::move(p_strName), p_Clsid, std::move(p_strHelp),
                           {}, {p_Iid}, {}};
  };
  const auto l_Interface = [](const IID& p_Iid, std::u16string p_strName,
                              std::u16string p_strHelp) {
    return TypeDescription{TypeKind::DualInterface, std::move(p_strName), p_Iid,
                           std::move(p_strHelp), {}, {}, {}};
  };
  return {LIBID_TamsvardLib,
          u"TamsvardLib",
          1,
          0,
          1033,
          u"Tamsvard 1.0 Type Library",
          {l_Class(CLSID_WMPEventSinkOld, u"WMPEventSinkOld", u"WMPEventSink Class",
                   platform::IidOf<IWMPEventSinkOld>),
           l_Interface(platform::IidOf<IWMPEventSinkOld>, u"IWMPEventSinkOld",
                       u"IWMPEventSink Interface"),
           l_Class(CLSID_HalmavetEventSink, u"HalmavetEventSink", u"HalmavetEventSink Class",
                   platform::IidOf<IHalmavetEventSink>),
           l_Interface(platform::IidOf<IHalmavetEventSink>, u"IHalmavetEventSink",
                       u"IHalmavetEventSink Interface")}};
}

HRESULT RegisterTamsvardClasses() {
  if (const HRESULT l_hr = ClassScript().Register(Replacements()); FAILED(l_hr)) return l_hr;
  return platform::RegisterTypeLib(TamsvardTypeLibrary(), platform::ModulePath());
}

HRESULT UnregisterTamsvardClasses() {
  if (const HRESULT l_hr = ClassScript().Unregister(Replacements()); FAILED(l_hr)) return l_hr;
  return platform::UnRegisterTypeLib(TamsvardTypeLibrary());
}

HRESULT RegisterTamsvardAppId(std::u16string_view p_strServiceName, bool p_bService) {
  const CServiceInstaller l_Installer{std::u16string(p_strServiceName)};
  if (!l_Installer.Uninstall()) return E_FAIL;
  if (const HRESULT l_hr = AppIdScript().Register(Replacements()); FAILED(l_hr)) return l_hr;
  platform::RegistryKey l_Key;
  if (const LONG l_nError = OpenAppIdKey(l_Key); l_nError != ERROR_SUCCESS) {
    return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(l_nError));
  }
  l_Key.DeleteValue(kLocalService);
  if (!p_bService) return S_OK;
  if (const LONG l_nError = l_Key.SetStringValue(kLocalService, p_strServiceName);
      l_nError != ERROR_SUCCESS) {
    return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(l_nError));
  }
  return l_Installer.Install() ? S_OK : E_FAIL;
}

HRESULT UnregisterTamsvardAppId(std::u16string_view p_strServiceName) {
  if (!CServiceInstaller{std::u16string(p_strServiceName)}.Uninstall()) return E_FAIL;
  if (platform::RegistryKey l_Key; OpenAppIdKey(l_Key) == ERROR_SUCCESS) {
    l_Key.DeleteValue(kLocalService);
  }
  return AppIdScript().Unregister(Replacements());
}

std::uint32_t ReadLocalService(std::u16string& p_strServiceName) {
  p_strServiceName.clear();
  platform::RegistryKey l_Key;
  if (const LONG l_nError = l_Key.Open(HKEY_CLASSES_ROOT, AppIdKey(), KEY_READ);
      l_nError != ERROR_SUCCESS) {
    return static_cast<std::uint32_t>(l_nError);
  }
  if (l_Key.QueryStringValue(kLocalService, p_strServiceName) != ERROR_SUCCESS) {
    p_strServiceName.clear();
  }
  return ERROR_SUCCESS;
}

std::u16string ReadProductVersion(std::u16string_view p_strFileName) {
  const std::uint32_t l_nSize = platform::GetFileVersionInfoSize(p_strFileName);
  if (l_nSize == 0) return {};
  std::vector<std::byte> l_Block(l_nSize);
  if (!platform::GetFileVersionInfo(p_strFileName, l_Block)) return {};
  const char16_t* l_szVersion = nullptr;
  std::uint32_t l_nLength = 0;
  if (!platform::VerQueryValue(l_Block, u"\\StringFileInfo\\040904e4\\ProductVersion",
                               l_szVersion, l_nLength) ||
      l_szVersion == nullptr) {
    return {};
  }
  return std::u16string(l_szVersion);
}

platform::LanguageId DescriptionLanguage(platform::LanguageId p_nUserInterfaceLanguage) {
  switch (p_nUserInterfaceLanguage & 0xFFu) {
    case 0x00: return platform::kLanguageSystemDefault;
    case 0x07: return 1031;
    case 0x09: return 1033;
    case 0x0A: return 1034;
    case 0x0C: return 3084;
    case 0x11: return 1041;
    default: return platform::kLanguageNeutral;
  }
}

std::u16string ServiceDescription(platform::LanguageId p_nLanguage,
                                  std::u16string_view p_strVersion) {
  const std::u16string_view l_strFormat =
      platform::LoadString(IDS_SERVICE_DESCRIPTION, p_nLanguage);
  if (l_strFormat.empty()) return {};
  return platform::Format(l_strFormat, std::u16string(p_strVersion));
}

ServiceSwitch FindServiceSwitch(std::u16string_view p_strCommandLine) {
  if (p_strCommandLine.find(u"-AutoStart") != std::u16string_view::npos) {
    return ServiceSwitch::AutoStart;
  }
  if (p_strCommandLine.find(u"-Start") != std::u16string_view::npos) return ServiceSwitch::Start;
  if (p_strCommandLine.find(u"-Stop") != std::u16string_view::npos) return ServiceSwitch::Stop;
  return ServiceSwitch::None;
}

void ConfigureInstalledService(std::u16string_view p_strServiceName,
                               std::u16string_view p_strDescription, ServiceSwitch p_Switch) {
  const platform::HandleResult<ScHandle> l_Manager =
      platform::OpenSCManager({}, u"ServicesActive", platform::SC_MANAGER_ALL_ACCESS);
  if (!l_Manager.handle) {
    g_Logger->Log(LOG_TO_FILE, u"OpenSCManager Error = %d", l_Manager.error);
    return;
  }
  const platform::HandleResult<ScHandle> l_Service = platform::OpenService(
      l_Manager.handle, p_strServiceName,
      platform::SERVICE_CHANGE_CONFIG | platform::SERVICE_START | platform::SERVICE_STOP);
  if (!l_Service.handle) {
    g_Logger->Log(LOG_TO_FILE, u"OpenService Error = %d", l_Service.error);
    return;
  }
  if (const std::uint32_t l_nError = platform::ChangeServiceConfig2(
          l_Service.handle, platform::SERVICE_CONFIG_DESCRIPTION, p_strDescription);
      l_nError == ERROR_SUCCESS) {
    g_Logger->Log(LOG_TO_FILE, u"ChangeServiceConfig2 Succeeds");
  } else {
    g_Logger->Log(LOG_TO_FILE, u"ChangeServiceConfig2 fails with %d", l_nError);
  }
  switch (p_Switch) {
    case ServiceSwitch::AutoStart: {
      platform::ServiceConfigChange l_Change;
      l_Change.startType = platform::SERVICE_AUTO_START;
      if (const std::uint32_t l_nError = platform::ChangeServiceConfig(l_Service.handle, l_Change);
          l_nError != ERROR_SUCCESS) {
        g_Logger->Log(LOG_TO_FILE, u"ChangeServiceConfig fails with %d", l_nError);
        break;
      }
      g_Logger->Log(LOG_TO_FILE, u"ChangeServiceConfig to SERVICE_AUTO_START Succeeds");
      StartInstalledService(l_Service.handle);
      break;
    }
    case ServiceSwitch::Start:
      StartInstalledService(l_Service.handle);
      break;
    case ServiceSwitch::Stop: {
      platform::SERVICE_STATUS l_Status;
      if (const std::uint32_t l_nError = platform::ControlService(
              l_Service.handle, platform::SERVICE_CONTROL_STOP, l_Status);
          l_nError == ERROR_SUCCESS) {
        g_Logger->Log(LOG_TO_FILE, u"StopService Succeeds");
      } else {
        g_Logger->Log(LOG_TO_FILE, u"StopService fails with %d", l_nError);
      }
      break;
    }
    case ServiceSwitch::None:
      break;
  }
}
