#include "tools/run-system/TrayLink.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "platform/base/Text.h"
#include "platform/user/Shell.h"
#include "platform/user/Window.h"

namespace {

using platform::detail::ShellKind;
using platform::detail::ShellRecord;
using platform::detail::UserRegistry;

// The tray's icons: the service runs, or it does not.
constexpr std::uint32_t kRunningIcon = 202;
constexpr std::uint32_t kStoppedIcon = 203;
constexpr auto kMenuPatience = std::chrono::seconds(10);
constexpr auto kLookAgain = std::chrono::milliseconds(20);
constexpr std::int32_t kDismiss = -1;

constexpr std::array kTrayCommands = {
    TrayCommand{"service-start", "S", 0x8004, false, true},
    TrayCommand{"service-stop", "T", 0x8007, true, false},
    TrayCommand{"service-restart", "R", 0x8009, true, true},
};

}  // namespace

std::span<const TrayCommand> TrayCommands() { return kTrayCommands; }

std::optional<TrayCommand> TrayCommandNamed(std::string_view p_Word) {
  const auto l_Found = std::ranges::find(kTrayCommands, p_Word, &TrayCommand::m_Word);
  return l_Found != kTrayCommands.end() ? std::optional(*l_Found) : std::nullopt;
}

std::optional<ShellRecord> TrayLink::Icon() {
  for (ShellRecord& l_Record : UserRegistry::Instance().ShellRecords()) {
    if (l_Record.kind == ShellKind::Icon && platform::GetClassName(l_Record.owner) == u"#32770" &&
        platform::GetWindowText(l_Record.owner) == u"Peskarin") {
      return std::move(l_Record);
    }
  }
  return std::nullopt;
}

std::optional<ShellRecord> TrayLink::OpenMenu(const ShellRecord& p_Icon) {
  if (!platform::ClickIcon(p_Icon.handle, WM_RBUTTONDOWN)) return std::nullopt;
  const auto l_End = std::chrono::steady_clock::now() + kMenuPatience;
  while (std::chrono::steady_clock::now() < l_End) {
    for (ShellRecord& l_Record : UserRegistry::Instance().ShellRecords()) {
      if (l_Record.kind == ShellKind::Menu && l_Record.owner == p_Icon.owner &&
          l_Record.answer == 0) {
        return std::move(l_Record);
      }
    }
    std::this_thread::sleep_for(kLookAgain);
  }
  return std::nullopt;
}

std::string TrayLink::Line() {
  const std::optional<ShellRecord> l_Icon = Icon();
  if (!l_Icon) {
    m_nIcon = 0;
    return "tray: not running";
  }
  if (l_Icon->icon != m_nIcon) {
    m_Menu.clear();
    if (const std::optional<ShellRecord> l_Menu = OpenMenu(*l_Icon)) {
      for (const platform::detail::ShellItem& l_Item : l_Menu->items) {
        m_Menu.append(m_Menu.empty() ? "" : ", ").append(platform::ToUtf8(l_Item.text));
      }
      platform::AnswerShellRecord(l_Menu->handle, kDismiss);
      m_nIcon = l_Icon->icon;
    }
  }
  std::string l_Line = "tray: service ";
  l_Line += l_Icon->icon == kRunningIcon   ? "running"
            : l_Icon->icon == kStoppedIcon ? "stopped"
                                           : "unknown";
  if (!m_Menu.empty()) l_Line.append("; menu: ").append(m_Menu);
  return l_Line;
}

std::string TrayLink::Choose(std::uint32_t p_nCommand, const std::string& p_Word) {
  const std::optional<ShellRecord> l_Icon = Icon();
  if (!l_Icon) return "no tray";
  const std::optional<ShellRecord> l_Menu = OpenMenu(*l_Icon);
  if (!l_Menu) return "the tray shows no menu";
  for (const platform::detail::ShellItem& l_Item : l_Menu->items) {
    if (l_Item.command == p_nCommand) {
      platform::AnswerShellRecord(l_Menu->handle, static_cast<std::int32_t>(l_Item.command));
      return p_Word + " picked in the tray's menu";
    }
  }
  platform::AnswerShellRecord(l_Menu->handle, kDismiss);
  return std::string("the tray's menu offers no ").append(p_Word);
}

bool TrayLink::WaitForState(bool p_bRunning, int p_nMilliseconds) const {
  const auto l_End = std::chrono::steady_clock::now() + std::chrono::milliseconds(p_nMilliseconds);
  const std::uint32_t l_nWanted = p_bRunning ? kRunningIcon : kStoppedIcon;
  do {
    const std::optional<ShellRecord> l_Icon = Icon();
    if (l_Icon && l_Icon->icon == l_nWanted) return true;
    std::this_thread::sleep_for(kLookAgain);
  } while (std::chrono::steady_clock::now() < l_End);
  return false;
}

TrayLink::Outcome TrayLink::CarryOut(const TrayCommand& p_Command, int p_nMilliseconds) {
  WaitForState(p_Command.m_bRunsBefore, p_nMilliseconds);
  Outcome l_Outcome{Choose(p_Command.m_nCommand, std::string(p_Command.m_Word))};
  // A restart shows the service stopped on its way back: the icon is running before it too.
  if (p_Command.m_bRunsBefore == p_Command.m_bRunsAfter) {
    WaitForState(!p_Command.m_bRunsAfter, p_nMilliseconds);
  }
  l_Outcome.m_bShown = WaitForState(p_Command.m_bRunsAfter, p_nMilliseconds);
  return l_Outcome;
}
