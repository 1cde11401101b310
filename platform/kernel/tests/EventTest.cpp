#include "platform/kernel/Event.h"

#include <gtest/gtest.h>

#include "platform/kernel/Mutex.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using testing::HelperProcess;

TEST(Event, CreateOrOpenAcrossProcessesAndSessions) {
  // The test process runs in session 0 (PLATFORM_SESSION unset).
  auto mine = Event::Create(EventReset::Auto, false, u"RemoteButtonUp");
  auto global = Event::Create(EventReset::Auto, false, u"Global\\WMPAlbumDeletedEvent");
  ASSERT_TRUE(mine.handle);
  EXPECT_FALSE(mine.alreadyExisted);
  ASSERT_TRUE(global.handle);
  EXPECT_FALSE(global.alreadyExisted);

  HelperProcess sameSession(testing::Environment{{"PLATFORM_SESSION", "0"}});
  HelperProcess otherSession(testing::Environment{{"PLATFORM_SESSION", "1"}});
  struct Case {
    HelperProcess& helper;
    const char* command;
    const char* answer;
  };
  const Case cases[] = {
      {sameSession, "event RemoteButtonUp auto reset", "existed 0"},
      {sameSession, "event Local\\RemoteButtonUp auto reset", "existed 1"},
      {sameSession, "event Global\\RemoteButtonUp auto reset", "new 2"},
      {sameSession, "event Global\\WMPAlbumDeletedEvent auto reset", "existed 3"},
      {otherSession, "session", "1"},
      {otherSession, "event RemoteButtonUp auto reset", "new 0"},
      {otherSession, "event Global\\WMPAlbumDeletedEvent auto reset", "existed 1"},
      {otherSession, "open-event RemoteButtonDown", "error 2"},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(testCase.helper.Command(testCase.command), testCase.answer) << testCase.command;
  }

  // The session-1 event is another object: setting it leaves ours unset.
  EXPECT_EQ(otherSession.Command("set 0"), "ok");
  EXPECT_EQ(WaitForObject(mine.handle.Ref(), Timeout(0)).status, WaitStatus::TimedOut);
  EXPECT_EQ(otherSession.Command("set 1"), "ok");
  EXPECT_TRUE(WaitForObject(global.handle.Ref(), Timeout(0)).Signalled(0));
}

TEST(Event, OpenOnlyNeedsAnExistingEventOfThatKind) {
  const auto missing = Event::Open(u"Missing");
  EXPECT_FALSE(missing.handle);
  EXPECT_EQ(missing.error, ERROR_FILE_NOT_FOUND);

  const auto mutex = Mutex::Create(false, u"LOCAL_WMP_TRAY_IN_USE1");
  ASSERT_TRUE(mutex.handle);
  const auto clash = Event::Create(EventReset::Auto, false, u"LOCAL_WMP_TRAY_IN_USE1");
  EXPECT_FALSE(clash.handle);
  EXPECT_EQ(clash.error, ERROR_INVALID_HANDLE);

  const auto created = Event::Create(EventReset::Manual, true, u"Present");
  const auto opened = Event::Open(u"Present");
  ASSERT_TRUE(opened.handle);
  EXPECT_TRUE(opened.alreadyExisted);
  EXPECT_TRUE(WaitForObject(opened.handle.Ref(), Timeout(0)).Signalled(0));
}

TEST(Event, BadNamesAreRefused) {
  const struct {
    std::u16string name;
    std::uint32_t error;
  } cases[] = {
      {u"Global\\", ERROR_INVALID_NAME},
      {u"Local\\", ERROR_INVALID_NAME},
      {u"Folder\\Name", ERROR_INVALID_NAME},
      {std::u16string(u"Nul\0Inside", 10), ERROR_INVALID_NAME},
      {std::u16string(256, u'x'), ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& testCase : cases) {
    const auto result = Event::Create(EventReset::Auto, false, testCase.name);
    EXPECT_FALSE(result.handle);
    EXPECT_EQ(result.error, testCase.error);
  }
  EXPECT_TRUE(Event::Create(EventReset::Auto, false, std::u16string(255, u'x')).handle);
}

TEST(Event, NullEventIgnoresEverything) {
  Event none;
  EXPECT_FALSE(none.Set());
  EXPECT_FALSE(none.Reset());
  none.Close();
  EXPECT_FALSE(none);
}

// An event of this process that two helper processes have opened and wait on.
class TwoWaiters : public ::testing::Test {
 protected:
  void Start(EventReset reset, const std::string& waitTimeout) {
    event_ = Event::Create(reset, false, u"Global\\Waited").handle;
    ASSERT_TRUE(event_);
    const std::string kind = reset == EventReset::Auto ? "auto" : "manual";
    for (HelperProcess* helper : {&first_, &second_}) {
      ASSERT_EQ(helper->Command("event Global\\Waited " + kind + " reset"), "existed 0");
      helper->Send("wait 0 " + waitTimeout);
    }
  }

  Event event_;
  HelperProcess first_;
  HelperProcess second_;
};

TEST_F(TwoWaiters, AutoResetIsConsumedByExactlyOne) {
  Start(EventReset::Auto, "60000");
  ASSERT_TRUE(event_.Set());
  const std::string answers = first_.Answer() + "|" + second_.Answer();
  EXPECT_TRUE(answers == "signalled 0|timeout" || answers == "timeout|signalled 0") << answers;
}

TEST_F(TwoWaiters, ManualResetWakesBothUntilReset) {
  Start(EventReset::Manual, "inf");
  ASSERT_TRUE(event_.Set());
  EXPECT_EQ(first_.Answer(), "signalled 0");
  EXPECT_EQ(second_.Answer(), "signalled 0");
  EXPECT_EQ(first_.Command("wait 0 0"), "signalled 0");
  ASSERT_TRUE(event_.Reset());
  EXPECT_EQ(second_.Command("wait 0 1000"), "timeout");
}

TEST(Event, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
  HelperProcess waiter;
  for (const char* name : {"Zero", "One", "Two", "Three"}) {
    ASSERT_NE(waiter.Command(std::string("event ") + name + " auto reset").find("new"),
              std::string::npos);
  }
  auto two = Event::Open(u"Two");
  auto one = Event::Open(u"One");
  ASSERT_TRUE(two.handle.Set());
  ASSERT_TRUE(one.handle.Set());
  EXPECT_EQ(waiter.Command("wait 0,1,2,3 inf"), "signalled 1");
  EXPECT_EQ(waiter.Command("wait 0,1,2,3 inf"), "signalled 2");
  EXPECT_EQ(waiter.Command("wait 0,1,2,3 100"), "timeout");
}

}  // namespace
}  // namespace platform
