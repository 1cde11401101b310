#include "platform/kernel/Thread.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <latch>
#include <optional>
#include <thread>
#include <vector>

#include "platform/base/Module.h"
#include "platform/base/Process.h"
#include "platform/kernel/CriticalSection.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/Posix.h"

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

// Takes every free waiter record of the table for its lifetime, as that many sleeping waits would.
class FullWaiterTable {
 public:
  FullWaiterTable() {
    detail::ObjectTable::Lock lock(table_);
    while (const std::optional<std::uint32_t> record = table_.AddWaiter(lock, {})) {
      records_.push_back(*record);
    }
  }
  FullWaiterTable(const FullWaiterTable&) = delete;
  FullWaiterTable& operator=(const FullWaiterTable&) = delete;
  ~FullWaiterTable() {
    detail::ObjectTable::Lock lock(table_);
    for (const std::uint32_t record : records_) {
      table_.RemoveWaiter(lock, record);
    }
  }

 private:
  detail::ObjectTable& table_ = *detail::ObjectTable::Instance();
  std::vector<std::uint32_t> records_;
};

TEST(Thread, JoinsWhileEveryWaiterRecordIsTaken) {
  const Event never = Event::Create(EventReset::Auto, false).handle;
  const Event set = Event::Create(EventReset::Manual, true).handle;
  std::latch release(1);
  Thread joined = Thread::Start([&release] {
    release.wait();
    return 5u;
  });
  std::optional<Thread> unjoined = Thread::Start([&release] {
    release.wait();
    return 0u;
  });
  const FullWaiterTable full;

  // A wait that would sleep fails so that its caller can retry; one that need not sleep works.
  const WaitResult starved = WaitForObject(never.Ref(), Timeout(50));
  EXPECT_EQ(starved.status, WaitStatus::Failed);
  EXPECT_EQ(starved.error, ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(WaitForObject(ObjectRef{}, Timeout(50)).error, ERROR_INVALID_HANDLE);
  EXPECT_TRUE(WaitForObject(set.Ref(), Timeout(50)).Signalled(0));

  EXPECT_FALSE(joined.Join(Timeout(20)));
  EXPECT_TRUE(joined.Joinable());
  release.count_down();
  EXPECT_TRUE(joined.Join());
  EXPECT_EQ(joined.ExitCode(), 5u);
  // The destructor joins too, and does not end the process.
  unjoined.reset();
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

// Whether the library is mapped into this process now.
bool ProbeLoaded() {
  void* const library = ::dlopen(THREAD_LIBRARY_PROBE, RTLD_NOW | RTLD_NOLOAD);
  if (library != nullptr) {
    ::dlclose(library);
  }
  return library != nullptr;
}

TEST(Thread, ALibrarysThreadHandedOverKeepsItsLibraryUntilItHasEndedAndThenFreesIt) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const detail::UniqueFd writing(ends[1]);
  Module library = Module::Load(THREAD_LIBRARY_PROBE);
  ASSERT_TRUE(library);
  const auto procedure = library.Find<Thread::Procedure>("ProbeReadsOneByte");
  ASSERT_NE(procedure, nullptr);
  // The thread closes the reading end once it has read.
  Thread thread = Thread::Start(procedure, reinterpret_cast<void*>(std::intptr_t{ends[0]}));
  ASSERT_TRUE(thread.Joinable());
  FreeLibraryOnceEnded(std::move(thread), std::move(library));

  // Its code still runs, waiting for the byte: the library stays.
  EXPECT_TRUE(ProbeLoaded());
  ASSERT_EQ(write(writing.Get(), "x", 1), 1);
  const auto by = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ProbeLoaded() && std::chrono::steady_clock::now() < by) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(ProbeLoaded());
}

}  // namespace
}  // namespace platform
