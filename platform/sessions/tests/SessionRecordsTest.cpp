#include <gtest/gtest.h>

#include "platform/kernel/ProcessIdentity.h"
#include "platform/sessions/SessionRecords.h"

namespace platform::detail {
namespace {

TEST(SessionRecords, TableKeepsEveryFieldThroughItsText) {
  SessionTableData table;
  table.console = 2;
  table.nextId = 4;
  // A backslash is the fields' escape; a name with one keeps it.
  table.sessions = {{0, 5, "Services", ""},
                    {2, 0, "Console", "alice smith"},
                    {3, 4, "", "bob"},
                    {5, 1, "RDP-Tcp#0", "OFFICE\\carol"},
                    {6, 1, "a\\t", "\\"}};
  const std::optional<SessionTableData> parsed = ParseSessionTable(FormatSessionTable(table));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->console, 2u);
  EXPECT_EQ(parsed->nextId, 4u);
  ASSERT_EQ(parsed->sessions.size(), table.sessions.size());
  for (std::size_t at = 0; at < table.sessions.size(); ++at) {
    EXPECT_EQ(parsed->sessions[at].id, table.sessions[at].id);
    EXPECT_EQ(parsed->sessions[at].state, table.sessions[at].state);
    EXPECT_EQ(parsed->sessions[at].station, table.sessions[at].station);
    EXPECT_EQ(parsed->sessions[at].user, table.sessions[at].user);
  }
}

TEST(SessionRecords, TextThatIsNoTableIsRefused) {
  for (const char* text : {"", "next\t3\n", "console\tx\n", "console\t1\nsession\t1\t0\tConsole\n",
                           "console\t1\nsession\t1\tactive\tConsole\tu\n"}) {
    EXPECT_FALSE(ParseSessionTable(text)) << text;
  }
}

TEST(SessionRecords, RegistrationsOfEndedProcessesAndBrokenLinesAreDropped) {
  const ProcessIdentity self = ThisProcess();
  const ProcessIdentity gone{self.pid, self.startTime + 1};
  const std::string text =
      FormatRegistrations({{7, 1, self, 2}, {8, 0, gone, 2}}) + "9\tbroken\n";
  const std::vector<NoticeRegistration> live = ParseLiveRegistrations(text);
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].window, 7u);
  EXPECT_EQ(live[0].flags, 1u);
  EXPECT_EQ(live[0].sessionId, 2u);
}

TEST(SessionRecords, RecordNamesHaveNoSeparators) {
  EXPECT_TRUE(IsRecordName("alice smith"));
  for (const std::string_view name : {std::string_view(""), std::string_view("a\tb"),
                                      std::string_view("a\nb"), std::string_view("a\0b", 3)}) {
    EXPECT_FALSE(IsRecordName(name));
  }
}

}  // namespace
}  // namespace platform::detail
