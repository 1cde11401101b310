// Flat records bounded by the transfer buffer: what is cut, what is refused.

#include "hook/SelectionRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hook/SnoopSharedData.h"
#include "platform/base/Text.h"

namespace {

std::vector<std::u16string> LinesOf(const CDeviceData& record) {
  std::vector<std::u16string> lines;
  for (const _bstr_t& line : record.GetLines()) {
    lines.emplace_back(line.view());
  }
  return lines;
}

CDeviceData RecordOf(const std::vector<std::u16string>& lines) {
  CDeviceData record;
  std::vector<_bstr_t> texts;
  for (const std::u16string& line : lines) {
    texts.emplace_back(std::u16string_view(line));
  }
  record.SetLines(std::move(texts));
  return record;
}

class CodePage {
 public:
  explicit CodePage(platform::AnsiCodePage page) : saved_(platform::GetAnsiCodePage()) {
    platform::SetAnsiCodePage(page);
  }
  ~CodePage() { platform::SetAnsiCodePage(saved_); }

 private:
  platform::AnsiCodePage saved_;
};

TEST(SelectionRecordTest, ARecordTooLongForTheBufferIsCutAndStillEndsWithItsTerminators) {
  const std::u16string longest(511, u'x');
  const std::u16string japanese(300, u'\u65E5');  // two bytes each in code page 932
  struct Case {
    const char* what;
    platform::AnsiCodePage page;
    std::vector<std::u16string> lines;
    std::size_t keptLines;   // the lowest lines that stay
    std::size_t wholeLines;  // of them, the uppermost ones that are not cut
  };
  const std::vector<Case> cases{
      {"six lines of 511 characters", platform::AnsiCodePage::Western,
       std::vector<std::u16string>(6, longest), 6, 0},
      {"one long selected item under short ancestors",
       platform::AnsiCodePage::Western,
       {u"All Music", u"Albums", u"Blue", longest},
       4,
       3},
      {"double-byte texts are cut between characters", platform::AnsiCodePage::Japanese,
       std::vector<std::u16string>(6, japanese), 6, 0},
      {"more lines than terminators fit: the uppermost go", platform::AnsiCodePage::Western,
       std::vector<std::u16string>(400, u"abc"), 168, 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const CodePage page(test.page);
    const std::vector<std::uint8_t> bytes =
        FlatRecordWithin(RecordOf(test.lines), kTreeviewTransferSize);
    ASSERT_LE(bytes.size(), kTreeviewTransferSize);
    EXPECT_EQ(FlatRecordLength(bytes), bytes.size()) << "one whole record, terminators and all";

    const std::vector<std::u16string> read = LinesOf(CDeviceData(std::span(bytes)));
    ASSERT_EQ(read.size(), test.keptLines);
    const std::size_t first = test.lines.size() - test.keptLines;
    for (std::size_t at = 0; at < read.size(); ++at) {
      const std::u16string& original = test.lines[first + at];
      EXPECT_FALSE(read[at].empty()) << at;
      EXPECT_TRUE(original.starts_with(read[at])) << at << ": a prefix, whole characters only";
      if (at < test.wholeLines) {
        EXPECT_EQ(read[at], original) << at;
      }
    }
  }
}

TEST(SelectionRecordTest, ARecordThatFitsIsWrittenAsItIs) {
  CDeviceData record = RecordOf({u"All Music", u"Albums", u"Blue"});
  record.SetSelectedLine(3);
  std::size_t length = 0;
  const std::unique_ptr<std::uint8_t[]> flat = record.Serialize(length);
  EXPECT_EQ(FlatRecordWithin(record, kTreeviewTransferSize),
            std::vector<std::uint8_t>(flat.get(), flat.get() + length));
  EXPECT_EQ(NoSelectionRecord(), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0}));
}

TEST(SelectionRecordTest, OnlyARecordEndedWithinItsBytesHasALength) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::optional<std::size_t> length;
  };
  const std::vector<Case> cases{
      {"empty record", {1, 0, 0, 0, 0, 0}, 6},
      {"title and one line", {0, 0, 0, 0, 'T', 0, 'a', 0, 0}, 9},
      {"empty title, two lines", {0, 0, 0, 0, 0, 'a', 0, 'b', 0, 0}, 10},
      {"bytes after the record", {0, 0, 0, 0, 0, 0, 'x', 'y'}, 6},
      {"no row", {0, 0, 0}, std::nullopt},
      {"title without its zero", {0, 0, 0, 0, 'T'}, std::nullopt},
      {"line without its zero", {0, 0, 0, 0, 0, 'a', 0, 'b'}, std::nullopt},
      {"no final zero", {0, 0, 0, 0, 0, 'a', 0}, std::nullopt},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(FlatRecordLength(test.bytes), test.length) << test.what;
  }
}

}  // namespace
