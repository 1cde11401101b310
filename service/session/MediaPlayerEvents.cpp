#include "service/session/MediaPlayerEvents.h"

NoDestructor<MediaPlayerEventQueue> g_MediaPlayerEvents;
NoDestructor<platform::CriticalSection> g_MediaPlayerEventsLock;

void AppendMediaPlayerEvent(std::unique_ptr<CMediaPlayerEventData> p_pRecord) {
  platform::CriticalSectionLock l_Lock(*g_MediaPlayerEventsLock);
  g_MediaPlayerEvents->push_back(std::move(p_pRecord));
}

std::unique_ptr<CMediaPlayerEventData> TakeFirstMediaPlayerEvent() {
  platform::CriticalSectionLock l_Lock(*g_MediaPlayerEventsLock);
  if (g_MediaPlayerEvents->empty()) {
    return nullptr;
  }
  std::unique_ptr<CMediaPlayerEventData> l_pRecord = std::move(g_MediaPlayerEvents->front());
  g_MediaPlayerEvents->pop_front();
  return l_pRecord;
}

std::size_t PurgeMediaPlayerEvents() {
  MediaPlayerEventQueue l_Purged;
  {
    platform::CriticalSectionLock l_Lock(*g_MediaPlayerEventsLock);
    l_Purged.swap(*g_MediaPlayerEvents);
  }
  // The records are deleted outside the lock.
  return l_Purged.size();
}
