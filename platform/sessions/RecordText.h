#pragma once

// Fields of one record line: tab-separated, with tabs, line ends and backslashes in a field
// written as "\t", "\n" and "\\", so that any text fits in a field. Internal to the layer.

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace platform::detail {

// A whole decimal field; false for anything else.
template <class Number>
bool ParseRecordNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::string JoinRecordFields(const std::vector<std::string>& fields);
std::vector<std::string> SplitRecordFields(std::string_view line);

}  // namespace platform::detail
