#include "service/menu/NowPlayingList.h"

#include "common/ProgramLogger.h"
#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/CurrentTrack.h"

CSharedText g_bstrCurrentTitle;
CSharedText g_bstrCurrentArtist;
CSharedText g_bstrCurrentAlbum;
CSharedText g_bstrCurrentDuration;
std::atomic<std::int32_t> g_nElapsedSeconds{0};
std::atomic<bool> g_bCurrentlyPlayingDisplayed{false};

namespace {

// The media's attribute, or `p_Fallback` when it is empty or cannot be read: a failed read must
// not leave the previous track's text under the new one.
_bstr_t AttributeOr(IWMPMedia* p_pMedia, const char16_t* p_szAttribute,
                    const _bstr_t& p_bstrFallback) {
  _bstr_t l_bstrValue;
  const HRESULT l_hr =
      p_pMedia->getItemInfo(_bstr_t(p_szAttribute).GetBSTR(), l_bstrValue.GetAddress());
  return FAILED(l_hr) || l_bstrValue.length() == 0 ? p_bstrFallback : l_bstrValue;
}

}  // namespace

CNowPlayingList::CNowPlayingList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : CMediaLibraryNode(p_pPlayer, p_pParent) {
  ReadCurrentMedia();
}

CNowPlayingList::~CNowPlayingList() {
  g_Logger->Log(LOG_TO_FILE, u"CNowPlayingList::~CNowPlayingList Complete");
}

_bstr_t CNowPlayingList::GetDerivedDescription() {
  return Localized(g_CategoryTexts[kCategoryNowPlaying]);
}

std::int32_t CNowPlayingList::GetNodeType() { return kNodeTypeNowPlaying; }

std::int32_t CNowPlayingList::GetItemCount() { return 0; }

void CNowPlayingList::ReadCurrentMedia() {
  WMPPlayState l_State = wmppsUndefined;
  if (FAILED(m_pPlayer->get_playState(&l_State))) {
    return;
  }
  if (l_State == wmppsPlaying || l_State == wmppsPaused) {
    platform::ComPtr<IWMPMedia> l_spMedia;
    if (FAILED(m_pPlayer->get_currentMedia(l_spMedia.put())) || !l_spMedia) {
      return;
    }
    _bstr_t l_bstrName;
    const HRESULT l_hr = l_spMedia->get_name(l_bstrName.GetAddress());
    m_bstrTrackName =
        FAILED(l_hr) || l_bstrName.length() == 0 ? Localized(g_UnknownEntryText) : l_bstrName;
    m_bstrArtist = AttributeOr(l_spMedia.get(), u"Author", Localized(g_UnknownArtistText));
    m_bstrAlbum = AttributeOr(l_spMedia.get(), u"Album", Localized(g_UntitledAlbumText));
    // The duration is taken as it stands, an empty one too; a failed read keeps the last one.
    _bstr_t l_bstrDuration;
    if (SUCCEEDED(
            l_spMedia->getItemInfo(_bstr_t(u"Duration").GetBSTR(), l_bstrDuration.GetAddress()))) {
      m_bstrDuration = l_bstrDuration;
    }
    platform::ComPtr<IWMPControls> l_spControls;
    double l_dPosition = 0;
    if (SUCCEEDED(m_pPlayer->get_controls(l_spControls.put())) && l_spControls &&
        SUCCEEDED(l_spControls->get_currentPosition(&l_dPosition))) {
      g_nElapsedSeconds = static_cast<std::int32_t>(l_dPosition);
    }
    return;
  }
  m_bstrTrackName = Localized(g_NothingPlayingTexts[0]);
  m_bstrArtist = Localized(g_NothingPlayingTexts[1]);
  m_bstrAlbum = Localized(g_NothingPlayingTexts[2]);
  m_bstrDuration = u"1.0";
  g_nElapsedSeconds = 0;
}

bool CNowPlayingList::OnButtonRight(CMediaLibraryNode** p_ppNode) {
  ReadCurrentMedia();
  m_pChild = this;
  if (p_ppNode != nullptr) {
    *p_ppNode = this;
  }
  return true;
}

std::int32_t CNowPlayingList::OnButtonOk() {
  OnButtonRight(nullptr);
  return 1;
}

bool CNowPlayingList::OnButtonPlay() {
  if (m_pChild != nullptr) {
    return false;
  }
  ReadCurrentMedia();
  m_pChild = this;
  platform::ComPtr<IWMPControls> l_spControls;
  if (FAILED(m_pPlayer->get_controls(l_spControls.put())) || !l_spControls) {
    return false;
  }
  const HRESULT l_hr = l_spControls->play();
  g_bCurrentlyPlayingDisplayed = true;
  g_Logger->Log(LOG_TO_FILE,
                u"CNowPlayingList::OnButtonPlay Sets g_bCurrentlyPlayingDisplayed = TRUE");
  return SUCCEEDED(l_hr);
}

bool CNowPlayingList::OnTrackChanged() {
  g_Logger->Log(LOG_TO_FILE, u"CNowPlayingList::OnTrackChanged Enter");
  ReadCurrentMedia();
  g_Logger->Log(LOG_TO_FILE, u"CNowPlayingList::OnTrackChanged Exits");
  return true;
}

void CNowPlayingList::OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  p_bstrTitle = GetDerivedDescription();
  ReadCurrentMedia();
  p_Lines = {m_bstrTrackName, m_bstrArtist, m_bstrAlbum};
  g_bCurrentlyPlayingDisplayed = true;
  g_Logger->Log(LOG_TO_FILE,
                u"CNowPlayingList::OnGetDisplayLines Sets g_bCurrentlyPlayingDisplayed = TRUE");
  g_bstrCurrentTitle.Set(m_bstrTrackName);
  g_bstrCurrentArtist.Set(m_bstrArtist);
  g_bstrCurrentAlbum.Set(m_bstrAlbum);
  g_bstrCurrentDuration.Set(m_bstrDuration);
}
