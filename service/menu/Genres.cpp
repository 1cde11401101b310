#include "service/menu/Genres.h"

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "common/WMPException.h"
#include "platform/base/Format.h"
#include "platform/base/Time.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/PlaylistBuilder.h"

namespace {

const CTrackList::Kind kGenreArtistAlbumTracksKind{
    kNodeTypeGenres,
    u"CGenreArtistAlbumTracks OnGetDisplayLines get_item fails with hr %x",
    u"CGenreArtistAlbumTracks OnGetDisplayLines get_name fails with hr %x",
    u"CGenreArtistAlbumTracks fails with hr %x",
    {nullptr, u"CGenreArtistAlbumTracks OnButtonPlay get_item fails with hr %x",
     u"CGenreArtistAlbumTracks OnButtonPlay put_currentMedia fails with hr %x"},
    {nullptr, u"CGenreArtistAlbumTracks OnButtonOk get_item fails with hr %x",
     u"CGenreArtistAlbumTracks OnButtonOk put_currentMedia fails with hr %x"},
    false};

const StringLoadTexts kGenreLoadTexts{
    u"CGenreList::InitializeGenreList get_mediaCollection fails with hr %x",
    u"CGenreList::InitializeGenreList getAttributeStringCollection fails with hr %x",
    u"CGenreList::InitializeGenreList get_count fails with hr %x",
    u"CGenreList::InitializeGenreList item fails with hr %x"};

// The name a word of the menu stands for: empty for `p_Word`, else the name itself.
_bstr_t Unworded(const _bstr_t& p_bstrName, const LocalizedText& p_Word) {
  return p_bstrName == Localized(p_Word) ? _bstr_t(u"") : p_bstrName;
}

}  // namespace

CGenreArtistAlbumTracks::CGenreArtistAlbumTracks(IWMPPlayer4* p_pPlayer,
                                                 CMediaLibraryNode* p_pParent, _bstr_t p_bstrGenre,
                                                 _bstr_t p_bstrArtist, _bstr_t p_bstrAlbum)
    : CTrackList(p_pPlayer, p_pParent, kGenreArtistAlbumTracksKind),
      m_bstrGenre(std::move(p_bstrGenre)),
      m_bstrArtist(std::move(p_bstrArtist)),
      m_bstrAlbum(std::move(p_bstrAlbum)) {
  InitializeArtistAlbumTracks();
}

void CGenreArtistAlbumTracks::InitializeArtistAlbumTracks() {
  const std::uint32_t l_nStart = platform::TickCount();
  LoadTracks();
  g_Logger->Log(LOG_TO_FILE, u"CGenreArtistAlbumTracks for %s loads in %d ms", m_bstrAlbum,
                platform::TickCount() - l_nStart);
}

HRESULT CGenreArtistAlbumTracks::BuildPlaylist(_bstr_t p_bstrGenre, _bstr_t p_bstrAlbum,
                                               _bstr_t p_bstrArtist, IWMPPlayer4* p_pPlayer,
                                               IWMPPlaylist* p_pPlaylist, _bstr_t p_bstrCaller) {
  const _bstr_t l_bstrGenre = Unworded(p_bstrGenre, g_NoGenreText);
  const TrackTest l_Tests[] = {
      {u"Genre", [&](const _bstr_t& p_bstrValue) { return p_bstrValue == l_bstrGenre; }, true},
      ArtistIs(p_bstrArtist)};
  return BuildAlbumPlaylistWhere(p_bstrAlbum, l_Tests, p_pPlayer, p_pPlaylist, p_bstrCaller, true);
}

platform::ComPtr<IWMPPlaylist> CGenreArtistAlbumTracks::MakeTracks(Failures p_Failures) {
  return NewTracks(
      m_bstrAlbum, u"CGenreArtistAlbumTracks",
      [&](IWMPPlaylist* p_pTarget) {
        return BuildPlaylist(Unworded(m_bstrGenre, g_NoGenreText), m_bstrAlbum, m_bstrArtist,
                             m_pPlayer, p_pTarget,
                             u"CGenreArtistAlbumTracks::InitializeArtistAlbumTracks");
      },
      p_Failures);
}

void CGenreArtistAlbumTracks::OnRecountFailure(HRESULT p_hr) {
  const std::u16string l_Text = platform::Format(
      u"CGenreArtistAlbumTracks::OnMediaCollectionChanged m_spAlbumTracksPlaylist->get_count "
      u"fails with hr %x",
      p_hr);
  g_Logger->Log(LOG_TO_FILE, u"%s", l_Text);
  throw CWMPException(l_Text.c_str());
}

_bstr_t CGenreArtistAlbumTracks::GetDerivedDescription() { return m_bstrAlbum; }

CGenreArtistAlbums::CGenreArtistAlbums(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                                       _bstr_t p_bstrArtist, _bstr_t p_bstrGenre)
    : CNameSetList(p_pPlayer, p_pParent, {.enterFirst = false, .emptyOpens = false}),
      m_bstrArtist(std::move(p_bstrArtist)),
      m_bstrGenre(std::move(p_bstrGenre)) {
  const std::uint32_t l_nStart = platform::TickCount();
  const _bstr_t l_bstrArtist = Unworded(m_bstrArtist, g_UnknownArtistText);
  const platform::ComPtr<IWMPPlaylist> l_spTracks =
      AskCollection(m_pPlayer, u"CGenreArtistAlbums", u"getByAuthor",
                    TracksQuery(false, u"Artist", &IWMPMediaCollection::getByAuthor, l_bstrArtist));
  const TrackTest l_Tests[] = {GenreIs(m_bstrGenre), {u"Album"}};
  CollectNames(l_spTracks.get(), l_Tests, 1, Localized(g_UntitledAlbumText), u"CGenreArtistAlbums");
  g_Logger->Log(LOG_TO_FILE, u"%d Albums for %s Loaded in %d ms", GetItemCount(), m_bstrArtist,
                platform::TickCount() - l_nStart);
}

_bstr_t CGenreArtistAlbums::GetDerivedDescription() { return m_bstrArtist; }

std::int32_t CGenreArtistAlbums::GetNodeType() { return kNodeTypeGenres; }

const _bstr_t& CGenreArtistAlbums::UnknownWord() { return Localized(g_UntitledAlbumText); }

std::unique_ptr<CGenreArtistAlbumTracks> CGenreArtistAlbums::MakeSubNode(std::uint32_t p_nLine) {
  return std::make_unique<CGenreArtistAlbumTracks>(m_pPlayer, this, m_bstrGenre, m_bstrArtist,
                                                   NameAt(p_nLine));
}

bool CGenreArtistAlbums::OnButtonPlay() {
  const _bstr_t l_bstrEntry = NameUnderCursor();
  if (l_bstrEntry.length() == 0) {
    return true;
  }
  m_spPlayPlaylist.Release();
  const _bstr_t l_bstrAlbum = Unworded(l_bstrEntry, g_UntitledAlbumText);
  m_spPlayPlaylist =
      PlayNewPlaylist(m_pPlayer, l_bstrAlbum, u"CGenreArtistAlbums", [&](IWMPPlaylist* p_pTarget) {
        return BuildAlbumPlaylist(l_bstrAlbum, m_bstrArtist, m_pPlayer, p_pTarget,
                                  u"CGenreArtistAlbums::OnButtonPlay");
      });
  return true;
}

CGenreArtistList::CGenreArtistList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                                   _bstr_t p_bstrGenre)
    : CNameSetList(p_pPlayer, p_pParent, {.enterFirst = false, .emptyOpens = true}),
      m_bstrGenre(std::move(p_bstrGenre)) {
  const std::uint32_t l_nStart = platform::TickCount();
  const _bstr_t l_bstrGenre = Unworded(m_bstrGenre, g_NoGenreText);
  const platform::ComPtr<IWMPPlaylist> l_spTracks = AskCollection(
      m_pPlayer, u"CGenreArtistList", u"getByAttribute",
      [&](IWMPMediaCollection* p_pCollection, platform::ComPtr<IWMPPlaylist>& p_spTracks) {
        return p_pCollection->getByAttribute(_bstr_t(u"Genre").GetBSTR(), l_bstrGenre.GetBSTR(),
                                             p_spTracks.put());
      });
  const TrackTest l_Tests[] = {
      {u"FileType", [](const _bstr_t& p_bstrValue) { return p_bstrValue.view() != u"wpl"; }, true},
      {u"Artist"}};
  const std::int32_t l_nTracks = CollectNames(l_spTracks.get(), l_Tests, 1,
                                              Localized(g_UnknownArtistText), u"CGenreArtistList");
  g_Logger->Log(LOG_TO_FILE, u"CGenreArtistList for %d tracks complete in %d ms", l_nTracks,
                platform::TickCount() - l_nStart);
  g_Logger->Log(LOG_TO_FILE, u"CGenreArtistList for %s loads in %d ms with %d entries", m_bstrGenre,
                platform::TickCount() - l_nStart, GetItemCount());
}

_bstr_t CGenreArtistList::GetDerivedDescription() { return m_bstrGenre; }

std::int32_t CGenreArtistList::GetNodeType() { return kNodeTypeGenres; }

const _bstr_t& CGenreArtistList::UnknownWord() { return Localized(g_UnknownArtistText); }

std::unique_ptr<CGenreArtistAlbums> CGenreArtistList::MakeSubNode(std::uint32_t p_nLine) {
  return std::make_unique<CGenreArtistAlbums>(m_pPlayer, this, NameAt(p_nLine), m_bstrGenre);
}

bool CGenreArtistList::OnButtonPlay() {
  const _bstr_t l_bstrArtist = NameUnderCursor();
  PlayNewPlaylist(m_pPlayer, l_bstrArtist, u"CGenreArtistList", [&](IWMPPlaylist* p_pTarget) {
    return BuildGenreArtistPlayList(m_bstrGenre, l_bstrArtist, m_pPlayer, p_pTarget,
                                    u"CGenreArtistList::OnButtonPlay");
  });
  return true;
}

CGenreList::CGenreList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : CStringCategory(p_pPlayer, p_pParent, u"Genre", kGenreLoadTexts) {
  InitializeGenreList();
}

void CGenreList::InitializeGenreList() {
  const std::uint32_t l_nStart = platform::TickCount();
  LoadNames(FirstNameCheck::Read);
  g_Logger->Log(LOG_TO_FILE, u"%d Genre Names Loaded in %d ms", GetItemCount(),
                platform::TickCount() - l_nStart);
}

void CGenreList::InitializeNames() { InitializeGenreList(); }

_bstr_t CGenreList::GetDerivedDescription() { return Localized(g_CategoryTexts[kCategoryGenre]); }

std::int32_t CGenreList::GetNodeType() { return kNodeTypeGenres; }

const _bstr_t& CGenreList::UnknownWord() { return Localized(g_NoGenreText); }

std::unique_ptr<CGenreArtistList> CGenreList::MakeSubNode(std::uint32_t p_nLine) {
  const std::optional<_bstr_t> l_bstrName = EntryName(static_cast<std::int32_t>(p_nLine));
  if (!l_bstrName) {
    return nullptr;
  }
  return std::make_unique<CGenreArtistList>(
      m_pPlayer, this, l_bstrName->length() == 0 ? UnknownWord() : *l_bstrName);
}

bool CGenreList::OnButtonPlay() {
  const TrackTest l_Tests[] = {{u"Genre"}, {u"FileType"}, {u"MediaType"}};
  return PlayUnderCursor(
      u"CGenreList::OnButtonPlay", &IWMPMediaCollection::getByGenre, u"getByGenre",
      [](const _bstr_t& p_bstrName) { return p_bstrName.length() == 0; }, l_Tests,
      [](TrackValues p_Values) {
        g_Logger->Log(0, u"Genre = %s MediaType = %s DataType = %s", p_Values[0], p_Values[2],
                      p_Values[1]);
        return p_Values[2].view() == u"audio" && p_Values[1].view() != u"wpl";
      });
}

bool CGenreList::SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) {
  if (p_Path.size() != 3 ||
      !Navigate(p_Path, UnknownWord(), u"CGenreList::SetCurrentNavigation to %s")) {
    return false;
  }
  return ShowOwnList(p_ppNode);
}

bool CGenreList::OnGenreAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                              CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CGenreList::OnGenreAdded %s Enter", p_bstrValue);
  const bool l_bResult = Reload(p_pShown, p_ppNode, true, [](ScrollWindow&) {});
  g_Logger->Log(LOG_TO_FILE, u"CGenreList::OnGenreAdded %s Exits", p_bstrValue);
  return l_bResult;
}

bool CGenreList::OnGenreRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                                CMediaLibraryNode** p_ppNode) {
  g_Logger->Log(LOG_TO_FILE, u"CGenreList::OnGenreRemoved %s Enter", p_bstrValue);
  const bool l_bResult = Reload(p_pShown, p_ppNode, true, [this](ScrollWindow& p_Window) {
    // The cursor on one of the last two lines moves up with the list.
    if (std::int64_t{p_Window.m_nCurrentLine} > std::int64_t{GetItemCount()} - 2 &&
        p_Window.m_nCurrentLine > 0) {
      --p_Window.m_nCurrentLine;
    }
  });
  g_Logger->Log(LOG_TO_FILE, u"CGenreList::OnGenreRemoved %s Exit with result = %d", p_bstrValue,
                l_bResult);
  return l_bResult;
}
