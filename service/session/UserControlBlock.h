#pragma once

// The service's handle of one user session's player-control thread: the session's per-session
// named events, the thread that waits on them, and the button codes by which the session
// listener passes it a button press, a player event, a refresh, an album deletion or a media
// collection change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"

// The codes that SignalButton takes: a numbering of their own, distinct from the remote's report
// codes and from the wait indices.
enum ButtonCode : std::uint32_t {
  kButtonUp = 1,
  kButtonDown = 2,
  kButtonLeft = 3,
  kButtonRight = 4,
  kButtonOk = 5,
  kButtonPlay = 6,
  kButtonPause = 7,
  kButtonStop = 8,
  kButtonPrev = 9,
  kButtonNext = 10,
  kButtonRewind = 11,
  kButtonFastForward = 12,
  kButtonPageDown = 13,
  kButtonPageUp = 14,
  kButtonHome = 15,
  kButtonPagesDown = 16,
  kButtonPagesUp = 17,
  kButtonPower = 18,
  kButtonMediaPlayerEvent = 19,
  kButtonRefreshScreen = 20,
  kButtonAlbumDeleted = 21,
  kButtonMediaCollectionChange = 22,
};

// The session thread's wait indices; the order is the wait's priority.
enum SessionWaitIndex : std::size_t {
  kWaitTerminate = 0,
  kWaitUp = 1,
  kWaitDown = 2,
  kWaitLeft = 3,
  kWaitRight = 4,
  kWaitOk = 5,
  kWaitPlay = 6,
  kWaitPause = 7,
  kWaitStop = 8,
  kWaitPower = 9,
  kWaitMediaPlayerEvent = 10,
  kWaitUserLogoff = 11,
  kWaitRefreshScreen = 12,
  kWaitPrev = 13,
  kWaitNext = 14,
  kWaitRewind = 15,
  kWaitFastForward = 16,
  kWaitPageDown = 17,
  kWaitPageUp = 18,
  kWaitHome = 19,
  kWaitPagesDown = 20,
  kWaitPagesUp = 21,
  kWaitAlbumDeleted = 22,
  kWaitMediaCollectionChange = 23,
  kSessionWaitEventCount = 24,
};

// The base names of the per-session events, in wait-index order, then the initialized event's;
// each event's name is its base name followed by the session id in decimal.
extern const std::array<const char16_t*, kSessionWaitEventCount + 1> g_SessionEventBaseNames;

// What the session's thread uses of its block. The thread holds it as long as it runs, so a
// thread that outlives its stop never uses a closed handle. Written before the thread starts,
// then only read; Set may be called from any thread.
struct CSessionEvents {
  std::uint32_t m_dwSessionId = 0;
  std::array<platform::Event, kSessionWaitEventCount> m_hWaitEvents;
  platform::Event m_hThreadInitialized;
};

// The session thread's procedure; its result is the thread's exit code.
using SessionThreadProcedure = std::uint32_t (*)(const CSessionEvents& p_Events);

// The player-control thread of one session: binds the session's server, builds the menu tree,
// connects the sinks, runs the wait loop until the terminate event and releases what it holds.
// Always 0.
std::uint32_t UserWindowsMediaPlayer(const CSessionEvents& p_Events);

// Called on the listener's thread only (construction, start, signal, stop and deletion never
// overlap). The block owns its thread, which must be joined: a thread that did not end within
// the stop's 10 s is joined by the destructor, which waits for it, so the block and what its
// thread uses live until the thread has ended.
class CUserControlBlock {
 public:
  CUserControlBlock(std::uint32_t p_dwSessionId,
                    SessionThreadProcedure p_pProcedure = UserWindowsMediaPlayer);
  CUserControlBlock(const CUserControlBlock&) = delete;
  CUserControlBlock& operator=(const CUserControlBlock&) = delete;
  ~CUserControlBlock();

  // Creates the 25 events in index order and starts the thread; always true.
  bool StartSessionThread();
  // Sets the event of a code from 1 to 22; logs any other code and sets nothing. Always true.
  bool SignalButton(std::uint32_t p_nButton);
  // Sets the terminate event, so that the thread begins to end; the stop of many blocks tells
  // every thread before it waits for any.
  void RequestStop() const;
  // Sets the terminate event, waits up to 10 s for the thread, closes the block's handles and
  // sets `p_hDone` whatever the wait gave. Always true.
  bool StopSessionThread(const platform::Event& p_hDone);
  std::uint32_t GetSessionId() const { return m_dwSessionId; }

 private:
  std::shared_ptr<CSessionEvents> m_pEvents;  // null before the start and after the stop
  const std::uint32_t m_dwSessionId;
  platform::Thread m_hThread;
  const SessionThreadProcedure m_pProcedure;
};
