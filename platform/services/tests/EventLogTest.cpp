#include <gtest/gtest.h>

#include <span>
#include <thread>
#include <vector>

#include "platform/services/EventLog.h"

namespace platform {
namespace {

TEST(EventLog, RecordsComeBackInOrderWithTheirTextsWhole) {
  const std::size_t before = ReadEventLog().size();
  const EventSource source = RegisterEventSource({}, u"Tamsvard");
  ASSERT_TRUE(source);
  const std::u16string first[] = {u"Service started"};
  const std::u16string second[] = {u"two\tlines\nand a \\ back", u"Télécommande"};
  ASSERT_TRUE(ReportEvent(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000001, first));
  ASSERT_TRUE(ReportEvent(source, EVENTLOG_ERROR_TYPE, 3, 7, second));
  std::vector<EventLogRecord> records = ReadEventLog();
  records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(before));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].source, u"Tamsvard");
  EXPECT_EQ(records[0].type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(records[0].eventId, 0x40000001u);
  EXPECT_EQ(records[0].strings, std::vector<std::u16string>{u"Service started"});
  EXPECT_EQ(records[1].category, 3);
  EXPECT_EQ(records[1].strings, (std::vector<std::u16string>{second[0], second[1]}));
  EXPECT_LE(records[0].timeWritten, records[1].timeWritten);
}

TEST(EventLog, SourcesAreRefusedForOtherMachinesAndWithoutNames) {
  EXPECT_FALSE(RegisterEventSource(u"elsewhere", u"Tamsvard"));
  EXPECT_FALSE(RegisterEventSource({}, {}));
  const std::u16string text[] = {u"lost"};
  EXPECT_FALSE(ReportEvent(EventSource(), EVENTLOG_ERROR_TYPE, 0, 0, text));
}

TEST(EventLog, WritersAtOnceNeverMixTheirRecords) {
  constexpr int kWriters = 4;
  constexpr int kRecords = 50;
  const std::size_t before = ReadEventLog().size();
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.emplace_back([writer] {
      const EventSource source = RegisterEventSource({}, u"writer");
      const std::u16string text[] = {std::u16string(500, static_cast<char16_t>(u'a' + writer))};
      for (int record = 0; record < kRecords; ++record) {
        ASSERT_TRUE(ReportEvent(source, EVENTLOG_WARNING_TYPE, 0, 1, text));
      }
    });
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  const std::vector<EventLogRecord> records = ReadEventLog();
  ASSERT_EQ(records.size() - before, static_cast<std::size_t>(kWriters * kRecords));
  for (const EventLogRecord& record : std::span(records).subspan(before)) {
    ASSERT_EQ(record.strings.size(), 1u);
    EXPECT_EQ(record.strings[0], std::u16string(500, record.strings[0][0]));
  }
}

}  // namespace
}  // namespace platform
