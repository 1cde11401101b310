#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/sessions/SessionManager.h"
#include "platform/sessions/Sessions.h"

namespace platform {
namespace {

using testing::HelperProcess;

// A session manager of the test's root in a process of its own, whose windows are lines of its
// output (SessionManagerProbe.cpp).
class SessionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = std::make_unique<HelperProcess>(SESSION_MANAGER_PROBE, std::vector<std::string>{});
    ASSERT_EQ(manager_->Answer(), "ready");
    std::optional<SessionControl> control = SessionControl::Connect();
    ASSERT_TRUE(control);
    control_.emplace(std::move(*control));
  }
  void TearDown() override {
    if (control_) {
      EXPECT_EQ(control_->Shutdown().error, ERROR_SUCCESS);
      // The manager logs every session off before it ends.
      while (manager_->Answer() != "no answer") {
      }
    }
  }

  std::uint32_t Logon(const std::string& user, bool console) {
    const SessionControl::Result result = control_->Logon(user, console);
    EXPECT_EQ(result.error, ERROR_SUCCESS);
    return static_cast<std::uint32_t>(std::stoul(result.value));
  }
  // The next `count` lines the windows received.
  std::vector<std::string> Delivered(std::size_t count) {
    std::vector<std::string> lines;
    while (lines.size() < count) {
      lines.push_back(manager_->Answer(std::chrono::seconds(30)));
    }
    return lines;
  }
  static std::string Post(std::uint32_t window, std::uint32_t type, std::uint32_t session) {
    return "post " + std::to_string(window) + " " + std::to_string(type) + " " +
           std::to_string(session);
  }

  std::unique_ptr<HelperProcess> manager_;
  std::optional<SessionControl> control_;
};

const WTS_SESSION_INFO* FindSession(const std::vector<WTS_SESSION_INFO>& sessions,
                                    std::uint32_t id) {
  for (const WTS_SESSION_INFO& session : sessions) {
    if (session.SessionId == id) {
      return &session;
    }
  }
  return nullptr;
}

TEST_F(SessionManagerTest, ReadinessEventIsSetManualResetOnceTheTableIsMade) {
  const HandleResult<Event> ready = Event::Open(u"Global\\TermSrvReadyEvent");
  ASSERT_TRUE(ready.handle);
  EXPECT_TRUE(WaitForObject(ready.handle.Ref(), Timeout(0)).Signalled(0));
  EXPECT_TRUE(WaitForObject(ready.handle.Ref(), Timeout(0)).Signalled(0));
  const std::optional<std::vector<WTS_SESSION_INFO>> sessions = WTSEnumerateSessions();
  ASSERT_TRUE(sessions);
  ASSERT_EQ(sessions->size(), 1u);
  EXPECT_EQ((*sessions)[0].SessionId, kServicesSession);
  EXPECT_EQ((*sessions)[0].WinStationName, u"Services");
  EXPECT_EQ(WTSGetActiveConsoleSessionId(), kNoConsoleSession);
}

// Each step's notices, in order, and the table it leaves.
TEST_F(SessionManagerTest, EachChangeIsPostedInOrderAndLeavesTheTableAsItSays) {
  ASSERT_TRUE(WTSRegisterSessionNotification(41, NOTIFY_FOR_ALL_SESSIONS));
  const std::uint32_t alice = Logon("alice", true);
  EXPECT_EQ(Delivered(2), (std::vector<std::string>{Post(41, WTS_CONSOLE_CONNECT, alice),
                                                     Post(41, WTS_SESSION_LOGON, alice)}));
  const std::uint32_t bob = Logon("bob", true);
  EXPECT_EQ(Delivered(3), (std::vector<std::string>{Post(41, WTS_CONSOLE_DISCONNECT, alice),
                                                     Post(41, WTS_CONSOLE_CONNECT, bob),
                                                     Post(41, WTS_SESSION_LOGON, bob)}));
  EXPECT_EQ(WTSGetActiveConsoleSessionId(), bob);
  std::vector<WTS_SESSION_INFO> sessions = WTSEnumerateSessions().value();
  ASSERT_EQ(sessions.size(), 3u);
  EXPECT_EQ(FindSession(sessions, alice)->State, WTSDisconnected);
  EXPECT_EQ(FindSession(sessions, bob)->State, WTSActive);
  EXPECT_EQ(FindSession(sessions, bob)->WinStationName, u"Console");
  EXPECT_EQ(FindSession(sessions, bob)->UserName, u"bob");

  ASSERT_EQ(control_->ConnectSession(alice, false).error, ERROR_SUCCESS);
  ASSERT_EQ(control_->Lock(alice).error, ERROR_SUCCESS);
  ASSERT_EQ(control_->Unlock(alice).error, ERROR_SUCCESS);
  ASSERT_EQ(control_->RemoteControl(alice).error, ERROR_SUCCESS);
  ASSERT_EQ(control_->Disconnect(bob).error, ERROR_SUCCESS);
  EXPECT_EQ(Delivered(5), (std::vector<std::string>{Post(41, WTS_REMOTE_CONNECT, alice),
                                                     Post(41, WTS_SESSION_LOCK, alice),
                                                     Post(41, WTS_SESSION_UNLOCK, alice),
                                                     Post(41, WTS_SESSION_REMOTE_CONTROL, alice),
                                                     Post(41, WTS_CONSOLE_DISCONNECT, bob)}));
  EXPECT_EQ(WTSGetActiveConsoleSessionId(), kNoConsoleSession);
  sessions = WTSEnumerateSessions().value();
  EXPECT_EQ(FindSession(sessions, alice)->WinStationName, u"RDP-Tcp#" + FromUtf8(std::to_string(alice)));
  EXPECT_EQ(FindSession(sessions, bob)->State, WTSDisconnected);

  ASSERT_EQ(control_->SwitchConsole(alice).error, ERROR_SUCCESS);
  EXPECT_EQ(Delivered(1), (std::vector<std::string>{Post(41, WTS_CONSOLE_CONNECT, alice)}));
  ASSERT_EQ(control_->Logoff(alice).error, ERROR_SUCCESS);
  EXPECT_EQ(Delivered(2), (std::vector<std::string>{"end-session " + std::to_string(alice) + " running 0",
                                                     Post(41, WTS_SESSION_LOGOFF, alice)}));
  EXPECT_EQ(WTSGetActiveConsoleSessionId(), kNoConsoleSession);
  EXPECT_EQ(FindSession(WTSEnumerateSessions().value(), alice), nullptr);
}

TEST_F(SessionManagerTest, RequestsOnMissingOrServicesSessionsAreRefused) {
  EXPECT_EQ(control_->Lock(9).error, ERROR_CTX_WINSTATION_NOT_FOUND);
  EXPECT_EQ(control_->Logoff(9).error, ERROR_CTX_WINSTATION_NOT_FOUND);
  EXPECT_EQ(control_->SwitchConsole(9).error, ERROR_CTX_WINSTATION_NOT_FOUND);
  EXPECT_EQ(control_->Logoff(kServicesSession).error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(control_->Logon("a\tb", false).error, ERROR_INVALID_PARAMETER);
}

TEST_F(SessionManagerTest, ChangesFromSeveralCallersAtOnceAllReachTheWindowsInTheirOrder) {
  ASSERT_TRUE(WTSRegisterSessionNotification(7, NOTIFY_FOR_ALL_SESSIONS));
  // Notices of this process's own session only: the services session never changes.
  ASSERT_TRUE(WTSRegisterSessionNotification(8, NOTIFY_FOR_THIS_SESSION));
  constexpr int kCallers = 3;
  constexpr int kRounds = 20;
  std::vector<std::uint32_t> sessions;
  for (int caller = 0; caller < kCallers; ++caller) {
    sessions.push_back(Logon("user" + std::to_string(caller), false));
  }
  Delivered(2 * kCallers);
  std::vector<std::thread> callers;
  for (const std::uint32_t id : sessions) {
    callers.emplace_back([id] {
      std::optional<SessionControl> control = SessionControl::Connect();
      ASSERT_TRUE(control);
      for (int round = 0; round < kRounds; ++round) {
        EXPECT_EQ(control->Lock(id).error, ERROR_SUCCESS);
        EXPECT_EQ(control->Unlock(id).error, ERROR_SUCCESS);
      }
    });
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  std::map<std::uint32_t, std::vector<std::uint32_t>> bySession;
  for (const std::string& line : Delivered(kCallers * kRounds * 2)) {
    unsigned window = 0, type = 0, session = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "post %u %u %u", &window, &type, &session), 3) << line;
    EXPECT_EQ(window, 7u);
    bySession[session].push_back(type);
  }
  for (const std::uint32_t id : sessions) {
    ASSERT_EQ(bySession[id].size(), 2u * kRounds);
    for (std::size_t at = 0; at < bySession[id].size(); ++at) {
      EXPECT_EQ(bySession[id][at], at % 2 == 0 ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK);
    }
  }
  // A window that unregistered hears nothing more.
  ASSERT_TRUE(WTSUnRegisterSessionNotification(7));
  ASSERT_EQ(control_->Lock(sessions[0]).error, ERROR_SUCCESS);
  ASSERT_TRUE(WTSRegisterSessionNotification(7, NOTIFY_FOR_ALL_SESSIONS));
  ASSERT_EQ(control_->Unlock(sessions[0]).error, ERROR_SUCCESS);
  EXPECT_EQ(Delivered(1), (std::vector<std::string>{Post(7, WTS_SESSION_UNLOCK, sessions[0])}));
}

TEST_F(SessionManagerTest, ProcessesAndThreadsAreListedBySessionWithExeNames) {
  const std::uint32_t session = Logon("carol", false);
  HelperProcess inSession({{"PLATFORM_SESSION", std::to_string(session)}});
  ASSERT_EQ(inSession.Command("session"), std::to_string(session));
  HelperProcess otherRoot({{"PLATFORM_ROOT", (PlatformRoot() / "elsewhere").string()}});
  ASSERT_NE(otherRoot.Command("session"), "no answer");

  const std::vector<WTS_PROCESS_INFO> processes = WTSEnumerateProcesses().value();
  std::map<std::uint32_t, WTS_PROCESS_INFO> byId;
  for (const WTS_PROCESS_INFO& process : processes) {
    byId[process.ProcessId] = process;
  }
  ASSERT_TRUE(byId.contains(static_cast<std::uint32_t>(inSession.Pid())));
  EXPECT_EQ(byId[static_cast<std::uint32_t>(inSession.Pid())].SessionId, session);
  EXPECT_EQ(byId[static_cast<std::uint32_t>(inSession.Pid())].ProcessName,
            u"platform_test_helper.exe");
  EXPECT_EQ(byId[static_cast<std::uint32_t>(manager_->Pid())].ProcessName,
            u"session_manager_probe.exe");
  EXPECT_EQ(byId[static_cast<std::uint32_t>(manager_->Pid())].SessionId, kServicesSession);
  EXPECT_FALSE(byId.contains(static_cast<std::uint32_t>(otherRoot.Pid())));

  std::uint32_t found = 99;
  ASSERT_TRUE(ProcessIdToSessionId(static_cast<std::uint32_t>(inSession.Pid()), found));
  EXPECT_EQ(found, session);
  EXPECT_FALSE(ProcessIdToSessionId(static_cast<std::uint32_t>(otherRoot.Pid()), found));

  // The manager runs its main thread and the thread that posts notices at least.
  std::set<std::uint32_t> managerThreads;
  std::size_t helperThreads = 0;
  for (const THREADENTRY32& thread : CreateThreadSnapshot()) {
    if (thread.th32OwnerProcessID == static_cast<std::uint32_t>(manager_->Pid())) {
      managerThreads.insert(thread.th32ThreadID);
    }
    helperThreads += thread.th32OwnerProcessID == static_cast<std::uint32_t>(inSession.Pid());
  }
  EXPECT_GE(managerThreads.size(), 2u);
  EXPECT_TRUE(managerThreads.contains(static_cast<std::uint32_t>(manager_->Pid())));
  EXPECT_EQ(helperThreads, 1u);
}

TEST_F(SessionManagerTest, LogoffSendsTheEndOfSessionBeforeEndingOnlyThatSessionsProcesses) {
  const std::uint32_t ending = Logon("dave", false);
  const std::uint32_t staying = Logon("erin", false);
  HelperProcess first({{"PLATFORM_SESSION", std::to_string(ending)}});
  HelperProcess second({{"PLATFORM_SESSION", std::to_string(ending)}});
  HelperProcess other({{"PLATFORM_SESSION", std::to_string(staying)}});
  for (HelperProcess* helper : {&first, &second, &other}) {
    ASSERT_NE(helper->Command("session"), "no answer");
  }
  ASSERT_TRUE(WTSRegisterSessionNotification(5, NOTIFY_FOR_ALL_SESSIONS));
  ASSERT_EQ(control_->Logoff(ending).error, ERROR_SUCCESS);
  EXPECT_EQ(Delivered(2), (std::vector<std::string>{
                              "end-session " + std::to_string(ending) + " running 2",
                              Post(5, WTS_SESSION_LOGOFF, ending)}));
  // Their output ends with them.
  EXPECT_EQ(first.Answer(), "no answer");
  EXPECT_EQ(second.Answer(), "no answer");
  EXPECT_EQ(other.Command("session"), std::to_string(staying));
}

TEST_F(SessionManagerTest, LogonStartsTheStartupProgramsInTheNewSession) {
  const std::filesystem::path mark = PlatformRoot() / "started";
  ASSERT_EQ(mkfifo(mark.c_str(), 0600), 0);
  const detail::UniqueFd reader(open(mark.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(reader);
  ASSERT_TRUE(RegisterStartupProgram(
      {"/bin/sh", "-c", "echo $PLATFORM_SESSION > " + mark.string() + " && exec sleep 60"}));
  const std::uint32_t session = Logon("frank", true);
  pollfd ready{reader.Get(), POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 10000), 1);
  char written[16] = {};
  ASSERT_GT(read(reader.Get(), written, sizeof written - 1), 0);
  EXPECT_EQ(std::string(written), std::to_string(session) + "\n");
  // The program runs in the session, so the logoff at the end of the test ends it.
  std::size_t inSession = 0;
  const std::vector<WTS_PROCESS_INFO> processes = WTSEnumerateProcesses().value();
  for (const WTS_PROCESS_INFO& process : processes) {
    inSession += process.SessionId == session;
  }
  EXPECT_EQ(inSession, 1u);
}

// The manager with the windows layer's delivery, and a window in a process of a session.
TEST(SessionWindows, ChangesAndTheEndOfTheSessionReachTheWindowBeforeItsProcessEnds) {
  HelperProcess manager(SESSION_MANAGER_PROBE, {"--windows"});
  ASSERT_EQ(manager.Answer(), "ready");
  std::optional<SessionControl> control = SessionControl::Connect();
  ASSERT_TRUE(control);
  const SessionControl::Result logon = control->Logon("grace", false);
  ASSERT_EQ(logon.error, ERROR_SUCCESS);
  const std::string session = logon.value;
  const auto id = static_cast<std::uint32_t>(std::stoul(session));
  HelperProcess window(SESSION_WINDOW_HELPER, {}, {{"PLATFORM_SESSION", session}});
  ASSERT_EQ(window.Answer(), "ready");
  ASSERT_EQ(control->Lock(id).error, ERROR_SUCCESS);
  ASSERT_EQ(control->Unlock(id).error, ERROR_SUCCESS);
  ASSERT_EQ(control->Logoff(id).error, ERROR_SUCCESS);
  const std::string change = "message " + std::to_string(WM_WTSSESSION_CHANGE) + " ";
  const std::string end = " " + std::to_string(ENDSESSION_LOGOFF);
  EXPECT_EQ(window.Answer(), change + std::to_string(WTS_SESSION_LOCK) + " " + session);
  EXPECT_EQ(window.Answer(), change + std::to_string(WTS_SESSION_UNLOCK) + " " + session);
  EXPECT_EQ(window.Answer(), "message " + std::to_string(WM_QUERYENDSESSION) + " 0" + end);
  EXPECT_EQ(window.Answer(), "message " + std::to_string(WM_ENDSESSION) + " 1" + end);
  // The window's process was in the session: it has ended, so its output has.
  EXPECT_EQ(window.Answer(), "no answer");
  EXPECT_EQ(control->Shutdown().error, ERROR_SUCCESS);
  EXPECT_EQ(manager.Answer(), "no answer");
}

}  // namespace
}  // namespace platform
