#include "service/session/MediaPlayerEvents.h"

#include <algorithm>
#include <iterator>

NoDestructor<MediaPlayerEventQueue> g_MediaPlayerEvents;
NoDestructor<platform::CriticalSection> g_MediaPlayerEventsLock;

void AppendMediaPlayerEvent(std::unique_ptr<CMediaPlayerEventData> p_pRecord,
                            std::uint32_t p_dwSessionId) {
  // A dropped record is deleted outside the lock.
  std::unique_ptr<CMediaPlayerEventData> l_pDropped;
  platform::CriticalSectionLock l_Lock(*g_MediaPlayerEventsLock);
  MediaPlayerEventQueue& l_Queue = *g_MediaPlayerEvents;
  const auto l_IsSame = [p_dwSessionId](const QueuedMediaPlayerEvent& p_Queued) {
    return p_Queued.m_dwSessionId == p_dwSessionId;
  };
  if (static_cast<std::size_t>(std::count_if(l_Queue.begin(), l_Queue.end(), l_IsSame)) >=
      kMaxQueuedRecordsPerSession) {
    const auto l_Oldest = std::find_if(l_Queue.begin(), l_Queue.end(), l_IsSame);
    l_pDropped = std::move(l_Oldest->m_pRecord);
    l_Queue.erase(l_Oldest);
  }
  l_Queue.push_back({p_dwSessionId, std::move(p_pRecord)});
}

namespace {

template <class Match>
std::unique_ptr<CMediaPlayerEventData> TakeFirstMatching(Match p_Match) {
  platform::CriticalSectionLock l_Lock(*g_MediaPlayerEventsLock);
  MediaPlayerEventQueue& l_Queue = *g_MediaPlayerEvents;
  const auto l_First = std::find_if(l_Queue.begin(), l_Queue.end(), p_Match);
  if (l_First == l_Queue.end()) {
    return nullptr;
  }
  std::unique_ptr<CMediaPlayerEventData> l_pRecord = std::move(l_First->m_pRecord);
  l_Queue.erase(l_First);
  return l_pRecord;
}

template <class Match>
std::size_t PurgeMatching(Match p_Match) {
  MediaPlayerEventQueue l_Purged;
  {
    platform::CriticalSectionLock l_Lock(*g_MediaPlayerEventsLock);
    MediaPlayerEventQueue& l_Queue = *g_MediaPlayerEvents;
    const auto l_Kept = std::stable_partition(
        l_Queue.begin(), l_Queue.end(),
        [&p_Match](const QueuedMediaPlayerEvent& p_Queued) { return !p_Match(p_Queued); });
    std::move(l_Kept, l_Queue.end(), std::back_inserter(l_Purged));
    l_Queue.erase(l_Kept, l_Queue.end());
  }
  // The records are deleted outside the lock.
  return l_Purged.size();
}

}  // namespace

std::unique_ptr<CMediaPlayerEventData> TakeFirstMediaPlayerEvent() {
  return TakeFirstMatching([](const QueuedMediaPlayerEvent&) { return true; });
}

std::unique_ptr<CMediaPlayerEventData> TakeFirstMediaPlayerEvent(std::uint32_t p_dwSessionId) {
  return TakeFirstMatching([p_dwSessionId](const QueuedMediaPlayerEvent& p_Queued) {
    return p_Queued.m_dwSessionId == p_dwSessionId || p_Queued.m_dwSessionId == kNoSession;
  });
}

std::size_t PurgeMediaPlayerEvents() {
  return PurgeMatching([](const QueuedMediaPlayerEvent&) { return true; });
}

std::size_t PurgeMediaPlayerEvents(std::uint32_t p_dwSessionId) {
  return PurgeMatching([p_dwSessionId](const QueuedMediaPlayerEvent& p_Queued) {
    return p_Queued.m_dwSessionId == p_dwSessionId;
  });
}
