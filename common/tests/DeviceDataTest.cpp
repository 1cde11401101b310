#include "common/DeviceData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/Text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Flatten(const CDeviceData& record) {
  std::size_t length = 0;
  const auto buffer = record.Serialize(length);
  return Bytes(buffer.get(), buffer.get() + length);
}

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::vector<std::u16string> LinesOf(const CDeviceData& record) {
  std::vector<std::u16string> lines;
  for (const _bstr_t& line : record.GetLines()) {
    lines.emplace_back(line.view());
  }
  return lines;
}

class FlatFormat : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetAnsiCodePage(platform::AnsiCodePage::Western); }
  void TearDown() override { platform::SetAnsiCodePage(platform::AnsiCodePage::Western); }
};

TEST_F(FlatFormat, SerializesByteForByte) {
  using namespace std::string_view_literals;
  CDeviceData empty;
  empty.SetSelectedLine(0x01020304);
  EXPECT_EQ(Flatten(empty), BytesOf("\x04\x03\x02\x01\0\0"sv));

  CDeviceData page;
  page.SetTitle(u"Alben");
  page.AddLine(u"Künstler");
  page.AddLine(u"");
  page.AddLine(u"Zwei");
  page.SetSelectedLine(-1);
  page.SetPosition(9);  // numeric fields other than the row do not travel
  EXPECT_EQ(Flatten(page), BytesOf("\xFF\xFF\xFF\xFF"
                                   "Alben\0K\xFCnstler\0\0Zwei\0\0"sv));

  // A reader stops at the empty middle line.
  const Bytes flat = Flatten(page);
  const CDeviceData read(flat);
  EXPECT_EQ(read.GetTitle().view(), u"Alben");
  EXPECT_EQ(LinesOf(read), std::vector<std::u16string>{u"Künstler"});
  EXPECT_EQ(read.GetSelectedLine(), -1);
  EXPECT_EQ(read.GetPosition(), 0);
}

TEST_F(FlatFormat, EmptyRecordReadsBack) {
  CDeviceData record;
  record.SetSelectedLine(3);
  const Bytes flat = Flatten(record);
  ASSERT_EQ(flat.size(), 6u);
  const CDeviceData read(flat);
  EXPECT_EQ(read.GetTitle().length(), 0u);
  EXPECT_EQ(read.GetLineCount(), 0);
  EXPECT_EQ(read.GetSelectedLine(), 3);
}

TEST_F(FlatFormat, SetLinesHasNoLimitAndAllTravel) {
  std::vector<_bstr_t> lines;
  for (int index = 0; index < 8; ++index) {
    lines.emplace_back(std::u16string(1, static_cast<char16_t>(u'a' + index)));
  }
  CDeviceData record;
  record.SetLines(lines);
  EXPECT_EQ(record.GetLineCount(), 8);
  const Bytes flat = Flatten(record);
  EXPECT_EQ(flat.size(), 4u + 1u + 8u * 2u + 1u);
  EXPECT_EQ(CDeviceData(flat).GetLineCount(), 8);
}

TEST_F(FlatFormat, JapaneseTextCountsConvertedBytes) {
  platform::SetAnsiCodePage(platform::AnsiCodePage::Japanese);
  CDeviceData record;
  record.SetTitle(u"アルバム");
  record.AddLine(u"再生中");
  const Bytes flat = Flatten(record);
  EXPECT_EQ(flat.size(), 4u + 9u + 7u + 1u);
  const CDeviceData read(flat);
  EXPECT_EQ(read.GetTitle().view(), u"アルバム");
  EXPECT_EQ(LinesOf(read), std::vector<std::u16string>{u"再生中"});
}

TEST_F(FlatFormat, RoundTripFromAnUnalignedBuffer) {
  CDeviceData record;
  record.SetTitle(u"");
  record.AddLine(u"Library");
  record.AddLine(u"Albums");
  record.AddLine(u"Caf\u00E9 Noir");
  record.SetSelectedLine(0x7F000001);
  const Bytes flat = Flatten(record);
  Bytes shifted(flat.size() + 1);
  std::memcpy(shifted.data() + 1, flat.data(), flat.size());
  const CDeviceData read(std::span<const std::uint8_t>(shifted).subspan(1));
  EXPECT_EQ(read.GetSelectedLine(), 0x7F000001);
  EXPECT_EQ(LinesOf(read), LinesOf(record));
  EXPECT_EQ(Flatten(read), flat);
}

TEST_F(FlatFormat, TruncatedRecordsAreReadInsideTheirBuffer) {
  CDeviceData record;
  record.SetTitle(u"Title");
  record.AddLine(u"one");
  record.AddLine(u"two");
  record.SetSelectedLine(2);
  const Bytes flat = Flatten(record);
  struct Case {
    std::size_t length;
    std::u16string title;
    std::vector<std::u16string> lines;
    std::int32_t row;
  };
  const Case cases[] = {
      {0, u"", {}, 0},
      {3, u"", {}, 0},
      {4, u"", {}, 2},
      {7, u"", {}, 2},  // title without its zero: dropped
      {10, u"Title", {}, 2},
      {13, u"Title", {}, 2},  // "one" without its zero
      {14, u"Title", {u"one"}, 2},
      {18, u"Title", {u"one", u"two"}, 2},
  };
  for (const Case& testCase : cases) {
    // An exact-size heap copy, so that a read past the end is caught by the address sanitizer.
    const Bytes cut(flat.begin(), flat.begin() + static_cast<std::ptrdiff_t>(testCase.length));
    const CDeviceData read(cut);
    EXPECT_EQ(read.GetTitle().view(), testCase.title) << testCase.length;
    EXPECT_EQ(LinesOf(read), testCase.lines) << testCase.length;
    EXPECT_EQ(read.GetSelectedLine(), testCase.row) << testCase.length;
  }
}

TEST(DeviceData, AddAndInsertStopAtSixLines) {
  CDeviceData record;
  record.AddLine(u"selected");
  for (int depth = 1; depth <= 7; ++depth) {
    record.InsertLine(_bstr_t(std::u16string(u"ancestor ") + static_cast<char16_t>(u'0' + depth)));
  }
  EXPECT_EQ(LinesOf(record),
            (std::vector<std::u16string>{u"ancestor 5", u"ancestor 4", u"ancestor 3", u"ancestor 2",
                                         u"ancestor 1", u"selected"}));
  record.AddLine(u"seventh");
  EXPECT_EQ(record.GetLineCount(), 6);
  EXPECT_EQ(record.GetLines().back().view(), u"selected");
}

TEST(DeviceData, CopiesAreIndependentValues) {
  CDeviceData original;
  original.SetTitle(u"Now Playing");
  original.AddLine(u"Track");
  original.SetTotal(12);
  original.SetPlayState(3);
  CDeviceData copy(original);
  copy.AddLine(u"Artist");
  copy.SetTotal(1);
  EXPECT_EQ(original.GetLineCount(), 1);
  EXPECT_EQ(original.GetTotal(), 12);
  EXPECT_EQ(copy.GetPlayState(), 3);
  EXPECT_EQ(copy.GetTitle().view(), u"Now Playing");
  copy = copy;  // self-assignment keeps the record
  EXPECT_EQ(copy.GetLineCount(), 2);
}

TEST(DeviceData, SetDurationReadsTheLeadingInteger) {
  struct Case {
    const char16_t* text;
    std::int32_t seconds;
  };
  const Case cases[] = {
      {u"215.6", 215},
      {u"  42", 42},
      {u"-7x", -7},
      {u"+3", 3},
      {u"", 0},
      {u"abc", 0},
      {u"99999999999", 2147483647},
      {u"-99999999999", -2147483647 - 1},
  };
  for (const Case& testCase : cases) {
    CDeviceData record;
    record.SetDuration(testCase.text);
    EXPECT_EQ(record.GetDuration(), testCase.seconds) << platform::ToUtf8(testCase.text);
  }
  CDeviceData absent;
  absent.SetDuration(_bstr_t());
  EXPECT_EQ(absent.GetDuration(), 0);
}

}  // namespace
