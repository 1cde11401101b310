#include "server/WMPProxy.h"

#include <array>
#include <span>

#include "common/DeviceData.h"
#include "common/ProgramLogger.h"
#include "platform/com/SafeArray.h"

bool WMPMessageWindow::ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam, LPARAM p_lParam,
                                            LRESULT& p_lResult) {
  if (p_nMessage != WM_WMP_TREE_CHANGE) return false;
  p_lResult = m_pProxy != nullptr ? m_pProxy->OnWMPTreeChange(p_wParam, p_lParam) : 0;
  return true;
}

bool CUserLogoffMonitorWindow::ProcessWindowMessage(UINT p_nMessage, WPARAM p_wParam,
                                                    LPARAM p_lParam, LRESULT& p_lResult) {
  if (p_nMessage == WM_QUERYENDSESSION) {
    g_Logger->Log(LOG_TO_FILE, "CUserLogoffMonitorWindow OnQueryEndSession");
    p_lResult = 1;
    return true;
  }
  if (p_nMessage == WM_ENDSESSION) {
    g_Logger->Log(LOG_TO_FILE, "CUserLogoffMonitorWindow OnEndSession");
    if (m_pProxy != nullptr && p_wParam != 0 && (p_lParam & ENDSESSION_LOGOFF) != 0) {
      m_pProxy->OnEndSessionWithLogoff();
    }
    p_lResult = 0;
    return true;
  }
  return false;
}

CWMPProxy::CWMPProxy(CProxyServices p_Services)
    : m_Services(std::move(p_Services)),
      m_EventSinkEvents(m_ConnectionPoints.Add(platform::IidOf<_IWMPEventSinkEvents>)) {
  if (m_Services.lockModule) m_Services.lockModule();
  // The service, running as another user, makes or opens it too.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  auto l_Created = platform::Event::Create(platform::EventReset::Auto, false,
                                           u"Global\\WMPAlbumDeletedEvent", &l_EveryUser);
  m_hAlbumDeletedEvent = std::move(l_Created.handle);
  if (!m_hAlbumDeletedEvent) {
    g_Logger->Log(LOG_TO_FILE,
                  "CWMPProxy FinalConstruct CreateEvent m_hAlbumDeletedEvent fails with error %d",
                  l_Created.error);
  }
}

CWMPProxy::~CWMPProxy() {
  FinalRelease();
  g_Logger->Log(LOG_TO_FILE, "CWMPProxy Destructor");
  m_spPlayer.Release();
  if (m_Services.unlockModule) m_Services.unlockModule();
}

void CWMPProxy::FinalRelease() {
  g_Logger->Log(LOG_TO_FILE, "CWMPProxy FinalRelease");
  m_pView.reset();
  UnloadQuillombMonitor();
  m_pMessageWindow.reset();
  m_pLogoffWindow.reset();
  // The monitor has left its loop before anything it reaches goes.
  m_AlbumCountMonitor.Stop();
  m_hAlbumDeletedEvent.Close();
}

HRESULT CWMPProxy::InitializePlayer(IUnknown** p_ppPlayerIUnknown) {
  g_Logger->Log(LOG_TO_FILE, "CWMPProxy::InitializePlayer Enter");
  if (p_ppPlayerIUnknown == nullptr) return E_POINTER;
  HRESULT l_hr = E_FAIL;
  if (m_Services.makePlayerHost) {
    m_pView = m_Services.makePlayerHost();
    l_hr = m_pView ? m_pView->CreateRemoteMediaPlayer(m_spPlayer) : E_FAIL;
  }
  if (SUCCEEDED(l_hr)) {
    platform::ComPtr<IUnknown> l_spUnknown;
    l_hr = m_spPlayer.QueryInterface(l_spUnknown);
    if (SUCCEEDED(l_hr) && l_spUnknown) {
      *p_ppPlayerIUnknown = l_spUnknown.Detach();
    } else {
      l_hr = E_NOINTERFACE;
    }
  }
  if (SUCCEEDED(l_hr)) {
    m_pLogoffWindow = std::make_unique<CUserLogoffMonitorWindow>();
    if (m_pLogoffWindow->Create(u"CUserLogoffMonitorWindow", WS_OVERLAPPEDWINDOW)) {
      m_pLogoffWindow->Bind(this);
      g_Logger->Log(LOG_TO_FILE, "UserLogoffMonitorWindow Create Succeeds");
    } else {
      g_Logger->Log(LOG_TO_FILE, "UserLogoffMonitorWindow Create Fails");
    }
  }
  // The monitor needs its own reference to the player; without one only the monitor is missing,
  // and the caller keeps the player it was handed.
  platform::ComPtr<IStream> l_spStream;
  const HRESULT l_hrMarshal = CoMarshalInterThreadInterfaceInStream(
      platform::IidOf<IWMPPlayer4>, m_spPlayer.get(), l_spStream.put());
  if (FAILED(l_hrMarshal)) {
    g_Logger->Log(LOG_TO_FILE, "CoMarshalInterThreadInterfaceInStream fails with %x",
                  l_hrMarshal);
  } else {
    platform::Event* l_pAlbumDeleted = &m_hAlbumDeletedEvent;
    m_AlbumCountMonitor.Start(std::move(l_spStream), [l_pAlbumDeleted](std::int32_t) {
      g_Logger->Log(LOG_TO_FILE, "CWMPProxy::OnWMPTreeChange Album Deleted Event");
      l_pAlbumDeleted->Set();
    });
  }
  g_Logger->Log(LOG_TO_FILE, "CWMPProxy::InitializePlayer Leaves with result = %x", l_hr);
  return l_hr;
}

HRESULT CWMPProxy::LoadQuillombMonitor() {
  if (!m_pMessageWindow) {
    auto l_pWindow = std::make_unique<WMPMessageWindow>();
    if (l_pWindow->Create(u"WMPMessageWindow", WS_POPUP)) {
      g_Logger->Log(LOG_TO_FILE, "WMPMessageWindow Create Succeeds");
      m_pMessageWindow = std::move(l_pWindow);
    } else {
      g_Logger->Log(LOG_TO_FILE, "WMPMessageWindow Create Fails");
    }
  }
  if (!m_hQuillombLibrary && m_Services.libraryLoader) {
    m_hQuillombLibrary = m_Services.libraryLoader->Load(kQuillombLibraryName);
  }
  if (m_hQuillombLibrary) {
    const auto l_pLoad = reinterpret_cast<LoadSnoopIntoMediaPlayerProc>(
        m_hQuillombLibrary->Find("LoadSnoopIntoMediaPlayer"));
    if (l_pLoad != nullptr) {
      l_pLoad(m_pMessageWindow ? m_pMessageWindow->Handle() : 0, WM_WMP_TREE_CHANGE);
    }
  }
  if (!m_pMessageWindow || !m_hQuillombLibrary) return E_FAIL;
  m_pMessageWindow->Bind(this);
  return S_OK;
}

HRESULT CWMPProxy::UnloadQuillombMonitor() {
  if (!m_hQuillombLibrary) return S_OK;
  const auto l_pShutdown =
      reinterpret_cast<ShutdownSnooperProc>(m_hQuillombLibrary->Find("ShutdownSnooper"));
  if (l_pShutdown == nullptr) return S_OK;
  l_pShutdown();
  std::uint32_t l_nError = 0;
  if (!m_hQuillombLibrary->Free(l_nError)) {
    g_Logger->Log(LOG_TO_FILE, "CWMPProxy::UnloadQuillombMonitor Error %d", l_nError);
  }
  m_hQuillombLibrary.reset();
  return S_OK;
}

HRESULT CWMPProxy::FindConnectionPoint(REFIID p_Iid, IConnectionPoint** p_ppPoint) {
  return m_ConnectionPoints.Find(p_Iid, p_ppPoint);
}

LRESULT CWMPProxy::OnWMPTreeChange(WPARAM p_wParam, LPARAM /*p_lParam*/) {
  if (p_wParam != 0) {
    g_Logger->Log(LOG_TO_FILE, "CWMPProxy::OnWMPTreeChange Album Deleted Event");
    m_hAlbumDeletedEvent.Set();
  } else if (m_hQuillombLibrary) {
    g_Logger->Log(LOG_TO_FILE, "CWMPProxy::OnWMPTreeChange Navigation");
    OnNavigation();
  }
  return 0;
}

void CWMPProxy::OnNavigation() {
  const auto l_pGetSelection = reinterpret_cast<GetTreeviewSelectionProc>(
      m_hQuillombLibrary->Find("GetTreeviewSelection"));
  std::uint8_t* l_pShared = nullptr;
  if (l_pGetSelection == nullptr || !l_pGetSelection(&l_pShared) || l_pShared == nullptr) return;
  // The record is copied out at once and read within the buffer's size, whatever it holds.
  std::array<std::uint8_t, kTreeviewSelectionSize> l_Record{};
  std::copy_n(l_pShared, l_Record.size(), l_Record.begin());
  const CDeviceData l_Selection{std::span<const std::uint8_t>(l_Record)};
  const std::vector<_bstr_t> l_Lines = l_Selection.GetLines();
  const platform::UniqueSafeArray l_Entries(
      SafeArrayCreateVector(VT_BSTR, 0, static_cast<std::uint32_t>(l_Lines.size())));
  for (std::int32_t l_nIndex = 0; l_nIndex < static_cast<std::int32_t>(l_Lines.size());
       ++l_nIndex) {
    SafeArrayPutElement(l_Entries.get(), &l_nIndex, l_Lines[static_cast<std::size_t>(l_nIndex)].GetBSTR());
  }
  const HRESULT l_hr = Fire_WMPNavigationChanged(0, l_Entries.get());
  g_Logger->Log(LOG_TO_FILE, "CProxy_IWMPEventSinkEvents->Fire_WMPNavigationChanged sees l_hr = %x",
                l_hr);
}

HRESULT CWMPProxy::Fire_WMPNavigationChanged(std::int32_t p_nType, SAFEARRAY* p_pEntries) {
  return m_EventSinkEvents.Fire<_IWMPEventSinkEvents::WMPNavigationChanged>(p_nType, p_pEntries);
}

LRESULT CWMPProxy::OnEndSessionWithLogoff() {
  m_EventSinkEvents.Close();
  g_Logger->Log(LOG_TO_FILE, "OnEndSessionWithLogoff EventSinkEvents_Close");
  return 0;
}

HRESULT CWMPProxyFactory::CreateInstance(IUnknown* p_pOuter, REFIID p_Iid, void** p_ppObject) {
  if (p_ppObject == nullptr) return E_POINTER;
  *p_ppObject = nullptr;
  if (p_pOuter != nullptr) return CLASS_E_NOAGGREGATION;
  const platform::ComPtr<CWMPProxy> l_spProxy = platform::MakeObject<CWMPProxy>(m_Services);
  return l_spProxy->QueryInterface(p_Iid, p_ppObject);
}
