#include "common/DeviceData.h"

#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/Text.h"

const int g_nDeviceDataMaxLines = 6;

namespace {

bool HasRoom(const std::vector<_bstr_t>& lines) {
  return lines.size() < static_cast<std::size_t>(g_nDeviceDataMaxLines);
}

// Reads integers as atoi does: leading blanks, one sign, digits up to the first other character;
// out-of-range values saturate instead of overflowing.
std::int32_t ReadLeadingInteger(std::string_view text) {
  std::size_t index = 0;
  while (index < text.size() &&
         (text[index] == ' ' || (text[index] >= '\t' && text[index] <= '\r'))) {
    ++index;
  }
  bool negative = false;
  if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
    negative = text[index] == '-';
    ++index;
  }
  std::int64_t value = 0;
  for (; index < text.size() && text[index] >= '0' && text[index] <= '9'; ++index) {
    value = value * 10 + (text[index] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) {
      break;
    }
  }
  value = negative ? -value : value;
  if (value > INT32_MAX) {
    return INT32_MAX;
  }
  return value < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(value);
}

}  // namespace

CDeviceData::CDeviceData(std::span<const std::uint8_t> p_Buffer) {
  if (p_Buffer.size() < sizeof m_nSelectedLine) {
    return;
  }
  std::uint32_t row = 0;
  for (std::size_t index = 0; index < sizeof row; ++index) {
    row |= static_cast<std::uint32_t>(p_Buffer[index]) << (8 * index);
  }
  m_nSelectedLine = static_cast<std::int32_t>(row);

  const std::string_view rest(reinterpret_cast<const char*>(p_Buffer.data()) + sizeof row,
                              p_Buffer.size() - sizeof row);
  bool readingTitle = true;
  for (std::size_t start = 0; start < rest.size();) {
    const std::size_t end = rest.find('\0', start);
    if (end == std::string_view::npos) {
      break;
    }
    const std::string_view text = rest.substr(start, end - start);
    start = end + 1;
    if (readingTitle) {
      readingTitle = false;
      if (!text.empty()) {
        m_bstrTitle = _bstr_t(std::u16string_view(platform::FromAnsi(text)));
      }
      continue;
    }
    if (text.empty()) {
      break;
    }
    m_Lines.emplace_back(std::u16string_view(platform::FromAnsi(text)));
  }
}

void CDeviceData::AddLine(_bstr_t p_bstrLine) {
  if (HasRoom(m_Lines)) {
    m_Lines.push_back(std::move(p_bstrLine));
  }
}

void CDeviceData::InsertLine(_bstr_t p_bstrLine) {
  if (HasRoom(m_Lines)) {
    m_Lines.insert(m_Lines.begin(), std::move(p_bstrLine));
  }
}

void CDeviceData::SetDuration(_bstr_t p_bstrDuration) {
  m_nDuration = ReadLeadingInteger(static_cast<const char*>(p_bstrDuration));
}

std::unique_ptr<std::uint8_t[]> CDeviceData::Serialize(std::size_t& p_nLength) const {
  std::vector<std::string> texts;
  texts.reserve(m_Lines.size() + 1);
  texts.push_back(platform::ToAnsi(m_bstrTitle.view()));
  for (const _bstr_t& line : m_Lines) {
    texts.push_back(platform::ToAnsi(line.view()));
  }

  std::size_t length = sizeof(std::uint32_t) + 1;
  for (const std::string& text : texts) {
    length += text.size() + 1;
  }
  auto buffer = std::make_unique<std::uint8_t[]>(length);  // zero-filled
  const auto row = static_cast<std::uint32_t>(m_nSelectedLine);
  for (std::size_t index = 0; index < sizeof row; ++index) {
    buffer[index] = static_cast<std::uint8_t>(row >> (8 * index));
  }
  std::size_t offset = sizeof row;
  for (const std::string& text : texts) {
    std::memcpy(buffer.get() + offset, text.data(), text.size());
    offset += text.size() + 1;
  }
  p_nLength = length;
  return buffer;
}
