#pragma once

// The base of every node of the menu tree: the scroll window over the node's list, the links to
// the player and to the nodes above and below, the six cursor moves every list shares, and the
// one interface through which the root, the session thread and the event processing drive a
// node. A tree belongs to one session's player-control thread; only that thread calls a node.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "common/MenuTexts.h"
#include "platform/base/Bstr.h"
#include "service/menu/NavigationPath.h"
#include "service/menu/ScrollWindow.h"

struct IWMPPlayer4;

// GetNodeType's answers.
inline constexpr std::int32_t kNodeTypeRoot = 0;
inline constexpr std::int32_t kNodeTypePlaylists = 1;
inline constexpr std::int32_t kNodeTypeAlbums = 2;
inline constexpr std::int32_t kNodeTypeArtists = 3;
inline constexpr std::int32_t kNodeTypeGenres = 4;
inline constexpr std::int32_t kNodeTypeNowPlaying = 5;
inline constexpr std::int32_t kNodeTypeOptions = 7;

// OnButtonOk's answers besides "any other non-zero value: the display changed".
inline constexpr std::int32_t kOkNoNewPage = 0;
inline constexpr std::int32_t kOkOpenEntry = 8;

using DisplayLines = std::vector<_bstr_t>;

class CMediaLibraryNode {
 public:
  // The node reads its list from `p_pPlayer`, which it does not hold a reference to; `p_pParent`
  // owns the node (null for the root).
  CMediaLibraryNode(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);
  CMediaLibraryNode(const CMediaLibraryNode&) = delete;
  CMediaLibraryNode& operator=(const CMediaLibraryNode&) = delete;
  virtual ~CMediaLibraryNode();

  // The node's name as its parent lists it and as its own page title.
  virtual _bstr_t GetDerivedDescription() = 0;
  // True with the node to show: a node not yet entered enters itself, an entered one opens the
  // entry under the cursor.
  virtual bool OnButtonRight(CMediaLibraryNode** p_ppNode) = 0;
  // Acts on the entry under the cursor: kOkNoNewPage, kOkOpenEntry, or another code for a redraw.
  virtual std::int32_t OnButtonOk() = 0;
  virtual std::int32_t GetNodeType() = 0;
  virtual std::int32_t GetItemCount() = 0;
  virtual bool OnButtonPlay() = 0;

  virtual std::int32_t OnButtonUp();
  virtual std::int32_t OnButtonDown();
  virtual std::int32_t OnPageDown();
  virtual std::int32_t OnPageUp();
  virtual std::int32_t OnPagesDown();
  virtual std::int32_t OnPagesUp();
  // Leaves the node (it is entered afresh next time) and hands back the parent.
  virtual bool OnButtonLeft(CMediaLibraryNode** p_ppNode);
  virtual std::int32_t GetCurrentCategoryLine();
  virtual std::int32_t GetCurrentScreenLine();

  // Library and selection events. True when this node took the event; a non-null node handed
  // back replaces the node the root shows.
  virtual bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode);
  virtual void ClearCurrentChild();
  // Home: the node is left un-entered, so that Right enters its own list again.
  virtual void LeaveEntered();
  virtual bool OnAlbumAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                            CMediaLibraryNode** p_ppNode);
  virtual bool OnGenreAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                            CMediaLibraryNode** p_ppNode);
  virtual bool OnArtistAdded(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                             CMediaLibraryNode** p_ppNode);
  virtual bool OnAlbumRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                              CMediaLibraryNode** p_ppNode);
  virtual bool OnGenreRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                              CMediaLibraryNode** p_ppNode);
  virtual bool OnArtistRemoved(_bstr_t p_bstrValue, CMediaLibraryNode* p_pShown,
                               CMediaLibraryNode** p_ppNode);
  virtual bool OnPlaylistAdded(_bstr_t p_bstrName);
  virtual bool OnPlaylistRemoved(_bstr_t p_bstrName, CMediaLibraryNode** p_ppNode);
  virtual bool OnModeChange(_bstr_t p_bstrMode, bool p_bValue, CMediaLibraryNode* p_pShown);
  virtual bool OnMediaCollectionChanged(CMediaLibraryNode* p_pShown);
  virtual bool OnPlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nChangeType,
                                 CMediaLibraryNode* p_pShown, CMediaLibraryNode** p_ppNode);

  // The node's page: its title and the lines of its window.
  void GetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines);

  CMediaLibraryNode* GetParent() const { return m_pParent; }
  CMediaLibraryNode* GetChild() const { return m_pChild; }
  const ScrollWindow& GetWindow() const { return m_Window; }

 protected:
  virtual void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) = 0;

  // The list rule of every list node: the title, then the entries of the window, an empty name
  // shown as `p_UnknownWord` in the user's language. An entry name given as std::optional may be
  // missing (it could not be read): that row is left out and the next one moves up.
  template <class EntryName>
  void ListDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines,
                        const _bstr_t& p_bstrUnknownWord, EntryName&& p_EntryName);
  // Applies a move to the window and returns its result code.
  std::int32_t Move(ScrollMove p_Move);
  // The last index for a list of `p_nCount` entries, with the cursor and the window kept inside it.
  void SetItemCount(std::int32_t p_nCount);
  // Keeps the cursor and the window inside both the last index and a list of `p_nCount` entries;
  // the last index stays.
  void KeepCursorInside(std::int32_t p_nCount);
  // Puts the cursor on entry `p_nIndex` for a selection made in the player: on the bottom row of
  // the window, or the window starts at the first entry when the entry is on the first page.
  void PlaceCursorOnBottomRow(std::uint32_t p_nIndex);

  ScrollWindow m_Window;
  IWMPPlayer4* m_pPlayer;
  // Null: not entered; this node: entered, its own list shown; another node: the sub-node opened
  // from the entry under the cursor, which is what is shown. The root's shown node.
  CMediaLibraryNode* m_pChild = nullptr;
  CMediaLibraryNode* m_pParent;
};

template <class EntryName>
void CMediaLibraryNode::ListDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines,
                                         const _bstr_t& p_bstrUnknownWord,
                                         EntryName&& p_EntryName) {
  p_bstrTitle = GetDerivedDescription();
  p_Lines.clear();
  const std::int64_t count = GetItemCount();
  const std::int64_t end =
      std::min<std::int64_t>(std::int64_t{m_Window.m_nTopLine} + g_nLinesPerPage, count);
  for (std::int64_t index = m_Window.m_nTopLine; index < end; ++index) {
    auto name = p_EntryName(static_cast<std::int32_t>(index));
    if constexpr (std::is_same_v<decltype(name), std::optional<_bstr_t>>) {
      if (!name) {
        continue;
      }
      p_Lines.push_back(name->length() == 0 ? p_bstrUnknownWord : std::move(*name));
    } else {
      p_Lines.push_back(name.length() == 0 ? p_bstrUnknownWord : std::move(name));
    }
  }
}
