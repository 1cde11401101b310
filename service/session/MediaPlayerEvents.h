#pragma once

// The records of what happened on the player side, and the one queue through which every session's
// sinks, the device input threads and the session threads hand them to the player-control thread
// that drains it. Any thread may append; the draining thread takes them in order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/base/Bstr.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Status.h"
#include "platform/kernel/CriticalSection.h"

// Identifiers of the records that are no player event.
inline constexpr std::int32_t kNavigationChangedEventId = 1;
inline constexpr std::int32_t kPlayerIdleTimeoutEventId = 275;

// The base of every record: its identifier, the dispatch id of the event that caused it.
class CMediaPlayerEventData {
 public:
  explicit CMediaPlayerEventData(std::int32_t p_nEventId) : m_nEventId(p_nEventId) {}
  CMediaPlayerEventData(const CMediaPlayerEventData&) = delete;
  CMediaPlayerEventData& operator=(const CMediaPlayerEventData&) = delete;
  virtual ~CMediaPlayerEventData() = default;

  std::int32_t GetEventId() const { return m_nEventId; }

 private:
  const std::int32_t m_nEventId;
};

// A record of N texts, in the order its constructor takes them; the first is its name.
template <std::size_t N>
class CMediaPlayerTextEventData : public CMediaPlayerEventData {
 public:
  const _bstr_t& GetName() const { return m_Texts[0]; }

 protected:
  CMediaPlayerTextEventData(std::int32_t p_nEventId, std::array<_bstr_t, N> p_Texts)
      : CMediaPlayerEventData(p_nEventId), m_Texts(std::move(p_Texts)) {}

  std::array<_bstr_t, N> m_Texts;
};

class CMediaPlayerPlayStateChange final : public CMediaPlayerEventData {
 public:
  CMediaPlayerPlayStateChange(std::int32_t p_nEventId, std::int32_t p_nNewState)
      : CMediaPlayerEventData(p_nEventId), m_nNewState(p_nNewState) {}
  std::int32_t GetNewState() const { return m_nNewState; }

 private:
  const std::int32_t m_nNewState;
};

class CPlaylistChanged final : public CMediaPlayerTextEventData<1> {
 public:
  CPlaylistChanged(std::int32_t p_nEventId, const _bstr_t& p_bstrName, std::int32_t p_nChangeType)
      : CMediaPlayerTextEventData(p_nEventId, {p_bstrName}), m_nChangeType(p_nChangeType) {}
  std::int32_t GetChangeType() const { return m_nChangeType; }

 private:
  const std::int32_t m_nChangeType;
};

// A playlist added to or deleted from the player's playlist collection.
template <bool Added>
class CPlaylistCollectionEvent final : public CMediaPlayerTextEventData<1> {
 public:
  CPlaylistCollectionEvent(std::int32_t p_nEventId, const _bstr_t& p_bstrName)
      : CMediaPlayerTextEventData(p_nEventId, {p_bstrName}) {}
};
using CPlaylistCollectionAdd = CPlaylistCollectionEvent<true>;
using CPlaylistCollectionDelete = CPlaylistCollectionEvent<false>;

// An attribute value that appeared in or left the media collection.
template <bool Added>
class CMediaCollectionAttributeStringEvent final : public CMediaPlayerTextEventData<2> {
 public:
  CMediaCollectionAttributeStringEvent(std::int32_t p_nEventId, const _bstr_t& p_bstrName,
                                       const _bstr_t& p_bstrValue)
      : CMediaPlayerTextEventData(p_nEventId, {p_bstrName, p_bstrValue}) {}
  const _bstr_t& GetAttributeValue() const { return m_Texts[1]; }
};
using CMediaCollectionAttributeStringAdded = CMediaCollectionAttributeStringEvent<true>;
using CMediaCollectionAttributeStringRemoved = CMediaCollectionAttributeStringEvent<false>;

class CMediaCollectionAttributeStringChanged final : public CMediaPlayerTextEventData<3> {
 public:
  CMediaCollectionAttributeStringChanged(std::int32_t p_nEventId, const _bstr_t& p_bstrName,
                                         const _bstr_t& p_bstrOldValue,
                                         const _bstr_t& p_bstrNewValue)
      : CMediaPlayerTextEventData(p_nEventId, {p_bstrName, p_bstrOldValue, p_bstrNewValue}) {}
  const _bstr_t& GetOldValue() const { return m_Texts[1]; }
  const _bstr_t& GetNewValue() const { return m_Texts[2]; }
};

// The value is true exactly when the player reported VARIANT_TRUE.
class CMediaPlayerModeChange final : public CMediaPlayerTextEventData<1> {
 public:
  CMediaPlayerModeChange(std::int32_t p_nEventId, const _bstr_t& p_bstrMode,
                         VARIANT_BOOL p_vbValue)
      : CMediaPlayerTextEventData(p_nEventId, {p_bstrMode}),
        m_bValue(p_vbValue == VARIANT_TRUE) {}
  bool GetModeValue() const { return m_bValue; }

 private:
  const bool m_bValue;
};

// Records that carry nothing but their identifier.
template <int Kind>
class CMediaPlayerSignalEvent final : public CMediaPlayerEventData {
 public:
  explicit CMediaPlayerSignalEvent(std::int32_t p_nEventId) : CMediaPlayerEventData(p_nEventId) {}
};
using CPlayerDockedStateChanged = CMediaPlayerSignalEvent<0>;
using CPlayerIdleTimeout = CMediaPlayerSignalEvent<1>;

// A selection in the player's library tree: its path, root first.
class CWMPNavagationChanged final : public CMediaPlayerEventData {
 public:
  explicit CWMPNavagationChanged(std::int32_t p_nEventId) : CMediaPlayerEventData(p_nEventId) {}
  void AddLine(const _bstr_t& p_bstrLine) { m_Lines.push_back(p_bstrLine); }
  const std::vector<_bstr_t>& GetLines() const { return m_Lines; }

 private:
  std::vector<_bstr_t> m_Lines;
};

// The session whose sink queued a record. A session's thread applies only its own records and
// those of no session (the device threads' idle timeouts), so that one session's player never
// changes another's menu or display state.
inline constexpr std::uint32_t kNoSession = 0xFFFFFFFFu;
// Records of one session (or of none) that the queue keeps at most: a session that is not at the
// console is never woken to drain, so its oldest records give way to its newest.
inline constexpr std::size_t kMaxQueuedRecordsPerSession = 1024;

struct QueuedMediaPlayerEvent {
  std::uint32_t m_dwSessionId = kNoSession;
  std::unique_ptr<CMediaPlayerEventData> m_pRecord;
};

// The queue and its lock exist from before the first thread starts until after the last one
// ends: they are never destroyed. Hold the lock only for one append, removal or purge.
using MediaPlayerEventQueue = std::deque<QueuedMediaPlayerEvent>;
extern NoDestructor<MediaPlayerEventQueue> g_MediaPlayerEvents;
extern NoDestructor<platform::CriticalSection> g_MediaPlayerEventsLock;

// Appends under the lock, dropping the oldest record of the same session when it has
// kMaxQueuedRecordsPerSession already; the caller wakes the consumer as its own code says.
void AppendMediaPlayerEvent(std::unique_ptr<CMediaPlayerEventData> p_pRecord,
                            std::uint32_t p_dwSessionId = kNoSession);
// Removes the first record under the lock, whatever its session; null when the queue is empty.
std::unique_ptr<CMediaPlayerEventData> TakeFirstMediaPlayerEvent();
// Removes the first record of the session or of no session; null when there is none.
std::unique_ptr<CMediaPlayerEventData> TakeFirstMediaPlayerEvent(std::uint32_t p_dwSessionId);
// Removes and deletes every record; returns how many there were.
std::size_t PurgeMediaPlayerEvents();
// Removes and deletes the records of one ended session; returns how many there were.
std::size_t PurgeMediaPlayerEvents(std::uint32_t p_dwSessionId);
