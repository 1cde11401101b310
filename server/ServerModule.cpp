#include "server/ServerModule.h"

#include "common/ProgramLogger.h"
#include "platform/base/Process.h"
#include "platform/com/Activation.h"
#include "platform/user/Window.h"
#include "server/CommandLine.h"
#include "platform/kernel/Event.h"
#include "server/Registration.h"
#include "server/RemotePlayerHost.h"

std::uint32_t CServerModule::Lock() {
  const std::uint32_t l_nCount = CoAddRefServerProcess();
  g_Logger->Log(LOG_TO_FILE, "Lock() Lock Count = %d", l_nCount);
  return l_nCount;
}

std::uint32_t CServerModule::Unlock() {
  const std::uint32_t l_nCount = CoReleaseServerProcess();
  g_Logger->Log(LOG_TO_FILE, "Unlock() Lock Count = %d", l_nCount);
  // No delayed shutdown: the last lock ends the message loop at once.
  if (l_nCount == 0) platform::PostThreadMessage(m_nMainThread, WM_QUIT, 0, 0);
  return l_nCount;
}

CProxyServices CServerModule::Services() {
  return {[this] { Lock(); }, [this] { Unlock(); },
          [] { return std::make_unique<CRemotePlayerHost>(); }, std::make_shared<CModuleLoader>()};
}

int CServerModule::WinMain(std::span<const std::string_view> p_Arguments) {
  g_Logger->Log(LOG_TO_FILE, "_AtlModule.WinMain Enter");
  m_nMainThread = platform::CurrentThreadId();
  const CServerCommandLine l_CommandLine = ParseServerCommandLine(p_Arguments);
  int l_nResult = 0;
  if (l_CommandLine.registration == ServerRegistration::Register) {
    l_nResult = RegisterServer() ? 0 : 1;
  } else if (l_CommandLine.registration == ServerRegistration::Unregister) {
    UnregisterServer();
  }
  if (l_CommandLine.stop) {
    CreateServerTerminateEvent().Set();
  }
  if (l_CommandLine.Runs()) {
    const HRESULT l_hrInit = CoInitialize(nullptr);
    if (SUCCEEDED(l_hrInit) && PreMessageLoop(l_CommandLine.tray)) {
      RunMessageLoop();
    } else {
      l_nResult = 1;
    }
    PostMessageLoop();
    if (SUCCEEDED(l_hrInit)) CoUninitialize();
  }
  g_Logger->Log(LOG_TO_FILE, "_AtlModule.WinMain Leave");
  return l_nResult;
}

bool CServerModule::PreMessageLoop(bool p_bTray) {
  const platform::ComPtr<CWMPProxyFactory> l_spFactory =
      platform::MakeObject<CWMPProxyFactory>(Services());
  if (FAILED(CoRegisterClassObject(CLSID_WMPProxy, l_spFactory->Identity(), CLSCTX_LOCAL_SERVER,
                                   REGCLS_MULTIPLEUSE, &m_nClassCookie))) {
    return false;
  }
  if (p_bTray && !m_pTrayWindow) {
    auto l_pTray = std::make_unique<CServerTrayWindow>();
    if (l_pTray->Create()) {
      m_pTrayWindow = std::move(l_pTray);
      // Tray mode lives without clients until it is told to stop.
      Lock();
      m_hServerTerminateMonitor =
          StartServerTerminateMonitor(*m_pTrayWindow, [this] { Unlock(); });
    }
  }
  return true;
}

void CServerModule::RunMessageLoop() {
  MSG l_Message;
  while (platform::GetMessage(l_Message, 0, 0, 0) > 0) platform::DispatchMessage(l_Message);
}

void CServerModule::PostMessageLoop() {
  if (m_nClassCookie != 0) CoRevokeClassObject(m_nClassCookie);
  m_nClassCookie = 0;
  m_hServerTerminateMonitor.Join();
  m_pTrayWindow.reset();
}
