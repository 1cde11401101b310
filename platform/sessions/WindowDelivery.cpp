#include "platform/sessions/SessionManager.h"

#include <vector>

#include "platform/sessions/Sessions.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

// Posts to the windows layer's windows: posting is what crosses processes there.
class WindowsLayerDelivery final : public SessionWindowDelivery {
 public:
  void PostSessionChange(std::uint32_t window, std::uint32_t changeType,
                         std::uint32_t sessionId) override {
    PostMessage(window, WM_WTSSESSION_CHANGE, changeType, static_cast<LPARAM>(sessionId));
  }

  std::size_t EndSession(std::uint32_t sessionId) override {
    struct Search {
      std::uint32_t sessionId;
      std::vector<HWND> windows;
    } search{sessionId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) {
          auto& found = *reinterpret_cast<Search*>(context);
          std::uint32_t processId = 0;
          std::uint32_t session = 0;
          if (GetWindowThreadProcessId(window, &processId) != 0 &&
              ProcessIdToSessionId(processId, session) && session == found.sessionId) {
            found.windows.push_back(window);
          }
          return true;
        },
        reinterpret_cast<LPARAM>(&search));
    for (const HWND window : search.windows) {
      PostMessage(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
      PostMessage(window, WM_ENDSESSION, 1, ENDSESSION_LOGOFF);
    }
    return search.windows.size();
  }
};

}  // namespace

std::unique_ptr<SessionWindowDelivery> MakeWindowDelivery() {
  return std::make_unique<WindowsLayerDelivery>();
}

}  // namespace platform
