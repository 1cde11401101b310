#pragma once

// The root of one session's menu tree and the only node the rest of the service talks to: it owns
// the six categories, remembers which node is shown, forwards the buttons to it (or moves through
// its own list of categories when none is shown), turns the player's library events into calls
// on the right category, and is the boundary of the tree's error convention: no CWMPException
// leaves one of its entry points. Only the session's player-control thread calls it.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/base/Status.h"
#include "service/menu/MediaLibraryNode.h"

// The root's children, in this order.
inline constexpr std::size_t kChildPlaylists = 0;
inline constexpr std::size_t kChildAlbums = 1;
inline constexpr std::size_t kChildArtists = 2;
inline constexpr std::size_t kChildGenres = 3;
inline constexpr std::size_t kChildNowPlaying = 4;
inline constexpr std::size_t kChildOptions = 5;
inline constexpr std::size_t kLibraryChildCount = 6;

class CNowPlayingList;

class CMusicLibrary : public CMediaLibraryNode {
 public:
  using Children = std::vector<std::unique_ptr<CMediaLibraryNode>>;
  // Makes the six categories, each with the player and the root as its parent.
  using ChildFactory = std::function<Children(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pRoot)>;

  // The six real categories: playlists, albums, artists, genres, now playing and options.
  static Children CreateCategories(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pRoot);

  // InitializeLibrary makes the categories with `p_CreateChildren`.
  explicit CMusicLibrary(IWMPPlayer4* p_pPlayer, ChildFactory p_CreateChildren = CreateCategories);
  ~CMusicLibrary() override;

  bool InitializeLibrary();

  _bstr_t GetDerivedDescription() override;
  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t OnButtonOk() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  std::int32_t OnButtonUp() override;
  std::int32_t OnButtonDown() override;
  std::int32_t OnPageDown() override;
  std::int32_t OnPageUp() override;
  std::int32_t OnPagesDown() override;
  std::int32_t OnPagesUp() override;
  bool OnButtonLeft(CMediaLibraryNode** p_ppNode) override;
  std::int32_t GetCurrentCategoryLine() override;
  std::int32_t GetCurrentScreenLine() override;

  // The Home button: back to the root's own list, every node on the way up left un-entered.
  virtual bool ResetToRoot();
  // The category under the root's own cursor, whatever is shown.
  virtual std::int32_t GetCurrentLine();
  // Follows the player's library-tree selection.
  virtual bool SetCurrentNavigation(NavigationPath& p_Path);

  std::int32_t GetCategoryMaxLines();
  bool SetCurrentMediaPlayerMode(_bstr_t p_bstrMode, bool p_bValue);
  bool MediaCollectionChanged();
  bool MediaCollectionAttributeStringAdded(_bstr_t p_bstrName, _bstr_t p_bstrValue);
  bool MediaCollectionAttributeStringRemoved(_bstr_t p_bstrName, _bstr_t p_bstrValue);
  bool MediaCollectionAttributeStringChanged(_bstr_t p_bstrAttribute);
  bool PlaylistCollectionPlaylistAdded(_bstr_t p_bstrName);
  bool PlaylistCollectionPlaylistRemoved(_bstr_t p_bstrName);
  bool PlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nChangeType);

  // The node on the display; null while the root's own list is shown.
  CMediaLibraryNode* GetShownNode() const { return m_pChild; }
  CNowPlayingList* GetNowPlayingList() const;

 protected:
  using CMediaLibraryNode::SetCurrentNavigation;
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override;

 private:
  // Moves the root's own cursor over its categories, or the shown node's.
  std::int32_t MoveShownOrOwn(ScrollMove p_Move, const char16_t* p_szCatchText);
  std::int32_t MoveOwnList(ScrollMove p_Move);
  // Puts the root's own cursor on a category, with the window around it.
  void PlaceOwnCursor(std::uint32_t p_nLine);
  struct AttributeSlots;
  bool DispatchAttributeChange(const AttributeSlots& p_Slots, const _bstr_t& p_bstrName,
                               const _bstr_t& p_bstrValue);
  // Makes the node a category handed back the shown one, when the shown node is of `p_nType`.
  bool Replace(std::int32_t p_nShownType, std::int32_t p_nType, CMediaLibraryNode* p_pNode);
  // Sets the player's autoStart; the failed step's HRESULT, or S_OK.
  HRESULT SetAutoStart(const char16_t* p_szSettingsFailure, const char16_t* p_szAutoStartFailure);

  ChildFactory m_CreateChildren;
  Children m_Children;
  bool m_bInitialized = false;
};
