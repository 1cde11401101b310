// One process's queues: sending from another thread, retrieval with and without removal, the
// wait on objects and input, timers and the quit message.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/base/Process.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/tests/OpenDescriptors.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

// Records the messages of its windows; the thread that owns them only.
std::vector<MSG> g_received;

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
    if (create->lpCreateParams != nullptr) {
      *static_cast<HWND*>(create->lpCreateParams) = window;
    }
    return create->title == u"refuse" ? -1 : 0;
  }
  g_received.push_back({window, message, wParam, lParam, 0});
  return static_cast<LRESULT>(wParam * 2);
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass(u"QueueTestClass", RecordingProcedure);
    g_received.clear();
    window_ = CreateWindow(u"QueueTestClass", u"Queue", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(window_, 0u);
  }
  void TearDown() override {
    DestroyWindow(window_);
    MSG message;
    while (PeekMessage(message, 0, 0, 0, PM_REMOVE)) {
    }
  }

  HWND window_ = 0;
};

TEST_F(QueueTest, CreationHandlingRunsBeforeCreateWindowReturns) {
  HWND seenInCreate = 0;
  const HWND window = CreateWindow(u"QueueTestClass", u"Second", 0, window_, 12, &seenInCreate);
  EXPECT_EQ(seenInCreate, window);
  EXPECT_EQ(GetDlgCtrlID(window), 12);
  EXPECT_EQ(GetWindowText(window), u"Second");
  EXPECT_EQ(CreateWindow(u"QueueTestClass", u"refuse", 0), 0u) << "WM_CREATE answered -1";
  EXPECT_EQ(CreateWindow(u"NoSuchClass", u"", 0), 0u);
  EXPECT_EQ(LastWindowsError(), ERROR_CLASS_DOES_NOT_EXIST);
  EXPECT_FALSE(RegisterClass(u"QUEUETESTCLASS", RecordingProcedure)) << "the same class";
  const HWND upper = CreateWindow(u"queuetestclass", u"Upper", 0);
  EXPECT_EQ(GetClassName(upper), u"QueueTestClass") << "the name as registered";
  DestroyWindow(upper);

  g_received.clear();
  DestroyWindow(window_);
  EXPECT_FALSE(IsWindow(window)) << "the child goes with its parent";
  ASSERT_GE(g_received.size(), 2u);
  EXPECT_EQ(g_received[0].message, WM_DESTROY);
  EXPECT_EQ(g_received[0].hwnd, window_);
  EXPECT_EQ(g_received[1].hwnd, window);
}

TEST_F(QueueTest, PeekTakesOrLeavesMessagesInOrderAndDispatchesThem) {
  ASSERT_TRUE(PostMessage(window_, WM_APP, 1, 10));
  ASSERT_TRUE(PostMessage(window_, WM_APP + 1, 2, 20));
  MSG message;
  ASSERT_TRUE(PeekMessage(message, 0, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(message.message, WM_APP);
  ASSERT_TRUE(PeekMessage(message, 0, WM_APP + 1, WM_APP + 1, PM_REMOVE)) << "by range";
  EXPECT_EQ(message.lParam, 20);
  ASSERT_TRUE(PeekMessage(message, window_, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_APP);
  EXPECT_EQ(DispatchMessage(message), 2);
  EXPECT_FALSE(PeekMessage(message, 0, 0, 0, PM_REMOVE));
}

TEST_F(QueueTest, SendFromASecondThreadRunsOnTheOwnerWhileItRetrievesOrWaits) {
  struct Case {
    const char* name;
    bool waits;  // the owner serves within MsgWaitForMultipleObjects, not GetMessage
  };
  for (const Case& c : {Case{"retrieving", false}, Case{"waiting", true}}) {
    SCOPED_TRACE(c.name);
    g_received.clear();
    std::atomic<LRESULT> result{0};
    const std::uint32_t owner = CurrentThreadId();
    Thread sender = Thread::Start([&] {
      result = SendMessage(window_, WM_APP + 3, 21, 0);
      PostThreadMessage(owner, WM_APP + 4, 0, 0);
      return 0u;
    });
    if (c.waits) {
      EXPECT_EQ(MsgWaitForMultipleObjects({}, false, kInfinite, QS_ALLINPUT).index, 0u);
    } else {
      MSG message;
      ASSERT_EQ(GetMessage(message, 0, 0, 0), 1);
      EXPECT_EQ(message.message, WM_APP + 4u);
    }
    sender.Join();
    EXPECT_EQ(result, 42);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, WM_APP + 3u);
    MSG rest;
    while (PeekMessage(rest, 0, 0, 0, PM_REMOVE)) {
    }
  }
}

// Answers WM_APP + 5 by sending WM_APP + 6 to the window in wParam, whose answer is 41.
LRESULT SendingBackProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 5) {
    return SendMessage(static_cast<HWND>(wParam), WM_APP + 6, 0, 0) + 1;
  }
  return message == WM_APP + 6 ? 41 : DefWindowProc(window, message, wParam, lParam);
}

// Two threads that send to each other at once: each, blocked in its own send, serves the other's.
TEST_F(QueueTest, ThreadsSendingToEachOtherServeEachOthersMessages) {
  RegisterClass(u"SendingBackClass", SendingBackProcedure);
  const HWND here = CreateWindow(u"SendingBackClass", u"", 0);
  ASSERT_NE(here, 0u);
  const Event ready = Event::Create(EventReset::Manual, false).handle;
  const Event finished = Event::Create(EventReset::Manual, false).handle;
  std::atomic<HWND> there{0};
  std::atomic<LRESULT> theirResult{0};
  Thread other = Thread::Start([&] {
    there = CreateWindow(u"SendingBackClass", u"", 0);
    ready.Set();
    theirResult = SendMessage(here, WM_APP + 5, there, 0);
    const ObjectRef done = finished.Ref();
    while (!MsgWaitForMultipleObjects(std::span(&done, 1), false, kInfinite, QS_ALLINPUT)
                .Signalled(0)) {
    }
    DestroyWindow(there);
    return 0u;
  });
  ASSERT_TRUE(WaitForObject(ready.Ref(), kInfinite).Signalled(0));
  EXPECT_EQ(SendMessage(there, WM_APP + 5, here, 0), 42);
  finished.Set();
  other.Join();
  EXPECT_EQ(theirResult, 42);
  DestroyWindow(here);
}

// A thread's end takes its windows with it: they are gone for everyone, what the process kept
// with them is released, and a send to them returns.
TEST_F(QueueTest, AThreadsWindowsGoWhenItEnds) {
  std::atomic<HWND> window{0};
  std::atomic<std::uint32_t> ownerThread{0};
  auto kept = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = kept;
  const Event ready = Event::Create(EventReset::Manual, false).handle;
  const Event leave = Event::Create(EventReset::Manual, false).handle;
  Thread owner = Thread::Start([&] {
    window = CreateWindow(u"QueueTestClass", u"Passing", 0);
    ownerThread = CurrentThreadId();
    AttachToWindow(window, std::move(kept));
    ready.Set();
    WaitForObject(leave.Ref(), kInfinite);
    return 0u;
  });
  ASSERT_TRUE(WaitForObject(ready.Ref(), kInfinite).Signalled(0));
  ASSERT_TRUE(IsWindow(window));
  std::uint32_t process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(window, &process), ownerThread.load());
  EXPECT_EQ(process, CurrentProcessId());
  std::atomic<LRESULT> sent{-1};
  Thread sender = Thread::Start([&] {
    sent = SendMessage(window, WM_APP, 5, 0);
    return 0u;
  });
  leave.Set();
  owner.Join();
  sender.Join();
  EXPECT_EQ(sent, 0) << "the owner ended without serving it";
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(GetWindowThreadProcessId(window, &process), 0u);
  EXPECT_EQ(process, 0u);
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(PostMessage(window, WM_APP, 0, 0));
}

// A process posts to many threads over its life (a server's windows, each session's): what it
// keeps for a thread that has ended must go, not pile up one descriptor a thread.
TEST_F(QueueTest, APosterKeepsNothingOpenForTheQueuesOfThreadsThatHaveEnded) {
  // A thread with a queue that takes one posted message and ends.
  const auto postToAThreadThatEnds = [] {
    std::atomic<std::uint32_t> thread{0};
    const Event ready = Event::Create(EventReset::Manual, false).handle;
    Thread owner = Thread::Start([&] {
      MSG message;
      PeekMessage(message, 0, 0, 0, PM_NOREMOVE);
      thread = CurrentThreadId();
      ready.Set();
      GetMessage(message, 0, 0, 0);
      return 0u;
    });
    EXPECT_TRUE(WaitForObject(ready.Ref(), kInfinite).Signalled(0));
    EXPECT_TRUE(PostThreadMessage(thread, WM_APP, 0, 0));
    owner.Join();
  };
  postToAThreadThatEnds();
  const int afterOne = testing::OpenDescriptorCount();
  for (int round = 0; round < 4; ++round) {
    postToAThreadThatEnds();
  }
  EXPECT_EQ(testing::OpenDescriptorCount(), afterOne);
}

TEST_F(QueueTest, TheWaitReturnsForNewInputAndForObjectsInIndexOrder) {
  const Event first = Event::Create(EventReset::Manual, false).handle;
  const Event second = Event::Create(EventReset::Manual, false).handle;
  const std::vector<ObjectRef> objects{first.Ref(), second.Ref()};

  EXPECT_EQ(MsgWaitForMultipleObjects(objects, false, Timeout(20), QS_ALLINPUT).status,
            WaitStatus::TimedOut);
  second.Set();
  first.Set();
  EXPECT_TRUE(MsgWaitForMultipleObjects(objects, false, Timeout(0), QS_ALLINPUT).Signalled(0));
  first.Reset();
  EXPECT_TRUE(MsgWaitForMultipleObjects(objects, false, Timeout(0), QS_ALLINPUT).Signalled(1));
  second.Reset();

  ASSERT_TRUE(PostMessage(window_, WM_APP, 0, 0));
  EXPECT_TRUE(MsgWaitForMultipleObjects(objects, false, kInfinite, QS_ALLINPUT).Signalled(2));
  MSG message;
  ASSERT_TRUE(PeekMessage(message, 0, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(MsgWaitForMultipleObjects(objects, false, Timeout(20), QS_ALLINPUT).status,
            WaitStatus::TimedOut)
      << "input the thread has looked at is not new";
  EXPECT_EQ(MsgWaitForMultipleObjects(objects, true, Timeout(0), QS_ALLINPUT).error,
            ERROR_INVALID_PARAMETER);
}

TEST_F(QueueTest, TimersFireUntilKilledAndWakeTheWait) {
  ASSERT_EQ(SetTimer(window_, 7, 50), 7u);
  EXPECT_TRUE(MsgWaitForMultipleObjects({}, false, kInfinite, QS_ALLINPUT).Signalled(0));
  MSG message;
  for (int tick = 0; tick < 2; ++tick) {
    ASSERT_EQ(GetMessage(message, 0, 0, 0), 1);
    EXPECT_EQ(message.message, WM_TIMER);
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(message.hwnd, window_);
  }
  EXPECT_TRUE(KillTimer(window_, 7));
  EXPECT_FALSE(KillTimer(window_, 7));
  EXPECT_EQ(MsgWaitForMultipleObjects({}, false, Timeout(200), QS_ALLINPUT).status,
            WaitStatus::TimedOut);
}

TEST_F(QueueTest, TheQuitMessageComesAfterTheQueuedMessages) {
  ASSERT_TRUE(PostMessage(window_, WM_APP, 0, 0));
  PostQuitMessage(3);
  MSG message;
  ASSERT_EQ(GetMessage(message, 0, 0, 0), 1);
  EXPECT_EQ(message.message, WM_APP);
  EXPECT_EQ(GetMessage(message, 0, 0, 0), 0);
  EXPECT_EQ(message.message, WM_QUIT);
  EXPECT_EQ(message.wParam, 3u);
  EXPECT_FALSE(PeekMessage(message, 0, 0, 0, PM_REMOVE));
}

TEST_F(QueueTest, MessagesOfADestroyedWindowAreDropped) {
  const HWND window = CreateWindow(u"QueueTestClass", u"Short", 0);
  ASSERT_TRUE(PostMessage(window, WM_APP, 0, 0));
  ASSERT_TRUE(SetTimer(window, 1, 1));
  MSG message;
  ASSERT_TRUE(PeekMessage(message, 0, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(PeekMessage(message, 0, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PostMessage(window, WM_APP, 0, 0));
  EXPECT_FALSE(DestroyWindow(window));
}

}  // namespace
}  // namespace platform
