#pragma once

// The session listener on a thread of the test, over the layer's real session manager in the
// test's process (the fresh platform root is the test program's), with control blocks whose
// threads are stand-ins that note every per-session event they are woken by.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/sessions/SessionManager.h"
#include "service/host/SessionListener.h"

namespace listener_test {

// Real time that a step of the listener may take on a loaded machine.
inline constexpr std::chrono::milliseconds kSettle{20000};

// A wake of a stand-in session thread: its session and the wait index of the event.
struct Wake {
  std::uint32_t m_dwSessionId;
  std::size_t m_nIndex;
  bool operator==(const Wake&) const = default;
};
// Noted when a stand-in thread starts, before it waits.
inline constexpr std::size_t kStarted = kSessionWaitEventCount;

// What the stand-in threads noted, in order; any thread.
class WakeLog {
 public:
  void Note(Wake p_Wake);
  std::vector<Wake> All() const;
  // The wakes of one session other than its start.
  std::vector<std::size_t> Of(std::uint32_t p_dwSessionId) const;
  // Waits up to kSettle until the wake has been noted.
  bool Await(Wake p_Wake) const;

 private:
  mutable std::mutex m_Lock;
  mutable std::condition_variable m_Noted;
  std::vector<Wake> m_Wakes;
};
WakeLog& Wakes();

// Notes the thread's start, every wake until its terminate event, and what was set with it.
void NoteWakesUntilTerminate(const CSessionEvents& p_Events);
// Logs "stand-in session %d ends", the last thing a stand-in does.
void LogStandInEnd(const CSessionEvents& p_Events);
std::u16string StandInEnd(std::uint32_t p_dwSessionId);
// Notes its wakes, then ends at once.
std::uint32_t NotingSessionThread(const CSessionEvents& p_Events);

// The layer's session manager in this process, serving on a thread of its own until the
// destructor; one test thread uses it.
class InProcessSessions {
 public:
  InProcessSessions();
  InProcessSessions(const InProcessSessions&) = delete;
  InProcessSessions& operator=(const InProcessSessions&) = delete;
  ~InProcessSessions();

  std::uint32_t Logon(const std::string& p_User, bool p_bConsole);
  platform::SessionControl& Control() { return *m_Control; }

 private:
  std::unique_ptr<platform::SessionManager> m_pManager;
  std::thread m_Serving;
  std::optional<platform::SessionControl> m_Control;
};

// Sets one of the listener's events by its name.
void SetListenerEvent(std::u16string_view p_Name);
// Posts a session change to the listener's monitor window, as the session manager does.
void PostSessionChange(std::uint32_t p_nType, std::uint32_t p_dwSessionId);

class ListenerTest : public ::testing::Test {
 protected:
  ~ListenerTest() override;

  // Starts the listener with a fresh log and waits until it is in its wait loop.
  void StartListener(SessionThreadProcedure p_pProcedure = NotingSessionThread);
  // Sets its terminate event and joins it.
  void StopListener();

  LogRecorder log;
  InProcessSessions sessions;
  CListenerSettings settings;
  platform::Thread listener;
};

}  // namespace listener_test
