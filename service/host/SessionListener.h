#pragma once

// The service's session listener: the thread that keeps one control block for every logged-on
// session, routes the remote's buttons and the player's signals to the block of the session at
// the console, and at the service's stop stops every block and announces the end.

#include <cstdint>
#include <memory>
#include <vector>

#include "service/session/UserControlBlock.h"

// What the listener's argument may point at; a null argument gives the real player-control
// thread to every block.
struct CListenerSettings {
  SessionThreadProcedure m_pSessionThread = UserWindowsMediaPlayer;
};

// The blocks in creation order. Only the listener thread (or a test while no listener runs)
// reads or changes it; a block is deleted only once its thread has ended.
extern std::vector<std::unique_ptr<CUserControlBlock>> g_UserControlBlocks;

// The thread procedure (its own thread, started first by the service's start-up and joined by
// it): set-up, the wait on its 25 events until "TERMINATE_WTS_SESSION_THREAD" is set, then the
// stop of every block; sets "Global\WMP_SERVICE_SHUTDOWN_COMPLETE" last. Returns 0.
std::uint32_t WTSLogonListener(void* p_pArgument);

// The routines of the listener's thread.

// True when a block exists; otherwise empties the event queue, whose records no thread would
// take, and gives false.
bool HaveUserControlBlocks();
// Signals the code to every block of the session. Always true.
bool ButtonEventForSession(std::uint32_t p_dwSessionId, std::uint32_t p_nButton);
// Sets the session's own "WTS_USER_SESSION_LOGOFF" event. Always true.
bool UserLogoffedOffSession(std::uint32_t p_dwSessionId);
// Stops the first block of the session and deletes it once its thread has ended. Always true.
bool LogOffUserSession(std::uint32_t p_dwSessionId);
