#include "service/menu/Playlists.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "common/Edition.h"
#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "common/WMPException.h"
#include "platform/base/Format.h"
#include "platform/base/Time.h"
#include "platform/player/PlayerInterfaces.h"

namespace {

const CTrackList::Kind kPlaylistEntryKind{
    kNodeTypePlaylists,
    u"CPlaylistEntry OnGetDisplayLines get_item fails with hr %x",
    u"CPlaylistEntry OnGetDisplayLines get_name fails with hr %x",
    u"CPlaylistEntry get_count fails with hr %x",
    {u"CPlaylistEntry OnButtonPlay get_count for %s fails with error %x",
     u"CPlaylistEntry OnButtonPlay get_item for %s fails with error %x",
     u"CPlaylistEntry OnButtonPlay put_currentMedia for %s fails with error %x"},
    {u"CPlaylistEntry OnButtonOk get_count for %s fails with error %x",
     u"CPlaylistEntry OnButtonOk get_item for %s fails with error %x",
     u"CPlaylistEntry OnButtonOk put_currentMedia for %s fails with error %x"},
    true};

// The player's automatic playlists, which the category leaves out.
constexpr std::array<std::u16string_view, 5> kAutomaticPlaylists{
    u"Music auto rated at 5 stars", u"Music added in the last month",
    u"Music rated at 4 or 5 stars", u"Music played in the last month", u"Music played the most"};

// Logs the failure text filled with the HRESULT and throws it.
[[noreturn]] void Throw(const char16_t* p_szText, HRESULT p_hr) {
  const std::u16string l_Text = platform::Format(p_szText, p_hr);
  g_Logger->Log(LOG_TO_FILE, u"%s", l_Text);
  throw CWMPException(l_Text.c_str());
}

_bstr_t ItemInfo(IWMPMedia* p_pItem, const char16_t* p_szAttribute, HRESULT& p_hr) {
  _bstr_t l_bstrValue;
  p_hr = p_pItem->getItemInfo(_bstr_t(p_szAttribute).GetBSTR(), l_bstrValue.GetAddress());
  return l_bstrValue;
}

}  // namespace

CPlaylistEntry::CPlaylistEntry(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                               _bstr_t p_bstrName, std::int32_t p_nSameNameIndex,
                               _bstr_t p_bstrTrackingId)
    : CTrackList(p_pPlayer, p_pParent, kPlaylistEntryKind),
      m_bstrName(std::move(p_bstrName)),
      m_nSameNameIndex(p_nSameNameIndex),
      m_bstrTrackingId(std::move(p_bstrTrackingId)) {
  InitializePlaylistEntry();
}

void CPlaylistEntry::InitializePlaylistEntry() {
  const std::uint32_t l_nStart = platform::TickCount();
  LoadTracks();
  if (m_spTracks) {
    _bstr_t l_bstrType;
    const HRESULT l_hr =
        m_spTracks->getItemInfo(_bstr_t(u"PlaylistType").GetBSTR(), l_bstrType.GetAddress());
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, u"CPlaylistEntry getItemInfo fails with hr %x", l_hr);
    } else {
      m_bstrPlaylistType = l_bstrType;
    }
  }
  g_Logger->Log(LOG_TO_FILE,
                u"CPlaylistEntry InitializePlaylistEntry for %s loads %d entries in %d ms",
                m_bstrName, m_nTrackCount, platform::TickCount() - l_nStart);
}

platform::ComPtr<IWMPPlaylist> CPlaylistEntry::MakeTracks(Failures p_Failures) {
  const auto l_Report = [&](const char16_t* p_szText, HRESULT p_hr) {
    if (p_Failures == Failures::Report) {
      g_Logger->Log(LOG_TO_FILE, p_szText, p_hr);
    }
  };
  platform::ComPtr<IWMPPlaylist> l_spPlaylist;
  platform::ComPtr<IWMPPlaylistCollection> l_spCollection;
  HRESULT l_hr = m_pPlayer->get_playlistCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    l_Report(u"CPlaylistEntry get_playlistCollection fails with hr %x", l_hr);
    return l_spPlaylist;
  }
  platform::ComPtr<IWMPPlaylistArray> l_spNamed;
  l_hr = l_spCollection->getByName(m_bstrName.GetBSTR(), l_spNamed.put());
  if (FAILED(l_hr) || !l_spNamed) {
    l_Report(u"CPlaylistEntry getByName fails with hr %x", l_hr);
    return l_spPlaylist;
  }
  std::int32_t l_nCount = 0;
  l_hr = l_spNamed->get_count(&l_nCount);
  if (FAILED(l_hr)) {
    l_Report(u"CPlaylistEntry get_count fails with hr %x", l_hr);
    return l_spPlaylist;
  }
  if (m_nSameNameIndex < 0 || m_nSameNameIndex >= l_nCount) {
    return l_spPlaylist;
  }
  l_hr = l_spNamed->item(m_nSameNameIndex, l_spPlaylist.put());
  if (FAILED(l_hr)) {
    l_Report(u"CPlaylistEntry item fails with hr %x", l_hr);
    l_spPlaylist.Release();
  }
  return l_spPlaylist;
}

void CPlaylistEntry::OnStartFailure(const char16_t* p_szText, HRESULT p_hr) {
  throw CWMPException(platform::Format(p_szText, m_bstrName, p_hr).c_str());
}

_bstr_t CPlaylistEntry::GetDerivedDescription() {
  _bstr_t l_bstrName;
  if (!m_spTracks) {
    return l_bstrName;
  }
  const HRESULT l_hr = m_spTracks->get_name(l_bstrName.GetAddress());
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"CPlaylistEntry GetDerivedDescription get_name fails with hr %x",
                  l_hr);
    return _bstr_t();
  }
  return l_bstrName;
}

std::int32_t CPlaylistEntry::GetItemCount() { return std::max(m_nTrackCount, 1); }

bool CPlaylistEntry::OnPlaylistChanged(_bstr_t p_bstrName, std::int32_t,
                                       CMediaLibraryNode* p_pShown, CMediaLibraryNode**) {
  if (p_bstrName != m_bstrName) {
    return false;
  }
  InitializePlaylistEntry();
  return p_pShown == this;
}

bool PlaylistEntryLess::operator()(const std::unique_ptr<CPlaylistEntry>& p_pLeft,
                                   const std::unique_ptr<CPlaylistEntry>& p_pRight) const {
  static const _bstr_t kAllMusic(u"All Music");
  static const _bstr_t kAuto(u"Auto");
  const bool l_bLeftAll = p_pLeft->GetName() == kAllMusic;
  const bool l_bRightAll = p_pRight->GetName() == kAllMusic;
  if (l_bLeftAll || l_bRightAll) {
    return l_bLeftAll && !l_bRightAll;
  }
  const bool l_bLeftAuto = p_pLeft->GetPlaylistType() == kAuto;
  const bool l_bRightAuto = p_pRight->GetPlaylistType() == kAuto;
  if (l_bLeftAuto != l_bRightAuto) {
    return l_bRightAuto;
  }
  return p_pLeft->GetName() < p_pRight->GetName();
}

CPlaylist::CPlaylist(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent)
    : CNamedList(p_pPlayer, p_pParent, {.enterFirst = true, .emptyOpens = false}) {
  InitializePlaylists();
  SetItemCount(GetItemCount());
}

CPlaylist::~CPlaylist() {
  g_Logger->Log(LOG_TO_FILE, u"CPlaylist::~CPlaylist Start");
  m_pChild = nullptr;
  m_Entries.clear();
  m_pAsideEntry.reset();
  g_Logger->Log(LOG_TO_FILE, u"CPlaylist::~CPlaylist End");
}

void CPlaylist::InitializePlaylists() {
  g_Logger->Log(LOG_TO_FILE, u"CPlaylist::InitializePlaylists Start");
  const std::uint32_t l_nStart = platform::TickCount();
  platform::ComPtr<IWMPMediaCollection> l_spCollection;
  HRESULT l_hr = m_pPlayer->get_mediaCollection(l_spCollection.put());
  if (FAILED(l_hr) || !l_spCollection) {
    Throw(u"PlayList Media String Collection fails with error %x", FAILED(l_hr) ? l_hr : E_POINTER);
  }
  platform::ComPtr<IWMPPlaylist> l_spItems;
  l_hr = l_spCollection->getByAttribute(_bstr_t(u"MediaType").GetBSTR(),
                                        _bstr_t(u"playlist").GetBSTR(), l_spItems.put());
  if (FAILED(l_hr) || !l_spItems) {
    Throw(u"CPlaylist::InitializePlaylists l_spMediaCollection->getByAttribute Fails with error %x",
          FAILED(l_hr) ? l_hr : E_POINTER);
  }
  platform::ComPtr<IWMPPlaylistCollection> l_spPlaylists;
  l_hr = m_pPlayer->get_playlistCollection(l_spPlaylists.put());
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE,
                  u"CPlaylist::InitializePlaylists get_playlistCollection Fails with error %x",
                  l_hr);
  } else {
    std::int32_t l_nCount = 0;
    l_spItems->get_count(&l_nCount);
    for (std::int32_t l_nIndex = 0; l_nIndex < l_nCount; ++l_nIndex) {
      platform::ComPtr<IWMPMedia> l_spItem;
      if (FAILED(l_spItems->get_item(l_nIndex, l_spItem.put())) || !l_spItem) {
        g_Logger->Log(LOG_TO_FILE,
                      u"CPlaylist::InitializePlaylists get_item Missing PlaylistItem at index %d",
                      l_nIndex);
        continue;
      }
      AddPlaylistItem(l_spItem.get());
    }
  }
  m_Window.m_nLastIndex = GetItemCount() - 1;
  g_Logger->Log(LOG_TO_FILE,
                u"CPlaylist::InitializePlaylists Build Playlists End Time = %d ms for %d Playlists",
                platform::TickCount() - l_nStart, GetItemCount());
  g_Logger->Log(LOG_TO_FILE, u"CPlaylist::InitializePlaylists Sort Playlists");
  std::sort(m_Entries.begin(), m_Entries.end(), PlaylistEntryLess{});
  g_Logger->Log(LOG_TO_FILE, u"CPlaylist::InitializePlaylists End");
}

void CPlaylist::AddPlaylistItem(IWMPMedia* p_pItem) {
  HRESULT l_hr = S_OK;
  const _bstr_t l_bstrTypes = ItemInfo(p_pItem, u"MediaContentTypes", l_hr);
  if (FAILED(l_hr)) {
    g_Logger->Log(
        LOG_TO_FILE,
        u"CPlaylist::InitializePlaylists l_spPlaylistItem->getItemInfo Fails with error %x", l_hr);
    return;
  }
  const std::u16string_view l_Types = l_bstrTypes.view();
  if (!(l_Types.empty() || l_Types == u"1" || l_Types == u"2" || l_Types == u"3")) {
    return;
  }
  _bstr_t l_bstrName;
  l_hr = p_pItem->get_name(l_bstrName.GetAddress());
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE,
                  u"CPlaylist::InitializePlaylists l_spPlaylistItem->get_name Fails with error %x",
                  l_hr);
    return;
  }
  // Playlists of one name are told apart by their place among the ones loaded just before.
  const auto l_SameName =
      std::find_if_not(m_Entries.rbegin(), m_Entries.rend(), PlaylistNameEquals{l_bstrName});
  const auto l_nSameNameIndex = static_cast<std::int32_t>(l_SameName - m_Entries.rbegin());
  if (l_bstrName.length() == 0 || std::find(kAutomaticPlaylists.begin(), kAutomaticPlaylists.end(),
                                            l_bstrName.view()) != kAutomaticPlaylists.end()) {
    return;
  }
  // Only the second build plays a playlist through its tracking identifier.
  _bstr_t l_bstrTrackingId;
  if constexpr (kEdition == Edition::Second) {
    l_bstrTrackingId = ItemInfo(p_pItem, u"TrackingID", l_hr);
  }
  m_Entries.push_back(std::make_unique<CPlaylistEntry>(
      m_pPlayer, this, l_bstrName, l_nSameNameIndex, std::move(l_bstrTrackingId)));
  g_Logger->Log(LOG_TO_FILE, u"Playlist %s Added", l_bstrName);
}

void CPlaylist::Reload() {
  std::unique_ptr<CPlaylistEntry> l_pShown;
  if (m_pAsideEntry && m_pChild == m_pAsideEntry.get()) {
    l_pShown = std::move(m_pAsideEntry);
  } else if (const auto l_Child =
                 std::find_if(m_Entries.begin(), m_Entries.end(),
                              [&](const std::unique_ptr<CPlaylistEntry>& p_pEntry) {
                                return p_pEntry.get() == m_pChild;
                              });
             l_Child != m_Entries.end()) {
    l_pShown = std::move(*l_Child);
  }
  m_pAsideEntry.reset();
  m_Entries.clear();
  try {
    InitializePlaylists();
  } catch (...) {
    m_pAsideEntry = std::move(l_pShown);
    SetItemCount(0);
    throw;
  }
  if (!l_pShown) {
    return;
  }
  const auto l_Same = std::find_if(
      m_Entries.begin(), m_Entries.end(), [&](const std::unique_ptr<CPlaylistEntry>& p_pEntry) {
        return p_pEntry->GetName() == l_pShown->GetName() &&
               p_pEntry->GetSameNameIndex() == l_pShown->GetSameNameIndex();
      });
  if (l_Same == m_Entries.end()) {
    m_pAsideEntry = std::move(l_pShown);
    return;
  }
  l_pShown->InitializePlaylistEntry();
  *l_Same = std::move(l_pShown);
}

_bstr_t CPlaylist::GetDerivedDescription() {
  return Localized(g_CategoryTexts[kCategoryPlaylists]);
}

std::int32_t CPlaylist::GetNodeType() { return kNodeTypePlaylists; }

std::int32_t CPlaylist::GetItemCount() { return static_cast<std::int32_t>(m_Entries.size()); }

std::optional<_bstr_t> CPlaylist::EntryName(std::int32_t p_nIndex) {
  if (p_nIndex < 0 || p_nIndex >= GetItemCount()) {
    return std::nullopt;
  }
  return m_Entries[static_cast<std::size_t>(p_nIndex)]->GetName();
}

const _bstr_t& CPlaylist::UnknownWord() { return Localized(g_UnknownEntryText); }

CMediaLibraryNode* CPlaylist::OpenEntryAt(std::uint32_t p_nLine) {
  return p_nLine < m_Entries.size() ? m_Entries[p_nLine].get() : nullptr;
}

CPlaylistEntry* CPlaylist::EntryUnderCursor() const {
  return m_Window.m_nCurrentLine < m_Entries.size() ? m_Entries[m_Window.m_nCurrentLine].get()
                                                    : nullptr;
}

bool CPlaylist::OnButtonPlay() {
  CPlaylistEntry* const l_pEntry = EntryUnderCursor();
  if (l_pEntry == nullptr) {
    return false;
  }
  if constexpr (kEdition == Edition::Second) {
    platform::ComPtr<IWMPMediaCollection> l_spCollection;
    HRESULT l_hr = m_pPlayer->get_mediaCollection(l_spCollection.put());
    if (FAILED(l_hr) || !l_spCollection) {
      Throw(u"CPlaylist::OnButtonOk get_mediaCollection fails with error %x",
            FAILED(l_hr) ? l_hr : E_POINTER);
    }
    platform::ComPtr<IWMPPlaylist> l_spTracks;
    l_hr = l_spCollection->getByAttribute(_bstr_t(u"TrackingID").GetBSTR(),
                                          l_pEntry->GetTrackingId().GetBSTR(), l_spTracks.put());
    if (FAILED(l_hr)) {
      Throw(u"CPlaylist::OnButtonOk getByAttribute fails with error %x", l_hr);
    }
    l_hr = m_pPlayer->put_currentPlaylist(l_spTracks.get());
    if (FAILED(l_hr)) {
      Throw(u"CPlaylist::OnButtonOk put_currentPlaylist fails with error %x", l_hr);
    }
    return true;
  } else {
    IWMPPlaylist* const l_pPlaylist = l_pEntry->GetPlaylist();
    if (l_pPlaylist == nullptr) {
      return false;
    }
    std::int32_t l_nCount = 0;
    HRESULT l_hr = l_pPlaylist->get_count(&l_nCount);
    if (FAILED(l_hr)) {
      Throw(u"CPlaylist::OnButtonPlay get_count fails with error %x", l_hr);
    }
    if (l_nCount <= 0) {
      return false;
    }
    l_hr = m_pPlayer->put_currentPlaylist(l_pPlaylist);
    if (FAILED(l_hr)) {
      Throw(u"CPlaylist::OnButtonPlay put_currentPlaylist fails with error %x", l_hr);
    }
    return true;
  }
}

bool CPlaylist::SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) {
  if (p_Path.size() < 2) {
    return false;
  }
  const std::optional<std::uint32_t> l_nFound = NavigateTo(p_Path[1], nullptr, nullptr);
  if (!l_nFound) {
    return false;
  }
  m_pChild = m_Entries[*l_nFound].get();
  if (p_ppNode != nullptr) {
    *p_ppNode = this;
  }
  return true;
}

void CPlaylist::ClearCurrentChild() { m_pChild = nullptr; }

bool CPlaylist::OnPlaylistAdded(_bstr_t p_bstrName) {
  const std::int32_t l_nBefore = m_Window.m_nLastIndex;
  Reload();
  SetItemCount(GetItemCount());
  if (m_Window.m_nLastIndex == l_nBefore || m_pChild != this) {
    return false;
  }
  const auto l_nPosition = static_cast<std::uint32_t>(
      std::find_if(m_Entries.begin(), m_Entries.end(), PlaylistNameEquals{p_bstrName}) -
      m_Entries.begin());
  const std::uint32_t l_nTop = m_Window.m_nTopLine;
  return l_nPosition >= l_nTop &&
         l_nPosition <= l_nTop + static_cast<std::uint32_t>(g_nLinesPerPage);
}

bool CPlaylist::OnPlaylistRemoved(_bstr_t, CMediaLibraryNode** p_ppNode) {
  const std::int32_t l_nBefore = m_Window.m_nLastIndex;
  std::vector<_bstr_t> l_Remembered;
  if (m_pChild != nullptr) {
    for (const std::unique_ptr<CPlaylistEntry>& l_pEntry : m_Entries) {
      l_Remembered.push_back(l_pEntry->GetName());
    }
  }
  Reload();
  const std::int32_t l_nLast = m_Window.m_nLastIndex;
  if (l_nLast == l_nBefore || m_pChild == nullptr) {
    SetItemCount(GetItemCount());
    return l_nLast != l_nBefore;
  }
  const auto l_Gone =
      std::find_if(l_Remembered.begin(), l_Remembered.end(), [&](const _bstr_t& p_bstrName) {
        return std::none_of(m_Entries.begin(), m_Entries.end(), PlaylistNameEquals{p_bstrName});
      });
  if (l_Gone - l_Remembered.begin() > l_nLast) {
    ScrollWindow& l_Window = m_Window;
    l_Window.m_nTopLine -= l_Window.m_nTopLine > 0 ? 1 : 0;
    l_Window.m_nCurrentLine -= l_Window.m_nCurrentLine > 0 ? 1 : 0;
  }
  SetItemCount(GetItemCount());
  if (m_pChild != this) {
    m_pChild = this;
    if (p_ppNode != nullptr) {
      *p_ppNode = this;
    }
  }
  return true;
}

template <class Call>
bool CPlaylist::TellEveryEntry(Call&& p_Call) {
  const bool l_bListed = TellAll(
      m_Entries, [&](std::unique_ptr<CPlaylistEntry>& p_pEntry) { return p_Call(*p_pEntry); });
  return (m_pAsideEntry && p_Call(*m_pAsideEntry)) || l_bListed;
}

bool CPlaylist::OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) {
  return TellEveryEntry(
      [&](CPlaylistEntry& p_Entry) { return p_Entry.OnMediaCollectionChanged(p_pShown); });
}

bool CPlaylist::OnPlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nChangeType,
                                  CMediaLibraryNode* p_pShown, CMediaLibraryNode** p_ppNode) {
  return TellEveryEntry([&](CPlaylistEntry& p_Entry) {
    return p_Entry.OnPlaylistChanged(p_bstrName, p_nChangeType, p_pShown, p_ppNode);
  });
}
