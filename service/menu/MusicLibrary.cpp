#include "service/menu/MusicLibrary.h"

#include <exception>
#include <string_view>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "common/WMPException.h"
#include "platform/base/Text.h"
#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/Albums.h"
#include "service/menu/Artists.h"
#include "service/menu/Genres.h"
#include "service/menu/NowPlayingList.h"
#include "service/menu/OptionsList.h"
#include "service/menu/Playlists.h"

namespace {

// Runs one entry point of the root: a CWMPException, or any other exception, is logged with the
// entry point's own text and gives the neutral result.
template <class Result, class Action>
Result Guarded(const char16_t* p_szCatchText, Result p_Neutral, Action&& p_Action) {
  try {
    return p_Action();
  } catch (const CWMPException& l_Exception) {
    g_Logger->Log(LOG_TO_FILE, p_szCatchText, l_Exception.GetText());
  } catch (const std::exception& l_Exception) {
    g_Logger->Log(LOG_TO_FILE, p_szCatchText, l_Exception.what());
  }
  return p_Neutral;
}

}  // namespace

CMusicLibrary::Children CMusicLibrary::CreateCategories(IWMPPlayer4* p_pPlayer,
                                                        CMediaLibraryNode* p_pRoot) {
  Children l_Children;
  l_Children.push_back(std::make_unique<CPlaylist>(p_pPlayer, p_pRoot));
  l_Children.push_back(std::make_unique<CAlbums>(p_pPlayer, p_pRoot));
  l_Children.push_back(std::make_unique<CArtistList>(p_pPlayer, p_pRoot));
  l_Children.push_back(std::make_unique<CGenreList>(p_pPlayer, p_pRoot));
  l_Children.push_back(std::make_unique<CNowPlayingList>(p_pPlayer, p_pRoot));
  l_Children.push_back(std::make_unique<COptionsList>(p_pPlayer, p_pRoot));
  return l_Children;
}

CMusicLibrary::CMusicLibrary(IWMPPlayer4* p_pPlayer, ChildFactory p_CreateChildren)
    : CMediaLibraryNode(p_pPlayer, nullptr), m_CreateChildren(std::move(p_CreateChildren)) {}

CMusicLibrary::~CMusicLibrary() {
  m_pChild = nullptr;
  m_Children.clear();
  g_Logger->Log(LOG_TO_FILE, u"CMusicLibrary::~CMusicLibrary Complete");
}

HRESULT CMusicLibrary::SetAutoStart(const char16_t* p_szSettingsFailure,
                                    const char16_t* p_szAutoStartFailure) {
  platform::ComPtr<IWMPSettings> l_spSettings;
  HRESULT l_hr = m_pPlayer->get_settings(l_spSettings.put());
  if (FAILED(l_hr) || !l_spSettings) {
    l_hr = FAILED(l_hr) ? l_hr : E_POINTER;
    g_Logger->Log(LOG_TO_FILE, p_szSettingsFailure, l_hr);
    return l_hr;
  }
  l_hr = l_spSettings->put_autoStart(VARIANT_TRUE);
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, p_szAutoStartFailure, l_hr);
  }
  return l_hr;
}

bool CMusicLibrary::InitializeLibrary() {
  return Guarded(u"CMusicLibrary::InitializeLibrary sees CWMPException %s", false, [&] {
    if (m_Children.empty()) {
      m_Children = m_CreateChildren(m_pPlayer, this);
    }
    m_bInitialized = m_Children.size() == kLibraryChildCount;
    if (!m_bInitialized) {
      g_Logger->Log(LOG_TO_FILE, u"CMusicLibrary::InitializeLibrary fails!");
      return false;
    }
    if (SUCCEEDED(
            SetAutoStart(u"CMusicLibrary::InitializeLibrary m_spPlayer->get_settings fails with %x",
                         u"CMusicLibrary::InitializeLibrary put_autoStart fails with %x"))) {
      g_Logger->Log(LOG_TO_FILE, u"CMusicLibrary::InitializeLibrary put_autoStart succeeds");
    }
    _bstr_t l_bstrVersion;
    m_pPlayer->get_versionInfo(l_bstrVersion.GetAddress());
    g_Logger->Log(LOG_TO_FILE, u"CMusicLibrary::InitializeLibrary See Media Player Version = %s",
                  l_bstrVersion);
    return true;
  });
}

_bstr_t CMusicLibrary::GetDerivedDescription() {
  return Localized(g_CategoryTexts[kCategoryMusicLibrary]);
}

std::int32_t CMusicLibrary::GetNodeType() { return kNodeTypeRoot; }

std::int32_t CMusicLibrary::GetItemCount() { return static_cast<std::int32_t>(m_Children.size()); }

CNowPlayingList* CMusicLibrary::GetNowPlayingList() const {
  return m_Children.size() > kChildNowPlaying
             ? dynamic_cast<CNowPlayingList*>(m_Children[kChildNowPlaying].get())
             : nullptr;
}

std::int32_t CMusicLibrary::MoveOwnList(ScrollMove p_Move) {
  m_Window.m_nLastIndex = GetItemCount() - 1;
  const ScrollWindow l_Before = m_Window;
  // The root's list never wraps on PagesDown unless more than a page follows its first entry.
  if (p_Move == ScrollMove::PagesDown && l_Before.m_nLastIndex >= 0 &&
      static_cast<std::int64_t>(l_Before.m_nCurrentLine) >= l_Before.m_nLastIndex &&
      l_Before.m_nLastIndex <= g_nLinesPerPage) {
    return kMoveNothing;
  }
  const std::int32_t l_nResult = Move(p_Move);
  // Up's one-line scroll counts as a window move on the root's list.
  if (p_Move == ScrollMove::Up && l_Before.m_nCurrentLine > 0 && l_nResult == kMoveScrollOrWrap) {
    return kMoveWindow;
  }
  return l_nResult;
}

std::int32_t CMusicLibrary::MoveShownOrOwn(ScrollMove p_Move, const char16_t* p_szCatchText) {
  return Guarded(p_szCatchText, kMoveNothing, [&]() -> std::int32_t {
    if (m_pChild == nullptr) {
      return MoveOwnList(p_Move);
    }
    switch (p_Move) {
      case ScrollMove::Up:
        return m_pChild->OnButtonUp();
      case ScrollMove::Down:
        return m_pChild->OnButtonDown();
      case ScrollMove::PageUp:
        return m_pChild->OnPageUp();
      case ScrollMove::PageDown:
        return m_pChild->OnPageDown();
      case ScrollMove::PagesUp:
        return m_pChild->OnPagesUp();
      case ScrollMove::PagesDown:
        return m_pChild->OnPagesDown();
    }
    return kMoveNothing;
  });
}

std::int32_t CMusicLibrary::OnButtonUp() {
  return MoveShownOrOwn(ScrollMove::Up, u"CMusicLibrary::OnButtonUp sees CWMPException %s");
}
std::int32_t CMusicLibrary::OnButtonDown() {
  return MoveShownOrOwn(ScrollMove::Down, u"CMusicLibrary::OnButtonDown sees CWMPException %s");
}
std::int32_t CMusicLibrary::OnPageDown() {
  return MoveShownOrOwn(ScrollMove::PageDown, u"CMusicLibrary::OnPageDown sees CWMPException %s");
}
std::int32_t CMusicLibrary::OnPageUp() {
  return MoveShownOrOwn(ScrollMove::PageUp, u"CMusicLibrary::OnPageUp sees CWMPException %s");
}
std::int32_t CMusicLibrary::OnPagesDown() {
  return MoveShownOrOwn(ScrollMove::PagesDown, u"CMusicLibrary::OnPagesDown sees CWMPException %s");
}
std::int32_t CMusicLibrary::OnPagesUp() {
  return MoveShownOrOwn(ScrollMove::PagesUp, u"CMusicLibrary::OnPagesUp sees CWMPException %s");
}

bool CMusicLibrary::OnButtonRight(CMediaLibraryNode**) {
  return Guarded(u"CMusicLibrary::OnButtonRight sees CWMPException %s", false, [&] {
    CMediaLibraryNode* l_pTarget = m_pChild;
    if (l_pTarget == nullptr) {
      if (m_Window.m_nCurrentLine >= m_Children.size()) {
        return false;
      }
      l_pTarget = m_Children[m_Window.m_nCurrentLine].get();
    }
    CMediaLibraryNode* l_pOut = nullptr;
    const bool l_bOk = l_pTarget->OnButtonRight(&l_pOut);
    // The shown node changes only once the category accepted.
    if (l_bOk && l_pOut != nullptr) {
      m_pChild = l_pOut;
    }
    return l_bOk;
  });
}

bool CMusicLibrary::OnButtonLeft(CMediaLibraryNode**) {
  return Guarded(u"CMusicLibrary::OnButtonLeft sees CWMPException %s", false, [&] {
    if (m_pChild == nullptr) {
      return false;
    }
    CMediaLibraryNode* l_pOut = nullptr;
    const bool l_bOk = m_pChild->OnButtonLeft(&l_pOut);
    if (l_bOk && l_pOut != nullptr) {
      m_pChild = l_pOut == this ? nullptr : l_pOut;
      return true;
    }
    return l_bOk;
  });
}

bool CMusicLibrary::ResetToRoot() {
  const bool l_bMoved = m_pChild != nullptr;
  while (m_pChild != nullptr) {
    m_pChild->LeaveEntered();
    CMediaLibraryNode* l_pParent = m_pChild->GetParent();
    m_pChild = l_pParent == this ? nullptr : l_pParent;
  }
  // A category that a navigation or a library change left marked while another one was shown
  // must open as a list too.
  for (const std::unique_ptr<CMediaLibraryNode>& l_pCategory : m_Children) {
    l_pCategory->LeaveEntered();
  }
  return l_bMoved;
}

std::int32_t CMusicLibrary::GetCurrentLine() {
  return static_cast<std::int32_t>(m_Window.m_nCurrentLine);
}

std::int32_t CMusicLibrary::OnButtonOk() {
  if (m_pChild == nullptr) {
    return OnButtonRight(nullptr) ? 1 : 0;
  }
  return Guarded(u"OnButtonOk sees Exception %s", kOkNoNewPage, [&] {
    platform::ComPtr<IWMPSettings> l_spSettings;
    if (SUCCEEDED(m_pPlayer->get_settings(l_spSettings.put())) && l_spSettings) {
      l_spSettings->put_autoStart(VARIANT_TRUE);
    }
    const std::int32_t l_nCode = m_pChild->OnButtonOk();
    if (l_nCode == kOkOpenEntry) {
      CMediaLibraryNode* l_pOut = nullptr;
      if (m_pChild->OnButtonRight(&l_pOut) && l_pOut != nullptr) {
        m_pChild = l_pOut;
      }
    }
    return l_nCode;
  });
}

bool CMusicLibrary::OnButtonPlay() {
  if (FAILED(SetAutoStart(u"CMusicLibrary::OnButtonPlay get_settings fails with %x",
                          u"CMusicLibrary::OnButtonPlay put_autoStart fails with %x"))) {
    return false;
  }
  if (m_pChild == nullptr) {
    return false;
  }
  return Guarded(u"CMusicLibrary::OnButtonPlay sees CWMPException %s", false,
                 [&] { return m_pChild->OnButtonPlay(); });
}

std::int32_t CMusicLibrary::GetCurrentCategoryLine() {
  return Guarded(u"CMusicLibrary::GetCurrentCategoryLine sees CWMPException %s", std::int32_t{0},
                 [&] {
                   return m_pChild != nullptr ? m_pChild->GetCurrentCategoryLine()
                                              : static_cast<std::int32_t>(m_Window.m_nCurrentLine);
                 });
}

std::int32_t CMusicLibrary::GetCurrentScreenLine() {
  return Guarded(u"CMusicLibrary::GetCurrentScreenLine sees CWMPException %s", std::int32_t{0},
                 [&] {
                   return m_pChild != nullptr ? m_pChild->GetCurrentScreenLine()
                                              : CMediaLibraryNode::GetCurrentScreenLine();
                 });
}

std::int32_t CMusicLibrary::GetCategoryMaxLines() {
  return Guarded(u"CMusicLibrary::GetCategoryMaxLines sees CWMPException %s", std::int32_t{0},
                 [&] { return m_pChild != nullptr ? m_pChild->GetItemCount() : GetItemCount(); });
}

void CMusicLibrary::OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) {
  Guarded(u"CMusicLibrary::OnGetDisplayLines sees CWMPException %s", 0, [&] {
    if (m_pChild != nullptr) {
      m_pChild->GetDisplayLines(p_bstrTitle, p_Lines);
    } else {
      ListDisplayLines(
          p_bstrTitle, p_Lines, Localized(g_UnknownEntryText), [&](std::int32_t p_nIndex) {
            return m_Children[static_cast<std::size_t>(p_nIndex)]->GetDerivedDescription();
          });
    }
    return 0;
  });
}

bool CMusicLibrary::SetCurrentMediaPlayerMode(_bstr_t p_bstrMode, bool p_bValue) {
  return Guarded(u"CMusicLibrary::SetCurrentMediaPlayerMode sees CWMPException %s", false, [&] {
    return m_Children.size() > kChildOptions &&
           m_Children[kChildOptions]->OnModeChange(p_bstrMode, p_bValue, m_pChild);
  });
}

bool CMusicLibrary::MediaCollectionChanged() {
  return Guarded(u"CMusicLibrary::MediaCollectionChanged sees CWMPException %s", false, [&] {
    bool l_bResult = false;
    for (std::size_t l_nIndex = kChildPlaylists;
         l_nIndex <= kChildGenres && l_nIndex < m_Children.size(); ++l_nIndex) {
      l_bResult = m_Children[l_nIndex]->OnMediaCollectionChanged(m_pChild) || l_bResult;
    }
    return l_bResult;
  });
}

bool CMusicLibrary::Replace(std::int32_t p_nShownType, std::int32_t p_nType,
                            CMediaLibraryNode* p_pNode) {
  if (p_nShownType == p_nType && p_pNode != nullptr) {
    m_pChild = p_pNode;
    return true;
  }
  return false;
}

// The category slots that an added or a removed attribute value goes to.
struct CMusicLibrary::AttributeSlots {
  using Slot = bool (CMediaLibraryNode::*)(_bstr_t, CMediaLibraryNode*, CMediaLibraryNode**);
  Slot album;
  Slot artist;
  Slot genre;
  // A removal hides the shown album node from the artists only when the albums took the event.
  bool albumMustAccept;
  const char16_t* catchText;
};

bool CMusicLibrary::DispatchAttributeChange(const AttributeSlots& p_Slots,
                                            const _bstr_t& p_bstrName, const _bstr_t& p_bstrValue) {
  bool l_bResult = false;
  Guarded(p_Slots.catchText, 0, [&] {
    if (m_Children.size() != kLibraryChildCount) {
      return 0;
    }
    const std::int32_t l_nShownType = m_pChild != nullptr ? m_pChild->GetNodeType() : 8;
    const std::u16string_view l_Name = p_bstrName.view();
    if (l_Name == u"WM/AlbumTitle") {
      CMediaLibraryNode* l_pAlbumsOut = nullptr;
      CMediaLibraryNode* l_pArtistsOut = nullptr;
      // The albums' own answer decides nothing here: only a replacement makes a new page.
      const bool l_bAlbums =
          (m_Children[kChildAlbums].get()->*p_Slots.album)(p_bstrValue, m_pChild, &l_pAlbumsOut);
      const bool l_bHideShown = l_nShownType == kNodeTypeAlbums && l_pAlbumsOut != nullptr &&
                                (l_bAlbums || !p_Slots.albumMustAccept);
      (m_Children[kChildArtists].get()->*p_Slots.album)(
          p_bstrValue, l_bHideShown ? nullptr : m_pChild, &l_pArtistsOut);
      l_bResult = Replace(l_nShownType, kNodeTypeAlbums, l_pAlbumsOut);
      l_bResult = Replace(l_nShownType, kNodeTypeArtists, l_pArtistsOut) || l_bResult;
    } else if (l_Name == u"Author" || l_Name == u"WM/Genre") {
      const bool l_bArtist = l_Name == u"Author";
      CMediaLibraryNode* l_pOut = nullptr;
      CMediaLibraryNode* l_pCategory = m_Children[l_bArtist ? kChildArtists : kChildGenres].get();
      l_bResult = (l_pCategory->*(l_bArtist ? p_Slots.artist : p_Slots.genre))(p_bstrValue,
                                                                               m_pChild, &l_pOut);
      l_bResult = Replace(l_nShownType, l_bArtist ? kNodeTypeArtists : kNodeTypeGenres, l_pOut) ||
                  l_bResult;
    }
    return 0;
  });
  return l_bResult;
}

bool CMusicLibrary::MediaCollectionAttributeStringAdded(_bstr_t p_bstrName, _bstr_t p_bstrValue) {
  static constexpr AttributeSlots kAdded{
      &CMediaLibraryNode::OnAlbumAdded, &CMediaLibraryNode::OnArtistAdded,
      &CMediaLibraryNode::OnGenreAdded, false,
      u"CMusicLibrary::MediaCollectionAttributeStringAdded sees CWMPException %s"};
  return DispatchAttributeChange(kAdded, p_bstrName, p_bstrValue);
}

bool CMusicLibrary::MediaCollectionAttributeStringRemoved(_bstr_t p_bstrName, _bstr_t p_bstrValue) {
  g_Logger->Log(LOG_TO_FILE, u"CMusicLibrary::MediaCollectionAttributeStringRemoved for %s, %s",
                p_bstrName, p_bstrValue);
  static constexpr AttributeSlots kRemoved{
      &CMediaLibraryNode::OnAlbumRemoved, &CMediaLibraryNode::OnArtistRemoved,
      &CMediaLibraryNode::OnGenreRemoved, true,
      u"CMusicLibrary::MediaCollectionAttributeStringRemoved sees CWMPException %s"};
  return DispatchAttributeChange(kRemoved, p_bstrName, p_bstrValue);
}

bool CMusicLibrary::MediaCollectionAttributeStringChanged(_bstr_t) {
  g_Logger->Log(LOG_TO_FILE,
                u"CMusicLibrary::MediaCollectionAttributeStringChanged Not Implemented");
  return false;
}

bool CMusicLibrary::PlaylistCollectionPlaylistAdded(_bstr_t p_bstrName) {
  return Guarded(
      u"CMusicLibrary::PlaylistCollectionPlaylistAdded sees CWMPException %s", false, [&] {
        return !m_Children.empty() && m_Children[kChildPlaylists]->OnPlaylistAdded(p_bstrName);
      });
}

bool CMusicLibrary::PlaylistCollectionPlaylistRemoved(_bstr_t p_bstrName) {
  return Guarded(
      u"CMusicLibrary::PlaylistCollectionPlaylistRemoved sees CWMPException %s", false, [&] {
        if (m_Children.empty()) {
          return false;
        }
        CMediaLibraryNode* l_pOut = nullptr;
        const bool l_bResult = m_Children[kChildPlaylists]->OnPlaylistRemoved(p_bstrName, &l_pOut);
        if (l_pOut != nullptr) {
          m_pChild = l_pOut;
        }
        return l_bResult;
      });
}

bool CMusicLibrary::PlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nChangeType) {
  if (m_Children.empty()) {
    return false;
  }
  CMediaLibraryNode* l_pOut = nullptr;
  return m_Children[kChildPlaylists]->OnPlaylistChanged(p_bstrName, p_nChangeType, m_pChild,
                                                        &l_pOut);
}

void CMusicLibrary::PlaceOwnCursor(std::uint32_t p_nLine) {
  m_Window.m_nCurrentLine = p_nLine;
  // The window follows the cursor, so the selected row never leaves the page.
  const auto l_nPage = static_cast<std::uint32_t>(g_nLinesPerPage);
  if (m_Window.m_nTopLine > p_nLine) {
    m_Window.m_nTopLine = p_nLine;
  } else if (p_nLine - m_Window.m_nTopLine >= l_nPage) {
    m_Window.m_nTopLine = p_nLine - l_nPage + 1;
  }
}

bool CMusicLibrary::SetCurrentNavigation(NavigationPath& p_Path) {
  return Guarded(u"CMusicLibrary::SetCurrentNavigation sees CWMPException %s", false, [&] {
    if (p_Path.empty() || m_Children.size() != kLibraryChildCount) {
      return false;
    }
    const int l_nPlaylistCategory = GetPlaylistCategory(p_Path);
    if (l_nPlaylistCategory == kPlaylistCategoryMyPlaylists ||
        l_nPlaylistCategory == kPlaylistCategoryAutoPlaylists) {
      if (p_Path.size() == 2) {
        return m_Children[kChildPlaylists]->SetCurrentNavigation(p_Path, &m_pChild);
      }
      if (p_Path.size() == 1) {
        m_Children[kChildPlaylists]->ClearCurrentChild();
        PlaceOwnCursor(kChildPlaylists);
        m_pChild = nullptr;
      }
      return false;
    }
    if (l_nPlaylistCategory != kPlaylistCategoryAllMusic || p_Path.size() < 2) {
      return false;
    }
    const int l_nAttributeCategory = GetAttributeCategory(p_Path);
    if (l_nAttributeCategory == kAttributeCategoryNone) {
      return false;
    }
    const auto l_nChild = static_cast<std::size_t>(l_nAttributeCategory);
    PlaceOwnCursor(static_cast<std::uint32_t>(l_nChild));
    if (p_Path.size() == 2) {
      m_pChild = nullptr;
      return false;
    }
    return m_Children[l_nChild]->SetCurrentNavigation(p_Path, &m_pChild);
  });
}
