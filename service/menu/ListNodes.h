#pragma once

// What the list nodes of the categories share: a list of named entries drawn by the list rule,
// Right's entering and opening, the sub-nodes made on first use and kept by their line, the
// lookup of an entry that the player's own library tree selected, the categories read from a
// string collection and the sorted name sets built from tracks. Only the session's
// player-control thread calls these nodes.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "common/ProgramLogger.h"
#include "platform/com/ComPtr.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/MediaLibraryNode.h"
#include "service/menu/PlaylistBuilder.h"

// A list node whose entries are names.
class CNamedList : public CMediaLibraryNode {
 public:
  // Whether Right first enters the list itself, and whether an empty list still opens a node.
  struct RightRule {
    bool enterFirst;
    bool emptyOpens;
  };

  CNamedList(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent, RightRule p_Rule);

  bool OnButtonRight(CMediaLibraryNode** p_ppNode) override;
  std::int32_t OnButtonOk() override;

  // The entry's name; none when it cannot be read or the index is outside the list.
  virtual std::optional<_bstr_t> EntryName(std::int32_t p_nIndex) = 0;

 protected:
  // How an empty name is shown, in the user's language.
  virtual const _bstr_t& UnknownWord() = 0;
  // The node that Right opens from the entry at `p_nLine`; null when there is none.
  virtual CMediaLibraryNode* OpenEntryAt(std::uint32_t p_nLine) = 0;

  void OnGetDisplayLines(_bstr_t& p_bstrTitle, DisplayLines& p_Lines) override;

  // The first entry named `p_bstrName`, or, when `p_bstrEmptyMeans` is given and equals the name,
  // the first entry without a name.
  std::optional<std::uint32_t> FindEntry(const _bstr_t& p_bstrName,
                                         const _bstr_t* p_bstrEmptyMeans = nullptr);
  // Follows a selection in the player's tree to the entry FindEntry finds: the cursor goes onto
  // it (on the bottom row) and `p_szLogText`, when given, is logged with the name.
  std::optional<std::uint32_t> NavigateTo(const _bstr_t& p_bstrName,
                                          const _bstr_t* p_bstrEmptyMeans,
                                          const char16_t* p_szLogText);

  // The list entered and shown by itself: the child marks it and the root is handed it.
  bool ShowOwnList(CMediaLibraryNode** p_ppNode);

  // Calls `p_Call` on every element of `p_Nodes`, in order, all of them; true when any said true.
  template <class Nodes, class Call>
  static bool TellAll(Nodes& p_Nodes, Call&& p_Call) {
    bool l_bAny = false;
    for (auto& l_Node : p_Nodes) {
      l_bAny = p_Call(l_Node) || l_bAny;
    }
    return l_bAny;
  }

 private:
  RightRule m_Rule;
};

// A list whose entries open sub-nodes of one kind, made on the first Right on a line and kept by
// that line until the list changes.
template <class SubNode>
class CSubNodeList : public CNamedList {
 public:
  using CNamedList::CNamedList;

  bool OnMediaCollectionChanged(CMediaLibraryNode* p_pShown) override {
    return TellAll(m_SubNodes, [&](auto& p_Entry) {
      return p_Entry.second->OnMediaCollectionChanged(p_pShown);
    });
  }

 protected:
  // The sub-node for the entry at `p_nLine`; null when the entry cannot be read.
  virtual std::unique_ptr<SubNode> MakeSubNode(std::uint32_t p_nLine) = 0;

  CMediaLibraryNode* OpenEntryAt(std::uint32_t p_nLine) override {
    return KeptOrMade(p_nLine, [&] { return MakeSubNode(p_nLine); });
  }

  // The sub-node kept for `p_nLine`, or the one `p_Make` makes, kept from now on.
  template <class Make>
  SubNode* KeptOrMade(std::uint32_t p_nLine, Make&& p_Make) {
    const auto l_nKey = static_cast<std::int32_t>(p_nLine);
    if (const auto l_Kept = m_SubNodes.find(l_nKey); l_Kept != m_SubNodes.end()) {
      return l_Kept->second.get();
    }
    std::unique_ptr<SubNode> l_pNode = p_Make();
    SubNode* l_pMade = l_pNode.get();
    if (l_pNode) {
      m_SubNodes.emplace(l_nKey, std::move(l_pNode));
    }
    return l_pMade;
  }

  // Deletes every kept sub-node. The caller hands itself back to the root whenever the root may
  // show one of them, and the child mark never leads to a deleted node.
  void DropSubNodes() {
    if (m_pChild != nullptr && m_pChild != this) {
      m_pChild = this;
    }
    m_SubNodes.clear();
  }

  // The node that the root's shown node belongs to, by type: whether a reload must hand this list
  // back.
  bool ShowsOwnBranch(CMediaLibraryNode* p_pShown) {
    return p_pShown != nullptr && p_pShown->GetNodeType() == GetNodeType();
  }
  // Puts this list into `p_ppNode` for the root to show when `p_bOwnBranch`; answers it.
  bool HandBack(bool p_bOwnBranch, CMediaLibraryNode** p_ppNode) {
    if (p_bOwnBranch && p_ppNode != nullptr) {
      *p_ppNode = this;
    }
    return p_bOwnBranch;
  }

 private:
  std::map<std::int32_t, std::unique_ptr<SubNode>> m_SubNodes;
};

// The texts of the failed calls of a category's name load.
struct StringLoadTexts {
  const char16_t* mediaCollection;
  const char16_t* stringCollection;
  const char16_t* count;
  const char16_t* item;
};

// The player's string collection of `p_szAttribute` among the audio media and its count; null
// (and a count of 0) when a step fails.
platform::ComPtr<IWMPStringCollection> AudioAttributeStrings(IWMPPlayer4* p_pPlayer,
                                                             const char16_t* p_szAttribute,
                                                             const StringLoadTexts& p_Texts,
                                                             std::int32_t& p_nCount);

// A category whose names stay in the player's string collection of one attribute among the audio
// media, read by index whenever a name is needed.
template <class SubNode>
class CStringCategory : public CSubNodeList<SubNode> {
 public:
  using LoadTexts = StringLoadTexts;

  std::int32_t GetItemCount() override { return m_nNameCount; }

  std::optional<_bstr_t> EntryName(std::int32_t p_nIndex) override {
    if (p_nIndex < 0 || p_nIndex >= m_nNameCount) {
      return std::nullopt;
    }
    return ReadName(p_nIndex);
  }

 protected:
  CStringCategory(IWMPPlayer4* p_pPlayer, CMediaLibraryNode* p_pParent,
                  const char16_t* p_szAttribute, const LoadTexts& p_Texts)
      : CSubNodeList<SubNode>(p_pPlayer, p_pParent, {.enterFirst = true, .emptyOpens = false}),
        m_szAttribute(p_szAttribute),
        m_Texts(p_Texts) {}

  enum class FirstNameCheck { None, Read };

  // Fetches the names; a failed step leaves the list empty. With FirstNameCheck::Read the first
  // name is read as the check that the collection answers, and when it cannot be read the last
  // index stays as it was. The cursor is kept inside the list by the caller, once it has moved it
  // as it must.
  void LoadNames(FirstNameCheck p_Check = FirstNameCheck::None) {
    m_spNames = AudioAttributeStrings(this->m_pPlayer, m_szAttribute, m_Texts, m_nNameCount);
    if (p_Check == FirstNameCheck::Read && m_spNames && !ReadName(0)) {
      return;
    }
    this->m_Window.m_nLastIndex = m_nNameCount - 1;
  }
  // The category's own load: LoadNames with its log line.
  virtual void InitializeNames() = 0;

  // A library change: the sub-nodes go, the names are fetched again when `p_bNames`, and
  // `p_MoveCursor` adjusts the window before it is kept inside the list. When the root shows a
  // node of this branch it is handed this list instead.
  template <class MoveCursor>
  bool Reload(CMediaLibraryNode* p_pShown, CMediaLibraryNode** p_ppNode, bool p_bNames,
              MoveCursor&& p_MoveCursor) {
    const bool l_bOwnBranch = this->ShowsOwnBranch(p_pShown);
    this->DropSubNodes();
    if (p_bNames) {
      InitializeNames();
    }
    p_MoveCursor(this->m_Window);
    this->KeepCursorInside(m_nNameCount);
    return this->HandBack(l_bOwnBranch, p_ppNode);
  }

  // Play: the media of the name under the cursor from `p_Query`, or, for a name that
  // `p_IsUnknown` takes for none, a new unnamed playlist of the media without the attribute that
  // `p_Keep` keeps after reading `p_Tests`.
  template <class IsUnknown, class Keep>
  bool PlayUnderCursor(const _bstr_t& p_bstrCaller, NamedQuery p_Query,
                       const char16_t* p_szQueryName, IsUnknown&& p_IsUnknown,
                       std::span<const TrackTest> p_Tests, Keep&& p_Keep) {
    const std::optional<_bstr_t> l_bstrName =
        EntryName(static_cast<std::int32_t>(this->m_Window.m_nCurrentLine));
    if (!l_bstrName) {
      return true;
    }
    IWMPPlayer4* const l_pPlayer = this->m_pPlayer;
    if (!p_IsUnknown(*l_bstrName)) {
      PlayQueryAnswer(l_pPlayer, p_bstrCaller, p_szQueryName,
                      TracksQuery(false, m_szAttribute, p_Query, *l_bstrName));
      return true;
    }
    // Each failed step is logged once, as the call that failed.
    const platform::ComPtr<IWMPPlaylist> l_spWithout =
        AskCollection(l_pPlayer, p_bstrCaller, u"getByAttribute",
                      TracksQuery(true, m_szAttribute, p_Query, _bstr_t()));
    if (!l_spWithout) {
      return true;
    }
    const platform::ComPtr<IWMPPlaylist> l_spTracks = NewFilledPlaylist(
        l_pPlayer, _bstr_t(u""), p_bstrCaller,
        [&](IWMPPlaylist* p_pTarget) {
          return ForEachMatchingTrack(l_spWithout.get(), p_Tests, p_bstrCaller,
                                      [&](IWMPMedia* p_pTrack, TrackValues p_Values) {
                                        if (p_Keep(p_Values)) {
                                          p_pTarget->appendItem(p_pTrack);
                                        }
                                      });
        },
        nullptr);
    if (l_spTracks) {
      MakeCurrentPlaylist(l_pPlayer, l_spTracks.get(), p_bstrCaller);
    }
    return true;
  }

  // Puts the cursor on the name that a selection in the player's tree names, an empty name
  // standing for `p_bstrUnknown`.
  std::optional<std::uint32_t> Navigate(const NavigationPath& p_Path, const _bstr_t& p_bstrUnknown,
                                        const char16_t* p_szLogText) {
    return this->NavigateTo(p_Path[2], &p_bstrUnknown, p_szLogText);
  }

 private:
  // Name `p_nIndex` as the collection answers it; none when the read fails.
  std::optional<_bstr_t> ReadName(std::int32_t p_nIndex) {
    if (!m_spNames) {
      return std::nullopt;
    }
    _bstr_t l_bstrName;
    const HRESULT l_hr = m_spNames->item(p_nIndex, l_bstrName.GetAddress());
    if (FAILED(l_hr)) {
      g_Logger->Log(LOG_TO_FILE, m_Texts.item, l_hr);
      return std::nullopt;
    }
    return l_bstrName;
  }

  const char16_t* m_szAttribute;
  const LoadTexts& m_Texts;
  platform::ComPtr<IWMPStringCollection> m_spNames;
  std::int32_t m_nNameCount = 0;
};

// A list of the distinct values of one attribute among a query's tracks, sorted by UTF-16 code
// units, built once when the node is made.
template <class SubNode>
class CNameSetList : public CSubNodeList<SubNode> {
 public:
  std::int32_t GetItemCount() override { return static_cast<std::int32_t>(m_Names.size()); }
  std::optional<_bstr_t> EntryName(std::int32_t p_nIndex) override { return NameAt(p_nIndex); }

  // The name at `p_nIndex`, or the empty text outside the list.
  _bstr_t NameAt(std::int64_t p_nIndex) const {
    return p_nIndex >= 0 && p_nIndex < static_cast<std::int64_t>(m_Names.size())
               ? m_Names[static_cast<std::size_t>(p_nIndex)]
               : _bstr_t();
  }

 protected:
  using CSubNodeList<SubNode>::CSubNodeList;

  // Collects value `p_nCollect` of every track of `p_pSource` that passes `p_Tests`, an empty one
  // as `p_bstrEmptyWord`; answers how many tracks were looked at.
  std::int32_t CollectNames(IWMPPlaylist* p_pSource, std::span<const TrackTest> p_Tests,
                            std::size_t p_nCollect, const _bstr_t& p_bstrEmptyWord,
                            const _bstr_t& p_bstrCaller) {
    std::set<_bstr_t> l_Names;
    std::int32_t l_nTracks = 0;
    if (p_pSource != nullptr) {
      ForEachMatchingTrack(
          p_pSource, p_Tests, p_bstrCaller,
          [&](IWMPMedia*, TrackValues p_Values) {
            const _bstr_t& l_bstrValue = p_Values[p_nCollect];
            l_Names.insert(l_bstrValue.length() == 0 ? p_bstrEmptyWord : l_bstrValue);
          },
          &l_nTracks);
    }
    m_Names.assign(l_Names.begin(), l_Names.end());
    this->SetItemCount(GetItemCount());
    return l_nTracks;
  }

  // Play's name: the one under the cursor.
  _bstr_t NameUnderCursor() const { return NameAt(this->m_Window.m_nCurrentLine); }

 private:
  std::vector<_bstr_t> m_Names;
};
