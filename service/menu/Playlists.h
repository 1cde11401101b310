#pragma once

// The "Playlists" category: the library's playlists, "All Music" first, the ordinary ones next and
// the player's automatic ones last, each group by name; Right shows a playlist's tracks, Play
// makes the playlist current. Only the session's player-control thread calls these nodes.

#include <cstdint>
#include <memory>
#include <vector>

#include "service/menu/ListNodes.h"
#include "service/menu/TrackList.h"

struct IWMPMedia;

// One playlist's tracks. Its last index is 0 for an empty playlist, so it counts one entry then.
class CPlaylistEntry : public CTrackList {
 public:
  // `p_nSameNameIndex`: which of the library's playlists of this name, in the playlist
  // collection's order; `p_bstrTrackingId`: the playlist's tracking identifier.
  CPlaylistEntry(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, _bstr_t p_bstrName,
                 std::int32_t p_nSameNameIndex, _bstr_t p_bstrTrackingId = _bstr_t());

  void InitializePlaylistEntry();

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetItemCount() override;
  bool OnPlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nChangeType,
                         CMediaLibraryNode* p_pShown, CMediaLibraryNode** p_ppNode) override;

  const _bstr_t& GetName() const { return m_bstrName; }
  const _bstr_t& GetPlaylistType() const { return m_bstrPlaylistType; }
  const _bstr_t& GetTrackingId() const { return m_bstrTrackingId; }
  std::int32_t GetSameNameIndex() const { return m_nSameNameIndex; }
  IWMPPlaylist* GetPlaylist() const { return m_spTracks.get(); }

 protected:
  platform::ComPtr<IWMPPlaylist> MakeTracks(Failures p_Failures) override;
  // Play and Ok throw their failures, with the playlist's name.
  void OnStartFailure(const char16_t* p_szText, HRESULT p_hr) override;

 private:
  _bstr_t m_bstrName;
  _bstr_t m_bstrPlaylistType;
  std::int32_t m_nSameNameIndex;
  _bstr_t m_bstrTrackingId;
};

// The order of the playlists: "All Music", then those not of type "Auto", then by name.
struct PlaylistEntryLess {
  bool operator()(const std::unique_ptr<CPlaylistEntry>& p_pLeft,
                  const std::unique_ptr<CPlaylistEntry>& p_pRight) const;
};

// Whether an entry bears the name it holds.
struct PlaylistNameEquals {
  _bstr_t m_bstrName;
  bool operator()(const std::unique_ptr<CPlaylistEntry>& p_pEntry) const {
    return p_pEntry->GetName() == m_bstrName;
  }
};

class CPlaylist : public CNamedList {
 public:
  // Loads the playlists; a failed media collection or playlist query throws CWMPException.
  CPlaylist(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent);
  ~CPlaylist() override;

  void InitializePlaylists();

  _bstr_t GetDerivedDescription() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  bool SetCurrentNavigation(NavigationPath& p_Path, CMediaLibraryNode** p_ppNode) override;
  void ClearCurrentChild() override;
  bool OnPlaylistAdded(_bstr_t p_bstrName) override;
  bool OnPlaylistRemoved(_bstr_t p_bstrName, CMediaLibraryNode** p_ppNode) override;
  bool OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) override;
  bool OnPlaylistChanged(_bstr_t p_bstrName, std::int32_t p_nChangeType,
                         CMediaLibraryNode* p_pShown, CMediaLibraryNode** p_ppNode) override;

  std::optional<_bstr_t> EntryName(std::int32_t p_nIndex) override;

 protected:
  const _bstr_t& UnknownWord() override;
  CMediaLibraryNode* OpenEntryAt(std::uint32_t p_nLine) override;

 private:
  // One media item of the playlists query: listed unless it is filtered out or cannot be read.
  void AddPlaylistItem(IWMPMedia* p_pItem);
  // Builds the list afresh. The entry the child names may be on the display: it lives on, in
  // its place when its playlist is still listed, else aside until the root is handed this list.
  void Reload();
  CPlaylistEntry* EntryUnderCursor() const;
  // Calls `p_Call` on every entry and on the one kept aside; true when any said true.
  template <class Call>
  bool TellEveryEntry(Call&& p_Call);

  std::vector<std::unique_ptr<CPlaylistEntry>> m_Entries;
  // The entry that was shown when a reload no longer listed it.
  std::unique_ptr<CPlaylistEntry> m_pAsideEntry;
};
