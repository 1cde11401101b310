#include "tools/remote-sim/RemoteSim.h"

#include <chrono>
#include <optional>
#include <thread>

#include "platform/base/Text.h"
#include "platform/base/Time.h"
#include "tools/common/ToolCommands.h"

namespace {

constexpr int kDefaultMilliseconds = 5000;

constexpr std::array<std::string_view, kSimulatedButtonCount> kButtonWords = {
    "up", "down", "left", "right", "ok", "play", "pause", "stop", "power", "prev", "next", "home",
};

std::string Quoted(const _bstr_t& p_Text) {
  std::string l_Quoted = "\"";
  l_Quoted += platform::ToUtf8(p_Text.view());
  l_Quoted += '"';
  return l_Quoted;
}

}  // namespace

std::string FormatPage(const CDeviceData& p_Page) {
  std::string l_Text = "page " + Quoted(p_Page.GetTitle());
  const std::vector<_bstr_t> l_Lines = p_Page.GetLines();
  for (std::size_t l_nIndex = 0; l_nIndex < l_Lines.size(); ++l_nIndex) {
    const bool l_bCursor = static_cast<std::int32_t>(l_nIndex) == p_Page.GetSelectedLine();
    l_Text += l_bCursor ? " | >" : " | ";
    l_Text += Quoted(l_Lines[l_nIndex]);
  }
  l_Text += " | position " + std::to_string(p_Page.GetPosition()) + " of " +
            std::to_string(p_Page.GetTotal());
  l_Text += " | screen " + std::to_string(p_Page.GetScreenType());
  l_Text += " | mode " + std::to_string(p_Page.GetUpdateMode());
  l_Text += " | play " + std::to_string(p_Page.GetPlayState());
  return l_Text;
}

RemoteSim::RemoteSim()
    : m_PowerOff(CreateSimulatorPowerOffEvent()) {
  for (std::size_t l_nIndex = 0; l_nIndex < kSimulatedButtonCount; ++l_nIndex) {
    m_Buttons[l_nIndex] = CreateSimulatedButtonEvent(static_cast<SimulatedButton>(l_nIndex));
  }
}

std::string RemoteSim::Command(std::string_view p_Line) {
  const auto [l_Word, l_Argument] = SplitCommand(p_Line);
  if (l_Word == "power-on" || l_Word == "read") {
    const std::optional<int> l_nMilliseconds = ParseMilliseconds(l_Argument, kDefaultMilliseconds);
    if (!l_nMilliseconds) {
      return "error: not a time in milliseconds";
    }
    return l_Word == "read" ? Read(*l_nMilliseconds) : PowerOn(*l_nMilliseconds);
  }
  if (l_Word == "power-off") {
    return PowerOff();
  }
  if (l_Word == "press") {
    return Press(l_Argument);
  }
  if (l_Word == "quit") {
    m_bQuit = true;
    return "bye";
  }
  return "error: unknown command";
}

std::string RemoteSim::PowerOn(int p_nMilliseconds) {
  m_Buttons[static_cast<std::size_t>(SimulatedButton::PowerOn)].Set();
  // Powered on already: the service keeps the one pipe.
  if (m_Pipe) {
    return "powered on";
  }
  // The service opens its pipe once its output thread has seen the power-on; nothing tells the
  // tool when, so it tries again a little later.
  const auto l_Deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(p_nMilliseconds);
  for (;;) {
    auto l_Connected = platform::PipeConnection::Connect(kSimulatorPipeName);
    if (l_Connected.handle) {
      m_Pipe = std::move(l_Connected.handle);
      return "powered on";
    }
    if (std::chrono::steady_clock::now() >= l_Deadline) {
      return "no pipe";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string RemoteSim::PowerOff() {
  m_PowerOff.Set();
  m_Pipe.Close();
  return "powered off";
}

std::string RemoteSim::Press(std::string_view p_Button) {
  for (std::size_t l_nIndex = 0; l_nIndex < kSimulatedButtonCount; ++l_nIndex) {
    if (kButtonWords[l_nIndex] == p_Button &&
        static_cast<SimulatedButton>(l_nIndex) != SimulatedButton::PowerOn) {
      m_Buttons[l_nIndex].Set();
      return "pressed " + std::string(p_Button);
    }
  }
  return "error: unknown button";
}

std::string RemoteSim::Read(int p_nMilliseconds) {
  if (!m_Pipe) {
    return "not powered on";
  }
  // The pipe waits on the layer's clock; the tool's times are real ones.
  const platform::PipeRead l_Read = m_Pipe.Read(std::chrono::duration_cast<platform::Timeout>(
      std::chrono::duration<double, std::milli>(p_nMilliseconds * platform::TimeScale())));
  switch (l_Read.status) {
    case platform::PipeReadStatus::Message: {
      const std::optional<CDeviceData> l_Page = DecodeSimulatorMessage(l_Read.message);
      return l_Page ? FormatPage(*l_Page) : "error: not a page";
    }
    case platform::PipeReadStatus::TimedOut:
      return "no page";
    case platform::PipeReadStatus::Disconnected:
      return "disconnected";
    case platform::PipeReadStatus::Failed:
      break;
  }
  return "error: read failed";
}
