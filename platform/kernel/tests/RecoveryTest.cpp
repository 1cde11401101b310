// The object table after deaths inside its lock: survivors keep their objects and no slot is lost.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/base/Text.h"
#include "platform/ipc/SharedSection.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Mutex.h"
#include "platform/kernel/ObjectTable.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"

namespace platform {
namespace {

using detail::DeathPoint;
using testing::HelperProcess;

enum class Reclaim { Not, First };

detail::TableCensus TakeCensus(Reclaim reclaim = Reclaim::Not) {
  detail::ObjectTable& table = *detail::ObjectTable::Instance();
  detail::ObjectTable::Lock lock(table);
  if (reclaim == Reclaim::First) {
    table.ReclaimDeadProcesses(lock);
  }
  return table.Census(lock);
}

std::uint32_t SectionFiles() {
  std::error_code ignored;
  std::uint32_t count = 0;
  for (std::filesystem::directory_iterator entry(PlatformRoot() / "sections", ignored), end;
       entry != end; entry.increment(ignored)) {
    ++count;
  }
  return count;
}

// The table holds exactly `objects` objects, each held by a live process, with a file for each
// section and its derived state in agreement with its records.
void ExpectWhole(std::uint32_t objects, Reclaim reclaim) {
  const detail::TableCensus census = TakeCensus(reclaim);
  EXPECT_TRUE(census.faults.empty()) << census.faults.front();
  EXPECT_EQ(census.recordsOfDeadProcesses, 0u);
  EXPECT_EQ(census.objects, objects);
  EXPECT_EQ(census.sections, SectionFiles());
}

std::u16string Named(const std::string& stem, int round) {
  return FromUtf8(stem + std::to_string(round));
}

// What the victim helper does to pass one death point: commands with their answers first, then
// the command that dies. Its objects are 0 "Shared", 1 "Bell", 2 "Lock", 3 "Data" (all held by
// the test too), 4 "Own" and 5 "OwnData" (its own).
struct Scenario {
  const char* name;
  std::vector<std::pair<std::string, std::string>> prepare;
  std::string dying;
  bool ringsBell = false;
};

Scenario ScenarioOf(DeathPoint point, const std::string& round) {
  switch (point) {
    case DeathPoint::None:
    case DeathPoint::Count:
      break;
    case DeathPoint::LockTaken:
      return {"LockTaken", {}, "event - auto reset"};
    case DeathPoint::CreateBeforeHandle:
      return {"CreateBeforeHandle", {}, "event Fresh" + round + " auto reset"};
    case DeathPoint::CreateAfterCallback:
      return {"CreateAfterCallback", {}, "section FreshData" + round + " 16"};
    case DeathPoint::RecordWrittenUnlinked:
      return {"RecordWrittenUnlinked", {}, "open-event Extra" + round};
    case DeathPoint::RecordLinkedUncounted:
      return {"RecordLinkedUncounted", {}, "open-event Extra" + round};
    case DeathPoint::RecordCountRaised:
      return {"RecordCountRaised", {}, "event Shared" + round + " auto reset"};
    case DeathPoint::CloseBetweenCounts:
      return {"CloseBetweenCounts", {{"event Shared" + round + " auto reset", "existed 6"}},
              "close 6"};
    case DeathPoint::DropUnlinked:
      return {"DropUnlinked", {}, "close 0"};
    case DeathPoint::DropCountLowered:
      return {"DropCountLowered", {}, "close 0"};
    case DeathPoint::DropRecordCleared:
      return {"DropRecordCleared", {}, "close 0"};
    case DeathPoint::FreeFileRemoved:
      return {"FreeFileRemoved", {}, "close 5"};
    case DeathPoint::FreeKindCleared:
      return {"FreeKindCleared", {}, "close 5"};
    case DeathPoint::WaiterHalfAdded:
      return {"WaiterHalfAdded", {}, "wait 0,4 1000"};
    case DeathPoint::WaiterHalfRemoved:
      // Long enough on the tests' fast clock that the wait sleeps, and so has a record to take off.
      return {"WaiterHalfRemoved", {}, "wait 0,4 5000"};
    case DeathPoint::MutexHalfTaken:
      return {"MutexHalfTaken", {}, "wait 2 0"};
    case DeathPoint::MutexHalfReleased:
      return {"MutexHalfReleased", {{"wait 2 0", "signalled 0"}}, "release 2"};
    case DeathPoint::EventSetUnwoken:
      return {"EventSetUnwoken", {}, "set 1", true};
    case DeathPoint::WakesUnsent:
      return {"WakesUnsent", {}, "set 1", true};
    case DeathPoint::RebuildRecordsDropped:
      // Opening a name whose holder has died reclaims that holder first.
      return {"RebuildRecordsDropped", {}, "event Shared" + round + " auto reset"};
    case DeathPoint::RebuildCounted:
      return {"RebuildCounted", {}, "event Shared" + round + " auto reset"};
  }
  return {};
}

// For each step: a helper that shares the test's objects and a departed helper's dies there,
// holding the table's lock. The test's objects and a bystander's sleeping wait go on, and what
// only the dead held is gone.
TEST(TableRecovery, ADeathAtEveryStepIsRecovered) {
  for (int round = 1; round < static_cast<int>(DeathPoint::Count); ++round) {
    const auto point = static_cast<DeathPoint>(round);
    const std::string number = std::to_string(round);
    const Scenario scenario = ScenarioOf(point, number);
    SCOPED_TRACE(scenario.name);

    const Event shared = Event::Create(EventReset::Auto, false, Named("Shared", round)).handle;
    const Event bell = Event::Create(EventReset::Auto, false, Named("Bell", round)).handle;
    const Mutex mutex = Mutex::Create(false, Named("Lock", round)).handle;
    const SharedSection data = SharedSection::Create(Named("Data", round), 16).handle;
    const Event extra = Event::Create(EventReset::Auto, false, Named("Extra", round)).handle;
    ASSERT_TRUE(shared && bell && mutex && data && extra);
    data.Bytes()[0] = std::byte{42};

    HelperProcess bystander;
    ASSERT_EQ(bystander.Command("event Shared" + number + " auto reset"), "existed 0");
    ASSERT_EQ(bystander.Command("event Bell" + number + " auto reset"), "existed 1");
    ASSERT_EQ(bystander.Command("event Watch" + number + " manual reset"), "new 2");
    bystander.Send("wait 1 inf");
    const std::uint32_t before = TakeCensus(Reclaim::First).objects;

    HelperProcess victim;
    ASSERT_EQ(victim.Command("event Shared" + number + " auto reset"), "existed 0");
    ASSERT_EQ(victim.Command("event Bell" + number + " auto reset"), "existed 1");
    ASSERT_EQ(victim.Command("mutex Lock" + number + " free"), "existed 2");
    ASSERT_EQ(victim.Command("section Data" + number + " 16"), "existed 3");
    ASSERT_EQ(victim.Command("event Own" + number + " auto reset"), "new 4");
    ASSERT_EQ(victim.Command("section OwnData" + number + " 16"), "new 5");
    for (const auto& [command, answer] : scenario.prepare) {
      ASSERT_EQ(victim.Command(command), answer);
    }
    {
      HelperProcess departed;
      ASSERT_EQ(departed.Command("event Shared" + number + " auto reset"), "existed 0");
      ASSERT_EQ(departed.Command("event Departed" + number + " auto reset"), "new 1");
    }
    ASSERT_EQ(victim.Command("die-at " + number), "armed");
    EXPECT_EQ(victim.Command(scenario.dying), "no answer");
    victim.Kill();

    // A bell that the victim rang reaches the bystander without the test's help.
    if (!scenario.ringsBell) {
      EXPECT_TRUE(bell.Set());
    }
    EXPECT_EQ(bystander.Answer(std::chrono::seconds(10)), "signalled 0");
    // Taking the lock after a death inside it has recovered the table, without further reclaim.
    ExpectWhole(before, Reclaim::Not);
    EXPECT_TRUE(shared.Set());
    EXPECT_TRUE(WaitForObject(shared.Ref(), Timeout(0)).Signalled(0));
    EXPECT_TRUE(Event::Open(Named("Shared", round)).handle);
    EXPECT_TRUE(Event::Open(Named("Extra", round)).handle);
    EXPECT_TRUE(WaitForObject(mutex.Ref(), Timeout(1000)).Signalled(0));
    EXPECT_TRUE(mutex.Release());
    const auto reopened = SharedSection::Open(Named("Data", round));
    ASSERT_TRUE(reopened.handle);
    EXPECT_EQ(reopened.handle.Bytes()[0], std::byte{42});
    for (const char* gone : {"Own", "Departed", "Fresh"}) {
      EXPECT_EQ(Event::Open(Named(gone, round)).error, ERROR_FILE_NOT_FOUND) << gone;
    }
    EXPECT_EQ(SharedSection::Open(Named("OwnData", round)).error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(bystander.Command("set 2"), "ok");
  }
}

std::int64_t Setting(const char* name, std::int64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::stoll(value) : fallback;
}

// Three processes busy creating, opening, setting, waiting on and closing objects, some of them the
// test's and a survivor's, are killed at random moments by a helper that forks them and then forks
// the next. The run is bounded for CI: it ends after PLATFORM_KILL_RUN_KILLS kills (3000) or PLATFORM_KILL_RUN_SECONDS of real time (25), whichever
// comes first. The long run raises both, e.g. (one line)
//   PLATFORM_KILL_RUN_KILLS=100000 PLATFORM_KILL_RUN_SECONDS=3600
//   build/default/platform/kernel/tests/platform_kernel_tests
//   --gtest_filter=TableRecovery.SurvivorsOutliveRandomKills
TEST(TableRecovery, SurvivorsOutliveRandomKills) {
  const std::int64_t kills = Setting("PLATFORM_KILL_RUN_KILLS", 3000);
  const std::int64_t seconds = Setting("PLATFORM_KILL_RUN_SECONDS", 25);

  const Event kept = Event::Create(EventReset::Auto, false, u"Kept").handle;
  const Mutex keptLock = Mutex::Create(false, u"KeptLock").handle;
  const SharedSection keptData = SharedSection::Create(u"KeptData", 16).handle;
  ASSERT_TRUE(kept && keptLock && keptData);
  keptData.Bytes()[0] = std::byte{7};
  HelperProcess survivor;
  ASSERT_EQ(survivor.Command("event Kept auto reset"), "existed 0");
  ASSERT_EQ(survivor.Command("mutex KeptLock free"), "existed 1");
  ASSERT_EQ(survivor.Command("section KeptData 16"), "existed 2");
  ASSERT_EQ(survivor.Command("event SurvivorOwn auto reset"), "new 3");
  ASSERT_EQ(survivor.Command("event Bell auto reset"), "new 4");
  survivor.Send("wait 4 inf");
  const std::uint32_t before = TakeCensus(Reclaim::First).objects;

  HelperProcess killer;
  const std::string answer =
      killer.Command("kill-run 3 " + std::to_string(kills) + " " + std::to_string(seconds) +
                         " 20261210",
                     std::chrono::seconds(seconds + 60));
  RecordProperty("kills", answer);
  std::cout << answer << "\n";
  ASSERT_TRUE(answer.ends_with(" kills")) << answer;

  // The processes killed outside the lock are reclaimed when the table next needs room; until
  // then their records are whole too.
  const detail::TableCensus unreclaimed = TakeCensus();
  EXPECT_TRUE(unreclaimed.faults.empty()) << unreclaimed.faults.front();
  ExpectWhole(before, Reclaim::First);
  EXPECT_TRUE(kept.Set());
  EXPECT_TRUE(Event::Open(u"Kept").handle);
  EXPECT_TRUE(Event::Create(EventReset::Auto, false, u"SurvivorOwn").alreadyExisted);
  EXPECT_TRUE(WaitForObject(keptLock.Ref(), Timeout(1000)).Signalled(0));
  EXPECT_TRUE(keptLock.Release());
  const auto reopened = SharedSection::Open(u"KeptData");
  ASSERT_TRUE(reopened.handle);
  EXPECT_EQ(reopened.handle.Bytes()[0], std::byte{7});
  EXPECT_TRUE(Event::Open(u"Bell").handle.Set());
  EXPECT_EQ(survivor.Answer(std::chrono::seconds(10)), "signalled 0");
  EXPECT_EQ(survivor.Command("set 3"), "ok");
  EXPECT_EQ(Event::Open(u"Churn0").error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Mutex::Open(u"ChurnLock").error, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace platform
