#include "server/AlbumCountMonitor.h"

#include <array>
#include <vector>

#include "common/ProgramLogger.h"
#include "platform/base/Format.h"
#include "platform/base/Time.h"
#include "platform/kernel/Session.h"
#include "platform/user/Window.h"

namespace {

constexpr platform::Timeout kIdleWait{60000};
constexpr platform::Timeout kBurstSettle{1000};

}  // namespace

std::int32_t GetAlbumCount(IWMPPlayer4* p_pPlayer) {
  if (p_pPlayer == nullptr) return 0;
  const std::uint32_t l_nStart = platform::TickCount();
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = p_pPlayer->get_mediaCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    g_Logger->Log(LOG_TO_FILE, "CWMPProxy GetAlbumCount get_mediaCollection fails with %x", l_hr);
    return 0;
  }
  const _bstr_t l_bstrAlbum(u"Album");
  const _bstr_t l_bstrAudio(u"audio");
  platform::ComPtr<IWMPStringCollection> l_spAlbums;
  l_hr = l_spCollection->getAttributeStringCollection(l_bstrAlbum.GetBSTR(), l_bstrAudio.GetBSTR(),
                                                      l_spAlbums.put());
  if (FAILED(l_hr) || !l_spAlbums) {
    g_Logger->Log(LOG_TO_FILE,
                  "CWMPProxy GetAlbumCount getAttributeStringCollection fails with %x", l_hr);
    return 0;
  }
  std::int32_t l_nCount = 0;
  l_hr = l_spAlbums->get_count(&l_nCount);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, "CWMPProxy GetAlbumCount get_count fails with %x", l_hr);
    return 0;
  }
  g_Logger->Log(LOG_TO_FILE, "CWMPProxy GetAlbumCount retrieves %d Albums in %d ms", l_nCount,
                static_cast<std::int32_t>(platform::TickCount() - l_nStart));
  return l_nCount;
}

std::u16string AlbumPollEventName() {
  return platform::Format(std::u16string_view(u"Global\\WMPAlbumPollEvent%d"),
                          static_cast<std::int32_t>(platform::ProcessSessionId()));
}

bool CAlbumCountMonitor::Start(platform::ComPtr<IStream> p_pPlayerStream,
                               AlbumDeleted p_OnAlbumDeleted) {
  if (m_hMonitorThread.Joinable()) return false;
  m_hTerminateEvent = platform::Event::Create(platform::EventReset::Auto, false).handle;
  m_pPlayerStream = std::move(p_pPlayerStream);
  m_OnAlbumDeleted = std::move(p_OnAlbumDeleted);
  m_hMonitorThread = platform::Thread::Start([this] { return Run(); });
  return m_hMonitorThread.Joinable();
}

void CAlbumCountMonitor::Stop() {
  if (!m_hMonitorThread.Joinable()) return;
  m_hTerminateEvent.Set();
  // The thread may be inside a call that this thread's messages serve: keep serving them.
  const std::array l_Exit{m_hMonitorThread.ExitRef()};
  for (;;) {
    const platform::WaitResult l_Result =
        platform::MsgWaitForMultipleObjects(l_Exit, false, platform::kInfinite, QS_ALLINPUT);
    if (l_Result.status != platform::WaitStatus::Signalled || l_Result.index == 0) break;
    MSG l_Message;
    while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) {
      platform::DispatchMessage(l_Message);
    }
  }
  m_hMonitorThread.Join();
  m_hTerminateEvent.Close();
}

std::uint32_t CAlbumCountMonitor::Run() {
  g_Logger->Log(LOG_TO_FILE, "WMPAlbumCountMonitor Starts");
  const HRESULT l_hrInit = CoInitialize(nullptr);
  platform::ComPtr<IWMPPlayer4> l_spPlayer;
  if (m_pPlayerStream) {
    CoGetInterfaceAndReleaseStream(m_pPlayerStream.Detach(), platform::IidOf<IWMPPlayer4>,
                                   l_spPlayer.put_void());
  }
  // The service, running as another user, makes or opens it too.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  const platform::Event l_hPollEvent =
      platform::Event::Create(platform::EventReset::Auto, false, AlbumPollEventName(), &l_EveryUser)
          .handle;
  // Without the poll event only the terminate event is waited on: there is nothing to count.
  std::vector<platform::ObjectRef> l_Handles{m_hTerminateEvent.Ref()};
  if (l_hPollEvent) {
    l_Handles.push_back(l_hPollEvent.Ref());
  } else {
    g_Logger->Log(LOG_TO_FILE, "WMPAlbumCountMonitor Wait Handle Error");
  }

  std::int32_t l_nLastCount = GetAlbumCount(l_spPlayer.get());
  platform::Timeout l_WaitTime = kIdleWait;
  bool l_bCountPending = false;
  for (;;) {
    const platform::WaitResult l_Result = platform::WaitForObjects(l_Handles, l_WaitTime);
    if (l_Result.status == platform::WaitStatus::TimedOut) {
      g_Logger->Log(LOG_TO_FILE, "WMPAlbumCountMonitor WAIT_TIMEOUT");
      if (l_bCountPending) {
        const std::int32_t l_nCount = GetAlbumCount(l_spPlayer.get());
        if (l_nCount < l_nLastCount && m_OnAlbumDeleted) m_OnAlbumDeleted(l_nCount);
        l_nLastCount = l_nCount;
      }
      l_bCountPending = false;
      l_WaitTime = kIdleWait;
    } else if (l_Result.status == platform::WaitStatus::Signalled && l_Result.index == 1) {
      l_WaitTime = kBurstSettle;
      l_bCountPending = true;
    } else {
      // The terminate event, or a wait that failed and would fail again at once.
      g_Logger->Log(LOG_TO_FILE, "WMPAlbumCountMonitor Terminating");
      break;
    }
  }
  l_spPlayer.Release();
  if (SUCCEEDED(l_hrInit)) CoUninitialize();
  return 0;
}
