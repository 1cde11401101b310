#include "service/session/EventSinks.h"

#include <new>

#include "common/ProgramLogger.h"
#include "platform/com/SafeArray.h"
#include "service/device/ServiceEvents.h"

using platform::ComPtr;

namespace {

// An event's text as the sink keeps it: a copy, empty for a null BSTR.
_bstr_t Copied(BSTR p_bstrText) { return _bstr_t(p_bstrText, true); }

}  // namespace

CSessionRecordQueue::CSessionRecordQueue(std::uint32_t p_dwSessionId)
    : m_dwSessionId(p_dwSessionId),
      m_hMediaPlayerEvent(CreateAutoResetEvent(u"RemoteMediaPlayerEvent")) {}

void CSessionRecordQueue::Append(std::unique_ptr<CMediaPlayerEventData> p_pRecord) {
  AppendMediaPlayerEvent(std::move(p_pRecord), m_dwSessionId);
  m_hMediaPlayerEvent.Set();
}

void CSessionRecordQueue::LogLost() const {
  g_Logger->Log(LOG_TO_FILE, u"Session %d loses a player event record: no memory", m_dwSessionId);
}

CWMPEventsSink::CWMPEventsSink(std::uint32_t p_dwSessionId)
    : m_Records(p_dwSessionId),
      m_hMediaCollectionChange(CreateAutoResetEvent(u"OnMediaCollectionChange")) {}

HRESULT CWMPEventsSink::OnPlaylistChangeEvent(IUnknown* p_pPlaylist, std::int32_t p_nChangeType) {
  if (p_nChangeType != wmplcDelete && p_nChangeType != wmplcInsert &&
      p_nChangeType != wmplcAppend) {
    return S_OK;
  }
  if (p_pPlaylist == nullptr) {
    return S_OK;
  }
  // A call back into the player while it fires the event.
  ComPtr<IUnknown> l_spUnknown;
  ComPtr<IWMPPlaylist> l_spPlaylist;
  _bstr_t l_bstrName;
  if (FAILED(p_pPlaylist->QueryInterface(platform::IidOf<IUnknown>, l_spUnknown.put_void())) ||
      !l_spUnknown || FAILED(l_spUnknown.QueryInterface(l_spPlaylist)) || !l_spPlaylist ||
      FAILED(l_spPlaylist->get_name(l_bstrName.GetAddress()))) {
    return S_OK;
  }
  g_Logger->Log(LOG_TO_FILE,
                u"CWMPEventsSink OnPlaylistChangeEvent DISPID_WMPCOREEVENT_PLAYLISTCHANGE for %s "
                u"event %d",
                l_bstrName, p_nChangeType);
  m_Records.Queue(
      [&] { return std::make_unique<CPlaylistChanged>(5801, l_bstrName, p_nChangeType); });
  return S_OK;
}

HRESULT CWMPEventsSink::OnPlaylistCollectionChange() {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnPlaylistCollectionChange");
  return S_OK;
}

HRESULT CWMPEventsSink::OnPlaylistCollectionPlaylistAdded(BSTR p_bstrName) {
  const _bstr_t l_bstrName = Copied(p_bstrName);
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnPlaylistCollectionPlaylistAdded %s ", l_bstrName);
  m_Records.Queue([&] { return std::make_unique<CPlaylistCollectionAdd>(5811, l_bstrName); });
  return S_OK;
}

HRESULT CWMPEventsSink::OnPlaylistCollectionPlaylistRemoved(BSTR p_bstrName) {
  const _bstr_t l_bstrName = Copied(p_bstrName);
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnPlaylistCollectionPlaylistRemoved %s", l_bstrName);
  m_Records.Queue([&] { return std::make_unique<CPlaylistCollectionDelete>(5812, l_bstrName); });
  return S_OK;
}

HRESULT CWMPEventsSink::OnCurrentPlaylistItemAvailable(BSTR p_bstrItem) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnCurrentPlaylistItemAvailable %s",
                Copied(p_bstrItem));
  return S_OK;
}

HRESULT CWMPEventsSink::OnPlayStateChangeEvent(std::int32_t p_nNewState) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnPlayStateChangeEvent %d", p_nNewState);
  m_Records.Queue([&] { return std::make_unique<CMediaPlayerPlayStateChange>(5101, p_nNewState); });
  return S_OK;
}

HRESULT CWMPEventsSink::OnMediaCollectionChange() {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnMediaCollectionChange");
  m_hMediaCollectionChange.Set();
  return S_OK;
}

HRESULT CWMPEventsSink::OnCurrentItemChange(IUnknown*) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnCurrentItemChange");
  return S_OK;
}

HRESULT CWMPEventsSink::OnMediaChange(IUnknown*) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnMediaChange");
  return S_OK;
}

HRESULT CWMPEventsSink::OnMediaCollectionAttributeStringAdded(BSTR p_bstrName, BSTR p_bstrValue) {
  const _bstr_t l_bstrName = Copied(p_bstrName);
  const _bstr_t l_bstrValue = Copied(p_bstrValue);
  g_Logger->Log(LOG_TO_FILE,
                u"CWMPEventsSink OnMediaCollectionAttributeStringAdded Name = %s Value = %s",
                l_bstrName, l_bstrValue);
  m_Records.Queue([&] {
    return std::make_unique<CMediaCollectionAttributeStringAdded>(5808, l_bstrName, l_bstrValue);
  });
  return S_OK;
}

HRESULT CWMPEventsSink::OnMediaCollectionAttributeStringChanged(BSTR p_bstrName,
                                                                BSTR p_bstrOldValue,
                                                                BSTR p_bstrNewValue) {
  const _bstr_t l_bstrName = Copied(p_bstrName);
  const _bstr_t l_bstrOld = Copied(p_bstrOldValue);
  const _bstr_t l_bstrNew = Copied(p_bstrNewValue);
  g_Logger->Log(LOG_TO_FILE,
                u"CWMPEventsSink OnMediaCollectionAttributeStringChanged Name = %s Old Value = %s "
                u"New Value = %s",
                l_bstrName, l_bstrOld, l_bstrNew);
  m_Records.Queue([&] {
    return std::make_unique<CMediaCollectionAttributeStringChanged>(5820, l_bstrName, l_bstrOld,
                                                                    l_bstrNew);
  });
  return S_OK;
}

HRESULT CWMPEventsSink::OnMediaCollectionAttributeStringRemoved(BSTR p_bstrName,
                                                                BSTR p_bstrValue) {
  const _bstr_t l_bstrName = Copied(p_bstrName);
  const _bstr_t l_bstrValue = Copied(p_bstrValue);
  g_Logger->Log(LOG_TO_FILE,
                u"CWMPEventsSink OnMediaCollectionAttributeStringRemovedName = %s Value = %s",
                l_bstrName, l_bstrValue);
  m_Records.Queue([&] {
    return std::make_unique<CMediaCollectionAttributeStringRemoved>(5809, l_bstrName,
                                                                    l_bstrValue);
  });
  return S_OK;
}

HRESULT CWMPEventsSink::OnPlayerDockedStateChanged() {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnPlayerDockedStateChanged");
  m_Records.Queue([] { return std::make_unique<CPlayerDockedStateChanged>(6503); });
  return S_OK;
}

HRESULT CWMPEventsSink::OnModeChanged(BSTR p_bstrMode, VARIANT_BOOL p_vbValue) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPEventsSink OnModeChanged");
  const _bstr_t l_bstrMode = Copied(p_bstrMode);
  m_Records.Queue(
      [&] { return std::make_unique<CMediaPlayerModeChange>(5819, l_bstrMode, p_vbValue); });
  return S_OK;
}

CWMPNavigationSink::CWMPNavigationSink(std::uint32_t p_dwSessionId) : m_Records(p_dwSessionId) {}

HRESULT CWMPNavigationSink::OnWMPNavigationChanged(std::int32_t p_nType, SAFEARRAY* p_pLines) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPNavigationSink::OnWMPNavigationChanged for type = %d",
                p_nType);
  const platform::SafeArrayLockGuard l_Lock(p_pLines);
  std::int32_t l_nLower = 0;
  std::int32_t l_nUpper = -1;
  // The array's own bounds, whatever they are; a null, locked-out or many-dimensional array
  // queues nothing.
  if (!l_Lock.locked() || SafeArrayGetDim(p_pLines) != 1 ||
      FAILED(SafeArrayGetLBound(p_pLines, 1, &l_nLower)) ||
      FAILED(SafeArrayGetUBound(p_pLines, 1, &l_nUpper))) {
    return S_OK;
  }
  m_Records.Queue([&] {
    auto l_pRecord = std::make_unique<CWMPNavagationChanged>(kNavigationChangedEventId);
    for (std::int64_t l_nIndex = l_nLower; l_nIndex <= l_nUpper; ++l_nIndex) {
      const auto l_nElement = static_cast<std::int32_t>(l_nIndex);
      _bstr_t l_bstrLine;
      if (FAILED(SafeArrayGetElement(p_pLines, &l_nElement, l_bstrLine.GetAddress()))) {
        continue;
      }
      l_pRecord->AddLine(l_bstrLine);
      g_Logger->Log(LOG_TO_FILE, u"CWMPNavigationSink::OnWMPNavigationChanged Line %d = %s",
                    l_nElement - l_nLower, l_bstrLine);
    }
    return l_pRecord;
  });
  return S_OK;
}

HRESULT CWMPNavigationSink::OnUserLogoff(std::int32_t p_nSessionId) {
  g_Logger->Log(LOG_TO_FILE, u"CWMPNavigationSink::OnUserLogoff for session = %d", p_nSessionId);
  CreateAutoResetEvent(u"WTS_USER_SESSION_LOGOFF").Set();
  return S_OK;
}

namespace {

// Makes the sink and advises it on the source, logging each step with the routine's texts.
template <class Sink, class Source>
HRESULT EstablishConnection(const ComPtr<Source>& p_spSource, std::uint32_t p_dwSessionId,
                            ComPtr<Sink>& p_pSink, const char16_t* p_szName,
                            const char16_t* p_szCreated, const char16_t* p_szAdvised,
                            const char16_t* p_szLeaves) {
  g_Logger->Log(LOG_TO_FILE, p_szName);
  HRESULT l_hr = E_OUTOFMEMORY;
  try {
    p_pSink = platform::MakeObject<Sink>(p_dwSessionId);
    l_hr = S_OK;
  } catch (const std::bad_alloc&) {
    p_pSink.Release();
  }
  if (SUCCEEDED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, p_szCreated);
    l_hr = p_spSource ? p_pSink->DispEventAdvise(p_spSource.get()) : E_POINTER;
    if (SUCCEEDED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, p_szAdvised);
    }
  }
  g_Logger->Log(LOG_TO_FILE, p_szLeaves, l_hr);
  return l_hr;
}

}  // namespace

HRESULT EstablishEventsConnectionPoint(const ComPtr<IWMPPlayer4>& p_spPlayer,
                                       std::uint32_t p_dwSessionId,
                                       ComPtr<CWMPEventsSink>& p_pSink) {
  return EstablishConnection(p_spPlayer, p_dwSessionId, p_pSink,
                             u"EstablishEventsConnectionPoint",
                             u"EstablishEventsConnectionPoint CreateInstance succeeds",
                             u"EstablishEventsConnectionPoint DispEventAdvise succeeds",
                             u"EstablishEventsConnectionPoint leaves with %x");
}

HRESULT EstablishNavigationEventsConnectionPoint(const ComPtr<IWMPProxy>& p_pProxy,
                                                 std::uint32_t p_dwSessionId,
                                                 ComPtr<CWMPNavigationSink>& p_pSink) {
  return EstablishConnection(p_pProxy, p_dwSessionId, p_pSink,
                             u"EstablishNavigationEventsConnectionPoint",
                             u"EstablishNavigationEventsConnectionPoint CreateInstance succeeds",
                             u"EstablishNavigationEventsConnectionPoint DispEventAdvise succeeds",
                             u"EstablishNavigationEventsConnectionPoint leaves with l_hr = %x");
}
