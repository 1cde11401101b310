#include "service/menu/TrackList.h"

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/player/PlayerInterfaces.h"

CTrackList::CTrackList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, const Kind& p_Kind)
    : CMediaLibraryNode(p_pPlayer, p_pParent), m_Kind(p_Kind) {}

bool CTrackList::OnButtonRight(CMediaLibraryNode**) { return false; }

std::int32_t CTrackList::GetNodeType() { return m_Kind.nodeType; }

std::int32_t CTrackList::GetItemCount() { return m_nTrackCount; }

std::int32_t CTrackList::OnButtonOk() {
  StartTrack(m_Kind.ok);
  return kOkNoNewPage;
}

bool CTrackList::OnButtonPlay() {
  const bool l_bStarted = StartTrack(m_Kind.play);
  return m_Kind.playAnswersStart ? l_bStarted : true;
}

void CTrackList::OnStartFailure(const char16_t* p_szText, HRESULT p_hr) {
  g_Logger->Log(LOG_TO_FILE, p_szText, p_hr);
}

void CTrackList::OnRecountFailure(HRESULT) {}

bool CTrackList::StartTrack(const StartTexts& p_Texts) {
  if (!m_spTracks) {
    return false;
  }
  std::int32_t l_nCount = m_nTrackCount;
  if (p_Texts.getCount != nullptr) {
    const HRESULT l_hr = m_spTracks->get_count(&l_nCount);
    if (FAILED(l_hr)) {
      OnStartFailure(p_Texts.getCount, l_hr);
      return false;
    }
  }
  const std::int64_t l_nLine = m_Window.m_nCurrentLine;
  if (l_nLine >= l_nCount) {
    return false;
  }
  platform::ComPtr<IWMPMedia> l_spTrack;
  HRESULT l_hr = m_spTracks->get_item(static_cast<std::int32_t>(l_nLine), l_spTrack.put());
  if (FAILED(l_hr) || !l_spTrack) {
    OnStartFailure(p_Texts.getItem, FAILED(l_hr) ? l_hr : E_POINTER);
    return false;
  }
  l_hr = m_pPlayer->put_currentMedia(l_spTrack.get());
  if (FAILED(l_hr)) {
    OnStartFailure(p_Texts.putCurrentMedia, l_hr);
    return false;
  }
  return true;
}

void CTrackList::TakeTracks(platform::ComPtr<IWMPPlaylist> p_spTracks, std::int32_t p_nCount) {
  m_spTracks = std::move(p_spTracks);
  m_nTrackCount = m_spTracks ? p_nCount : 0;
  SetItemCount(GetItemCount());
}

platform::ComPtr<IWMPPlaylist> CTrackList::NewTracks(const _bstr_t& p_bstrName,
                                                     const _bstr_t& p_bstrCaller,
                                                     const PlaylistFill& p_Fill,
                                                     Failures p_Failures) {
  HRESULT l_hrFill = S_OK;
  platform::ComPtr<IWMPPlaylist> l_spTracks =
      NewFilledPlaylist(m_pPlayer, p_bstrName, p_bstrCaller, p_Fill, &l_hrFill);
  // A library change whose tracks could not be asked for changes nothing: the list stays.
  if (p_Failures == Failures::Quiet && FAILED(l_hrFill)) {
    l_spTracks.Release();
  }
  return l_spTracks;
}

void CTrackList::LoadTracks() {
  m_spTracks.Release();
  platform::ComPtr<IWMPPlaylist> l_spTracks = MakeTracks(Failures::Report);
  std::int32_t l_nCount = m_nTrackCount;
  if (l_spTracks) {
    const HRESULT l_hr = l_spTracks->get_count(&l_nCount);
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, m_Kind.loadGetCount, l_hr);
      l_nCount = m_nTrackCount;
    }
  }
  TakeTracks(std::move(l_spTracks), l_nCount);
}

bool CTrackList::OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) {
  platform::ComPtr<IWMPPlaylist> l_spFresh = MakeTracks(Failures::Quiet);
  if (!l_spFresh) {
    return false;
  }
  std::int32_t l_nCount = 0;
  const HRESULT l_hr = l_spFresh->get_count(&l_nCount);
  if (FAILED(l_hr)) {
    OnRecountFailure(l_hr);
    return false;
  }
  if (l_nCount == m_nTrackCount) {
    return false;
  }
  TakeTracks(std::move(l_spFresh), l_nCount);
  return p_pShown == this;
}

void CTrackList::OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  ListDisplayLines(p_bstrTitle, p_Lines, Localized(g_UnknownEntryText),
                   [this](std::int32_t p_nIndex) -> std::optional<_bstr_t> {
                     if (!m_spTracks) {
                       return std::nullopt;
                     }
                     platform::ComPtr<IWMPMedia> l_spTrack;
                     HRESULT l_hr = m_spTracks->get_item(p_nIndex, l_spTrack.put());
                     if (FAILED(l_hr) || !l_spTrack) {
                       g_Logger->Log(LOG_TO_FILE, m_Kind.displayGetItem, l_hr);
                       return std::nullopt;
                     }
                     _bstr_t l_bstrName;
                     l_hr = l_spTrack->get_name(l_bstrName.GetAddress());
                     if (FAILED(l_hr)) {
                       g_Logger->Log(LOG_TO_FILE, m_Kind.displayGetName, l_hr);
                       return std::nullopt;
                     }
                     return l_bstrName;
                   });
}
