#include "service/menu/Artists.h"

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/base/Time.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/PlaylistBuilder.h"

namespace {

const CTrackList::Kind kArtistAlbumTracksKind{
    kNodeTypeArtists,
    u"CArtistAlbumTracks OnGetDisplayLines get_item fails with hr %x",
    u"CArtistAlbumTracks OnGetDisplayLines get_name fails with hr %x",
    u"CArtistAlbumTracks fails with hr %x",
    {nullptr, u"CArtistAlbumTracks OnButtonPlay get_item fails with hr %x",
     u"CArtistAlbumTracks OnButtonPlay put_currentMedia fails with hr %x"},
    {nullptr, u"CArtistAlbumTracks OnButtonPlay get_item fails with hr %x",
     u"CArtistAlbumTracks OnButtonPlay put_currentMedia fails with hr %x"},
    false};

const StringLoadTexts kArtistLoadTexts{
    u"CArtistList::InitializeArtistList get_mediaCollection fails with hr %x",
    u"CArtistList::InitializeArtistList getAttributeStringCollection fails with hr %x",
    u"CArtistList::InitializeArtistList get_count fails with hr %x",
    u"CArtistList item fails with hr %x"};

}  // namespace

CArtistAlbumTracks::CArtistAlbumTracks(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                                       _bstr_t p_bstrArtist, _bstr_t p_bstrAlbum)
    : CTrackList(p_pPlayer, p_pParent, kArtistAlbumTracksKind),
      m_bstrArtist(std::move(p_bstrArtist)),
      m_bstrAlbum(std::move(p_bstrAlbum)) {
  InitializeArtistAlbumTracks();
}

void CArtistAlbumTracks::InitializeArtistAlbumTracks() {
  const std::uint32_t l_nStart = platform::TickCount();
  LoadTracks();
  g_Logger->Log(LOG_TO_FILE, u"CArtistAlbumTracks for %s loads in %d ms", m_bstrAlbum,
                platform::TickCount() - l_nStart);
}

platform::ComPtr<IWMPPlaylist> CArtistAlbumTracks::MakeTracks(Failures p_Failures) {
  return NewTracks(
      m_bstrAlbum, u"CArtistAlbumTracks",
      [&](IWMPPlaylist* p_pTarget) {
        return BuildAlbumPlaylist(m_bstrAlbum, m_bstrArtist, m_pPlayer, p_pTarget,
                                  u"CArtistAlbumTracks::InitializeArtistAlbumTracks");
      },
      p_Failures);
}

_bstr_t CArtistAlbumTracks::GetDerivedDescription() { return m_bstrAlbum; }

CArtistAlbums::CArtistAlbums(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                             _bstr_t p_bstrArtist)
    : CNameSetList(p_pPlayer, p_pParent, {.enterFirst = false, .emptyOpens = true}),
      m_bstrArtist(std::move(p_bstrArtist)) {
  InitializeArtistAlbums();
}

void CArtistAlbums::InitializeArtistAlbums() {
  const std::uint32_t l_nStart = platform::TickCount();
  const bool l_bUnknown = m_bstrArtist == Localized(g_UnknownArtistText);
  if (l_bUnknown) {
    m_bstrArtist = _bstr_t();
  }
  const platform::ComPtr<IWMPPlaylist> l_spTracks = AskCollection(
      m_pPlayer, u"CArtistAlbums", u"getByAuthor",
      TracksQuery(l_bUnknown, u"Artist", &IWMPMediaCollection::getByAuthor, m_bstrArtist));
  const TrackTest l_Tests[] = {{u"Album"}};
  CollectNames(l_spTracks.get(), l_Tests, 0, Localized(g_UntitledAlbumText), u"CArtistAlbums");
  g_Logger->Log(LOG_TO_FILE, u"%d Albums for %s Loaded in %d ms", GetItemCount(), m_bstrArtist,
                platform::TickCount() - l_nStart);
}

_bstr_t CArtistAlbums::GetDerivedDescription() {
  return m_bstrArtist.length() == 0 ? Localized(g_UnknownArtistText) : m_bstrArtist;
}

std::int32_t CArtistAlbums::GetNodeType() { return kNodeTypeArtists; }

const _bstr_t& CArtistAlbums::UnknownWord() { return Localized(g_UntitledAlbumText); }

std::unique_ptr<CArtistAlbumTracks> CArtistAlbums::MakeSubNode(std::uint32_t p_nLine) {
  return std::make_unique<CArtistAlbumTracks>(m_pPlayer, this, m_bstrArtist,
                                              GetAlbumName(static_cast<std::int32_t>(p_nLine)));
}

bool CArtistAlbums::OnButtonPlay() {
  const _bstr_t l_bstrAlbum = GetAlbumName(static_cast<std::int32_t>(m_Window.m_nCurrentLine));
  PlayNewPlaylist(m_pPlayer, l_bstrAlbum, u"CArtistAlbums", [&](IWMPPlaylist* p_pTarget) {
    return BuildAlbumPlaylist(l_bstrAlbum, m_bstrArtist, m_pPlayer, p_pTarget,
                              u"CArtistAlbums::OnButtonPlay");
  });
  return true;
}

CArtist::CArtist(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrArtist)
    : CMediaLibraryNode(p_pPlayer, p_pParent),
      m_bstrArtist(p_bstrArtist),
      m_pAlbums(std::make_unique<CArtistAlbums>(p_pPlayer, p_pParent, std::move(p_bstrArtist))) {}

_bstr_t CArtist::GetDerivedDescription() { return m_bstrArtist; }
bool CArtist::OnButtonRight(CMediaLibraryNode** p_ppNode) {
  return m_pAlbums->OnButtonRight(p_ppNode);
}
std::int32_t CArtist::OnButtonOk() { return kOkOpenEntry; }
std::int32_t CArtist::GetNodeType() { return kNodeTypeArtists; }
std::int32_t CArtist::GetItemCount() { return m_pAlbums->GetItemCount(); }
bool CArtist::OnButtonPlay() { return m_pAlbums->OnButtonPlay(); }
std::int32_t CArtist::OnButtonUp() { return m_pAlbums->OnButtonUp(); }
std::int32_t CArtist::OnButtonDown() { return m_pAlbums->OnButtonDown(); }
std::int32_t CArtist::OnPageDown() { return m_pAlbums->OnPageDown(); }
std::int32_t CArtist::OnPageUp() { return m_pAlbums->OnPageUp(); }
std::int32_t CArtist::OnPagesDown() { return m_pAlbums->OnPagesDown(); }
std::int32_t CArtist::OnPagesUp() { return m_pAlbums->OnPagesUp(); }
bool CArtist::OnButtonLeft(CMediaLibraryNode** p_ppNode) {
  return m_pAlbums->OnButtonLeft(p_ppNode);
}
std::int32_t CArtist::GetCurrentCategoryLine() { return m_pAlbums->GetCurrentCategoryLine(); }
std::int32_t CArtist::GetCurrentScreenLine() { return m_pAlbums->GetCurrentScreenLine(); }
bool CArtist::OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) {
  return m_pAlbums->OnMediaCollectionChanged(p_pShown);
}
void CArtist::OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  p_Lines.clear();
  m_pAlbums->GetDisplayLines(p_bstrTitle, p_Lines);
}

CArtistList::CArtistList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : CStringCategory(p_pPlayer, p_pParent, u"Artist", kArtistLoadTexts) {
  InitializeArtistList();
}

void CArtistList::InitializeArtistList() {
  const std::uint32_t l_nStart = platform::TickCount();
  LoadNames();
  g_Logger->Log(LOG_TO_FILE, u"%d Artist Names Loaded in %d ms", GetItemCount(),
                platform::TickCount() - l_nStart);
}

void CArtistList::InitializeNames() { InitializeArtistList(); }

_bstr_t CArtistList::GetDerivedDescription() {
  return Localized(g_CategoryTexts[kCategoryArtists]);
}

std::int32_t CArtistList::GetNodeType() { return kNodeTypeArtists; }

const _bstr_t& CArtistList::UnknownWord() { return Localized(g_UnknownArtistText); }

std::unique_ptr<CArtist> CArtistList::MakeSubNode(std::uint32_t p_nLine) {
  const std::optional<_bstr_t> l_bstrName = EntryName(static_cast<std::int32_t>(p_nLine));
  if (!l_bstrName) {
    return nullptr;
  }
  const bool l_bUnknown = l_bstrName->length() == 0 || l_bstrName->view() == u" ";
  return std::make_unique<CArtist>(m_pPlayer, this, l_bUnknown ? UnknownWord() : *l_bstrName);
}

bool CArtistList::OnButtonRight(CMediaLibraryNode** p_ppNode) {
  // After a removal the shown list counts as entered: Right opens the artist under the cursor.
  if (m_bEnteredAfterRemoval && m_pChild == nullptr) {
    m_pChild = this;
  }
  const bool l_bOpened = CStringCategory::OnButtonRight(p_ppNode);
  if (l_bOpened) {
    m_bEnteredAfterRemoval = false;
  }
  return l_bOpened;
}

bool CArtistList::OnButtonLeft(CMediaLibraryNode** p_ppNode) {
  m_bEnteredAfterRemoval = false;
  return CStringCategory::OnButtonLeft(p_ppNode);
}

void CArtistList::LeaveEntered() {
  m_bEnteredAfterRemoval = false;
  CStringCategory::LeaveEntered();
}

bool CArtistList::OnButtonPlay() {
  const _bstr_t& l_bstrUnknown = UnknownWord();
  const TrackTest l_Tests[] = {{u"Artist"}, {u"MediaType"}};
  return PlayUnderCursor(
      u"CArtistList::OnButtonPlay", &IWMPMediaCollection::getByAuthor, u"getByAuthor",
      [&](const _bstr_t& p_bstrName) {
        return p_bstrName.length() == 0 || p_bstrName == l_bstrUnknown;
      },
      l_Tests, [](TrackValues p_Values) { return p_Values[1].view() == u"audio"; });
}

bool CArtistList::SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) {
  if (p_Path.size() != 3 && p_Path.size() != 4) {
    return false;
  }
  const std::optional<std::uint32_t> l_nFound =
      Navigate(p_Path, UnknownWord(),
               p_Path.size() == 3 ? u"CArtistList::SetCurrentNavigation to %s" : nullptr);
  if (!l_nFound) {
    return false;
  }
  if (p_Path.size() == 3) {
    return ShowOwnList(p_ppNode);
  }
  // An album below the artist: the artist's node, made with the name exactly as listed.
  CArtist* const l_pShown = KeptOrMade(*l_nFound, [&]() -> std::unique_ptr<CArtist> {
    const std::optional<_bstr_t> l_bstrName = EntryName(static_cast<std::int32_t>(*l_nFound));
    return l_bstrName ? std::make_unique<CArtist>(m_pPlayer, this, *l_bstrName) : nullptr;
  });
  if (l_pShown != nullptr && p_ppNode != nullptr) {
    *p_ppNode = l_pShown;
  }
  return l_pShown != nullptr;
}

bool CArtistList::OnArtistAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                                CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CArtistList::OnArtistAdded %s Enter", p_bstrValue);
  return Reload(p_pShown, p_ppNode, true, [](ScrollWindow&) {});
}

bool CArtistList::OnArtistRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                                  CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CArtistList::OnArtistRemoved for %s", p_bstrValue);
  const bool l_bShown = p_pShown == this;
  const bool l_bResult = Reload(p_pShown, p_ppNode, true, [](ScrollWindow& p_Window) {
    p_Window.m_nTopLine -= p_Window.m_nTopLine > 0 ? 1 : 0;
    p_Window.m_nCurrentLine -= p_Window.m_nCurrentLine > 0 ? 1 : 0;
  });
  if (l_bShown) {
    m_bEnteredAfterRemoval = true;
  }
  m_pChild = nullptr;
  return l_bResult;
}

bool CArtistList::OnAlbumAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                               CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CArtistList::OnAlbumAdded %s", p_bstrValue);
  return Reload(p_pShown, p_ppNode, false, [](ScrollWindow&) {});
}

bool CArtistList::OnAlbumRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                                 CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CArtistList::OnAlbumRemoved %s", p_bstrValue);
  return Reload(p_pShown, p_ppNode, false, [](ScrollWindow&) {});
}
