// Feeds arbitrary text to the readers of the layer's record files and messages, as a damaged file
// under the root or a peer on a control socket may hold them: the session table, the notice
// registrations and the record fields beneath both. What reads as fields must write and read
// back as the same fields, and a table that reads must write and read back as the same table.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/sessions/RecordText.h"
#include "platform/sessions/SessionRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace platform::detail;
  const std::string_view l_Text(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> l_Fields = SplitRecordFields(l_Text);
  if (SplitRecordFields(JoinRecordFields(l_Fields)) != l_Fields) {
    std::abort();
  }

  if (const auto l_Table = ParseSessionTable(l_Text)) {
    const std::string l_Written = FormatSessionTable(*l_Table);
    const auto l_Again = ParseSessionTable(l_Written);
    if (!l_Again || FormatSessionTable(*l_Again) != l_Written ||
        l_Again->sessions.size() != l_Table->sessions.size()) {
      std::abort();
    }
    for (std::size_t l_nAt = 0; l_nAt < l_Table->sessions.size(); ++l_nAt) {
      if (l_Again->sessions[l_nAt].station != l_Table->sessions[l_nAt].station ||
          l_Again->sessions[l_nAt].user != l_Table->sessions[l_nAt].user) {
        std::abort();
      }
    }
  }

  for (const NoticeRegistration& l_Entry : ParseLiveRegistrations(l_Text)) {
    if (ParseLiveRegistrations(FormatRegistrations({l_Entry})).size() > 1) {
      std::abort();
    }
  }
  return 0;
}
