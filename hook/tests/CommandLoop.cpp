#include "hook/tests/CommandLoop.h"

#include <iostream>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"

namespace hooktest {
namespace {

constexpr UINT kRunCommand = WM_APP + 0x100;

struct Pending {
  const std::string* line;
  std::string answer;
};

const CommandHandler* g_pCommands = nullptr;  // set before the window thread starts
const MessageHandler* g_pMessages = nullptr;

LRESULT HelperProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCommand) {
    auto* pending = reinterpret_cast<Pending*>(lParam);
    pending->answer = (*g_pCommands)(*pending->line);
    return 0;
  }
  if (message != WM_CREATE && message != WM_DESTROY) {
    (*g_pMessages)(window, message, wParam, lParam);
  }
  return platform::DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

HWND CreateHelperWindow() { return platform::CreateWindow(u"HelperWindow", u"", 0); }

int RunCommandLoop(const CommandHandler& commands, const MessageHandler& messages,
                   const ThreadMessageHandler& threadMessages) {
  g_pCommands = &commands;
  g_pMessages = &messages;
  const platform::Event ready = platform::Event::Create(platform::EventReset::Manual, false).handle;
  HWND control = 0;
  platform::Thread windows = platform::Thread::Start([&]() -> std::uint32_t {
    platform::RegisterClass(u"HelperWindow", HelperProcedure);
    control = CreateHelperWindow();
    ready.Set();
    MSG message;
    while (platform::GetMessage(message, 0, 0, 0) > 0) {
      if (message.hwnd == 0) {
        threadMessages(message);
      }
      platform::DispatchMessage(message);
    }
    return 0;
  });
  platform::WaitForObject(ready.Ref(), platform::kInfinite);
  std::string line;
  while (std::getline(std::cin, line)) {
    Pending pending{&line, {}};
    platform::SendMessage(control, kRunCommand, 0, reinterpret_cast<LPARAM>(&pending));
    std::cout << pending.answer << std::endl;
  }
  platform::PostThreadMessage(windows.Id(), WM_QUIT, 0, 0);
  windows.Join();
  return 0;
}

}  // namespace hooktest
