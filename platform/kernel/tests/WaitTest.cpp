#include "platform/kernel/Wait.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/base/Time.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/MessageInput.h"
#include "platform/kernel/Thread.h"

namespace platform {
namespace {

Event NewEvent(EventReset reset = EventReset::Auto) { return Event::Create(reset, false).handle; }

TEST(Wait, TimesOutOnTheLayersClock) {
  const Event never = NewEvent();
  const std::uint32_t start = TickCount();
  const WaitResult result = WaitForObject(never.Ref(), Timeout(60000));
  const std::uint32_t elapsed = TickCount() - start;
  EXPECT_EQ(result.status, WaitStatus::TimedOut);
  EXPECT_GE(elapsed, 59000u);
  EXPECT_EQ(WaitForObject(never.Ref(), Timeout(0)).status, WaitStatus::TimedOut);
}

TEST(Wait, FailsAtOnceOnNullClosedOrTooManyObjects) {
  Event first = NewEvent();
  Event closed = NewEvent();
  const ObjectRef stale = closed.Ref();
  closed.Close();
  ASSERT_TRUE(first.Set());

  const std::array<ObjectRef, 2> withNull{ObjectRef{}, first.Ref()};
  const WaitResult nullResult = WaitForObjects(withNull, kInfinite);
  EXPECT_EQ(nullResult.status, WaitStatus::Failed);
  EXPECT_EQ(nullResult.error, ERROR_INVALID_HANDLE);

  const std::array<ObjectRef, 1> withClosed{stale};
  EXPECT_EQ(WaitForObjects(withClosed, kInfinite).status, WaitStatus::Failed);

  const std::vector<ObjectRef> tooMany(kMaxWaitObjects + 1, first.Ref());
  const WaitResult tooManyResult = WaitForObjects(tooMany, kInfinite);
  EXPECT_EQ(tooManyResult.status, WaitStatus::Failed);
  EXPECT_EQ(tooManyResult.error, ERROR_INVALID_PARAMETER);

  // The failures consumed nothing.
  EXPECT_TRUE(WaitForObject(first.Ref(), Timeout(0)).Signalled(0));
}

TEST(Wait, FailsWhenTheObjectDiesDuringTheWait) {
  Event event = NewEvent();
  const ObjectRef reference = event.Ref();
  Thread closer = Thread::Start([&event] {
    Sleep(Timeout(200));
    event.Close();
    return 0u;
  });
  EXPECT_EQ(WaitForObject(reference, kInfinite).status, WaitStatus::Failed);
  EXPECT_TRUE(closer.Join());
}

TEST(Wait, SixtyFourObjectsAndTheLastOneWins) {
  std::vector<Event> events;
  std::vector<ObjectRef> references;
  for (std::size_t index = 0; index < kMaxWaitObjects; ++index) {
    events.push_back(NewEvent());
    references.push_back(events.back().Ref());
  }
  ASSERT_TRUE(events.back().Set());
  EXPECT_TRUE(WaitForObjects(references, kInfinite).Signalled(kMaxWaitObjects - 1));
}

TEST(Wait, WakesWhenAnotherThreadSets) {
  const Event wake = NewEvent();
  const Event other = NewEvent();
  Thread setter = Thread::Start([&wake] {
    Sleep(Timeout(100));
    wake.Set();
    return 0u;
  });
  const std::array<ObjectRef, 2> objects{other.Ref(), wake.Ref()};
  EXPECT_TRUE(WaitForObjects(objects, kInfinite).Signalled(1));
  EXPECT_TRUE(setter.Join());
}

TEST(MessageInput, WakesTheWaitAfterTheObjectsAndStaysUntilConsumed) {
  const MessageInput& input = MessageInput::ForThisThread();
  ASSERT_FALSE(input.Ref().IsNull());
  const Event event = NewEvent();
  const std::array<ObjectRef, 1> objects{event.Ref()};

  EXPECT_EQ(WaitForObjectsOrInput(objects, Timeout(0)).status, WaitStatus::TimedOut);

  // Input that another thread posts wakes this thread's wait.
  Thread poster = Thread::Start([&input] {
    Sleep(Timeout(100));
    return input.Set() ? 0u : 1u;
  });
  EXPECT_TRUE(WaitForObjectsOrInput(objects, kInfinite).Signalled(1));
  EXPECT_TRUE(poster.Join());
  EXPECT_EQ(poster.ExitCode(), 0u);

  // It stays set until consumed, and the objects come first.
  EXPECT_TRUE(WaitForObjectsOrInput(objects, kInfinite).Signalled(1));
  ASSERT_TRUE(event.Set());
  EXPECT_TRUE(WaitForObjectsOrInput(objects, kInfinite).Signalled(0));
  ASSERT_TRUE(input.Consume());
  EXPECT_EQ(WaitForObjectsOrInput(objects, Timeout(10)).status, WaitStatus::TimedOut);
}

TEST(MessageInput, EachThreadHasItsOwn) {
  const ObjectRef mine = MessageInput::ForThisThread().Ref();
  ObjectRef theirs;
  Thread other = Thread::Start([&theirs] {
    const MessageInput& input = MessageInput::ForThisThread();
    theirs = input.Ref();
    input.Set();
    return WaitForObjectsOrInput({}, kInfinite).Signalled(0) ? 0u : 1u;
  });
  EXPECT_TRUE(other.Join());
  EXPECT_EQ(other.ExitCode(), 0u);
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(WaitForObjectsOrInput({}, Timeout(0)).status, WaitStatus::TimedOut);
  // The other thread's input died with it.
  EXPECT_EQ(WaitForObject(theirs, Timeout(0)).status, WaitStatus::Failed);
}

TEST(Sleep, RunsOnTheLayersClock) {
  const std::uint32_t start = TickCount();
  Sleep(Timeout(5000));
  EXPECT_GE(TickCount() - start, 4900u);
  Sleep(Timeout(0));
}

}  // namespace
}  // namespace platform
