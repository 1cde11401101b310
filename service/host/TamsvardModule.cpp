#include "service/host/TamsvardModule.h"

#include <atomic>

#include "common/ProgramLogger.h"
#include "platform/base/Process.h"
#include "platform/base/StringTable.h"
#include "platform/com/Activation.h"
#include "platform/com/Apartment.h"
#include "platform/kernel/Wait.h"
#include "platform/services/EventLog.h"
#include "platform/user/Window.h"
#include "service/host/HalmavetEventSink.h"
#include "service/host/TamsvardCommandLine.h"
#include "service/host/TamsvardRegistration.h"
#include "service/host/TamsvardResources.h"

namespace {

// The process's module, for the entries that the service manager calls without a context.
std::atomic<CTamsvardModule*> g_pTamsvardModule{nullptr};

constexpr std::uint32_t kNoError = 0;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::size_t kMaxServiceName = 256;

platform::Event CreateNamedAutoResetEvent(std::u16string_view p_strName) {
  return platform::Event::Create(platform::EventReset::Auto, false, p_strName).handle;
}

// How long OnStop waits for each worker, in the order it waits.
struct WorkerShutdown {
  WorkerThread m_Thread;
  platform::Timeout m_Timeout;
  const char16_t* m_szSucceeds;
  const char16_t* m_szTimesOut;
};
constexpr WorkerShutdown kWorkerShutdowns[] = {
    {WorkerThread::DeviceInput, platform::Timeout(2000),
     u"RemoteDeviceInputThread Shutdown Succeeds",
     u"RemoteDeviceInputThread Shutdown Times Out %d"},
    {WorkerThread::DeviceOutput, platform::Timeout(2000),
     u"RemoteDeviceOutputThread Shutdown Succeeds",
     u"RemoteDeviceOutputThread Shutdown Times Out %d"},
    {WorkerThread::SimulatorInput, platform::Timeout(2000),
     u"SimulateDeviceInputThread Shutdown Succeeds",
     u"SimulateDeviceInputThread Shutdown Times Out %d"},
    {WorkerThread::SimulatorOutput, platform::Timeout(4000),
     u"SimulateDeviceOutputThread Shutdown Succeeds",
     u"SimulateDeviceOutputThread Shutdown Times Out %d"},
    {WorkerThread::SessionListener, platform::Timeout(10000),
     u"WTSLogonListenerThread Shutdown Succeeds",
     u"WTSLogonListenerThread Shutdown Times Out %d"},
};

constexpr std::size_t Index(WorkerThread p_Thread) { return static_cast<std::size_t>(p_Thread); }

}  // namespace

CTamsvardModule::CTamsvardModule(const WorkerProcedures& p_Workers) : m_Workers(p_Workers) {
  DeclareTamsvardResources();
  m_szServiceName = std::u16string(
      platform::LoadString(IDS_SERVICENAME, platform::kLanguageNeutral).substr(0, kMaxServiceName));
  g_pTamsvardModule = this;
}

CTamsvardModule::~CTamsvardModule() {
  CTamsvardModule* l_pThis = this;
  g_pTamsvardModule.compare_exchange_strong(l_pThis, nullptr);
}

// Entry, command line and registration.

HRESULT CTamsvardModule::WinMain(int p_nShowCmd, std::span<const std::string_view> p_Arguments) {
  const TamsvardRegistration l_Registration = ParseTamsvardCommandLine(p_Arguments);
  switch (l_Registration) {
    case TamsvardRegistration::Unregister: {
      const HRESULT l_hr = UnregisterServer(true);
      return SUCCEEDED(l_hr) ? UnregisterTamsvardAppId(m_szServiceName) : l_hr;
    }
    case TamsvardRegistration::Register:
    case TamsvardRegistration::Service: {
      const HRESULT l_hr = RegisterTamsvardAppId(
          m_szServiceName, l_Registration == TamsvardRegistration::Service);
      return SUCCEEDED(l_hr) ? RegisterServer(true) : l_hr;
    }
    case TamsvardRegistration::None:
      break;
  }
  std::u16string l_strLocalService;
  if (const std::uint32_t l_nError = ReadLocalService(l_strLocalService); l_nError != kNoError) {
    return static_cast<HRESULT>(l_nError);
  }
  m_bService = !l_strLocalService.empty();
  if (m_bService) {
    const platform::SERVICE_TABLE_ENTRY l_ServiceTable[] = {{m_szServiceName, ServiceMainEntry}};
    if (const std::uint32_t l_nError = platform::StartServiceCtrlDispatcher(l_ServiceTable);
        l_nError != kNoError) {
      m_Status.SetExitCode(l_nError);
    }
  } else {
    m_Status.SetExitCode(static_cast<std::uint32_t>(Run(p_nShowCmd)));
  }
  return static_cast<HRESULT>(m_Status.ExitCode());
}

HRESULT CTamsvardModule::RegisterServer(bool, const CLSID*) {
  const std::u16string l_strVersion = ReadProductVersion(u"Tamsvard.exe");
  const std::u16string l_strDescription = ServiceDescription(
      DescriptionLanguage(platform::GetUserDefaultUILanguage()), l_strVersion);
  const ServiceSwitch l_Switch = FindServiceSwitch(platform::GetCommandLineW());
  const HRESULT l_hr = RegisterTamsvardClasses();
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"RegisterServer Fails");
    return l_hr;
  }
  g_Logger->Log(LOG_TO_FILE, u"RegisterServer Succeeds");
  ConfigureInstalledService(m_szServiceName, l_strDescription, l_Switch);
  return l_hr;
}

HRESULT CTamsvardModule::UnregisterServer(bool, const CLSID*) {
  const HRESULT l_hr = UnregisterTamsvardClasses();
  if (SUCCEEDED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"UnregisterServer Succeeds");
  } else {
    g_Logger->Log(LOG_TO_FILE, u"UnregisterServer fails with %x", l_hr);
  }
  return l_hr;
}

HRESULT CTamsvardModule::InitializeSecurity() {
  g_Logger->Log(LOG_TO_FILE, u"InitializeSecurity");
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  return S_OK;
}

// The service's life.

void CTamsvardModule::ServiceMainEntry(std::uint32_t, char16_t**) {
  if (CTamsvardModule* l_pModule = g_pTamsvardModule.load()) l_pModule->ServiceMain();
}

void CTamsvardModule::HandlerEntry(std::uint32_t p_dwOpcode) {
  if (CTamsvardModule* l_pModule = g_pTamsvardModule.load()) l_pModule->Handler(p_dwOpcode);
}

std::uint32_t CTamsvardModule::HandlerExEntry(std::uint32_t p_dwControl,
                                              std::uint32_t p_dwEventType, void* p_pEventData,
                                              void* p_pContext) {
  return static_cast<CTamsvardModule*>(p_pContext)
      ->WMPHandlerExCallback(p_dwControl, p_dwEventType, p_pEventData, p_pContext);
}

void CTamsvardModule::ServiceMain() {
  const platform::SERVICE_STATUS_HANDLE l_hStatus =
      platform::RegisterServiceCtrlHandler(m_szServiceName, HandlerEntry);
  if (!l_hStatus) {
    LogEvent(u"Handler not installed");
    return;
  }
  m_Status.SetHandle(l_hStatus);
  m_Status.SetExitCode(kNoError);
  m_Status.Report(platform::SERVICE_START_PENDING);
  m_Status.SetExitCode(static_cast<std::uint32_t>(Run(0)));
  LogEvent(u"Service stopped");
  m_Status.Report(platform::SERVICE_STOPPED);
}

HRESULT CTamsvardModule::Run(int p_nShowCmd) {
  const HRESULT l_hrCom = CoInitialize(nullptr);
  if (FAILED(l_hrCom)) return l_hrCom;
  const HRESULT l_hr = PreMessageLoop(p_nShowCmd);
  if (l_hr == S_OK) {
    if (m_bService) {
      m_Status.Report(platform::SERVICE_RUNNING);
      LogEvent(u"Service started");
    }
    RunMessageLoop();
  }
  PostMessageLoop();
  CoUninitialize();
  return l_hr;
}

HRESULT CTamsvardModule::PlatformPreMessageLoop() {
  m_dwThreadID = platform::CurrentThreadId();
  platform::EnsureMessageQueue();
  if (m_bService) InitializeSecurity();
  const platform::ComPtr<CHalmavetEventSinkFactory> l_spFactory =
      platform::MakeObject<CHalmavetEventSinkFactory>();
  return CoRegisterClassObject(CLSID_HalmavetEventSink, l_spFactory->Identity(),
                               CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_dwClassCookie);
}

HRESULT CTamsvardModule::PreMessageLoop(int) {
  if (const HRESULT l_hr = PlatformPreMessageLoop(); FAILED(l_hr)) return l_hr;
  if (m_bService) {
    // Made before the handler exists, so that no device notification finds them missing.
    CreateDeviceEvents();
    std::uint32_t l_nError = kNoError;
    const platform::SERVICE_STATUS_HANDLE l_hStatus = platform::RegisterServiceCtrlHandlerEx(
        m_szServiceName, HandlerExEntry, this, &l_nError);
    if (!l_hStatus) {
      g_Logger->Log(LOG_TO_FILE, u"RegisterServiceCtrlHandlerEx Fails With Error %x", l_nError);
      return E_FAIL;
    }
    m_Status.SetHandle(l_hStatus);
  }
  const HRESULT l_hr = RegisterForDeviceNotifications();
  for (std::size_t l_nWorker = 0; l_nWorker < kWorkerThreadCount; ++l_nWorker) {
    m_hTerminateEvents[l_nWorker] = CreateNamedAutoResetEvent(kWorkerTerminateEvents[l_nWorker]);
  }
  StartWorkers();
  if (FAILED(l_hr)) {
    // The message loop never runs, so the workers are stopped here before the service reports
    // that it has stopped and the process ends under them.
    StopWorkers();
    return l_hr;
  }
  g_Logger->Log(LOG_TO_FILE, u"PreMessageLoop Succeeds");
  return l_hr;
}

void CTamsvardModule::CreateDeviceEvents() {
  m_hInputDeviceArrives = CreateNamedAutoResetEvent(kInputDeviceArrivesEvent);
  m_hOutputDeviceArrives = CreateNamedAutoResetEvent(kOutputDeviceArrivesEvent);
  m_hInputDeviceRemoved = CreateNamedAutoResetEvent(kInputDeviceRemovedEvent);
  m_hOutputDeviceRemoved = CreateNamedAutoResetEvent(kOutputDeviceRemovedEvent);
}

void CTamsvardModule::StartWorkers() {
  for (std::size_t l_nWorker = 0; l_nWorker < kWorkerThreadCount; ++l_nWorker) {
    m_hThreads[l_nWorker] = platform::Thread::Start(m_Workers[l_nWorker], nullptr);
  }
}

HRESULT CTamsvardModule::RegisterForDeviceNotifications() {
  if (m_bService) {
    platform::DEV_BROADCAST_DEVICEINTERFACE l_Filter;
    l_Filter.dbcc_size = 32;
    l_Filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    platform::HidD_GetHidGuid(&l_Filter.dbcc_classguid);
    m_hServiceDeviceNotify =
        platform::ServiceDeviceRegistration(platform::RegisterDeviceNotification(
            m_Status.Handle(), l_Filter, platform::DEVICE_NOTIFY_SERVICE_HANDLE));
  } else {
    m_pDevicePlugWindow = std::make_unique<CRemoteDevicePlugEventsMonitorWindow>();
    if (const HWND l_hWnd = m_pDevicePlugWindow->Create(); l_hWnd != 0) {
      const ::DEV_BROADCAST_DEVICEINTERFACE l_Filter;
      m_hWindowDeviceNotify =
          platform::RegisterDeviceNotification(l_hWnd, &l_Filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
  }
  if (m_hServiceDeviceNotify || m_hWindowDeviceNotify != 0) {
    g_Logger->Log(LOG_TO_FILE, u"RegisterDeviceNotification Succeeds");
    return S_OK;
  }
  g_Logger->Log(LOG_TO_FILE, u"RegisterDeviceNotification Fails With Error %d",
                platform::LastSystemError());
  return E_FAIL;
}

void CTamsvardModule::RunMessageLoop() {
  MSG l_Message;
  while (platform::GetMessage(l_Message, 0, 0, 0) > 0) platform::DispatchMessage(l_Message);
}

void CTamsvardModule::PostMessageLoop() {
  if (m_dwClassCookie != 0) CoRevokeClassObject(m_dwClassCookie);
  m_dwClassCookie = 0;
}

void CTamsvardModule::LogEvent(std::u16string_view p_strText) const {
  const std::u16string l_Strings[] = {std::u16string(p_strText)};
  platform::ReportEvent(platform::RegisterEventSource({}, m_szServiceName),
                        platform::EVENTLOG_INFORMATION_TYPE, 0, 0, l_Strings);
}

// Controls.

std::uint32_t CTamsvardModule::WMPHandlerExCallback(std::uint32_t p_dwControl,
                                                    std::uint32_t p_dwEventType,
                                                    void* p_pEventData, void*) {
  if (p_dwControl == platform::SERVICE_CONTROL_DEVICEEVENT) {
    m_pDeviceEventData = p_pEventData;
    OnDeviceEvent(p_dwEventType);
    m_pDeviceEventData = nullptr;
  } else {
    Handler(p_dwControl);
  }
  return kNoError;
}

void CTamsvardModule::OnDeviceEvent(std::uint32_t p_dwEventType) {
  const auto* l_pHeader = static_cast<const platform::DEV_BROADCAST_HDR*>(m_pDeviceEventData);
  const auto l_RemoteInterface = [l_pHeader](const char16_t* p_szFormat) {
    if (l_pHeader == nullptr || l_pHeader->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
      return false;
    }
    const std::u16string_view l_strName =
        reinterpret_cast<const platform::DEV_BROADCAST_DEVICEINTERFACE*>(l_pHeader)->dbcc_name;
    g_Logger->Log(LOG_TO_FILE, p_szFormat, std::u16string(l_strName));
    return IsRemoteDeviceInterface(l_strName);
  };
  switch (p_dwEventType) {
    case DBT_DEVICEARRIVAL:
      if (l_RemoteInterface(u"WMPHandlerExCallback sees DBT_DEVICEARRIVAL for %s")) {
        m_hInputDeviceArrives.Set();
        m_hOutputDeviceArrives.Set();
      }
      break;
    case DBT_DEVICEREMOVECOMPLETE:
      if (l_RemoteInterface(u"WMPHandlerExCallback sees DBT_DEVICEREMOVECOMPLETE for %s")) {
        m_hInputDeviceRemoved.Set();
        m_hOutputDeviceRemoved.Set();
      }
      break;
    case DBT_DEVICEQUERYREMOVE:
      g_Logger->Log(LOG_TO_FILE, u"WMPHandlerExCallback sees DBT_DEVICEQUERYREMOVE");
      break;
    case DBT_DEVICEQUERYREMOVEFAILED:
      g_Logger->Log(LOG_TO_FILE, u"WMPHandlerExCallback sees DBT_DEVICEQUERYREMOVEFAILED");
      break;
    case DBT_DEVICEREMOVEPENDING:
      g_Logger->Log(LOG_TO_FILE, u"WMPHandlerExCallback sees DBT_DEVICEREMOVEPENDING");
      break;
    default:
      g_Logger->Log(LOG_TO_FILE,
                    u"WMPHandlerExCallback sees SERVICE_CONTROL_DEVICEEVENT With EventType %x",
                    p_dwEventType);
      break;
  }
}

void CTamsvardModule::Handler(std::uint32_t p_dwOpcode) {
  switch (p_dwOpcode) {
    case platform::SERVICE_CONTROL_STOP:
      OnStop();
      break;
    case platform::SERVICE_CONTROL_PAUSE:
    case platform::SERVICE_CONTROL_CONTINUE:
    case platform::SERVICE_CONTROL_INTERROGATE:
    case platform::SERVICE_CONTROL_SHUTDOWN:
      break;
    default:
      LogEvent(u"Bad service request");
      break;
  }
}

void CTamsvardModule::OnStop() {
  g_Logger->Log(LOG_TO_FILE, u"CTamsvardModule OnStop");
  StopWorkers();
  m_Status.Report(platform::SERVICE_STOP_PENDING);
  platform::PostThreadMessage(m_dwThreadID, WM_QUIT, 0, 0);
}

void CTamsvardModule::StopWorkers() {
  // From here all five stop at the same time; the waits below only take their ends in order.
  for (const WorkerThread l_Worker :
       {WorkerThread::DeviceInput, WorkerThread::DeviceOutput, WorkerThread::SimulatorInput,
        WorkerThread::SimulatorOutput, WorkerThread::SessionListener}) {
    m_hTerminateEvents[Index(l_Worker)].Set();
  }
  ReleaseDeviceWatch();
  for (const WorkerShutdown& l_Shutdown : kWorkerShutdowns) {
    platform::Thread& l_Thread = m_hThreads[Index(l_Shutdown.m_Thread)];
    if (l_Thread.Join(l_Shutdown.m_Timeout)) {
      g_Logger->Log(LOG_TO_FILE, l_Shutdown.m_szSucceeds);
    } else {
      g_Logger->Log(LOG_TO_FILE, l_Shutdown.m_szTimesOut, kWaitTimeout);
      m_LeftRunning.push_back(std::move(l_Thread));
    }
  }
  for (platform::Thread& l_Thread : m_hThreads) l_Thread = platform::Thread();
  for (platform::Event& l_Event : m_hTerminateEvents) l_Event.Close();
}

void CTamsvardModule::ReleaseDeviceWatch() {
  m_hServiceDeviceNotify.Reset();
  if (m_pDevicePlugWindow) {
    m_pDevicePlugWindow->DestroyWindow();
    m_pDevicePlugWindow.reset();
    m_hWindowDeviceNotify = 0;
  }
  m_hInputDeviceArrives.Close();
  m_hOutputDeviceArrives.Close();
  m_hInputDeviceRemoved.Close();
  m_hOutputDeviceRemoved.Close();
}
