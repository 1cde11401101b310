// The second process of the control's tests: it hosts the player control in a hidden window of
// its single-threaded apartment and answers one line for each command line:
//   host [service type]  hosts the control with a site of that service type (none: a site
//                        without services); the HRESULT in hex
//   publish              a reference text of a class object that hands out the control's
//                        player, as the per-session server hands it out
//   shuffle              sets the player's shuffle mode; the HRESULT in hex
// Commands are read by a thread of their own and run on the apartment's thread, which pumps its
// queue meanwhile, so that calls into the control's own engine are served.

#include <iomanip>
#include <iostream>
#include <mutex>
#include <queue>
#include <sstream>
#include <string>
#include <thread>

#include "platform/base/Process.h"
#include "platform/com/CallLayer.h"
#include "platform/player/tests/HostedControl.h"
#include "platform/player/tests/PlayerHandout.h"
#include "platform/user/Window.h"

namespace {

using platform::ComPtr;

std::string Hex(HRESULT hr) {
  std::ostringstream text;
  text << std::hex << static_cast<std::uint32_t>(hr);
  return text.str();
}

class Helper {
 public:
  std::string Run(const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (command == "host") {
      const ComPtr<IUnknown> site =
          space == std::string::npos
              ? platform::MakeObject<player_test::CPlainSite>()->Identity()
              : platform::MakeObject<player_test::CTestSite>(
                    std::u16string(argument.begin(), argument.end()))
                    ->Identity();
      const HRESULT hr = m_control.Host(site.get());
      if (SUCCEEDED(hr)) m_player = m_control.Player();
      return Hex(hr);
    }
    if (command == "publish") {
      std::string text;
      const auto handout = platform::MakeObject<player_test::CPlayerHandout>(m_player);
      const HRESULT hr =
          platform::PublishReference(handout->Identity(), platform::IidOf<IClassFactory>, text);
      return FAILED(hr) ? Hex(hr) : text;
    }
    if (command == "shuffle") {
      ComPtr<IWMPSettings> settings;
      const HRESULT hr = m_player->get_settings(settings.put());
      UniqueBstr mode(SysAllocString(u"shuffle"));
      return Hex(FAILED(hr) ? hr : settings->setMode(mode.get(), VARIANT_TRUE));
    }
    return "unknown command";
  }

 private:
  player_test::HostedControl m_control;
  ComPtr<IWMPPlayer4> m_player;
};

// Lines of standard input, handed to the apartment's thread as thread messages. The reader
// thread is joined by the destructor, after standard input has ended.
class CommandReader {
 public:
  explicit CommandReader(std::uint32_t apartment)
      : m_thread([this, apartment] {
          std::string line;
          while (std::getline(std::cin, line)) {
            {
              const std::scoped_lock lock(m_mutex);
              m_lines.push(line);
            }
            platform::PostThreadMessage(apartment, WM_APP, 0, 0);
          }
          platform::PostThreadMessage(apartment, WM_QUIT, 0, 0);
        }) {}
  CommandReader(const CommandReader&) = delete;
  CommandReader& operator=(const CommandReader&) = delete;
  ~CommandReader() { m_thread.join(); }

  bool Next(std::string& line) {
    const std::scoped_lock lock(m_mutex);
    if (m_lines.empty()) return false;
    line = std::move(m_lines.front());
    m_lines.pop();
    return true;
  }

 private:
  std::mutex m_mutex;
  std::queue<std::string> m_lines;  // guarded by m_mutex
  std::thread m_thread;
};

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr)) || !platform::EnsureMessageQueue()) return 1;
  {
    Helper helper;
    CommandReader reader(platform::CurrentThreadId());
    MSG message;
    while (platform::GetMessage(message, 0, 0, 0) > 0) {
      if (message.hwnd == 0 && message.message == WM_APP) {
        for (std::string line; reader.Next(line);) std::cout << helper.Run(line) << std::endl;
      } else {
        platform::DispatchMessage(message);
      }
    }
  }
  CoUninitialize();
  return 0;
}
