#include "tools/run-system/Console.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "tools/common/ToolCommands.h"
#include "tools/run-system/LcdPicture.h"
#include "tools/run-system/RemoteButtons.h"
#include "tools/run-system/Terminal.h"

namespace {

// The player's line is read again at this pace while nothing else happens (its position moves).
constexpr int kRefreshMilliseconds = 1000;
// A press is answered within this much real time, or it has no answer.
constexpr int kAnswerMilliseconds = 3000;
// A display that has shown no page yet answers a press by waking: it is initialised at once and
// the session's main menu follows once the session's player thread has started, which takes this
// much real time at most on a loaded machine.
constexpr int kFirstPageMilliseconds = 60000;
// The service's start or stop shows on the tray's icon within this much real time.
constexpr int kTrayAnswerMilliseconds = 60000;

// The keys and their buttons, in lines of at most this many columns.
constexpr std::size_t kHelpColumns = 78;

std::vector<std::string> HelpLines() {
  std::vector<std::string> l_Lines{"keys:"};
  for (const RemoteButton& l_Button : RemoteButtons()) {
    std::string l_Entry = " ";
    l_Entry += l_Button.m_Key;
    l_Entry += "=";
    l_Entry += l_Button.m_Word;
    if (l_Lines.back().size() + l_Entry.size() > kHelpColumns) {
      l_Lines.emplace_back("     ");
    }
    l_Lines.back() += l_Entry;
  }
  l_Lines.emplace_back("      u=plug/unplug  q or Ctrl-C=quit");
  std::string l_Tray = "      the service through the tray's menu:";
  for (const TrayCommand& l_Command : TrayCommands()) {
    l_Tray += " ";
    l_Tray += l_Command.m_Key;
    l_Tray += "=";
    l_Tray += l_Command.m_Word.substr(l_Command.m_Word.find('-') + 1);
  }
  l_Lines.push_back(std::move(l_Tray));
  return l_Lines;
}

}  // namespace

std::vector<std::string> Console::View() {
  std::vector<std::string> l_Lines = {"Calvora remote, session " + std::to_string(m_nSession) +
                                      " at the console"};
  for (std::string& l_Line : DrawLcd(m_Remote.Screen())) {
    l_Lines.push_back(std::move(l_Line));
  }
  l_Lines.push_back(m_Player.Read(m_nSession));
  for (std::string& l_Line : StatusLines()) {
    l_Lines.push_back(std::move(l_Line));
  }
  l_Lines.push_back("");
  for (std::string& l_Line : HelpLines()) {
    l_Lines.push_back(std::move(l_Line));
  }
  l_Lines.push_back("control tool: PLATFORM_ROOT=" + m_Root.string() + " PLATFORM_SESSION=" +
                    std::to_string(m_nSession) + " platformctl ...");
  return l_Lines;
}

std::vector<std::string> Console::StatusLines() {
  return {m_Tray.Line(), std::string("remote: ") + (m_Remote.Plugged() ? "plugged" : "unplugged") +
                             (m_Status.empty() ? "" : "; " + m_Status)};
}

bool Console::StopRequested(int p_nMilliseconds) const {
  pollfd l_Stop{m_nStop, POLLIN, 0};
  return poll(&l_Stop, 1, p_nMilliseconds) == 1;
}

void Console::TogglePlug() {
  m_bFirstPress = true;
  if (m_Remote.Plugged()) {
    m_Remote.Unplug();
    m_Status.clear();
  } else {
    m_Status = m_Remote.Plug() ? "" : "cannot plug it in";
  }
}

bool Console::OnKey(const std::string& p_Key) {
  if (p_Key == "q" || p_Key == "Ctrl-C") {
    return false;
  }
  if (p_Key == "u") {
    TogglePlug();
    return true;
  }
  for (const TrayCommand& l_Command : TrayCommands()) {
    if (l_Command.m_Key == p_Key) {
      m_Status = m_Tray.Choose(l_Command.m_nCommand, std::string(l_Command.m_Word));
      return true;
    }
  }
  for (const RemoteButton& l_Button : RemoteButtons()) {
    if (l_Button.m_Key == p_Key) {
      m_Status = m_Remote.Press(static_cast<std::uint8_t>(l_Button.m_nCode))
                     ? std::string(l_Button.m_Word)
                     : "not plugged";
      return true;
    }
  }
  return true;
}

void Console::RunTerminal() {
  const RawTerminal l_Terminal;
  l_Terminal.Show(View());
  for (;;) {
    pollfd l_Watch[] = {{STDIN_FILENO, POLLIN, 0},
                        {m_Remote.WakeDescriptor(), POLLIN, 0},
                        {m_nStop, POLLIN, 0}};
    if (poll(l_Watch, std::size(l_Watch), kRefreshMilliseconds) < 0 && errno != EINTR) {
      return;
    }
    if (l_Watch[2].revents != 0) {
      return;
    }
    if (l_Watch[0].revents != 0) {
      char l_Bytes[64];
      const ssize_t l_nRead = read(STDIN_FILENO, l_Bytes, sizeof l_Bytes);
      if (l_nRead <= 0) {
        return;
      }
      for (const std::string& l_Key :
           DecodeKeys(std::string_view(l_Bytes, static_cast<std::size_t>(l_nRead)))) {
        if (!OnKey(l_Key)) {
          return;
        }
      }
    }
    if (l_Watch[1].revents != 0) {
      m_Remote.TakeWake();
    }
    l_Terminal.Show(View());
  }
}

bool Console::RunScript(const std::vector<std::string>& p_Commands, std::ostream& p_Out) {
  for (const std::string& l_Command : p_Commands) {
    if (l_Command.empty() || l_Command.front() == '#') {
      continue;
    }
    const auto [l_Word, l_Argument] = SplitCommand(l_Command);
    if (const std::optional<TrayCommand> l_Tray = TrayCommandNamed(l_Word);
        l_Tray && l_Argument.empty()) {
      const std::string l_Done = m_Tray.CarryOut(*l_Tray, kTrayAnswerMilliseconds).m_Done;
      p_Out << "> " << l_Command << ": " << l_Done << "\n" << m_Tray.Line() << "\n" << std::flush;
      continue;
    }
    const std::uint64_t l_nBefore = m_Remote.Reports();
    const int l_nScreensBefore = m_Remote.Screen().m_nScreensEnded;
    bool l_bPressed = false;
    std::optional<int> l_nWait;
    if (l_Word == "wait") {
      l_nWait = ParseCount(l_Argument);
      if (!l_nWait) {
        p_Out << "error: wait takes a time in milliseconds\n";
        return false;
      }
    } else if (l_Word == "plug" || l_Word == "unplug") {
      if ((l_Word == "plug") != m_Remote.Plugged()) {
        TogglePlug();
      }
    } else if (const std::optional<RemoteButton> l_Button = ButtonNamed(l_Word);
               l_Button && l_Argument.empty()) {
      if (!m_Remote.Press(static_cast<std::uint8_t>(l_Button->m_nCode))) {
        p_Out << "error: " << l_Command << ": the remote is not plugged in\n";
        return false;
      }
      l_bPressed = true;
    } else {
      p_Out << "error: unknown command \"" << l_Command << "\"\n";
      return false;
    }
    if (l_bPressed && std::exchange(m_bFirstPress, false) &&
        !m_Remote.AwaitScreensEnded(l_nScreensBefore, kFirstPageMilliseconds, m_nStop)) {
      return true;
    }
    if (l_nWait ? StopRequested(*l_nWait) : !m_Remote.Settle(l_nBefore, kAnswerMilliseconds, m_nStop)) {
      return true;
    }
    m_Remote.TakeWake();
    p_Out << "> " << l_Command << "\n";
    for (const std::string& l_Line : DrawLcd(m_Remote.Screen())) {
      p_Out << l_Line << "\n";
    }
    p_Out << m_Player.Read(m_nSession) << "\n" << std::flush;
  }
  return true;
}
