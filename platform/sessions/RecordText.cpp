#include "platform/sessions/RecordText.h"

namespace platform::detail {

std::string JoinRecordFields(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t at = 0; at < fields.size(); ++at) {
    if (at != 0) {
      line += '\t';
    }
    for (const char character : fields[at]) {
      switch (character) {
        case '\t':
          line += "\\t";
          break;
        case '\n':
          line += "\\n";
          break;
        case '\\':
          line += "\\\\";
          break;
        default:
          line += character;
      }
    }
  }
  return line;
}

std::vector<std::string> SplitRecordFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char character = line[at];
    if (character == '\t') {
      fields.emplace_back();
    } else if (character == '\\' && at + 1 < line.size()) {
      const char escaped = line[++at];
      fields.back() += escaped == 't' ? '\t' : escaped == 'n' ? '\n' : escaped;
    } else {
      fields.back() += character;
    }
  }
  return fields;
}

}  // namespace platform::detail
