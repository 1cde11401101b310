// How long objects live: while any process holds a handle, and not past the death of a process.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include "platform/kernel/Event.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using testing::HelperProcess;

TEST(Lifetime, ObjectDiesWithItsLastHandleInAnyProcess) {
  auto first =
      Event::Create(EventReset::Auto, false, u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE1");
  ASSERT_TRUE(first.handle);
  HelperProcess other;
  ASSERT_EQ(other.Command("event Global\\WTS_LOGON_INITIALIZATION_COMPLETE1 auto reset"),
            "existed 0");
  first.handle.Close();
  EXPECT_TRUE(Event::Create(EventReset::Auto, false, u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE1")
                  .alreadyExisted);
  ASSERT_EQ(other.Command("close 0"), "ok");
  EXPECT_FALSE(Event::Create(EventReset::Auto, false, u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE1")
                   .alreadyExisted);
}

TEST(Lifetime, HandlesOfAKilledProcessAreReleased) {
  HelperProcess crashing;
  ASSERT_EQ(crashing.Command("event Global\\Crashed auto reset"), "new 0");
  ASSERT_EQ(crashing.Command("mutex LOCAL_WMP_TRAY_IN_USE1 owned"), "new 1");
  {
    // A second tray of the session sees the first one's mutex, which it cannot take.
    const auto second = Mutex::Create(false, u"LOCAL_WMP_TRAY_IN_USE1");
    ASSERT_TRUE(second.handle);
    EXPECT_TRUE(second.alreadyExisted);
    EXPECT_EQ(WaitForObject(second.handle.Ref(), Timeout(100)).status, WaitStatus::TimedOut);
  }
  crashing.Kill();

  const auto event = Event::Create(EventReset::Auto, false, u"Global\\Crashed");
  ASSERT_TRUE(event.handle);
  EXPECT_FALSE(event.alreadyExisted);
  const auto mutex = Mutex::Create(false, u"LOCAL_WMP_TRAY_IN_USE1");
  ASSERT_TRUE(mutex.handle);
  EXPECT_FALSE(mutex.alreadyExisted);
}

TEST(Lifetime, AMutexOfAProcessKilledDuringTheWaitIsTaken) {
  HelperProcess holder;
  ASSERT_EQ(holder.Command("mutex Held owned"), "new 0");
  const auto mutex = Mutex::Open(u"Held");
  ASSERT_TRUE(mutex.handle);
  EXPECT_EQ(WaitForObject(mutex.handle.Ref(), Timeout(100)).status, WaitStatus::TimedOut);
  const ObjectRef reference = mutex.handle.Ref();
  Thread waiter = Thread::Start(
      [reference] { return WaitForObject(reference, kInfinite).Signalled(0) ? 1u : 0u; });
  Sleep(Timeout(100));
  holder.Kill();
  EXPECT_TRUE(waiter.Join());
  EXPECT_EQ(waiter.ExitCode(), 1u);
}

TEST(Lifetime, AWaiterKilledInsideItsWaitHoldsNobodyUp) {
  const auto event = Event::Create(EventReset::Auto, false, u"Global\\Watched");
  ASSERT_TRUE(event.handle);
  HelperProcess killed;
  HelperProcess survivor;
  ASSERT_EQ(killed.Command("event Global\\Watched auto reset"), "existed 0");
  ASSERT_EQ(survivor.Command("event Global\\Watched auto reset"), "existed 0");
  killed.Send("wait 0 inf");
  Sleep(Timeout(500));
  killed.Kill();
  survivor.Send("wait 0 inf");
  ASSERT_TRUE(event.handle.Set());
  EXPECT_EQ(survivor.Answer(), "signalled 0");
}

TEST(Lifetime, AProcessKilledWhileItHoldsTheTableHandsItOn) {
  HelperProcess holder;
  ASSERT_EQ(holder.Command("event Global\\Before auto reset"), "new 0");
  // Anything that touches the table waits while the helper holds it, so the thread is made first
  // and held back by a latch of this process.
  std::latch held(1);
  Thread creator = Thread::Start([&held] {
    held.wait();
    return Event::Create(EventReset::Auto, false, u"Global\\Before").alreadyExisted ? 1u : 0u;
  });
  const std::string answer = holder.Command("hold-table");
  held.count_down();
  ASSERT_EQ(answer, "holding");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  holder.Kill();
  EXPECT_TRUE(creator.Join());
  // The killed holder's event went with it.
  EXPECT_EQ(creator.ExitCode(), 0u);
}

TEST(Lifetime, ProcessIdentityMindsReusedIds) {
  const detail::ProcessIdentity self = detail::ThisProcess();
  EXPECT_TRUE(detail::IsAlive(self));
  EXPECT_FALSE(detail::IsAlive({self.pid, self.startTime + 1}));
  EXPECT_FALSE(detail::IsAlive({}));

  const pid_t child = fork();
  if (child == 0) {
    _exit(0);
  }
  ASSERT_GT(child, 0);
  // A child that has ended but is not yet reaped still has /proc entries: it counts as dead.
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(detail::IsAlive({child, 0}));
  waitpid(child, nullptr, 0);
}

TEST(Lifetime, AFullTableSaysSoAndRecovers) {
  std::vector<Event> events;
  HandleResult<Event> last;
  for (std::uint32_t count = 0; count <= detail::kObjectCapacity; ++count) {
    last = Event::Create(EventReset::Auto, false);
    if (!last.handle) {
      break;
    }
    events.push_back(std::move(last.handle));
  }
  EXPECT_FALSE(last.handle);
  EXPECT_EQ(last.error, ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_LE(events.size(), detail::kObjectCapacity);
  events.pop_back();
  EXPECT_TRUE(Event::Create(EventReset::Auto, false).handle);
}

}  // namespace
}  // namespace platform
