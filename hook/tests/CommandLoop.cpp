#include "hook/tests/CommandLoop.h"

#include <iostream>
#include <utility>

#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/kernel/Wait.h"

namespace hooktest {
namespace {

constexpr UINT kRunCommand = WM_APP + 0x100;

struct Pending {
  const std::string* line;
  std::string answer;
  platform::Event answered;  // the answer may be written
};

const CommandHandler* g_pCommands = nullptr;  // set before the window thread starts
const MessageHandler* g_pMessages = nullptr;
std::function<void()> g_AfterAnswer;  // the window thread only

LRESULT HelperProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCommand) {
    auto* pending = reinterpret_cast<Pending*>(lParam);
    pending->answer = (*g_pCommands)(*pending->line);
    const std::function<void()> after = std::exchange(g_AfterAnswer, nullptr);
    pending->answered.Set();
    if (after) {
      after();
    }
    return 0;
  }
  if (message != WM_CREATE && message != WM_DESTROY) {
    (*g_pMessages)(window, message, wParam, lParam);
  }
  return platform::DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

HWND CreateHelperWindow() { return platform::CreateWindow(u"HelperWindow", u"", 0); }

void AfterAnswer(std::function<void()> action) { g_AfterAnswer = std::move(action); }

int RunCommandLoop(const CommandHandler& commands, const MessageHandler& messages) {
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
      platform::DispatchMessage(message);
    }
    return 0;
  });
  platform::WaitForObject(ready.Ref(), platform::kInfinite);
  std::string line;
  while (std::getline(std::cin, line)) {
    // Posted rather than sent, so that the window thread can go on with the command's
    // continuation once the answer is out.
    Pending pending{&line, {}, platform::Event::Create(platform::EventReset::Manual, false).handle};
    platform::PostMessage(control, kRunCommand, 0, reinterpret_cast<LPARAM>(&pending));
    platform::WaitForObject(pending.answered.Ref(), platform::kInfinite);
    std::cout << pending.answer << std::endl;
  }
  platform::PostThreadMessage(windows.Id(), WM_QUIT, 0, 0);
  windows.Join();
  return 0;
}

}  // namespace hooktest
