#pragma once

// The album-count monitor: a thread of its own apartment that counts the library's albums one
// second after the last of a burst of poll events and reports a count that fell.

#include <cstdint>
#include <functional>

#include "platform/com/Apartment.h"
#include "platform/com/ComPtr.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/player/PlayerInterfaces.h"

// The number of albums among the player's audio media; 0 without a player or on any failure.
std::int32_t GetAlbumCount(IWMPPlayer4* p_pPlayer);

// "Global\WMPAlbumPollEvent" followed by this process's session id.
std::u16string AlbumPollEventName();

// Started and stopped by its owner's thread; the callback runs on the monitor thread. The thread
// is joined by Stop (or the destructor), which serves the owner's messages while it waits.
class CAlbumCountMonitor {
 public:
  using AlbumDeleted = std::function<void(std::int32_t p_nCount)>;

  CAlbumCountMonitor() = default;
  CAlbumCountMonitor(const CAlbumCountMonitor&) = delete;
  CAlbumCountMonitor& operator=(const CAlbumCountMonitor&) = delete;
  ~CAlbumCountMonitor() { Stop(); }

  // Starts the thread, which takes the player out of `p_pPlayerStream` (consuming it).
  bool Start(platform::ComPtr<IStream> p_pPlayerStream, AlbumDeleted p_OnAlbumDeleted);
  // Ends the thread and joins it.
  void Stop();

 private:
  std::uint32_t Run();

  platform::Event m_hTerminateEvent;
  platform::ComPtr<IStream> m_pPlayerStream;  // handed to the thread before it starts
  AlbumDeleted m_OnAlbumDeleted;
  platform::Thread m_hMonitorThread;
};
