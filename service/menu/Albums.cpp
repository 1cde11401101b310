#include "service/menu/Albums.h"

#include <algorithm>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "common/WMPException.h"
#include "platform/base/Format.h"
#include "platform/base/Time.h"
#include "platform/player/PlayerInterfaces.h"

namespace {

const CTrackList::Kind kAlbumTracksKind{
    kNodeTypeAlbums,
    u"CAlbumTracks OnGetDisplayLines get_item fails with hr %x",
    u"CAlbumTracks OnGetDisplayLines get_name fails with hr %x",
    u"CAlbumTracks get_count fails with hr %x",
    {nullptr, u"CAlbumTracks::OnButtonPlay get_item fails with hr %x",
     u"CAlbumTracks::OnButtonPlay put_currentMedia fails with hr %x"},
    {nullptr, u"CAlbumTracks::OnButtonOk get_item fails with hr %x",
     u"CAlbumTracks::OnButtonOk put_currentMedia fails with hr %x"},
    false};

const StringLoadTexts kAlbumLoadTexts{
    u"CAlbums::InitializeAlbumList get_mediaCollection fails with l_hr %x",
    u"CAlbums::InitializeAlbumList getAttributeStringCollection fails with l_hr %x",
    u"CAlbums::InitializeAlbumList get_count fails with l_hr %x",
    u"CAlbums::InitializeAlbumList l_spAlbumslist->item fails with l_hr %x"};

}  // namespace

CAlbumTracks::CAlbumTracks(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                           _bstr_t p_bstrAlbum)
    : CTrackList(p_pPlayer, p_pParent, kAlbumTracksKind), m_bstrAlbum(std::move(p_bstrAlbum)) {
  InitializeAlbumTracks();
}

CAlbumTracks::~CAlbumTracks() {
  g_Logger->Log(LOG_TO_FILE, u"CAlbumTracks::~CAlbumTracks for %s Complete", m_bstrAlbum);
}

void CAlbumTracks::InitializeAlbumTracks() {
  const std::uint32_t l_nStart = platform::TickCount();
  LoadTracks();
  g_Logger->Log(LOG_TO_FILE, u"CAlbumTracks for %s loads %d tracks in %d ms", m_bstrAlbum,
                m_nTrackCount, platform::TickCount() - l_nStart);
}

platform::ComPtr<IWMPPlaylist> CAlbumTracks::MakeTracks(Failures p_Failures) {
  platform::ComPtr<IWMPPlaylist> l_spTracks;
  const auto l_Fail = [&](const std::u16string& p_Text) {
    if (p_Failures == Failures::Report) {
      throw CWMPException(p_Text.c_str());
    }
    l_spTracks.Release();
    return l_spTracks;
  };
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = m_pPlayer->get_mediaCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    return l_Fail(platform::Format(u"get_mediaCollectionfails with error %x",
                                   FAILED(l_hr) ? l_hr : E_POINTER));
  }
  // Any album named like the untitled-album word stands for the tracks without an album.
  const bool l_bUntitled = m_bstrAlbum.view().starts_with(Localized(g_UntitledAlbumText).view());
  l_hr = QueryTracks(l_spCollection.get(), l_bUntitled, u"Album", &IWMPMediaCollection::getByAlbum,
                     m_bstrAlbum, l_spTracks);
  if (FAILED(l_hr)) {
    return l_Fail(platform::Format(u"getByAlbum for %s fails with error %x", m_bstrAlbum, l_hr));
  }
  return l_spTracks;
}

_bstr_t CAlbumTracks::GetDerivedDescription() { return m_bstrAlbum; }

bool CAlbumTracks::OnButtonPlay() {
  platform::ComPtr<IWMPSettings> l_spSettings;
  if (SUCCEEDED(m_pPlayer->get_settings(l_spSettings.put())) && l_spSettings) {
    l_spSettings->put_autoStart(VARIANT_TRUE);
  }
  return CTrackList::OnButtonPlay();
}

CAlbums::CAlbums(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : CSubNodeList(p_pPlayer, p_pParent, {.enterFirst = true, .emptyOpens = false}) {
  InitializeAlbumList();
}

CAlbums::~CAlbums() {
  g_Logger->Log(LOG_TO_FILE, u"CAlbums::~CAlbums Start");
  m_pChild = nullptr;
  DropSubNodes();
  g_Logger->Log(LOG_TO_FILE, u"CAlbums::~CAlbums Complete");
}

void CAlbums::InitializeAlbumList() {
  const std::uint32_t l_nStart = platform::TickCount();
  std::int32_t l_nCount = 0;
  const platform::ComPtr<IWMPStringCollection> l_spNames =
      AudioAttributeStrings(m_pPlayer, u"Album", kAlbumLoadTexts, l_nCount);
  const _bstr_t& l_bstrUntitled = Localized(g_UntitledAlbumText);
  _bstr_t l_bstrPrevious;
  for (std::int32_t l_nIndex = 0; l_nIndex < l_nCount; ++l_nIndex) {
    _bstr_t l_bstrName;
    const HRESULT l_hr = l_spNames->item(l_nIndex, l_bstrName.GetAddress());
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, kAlbumLoadTexts.item, l_hr);
      continue;
    }
    if (l_bstrName.length() == 0) {
      l_bstrName = l_bstrUntitled;
    }
    g_Logger->Log(LOG_TO_FILE, u"Album Name = %s", l_bstrName);
    // Runs of one name, among them runs of untitled albums, are listed once.
    if (l_nIndex == 0 || l_bstrName != l_bstrPrevious) {
      m_AlbumNames.push_back(l_bstrName);
    }
    l_bstrPrevious = l_bstrName;
  }
  g_Logger->Log(LOG_TO_FILE, u"%d Album Names Loaded in %d ms", l_nCount,
                platform::TickCount() - l_nStart);
  SetItemCount(GetItemCount());
}

_bstr_t CAlbums::GetDerivedDescription() { return Localized(g_CategoryTexts[kCategoryAlbums]); }

std::int32_t CAlbums::GetNodeType() { return kNodeTypeAlbums; }

std::int32_t CAlbums::GetItemCount() { return static_cast<std::int32_t>(m_AlbumNames.size()); }

std::optional<_bstr_t> CAlbums::EntryName(std::int32_t p_nIndex) {
  if (p_nIndex < 0 || p_nIndex >= GetItemCount()) {
    return std::nullopt;
  }
  return m_AlbumNames[static_cast<std::size_t>(p_nIndex)];
}

const _bstr_t& CAlbums::UnknownWord() { return Localized(g_UntitledAlbumText); }

std::unique_ptr<CAlbumTracks> CAlbums::MakeSubNode(std::uint32_t p_nLine) {
  const std::optional<_bstr_t> l_bstrName = EntryName(static_cast<std::int32_t>(p_nLine));
  if (!l_bstrName) {
    return nullptr;
  }
  return std::make_unique<CAlbumTracks>(m_pPlayer, this, *l_bstrName);
}

bool CAlbums::OnButtonPlay() {
  std::optional<_bstr_t> l_bstrName = EntryName(static_cast<std::int32_t>(m_Window.m_nCurrentLine));
  if (!l_bstrName) {
    return true;
  }
  const bool l_bUntitled =
      l_bstrName->length() == 0 || *l_bstrName == Localized(g_UntitledAlbumText);
  PlayQueryAnswer(
      m_pPlayer, u"CAlbums::OnButtonPlay", l_bUntitled ? u"getByAttribute" : u"getByAlbum",
      TracksQuery(l_bUntitled, u"Album", &IWMPMediaCollection::getByAlbum, *l_bstrName));
  return true;
}

bool CAlbums::SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) {
  if (p_Path.size() != 3 || !NavigateTo(p_Path[2], &Localized(g_UntitledAlbumText),
                                        u"CAlbums::SetCurrentNavigation to %s")) {
    return false;
  }
  return ShowOwnList(p_ppNode);
}

bool CAlbums::OnAlbumAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                           CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CAlbums::OnAlbumAdded %s Enter", p_bstrValue);
  if (std::find(m_AlbumNames.begin(), m_AlbumNames.end(), p_bstrValue) != m_AlbumNames.end()) {
    g_Logger->Log(LOG_TO_FILE, u"CAlbums::OnAlbumAdded %s (Duplicate) exits", p_bstrValue);
    return false;
  }
  m_AlbumNames.push_back(p_bstrValue);
  std::sort(m_AlbumNames.begin(), m_AlbumNames.end());
  SetItemCount(GetItemCount());
  const bool l_bOwnBranch = ShowsOwnBranch(p_pShown);
  DropSubNodes();
  g_Logger->Log(LOG_TO_FILE, u"CAlbums::OnAlbumAdded %s exits", p_bstrValue);
  return HandBack(l_bOwnBranch, p_ppNode);
}

bool CAlbums::OnAlbumRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                             CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CAlbums::OnAlbumRemoved %s Enter", p_bstrValue);
  const bool l_bOwnBranch = ShowsOwnBranch(p_pShown);
  DropSubNodes();
  m_AlbumNames.clear();
  InitializeAlbumList();
  g_Logger->Log(LOG_TO_FILE, u"CAlbums::OnAlbumRemoved %s Exits", p_bstrValue);
  return HandBack(l_bOwnBranch, p_ppNode);
}
