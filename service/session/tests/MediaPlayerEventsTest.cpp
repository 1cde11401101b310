#include "service/session/MediaPlayerEvents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Counts the records alive, to show who deletes them.
class CountedRecord final : public CMediaPlayerEventData {
 public:
  CountedRecord(std::int32_t p_nId, std::atomic<int>& p_Alive)
      : CMediaPlayerEventData(p_nId), m_Alive(p_Alive) {
    ++m_Alive;
  }
  ~CountedRecord() override { --m_Alive; }

 private:
  std::atomic<int>& m_Alive;
};

class EventQueue : public ::testing::Test {
 protected:
  void SetUp() override { PurgeMediaPlayerEvents(); }
  void TearDown() override { PurgeMediaPlayerEvents(); }
};

// Only VARIANT_TRUE reads as true; 1, the C++ true, is another value.
TEST(ModeChangeRecord, TrueExactlyForVariantTrue) {
  const std::vector<std::pair<VARIANT_BOOL, bool>> l_Cases = {
      {VARIANT_TRUE, true}, {VARIANT_FALSE, false}, {1, false}, {2, false}};
  for (const auto& [l_vbValue, l_bExpected] : l_Cases) {
    EXPECT_EQ(CMediaPlayerModeChange(5819, u"shuffle", l_vbValue).GetModeValue(), l_bExpected)
        << l_vbValue;
  }
}

TEST_F(EventQueue, RecordsKeepTheirValues) {
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, 3));
  AppendMediaPlayerEvent(std::make_unique<CPlaylistChanged>(5801, u"Road Trip", 6));
  AppendMediaPlayerEvent(std::make_unique<CMediaCollectionAttributeStringRemoved>(
      5809, u"WM/AlbumTitle", u"WM/AlbumTitle"));
  AppendMediaPlayerEvent(
      std::make_unique<CMediaCollectionAttributeStringChanged>(5820, u"Genre", u"Folk", u"Jazz"));
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerModeChange>(5819, u"loop", VARIANT_TRUE));
  auto navigation = std::make_unique<CWMPNavagationChanged>(kNavigationChangedEventId);
  AppendMediaPlayerEvent(std::move(navigation));

  auto state = TakeFirstMediaPlayerEvent();
  ASSERT_NE(dynamic_cast<CMediaPlayerPlayStateChange*>(state.get()), nullptr);
  EXPECT_EQ(dynamic_cast<CMediaPlayerPlayStateChange&>(*state).GetNewState(), 3);
  auto playlist = TakeFirstMediaPlayerEvent();
  EXPECT_EQ(dynamic_cast<CPlaylistChanged&>(*playlist).GetName().view(), u"Road Trip");
  EXPECT_EQ(dynamic_cast<CPlaylistChanged&>(*playlist).GetChangeType(), 6);
  auto removed = TakeFirstMediaPlayerEvent();
  // An added and a removed attribute are told apart by their class.
  EXPECT_EQ(dynamic_cast<CMediaCollectionAttributeStringAdded*>(removed.get()), nullptr);
  EXPECT_EQ(
      dynamic_cast<CMediaCollectionAttributeStringRemoved&>(*removed).GetAttributeValue().view(),
      u"WM/AlbumTitle");
  auto changed = TakeFirstMediaPlayerEvent();
  EXPECT_EQ(dynamic_cast<CMediaCollectionAttributeStringChanged&>(*changed).GetNewValue().view(),
            u"Jazz");
  auto mode = TakeFirstMediaPlayerEvent();
  EXPECT_TRUE(dynamic_cast<CMediaPlayerModeChange&>(*mode).GetModeValue());
  EXPECT_EQ(mode->GetEventId(), 5819);
  auto empty = TakeFirstMediaPlayerEvent();
  EXPECT_TRUE(dynamic_cast<CWMPNavagationChanged&>(*empty).GetLines().empty());
  EXPECT_EQ(TakeFirstMediaPlayerEvent(), nullptr);
}

TEST_F(EventQueue, PurgeDeletesEveryRecord) {
  std::atomic<int> alive{0};
  for (int index = 0; index < 3; ++index) {
    AppendMediaPlayerEvent(std::make_unique<CountedRecord>(index, alive));
  }
  EXPECT_EQ(alive.load(), 3);
  EXPECT_EQ(PurgeMediaPlayerEvents(), 3u);
  EXPECT_EQ(alive.load(), 0);
  EXPECT_EQ(TakeFirstMediaPlayerEvent(), nullptr);
}

TEST_F(EventQueue, ProducersOnManyThreadsKeepTheirOrder) {
  constexpr int kThreads = 4;
  constexpr int kRecords = 500;
  std::vector<std::thread> producers;
  for (int thread = 0; thread < kThreads; ++thread) {
    producers.emplace_back([thread] {
      for (int index = 0; index < kRecords; ++index) {
        AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(thread, index),
                               static_cast<std::uint32_t>(thread));
      }
    });
  }
  for (std::thread& producer : producers) {
    producer.join();
  }
  std::vector<int> next(kThreads, 0);
  while (auto record = TakeFirstMediaPlayerEvent()) {
    auto& state = dynamic_cast<CMediaPlayerPlayStateChange&>(*record);
    ASSERT_EQ(state.GetNewState(), next[static_cast<std::size_t>(state.GetEventId())]++);
  }
  EXPECT_EQ(next, std::vector<int>(kThreads, kRecords));
}

// A session that is never drained keeps only its newest records; the others' stay whole.
TEST_F(EventQueue, AnUndrainedSessionKeepsOnlyItsNewestRecords) {
  constexpr std::uint32_t kUndrained = 2;
  constexpr std::uint32_t kConsole = 1;
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, -1), kConsole);
  for (std::size_t index = 0; index < kMaxQueuedRecordsPerSession + 10; ++index) {
    AppendMediaPlayerEvent(
        std::make_unique<CMediaPlayerPlayStateChange>(5101, static_cast<std::int32_t>(index)),
        kUndrained);
  }
  auto mine = TakeFirstMediaPlayerEvent(kConsole);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(dynamic_cast<CMediaPlayerPlayStateChange&>(*mine).GetNewState(), -1);
  EXPECT_EQ(TakeFirstMediaPlayerEvent(kConsole), nullptr);
  auto oldest = TakeFirstMediaPlayerEvent(kUndrained);
  ASSERT_NE(oldest, nullptr);
  EXPECT_EQ(dynamic_cast<CMediaPlayerPlayStateChange&>(*oldest).GetNewState(), 10);
  EXPECT_EQ(PurgeMediaPlayerEvents(kUndrained), kMaxQueuedRecordsPerSession - 1);
  EXPECT_EQ(TakeFirstMediaPlayerEvent(), nullptr);
}

// A session's thread takes its own records and those of no session, in queue order.
TEST_F(EventQueue, ASessionTakesItsOwnAndUnownedRecords) {
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, 1), 7);
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, 2), kNoSession);
  AppendMediaPlayerEvent(std::make_unique<CMediaPlayerPlayStateChange>(5101, 3), 8);
  std::vector<int> taken;
  while (auto record = TakeFirstMediaPlayerEvent(8)) {
    taken.push_back(dynamic_cast<CMediaPlayerPlayStateChange&>(*record).GetNewState());
  }
  EXPECT_EQ(taken, (std::vector<int>{2, 3}));
  EXPECT_EQ(PurgeMediaPlayerEvents(7), 1u);
}

}  // namespace
