#pragma once

// The deepest level of every branch: the tracks of one player playlist, listed by title, one of
// them started with Play or Ok, the list made afresh when a library change alters its count. Each
// kind of track list says how it makes its playlist and how its failures are reported. Only the
// session's player-control thread calls it.

#include <cstdint>

#include "platform/base/Status.h"
#include "platform/com/ComPtr.h"
#include "service/menu/MediaLibraryNode.h"
#include "service/menu/PlaylistBuilder.h"

struct IWMPPlaylist;

class CTrackList : public CMediaLibraryNode {
 public:
  // The texts of a track start's failed calls; a null count text: the track count is not read
  // again first.
  struct StartTexts {
    const char16_t* getCount;
    const char16_t* getItem;
    const char16_t* putCurrentMedia;
  };
  // What a kind of track list says of itself.
  struct Kind {
    std::int32_t nodeType;
    const char16_t* displayGetItem;
    const char16_t* displayGetName;
    const char16_t* loadGetCount;
    StartTexts play;
    StartTexts ok;
    // Play answers whether a track was handed to the player, instead of true.
    bool playAnswersStart;
  };

  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t OnButtonOk() override;
  std::int32_t GetNodeType() override;
  std::int32_t GetItemCount() override;
  bool OnButtonPlay() override;
  // Makes the list afresh and takes it when its count differs; true when that happened while the
  // root shows this node.
  bool OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) override;

  std::int32_t GetTrackCount() const { return m_nTrackCount; }

 protected:
  enum class Failures { Report, Quiet };

  CTrackList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, const Kind& p_Kind);

  // The node's tracks made afresh; null when there are none. Reported failures are logged or
  // thrown as the kind of list says; quiet ones only give null.
  virtual platform::ComPtr<IWMPPlaylist> MakeTracks(Failures p_Failures) = 0;
  // A failed call while a track starts; logged with the HRESULT unless the kind says otherwise.
  virtual void OnStartFailure(const char16_t* p_szText, HRESULT p_hr);
  // The fresh list's count could not be read on a library change; nothing changes.
  virtual void OnRecountFailure(HRESULT p_hr);

  // A new playlist of the player named `p_bstrName`, filled by `p_Fill`, as MakeTracks answers it:
  // null when none was made, and on a library change also when the fill failed.
  platform::ComPtr<IWMPPlaylist> NewTracks(const _bstr_t& p_bstrName, const _bstr_t& p_bstrCaller,
                                           const PlaylistFill& p_Fill, Failures p_Failures);

  // Drops the playlist, makes it afresh and reads its count (a failed count keeps the old one,
  // none at all counts as empty).
  void LoadTracks();
  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override;

  platform::ComPtr<IWMPPlaylist> m_spTracks;
  std::int32_t m_nTrackCount = 0;

 private:
  // Hands the track under the cursor to the player; true when it got it.
  bool StartTrack(const StartTexts& p_Texts);
  void TakeTracks(platform::ComPtr<IWMPPlaylist> p_spTracks, std::int32_t p_nCount);

  const Kind& m_Kind;
};
