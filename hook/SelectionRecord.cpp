#include "hook/SelectionRecord.h"

#include <algorithm>
#include <string>

#include "platform/base/Text.h"

namespace {

// The fixed bytes of a record: the selected row and the final zero.
constexpr std::size_t kFixedBytes = 4 + 1;

// One text of the record, with the byte length of its conversion after each whole character.
struct MeasuredText {
  std::u16string text;
  std::vector<std::size_t> ends;  // ends[i]: bytes of the first i + 1 characters

  std::size_t Bytes() const { return ends.empty() ? 0 : ends.back(); }

  // The longest prefix whose conversion holds at most `p_nBytes` bytes.
  std::u16string Within(std::size_t p_nBytes) const {
    std::size_t l_nUnits = 0;
    std::size_t l_nCharacter = 0;
    for (std::size_t l_nUnit = 0; l_nUnit < text.size() && l_nCharacter < ends.size();
         ++l_nCharacter) {
      const std::size_t l_nWidth = IsPair(l_nUnit) ? 2 : 1;
      if (ends[l_nCharacter] > p_nBytes) {
        break;
      }
      l_nUnit += l_nWidth;
      l_nUnits = l_nUnit;
    }
    return text.substr(0, l_nUnits);
  }

  bool IsPair(std::size_t p_nUnit) const {
    return p_nUnit + 1 < text.size() && text[p_nUnit] >= 0xD800 && text[p_nUnit] < 0xDC00 &&
           text[p_nUnit + 1] >= 0xDC00 && text[p_nUnit + 1] < 0xE000;
  }
};

MeasuredText Measure(std::u16string_view p_Text) {
  MeasuredText l_Measured{std::u16string(p_Text.substr(0, p_Text.find(u'\0'))), {}};
  std::size_t l_nBytes = 0;
  for (std::size_t l_nUnit = 0; l_nUnit < l_Measured.text.size();) {
    const std::size_t l_nWidth = l_Measured.IsPair(l_nUnit) ? 2 : 1;
    l_nBytes +=
        platform::ToAnsi(std::u16string_view(l_Measured.text).substr(l_nUnit, l_nWidth)).size();
    l_Measured.ends.push_back(l_nBytes);
    l_nUnit += l_nWidth;
  }
  return l_Measured;
}

// The largest byte length per text for which all texts together take at most `p_nBudget` bytes.
std::size_t LengthCap(const std::vector<MeasuredText>& p_Texts, std::size_t p_nBudget) {
  std::size_t l_nLow = 0;
  std::size_t l_nHigh = 0;
  for (const MeasuredText& l_Text : p_Texts) {
    l_nHigh = std::max(l_nHigh, l_Text.Bytes());
  }
  while (l_nLow < l_nHigh) {
    const std::size_t l_nMiddle = l_nLow + (l_nHigh - l_nLow + 1) / 2;
    std::size_t l_nTotal = 0;
    for (const MeasuredText& l_Text : p_Texts) {
      l_nTotal += std::min(l_Text.Bytes(), l_nMiddle);
    }
    if (l_nTotal <= p_nBudget) {
      l_nLow = l_nMiddle;
    } else {
      l_nHigh = l_nMiddle - 1;
    }
  }
  return l_nLow;
}

std::vector<std::uint8_t> Flat(const CDeviceData& p_Record) {
  std::size_t l_nLength = 0;
  const std::unique_ptr<std::uint8_t[]> l_pBytes = p_Record.Serialize(l_nLength);
  return std::vector<std::uint8_t>(l_pBytes.get(), l_pBytes.get() + l_nLength);
}

}  // namespace

std::vector<std::uint8_t> FlatRecordWithin(const CDeviceData& p_Record, std::size_t p_nCapacity) {
  std::vector<std::uint8_t> l_Flat = Flat(p_Record);
  if (l_Flat.size() <= p_nCapacity) {
    return l_Flat;
  }
  std::vector<MeasuredText> l_Texts{Measure(p_Record.GetTitle().view())};
  for (const _bstr_t& l_Line : p_Record.GetLines()) {
    l_Texts.push_back(Measure(l_Line.view()));
  }
  // Each text needs its terminator and, unless it is empty, room for its widest character: an
  // emptied line would end the record early.
  const auto l_Needed = [&] {
    std::size_t l_nNeeded = kFixedBytes;
    for (const MeasuredText& l_Text : l_Texts) {
      l_nNeeded += l_Text.ends.empty() ? 1u : 3u;
    }
    return l_nNeeded;
  };
  while (l_Texts.size() > 1 && l_Needed() > p_nCapacity) {
    l_Texts.erase(l_Texts.begin() + 1);
  }
  if (l_Needed() > p_nCapacity) {
    return NoSelectionRecord();
  }
  const std::size_t l_nCap = LengthCap(l_Texts, p_nCapacity - kFixedBytes - l_Texts.size());

  CDeviceData l_Cut;
  l_Cut.SetSelectedLine(p_Record.GetSelectedLine());
  l_Cut.SetTitle(_bstr_t(std::u16string_view(l_Texts.front().Within(l_nCap))));
  std::vector<_bstr_t> l_Lines;
  for (auto l_Text = l_Texts.begin() + 1; l_Text != l_Texts.end(); ++l_Text) {
    l_Lines.emplace_back(std::u16string_view(l_Text->Within(l_nCap)));
  }
  l_Cut.SetLines(std::move(l_Lines));
  l_Flat = Flat(l_Cut);
  return l_Flat.size() <= p_nCapacity ? l_Flat : NoSelectionRecord();
}

std::optional<std::size_t> FlatRecordLength(std::span<const std::uint8_t> p_Bytes) {
  if (p_Bytes.size() < 4) {
    return std::nullopt;
  }
  bool l_bTitle = true;
  for (std::size_t l_nAt = 4; l_nAt < p_Bytes.size();) {
    const auto l_End = std::find(p_Bytes.begin() + static_cast<std::ptrdiff_t>(l_nAt),
                                 p_Bytes.end(), std::uint8_t{0});
    if (l_End == p_Bytes.end()) {
      return std::nullopt;
    }
    const auto l_nEnd = static_cast<std::size_t>(l_End - p_Bytes.begin());
    if (!l_bTitle && l_nEnd == l_nAt) {
      return l_nEnd + 1;
    }
    l_bTitle = false;
    l_nAt = l_nEnd + 1;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> NoSelectionRecord() { return Flat(CDeviceData()); }
