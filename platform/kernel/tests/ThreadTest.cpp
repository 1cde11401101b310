#include "platform/kernel/Thread.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>

#include "platform/base/Process.h"
#include "platform/kernel/CriticalSection.h"
#include "platform/kernel/Mutex.h"

namespace platform {
namespace {

std::uint32_t WaitForGo(void* argument) {
  const auto* go = static_cast<const Event*>(argument);
  return WaitForObject(go->Ref(), kInfinite).Signalled(0) ? CurrentThreadId() : 0u;
}

TEST(Thread, ExitWakesAWaitAndJoinTakesATimeOut) {
  const Event go = Event::Create(EventReset::Auto, false).handle;
  const Event other = Event::Create(EventReset::Auto, false).handle;
  Thread thread = Thread::Start(&WaitForGo, const_cast<Event*>(&go));
  ASSERT_TRUE(thread.Joinable());
  EXPECT_NE(thread.Id(), 0u);
  EXPECT_NE(thread.Id(), CurrentThreadId());

  EXPECT_FALSE(thread.Join(Timeout(50)));
  EXPECT_FALSE(thread.ExitCode());
  const std::array<ObjectRef, 2> objects{other.Ref(), thread.ExitRef()};
  EXPECT_EQ(WaitForObjects(objects, Timeout(50)).status, WaitStatus::TimedOut);

  ASSERT_TRUE(go.Set());
  EXPECT_TRUE(WaitForObjects(objects, kInfinite).Signalled(1));
  // A thread's exit stays signalled for every later wait.
  EXPECT_TRUE(WaitForObjects(objects, kInfinite).Signalled(1));
  EXPECT_EQ(thread.ExitCode(), thread.Id());
  EXPECT_TRUE(thread.Join(Timeout(0)));
  EXPECT_FALSE(thread.Joinable());
}

TEST(Thread, DestructorJoinsAThreadThatWasNotJoined) {
  std::atomic<bool> ran{false};
  {
    Thread thread = Thread::Start([&ran] {
      Sleep(Timeout(100));
      ran = true;
      return 0u;
    });
  }
  EXPECT_TRUE(ran);
}

TEST(CriticalSection, OwnerReentersWhileOthersWait) {
  CriticalSection section;
  std::atomic<bool> otherGotIn{false};
  section.Enter();
  {
    const CriticalSectionLock again(section);
    Thread other = Thread::Start([&] {
      const bool entered = section.TryEnter();
      if (entered) {
        section.Leave();
      }
      otherGotIn = entered;
      return 0u;
    });
    EXPECT_TRUE(other.Join());
    EXPECT_FALSE(otherGotIn);
  }
  section.Leave();
  Thread after = Thread::Start([&] {
    const CriticalSectionLock lock(section);
    otherGotIn = true;
    return 0u;
  });
  EXPECT_TRUE(after.Join());
  EXPECT_TRUE(otherGotIn);
}

TEST(Mutex, OwnerTakesItAgainOthersWaitForTheLastRelease) {
  const auto created = Mutex::Create(true, u"Counted");
  ASSERT_TRUE(created.handle);
  const Mutex& mutex = created.handle;
  EXPECT_TRUE(WaitForObject(mutex.Ref(), Timeout(0)).Signalled(0));

  const ObjectRef reference = mutex.Ref();
  const auto tryTake = [reference](Timeout timeout) {
    Thread other = Thread::Start([reference, timeout] {
      const WaitResult result = WaitForObject(reference, timeout);
      if (result.status != WaitStatus::Signalled) {
        return 0u;
      }
      const auto opened = Mutex::Open(u"Counted");
      return opened.handle.Release() ? 1u : 2u;
    });
    other.Join();
    return other.ExitCode().value_or(3u);
  };
  EXPECT_EQ(tryTake(Timeout(20)), 0u);
  EXPECT_TRUE(mutex.Release());
  EXPECT_EQ(tryTake(Timeout(20)), 0u);
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(mutex.Release());
  EXPECT_EQ(tryTake(kInfinite), 1u);
}

}  // namespace
}  // namespace platform
