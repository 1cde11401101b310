#pragma once

// CTamsvardModule: the service program's shell. It acts on the command line (registration,
// unregistration, installation), hands its service main to the service manager or runs as a
// plain local server, reports the service's status, serves the class HalmavetEventSink while it
// runs, and starts and stops the five worker threads. The device arrival and removal reach the
// device threads as named events through its extended control handler.
//
// WinMain, ServiceMain, PreMessageLoop and the message loop run on the program's main thread (the
// service's main thread); the control handlers and OnStop on the control dispatcher's thread,
// which the service manager lets in only once the service runs. The worker threads are joined by
// OnStop with their time-outs; one that does not end in its time is kept and joined when the
// module goes (the program's module never goes, so the process ends with it).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Status.h"
#include "platform/com/Guid.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/services/ServiceDispatcher.h"
#include "platform/user/DeviceNotification.h"
#include "service/device/PlugEventsWindow.h"
#include "service/host/ServiceStatus.h"

// The five workers, in the order in which they are started.
enum class WorkerThread : std::size_t {
  SessionListener,
  SimulatorInput,
  SimulatorOutput,
  DeviceInput,
  DeviceOutput,
};
inline constexpr std::size_t kWorkerThreadCount = 5;
// The workers' thread procedures, indexed by WorkerThread; each is started with a null argument
// and ends after its terminate event.
using WorkerProcedures = std::array<platform::Thread::Procedure, kWorkerThreadCount>;

// The workers' terminate events, indexed by WorkerThread.
inline constexpr std::array<std::u16string_view, kWorkerThreadCount> kWorkerTerminateEvents = {
    u"TERMINATE_WTS_SESSION_THREAD", u"Local\\SimulateDeviceInputThreadTerminate",
    u"Local\\SimulateDeviceOutputThreadTerminate", u"REMOTE_DEVICE_INPUT_THREAD_TERMINATE",
    u"REMOTE_DEVICE_OUTPUT_THREAD_TERMINATE"};

class CTamsvardModule {
 public:
  // Declares the program's strings and reads the service name; the one module of the process.
  explicit CTamsvardModule(const WorkerProcedures& p_Workers);
  CTamsvardModule(const CTamsvardModule&) = delete;
  CTamsvardModule& operator=(const CTamsvardModule&) = delete;
  virtual ~CTamsvardModule();

  // The arguments after the program's name; the process's exit code (an HRESULT, or the system
  // error of a failed hand-over to the service manager).
  HRESULT WinMain(int p_nShowCmd, std::span<const std::string_view> p_Arguments);

  HRESULT RegisterServer(bool p_bRegTypeLib, const CLSID* p_pClsid = nullptr);
  HRESULT UnregisterServer(bool p_bUnRegTypeLib, const CLSID* p_pClsid = nullptr);
  HRESULT InitializeSecurity();

  // Runs the pre-loop step, the message loop when it gave S_OK, and the post-loop step.
  HRESULT Run(int p_nShowCmd);
  HRESULT PreMessageLoop(int p_nShowCmd);
  virtual HRESULT RegisterForDeviceNotifications();
  std::uint32_t WMPHandlerExCallback(std::uint32_t p_dwControl, std::uint32_t p_dwEventType,
                                     void* p_pEventData, void* p_pContext);
  // The plain control handler.
  void Handler(std::uint32_t p_dwOpcode);
  void OnStop();

  const std::u16string& ServiceName() const noexcept { return m_szServiceName; }
  std::uint32_t ExitCode() const { return m_Status.ExitCode(); }

  // Whether the program runs as a service; set by WinMain from the application id's registration.
  bool m_bService = true;

 private:
  static void ServiceMainEntry(std::uint32_t p_dwArgc, char16_t** p_lpszArgv);
  static void HandlerEntry(std::uint32_t p_dwOpcode);
  static std::uint32_t HandlerExEntry(std::uint32_t p_dwControl, std::uint32_t p_dwEventType,
                                      void* p_pEventData, void* p_pContext);

  void ServiceMain();
  HRESULT PlatformPreMessageLoop();
  void RunMessageLoop();
  void PostMessageLoop();
  void LogEvent(std::u16string_view p_strText) const;

  void CreateDeviceEvents();
  void StartWorkers();
  // Sets the terminate events, ends the device watch and waits for the workers with their
  // time-outs; a worker that did not end is kept in m_LeftRunning.
  void StopWorkers();
  void ReleaseDeviceWatch();
  void OnDeviceEvent(std::uint32_t p_dwEventType);

  const WorkerProcedures m_Workers;
  std::u16string m_szServiceName;
  CServiceStatus m_Status;
  std::uint32_t m_dwThreadID = 0;
  std::uint32_t m_dwClassCookie = 0;

  platform::Event m_hInputDeviceArrives;
  platform::Event m_hOutputDeviceArrives;
  platform::Event m_hInputDeviceRemoved;
  platform::Event m_hOutputDeviceRemoved;
  std::array<platform::Event, kWorkerThreadCount> m_hTerminateEvents;
  std::array<platform::Thread, kWorkerThreadCount> m_hThreads;
  platform::ServiceDeviceRegistration m_hServiceDeviceNotify;
  // The plug window's registration, which ends with the window.
  HDEVNOTIFY m_hWindowDeviceNotify = 0;
  const void* m_pDeviceEventData = nullptr;
  std::unique_ptr<CRemoteDevicePlugEventsMonitorWindow> m_pDevicePlugWindow;
  std::vector<platform::Thread> m_LeftRunning;
};
