// A stand-in for the media player application in the hook library's tests, built as "wmplayer"
// so that the layer presents it as "wmplayer.exe": a top-level window of a given class with a
// library tree view (control 1007) whose items are given as paths. Commands:
//   player <class> <path>...   the window and its tree view; answers "<window> <tree view>"
//   thread                     the window thread's id
//   busy <milliseconds>        the window thread stops answering for that long (the layer's clock)
//   drop-tree                  destroys the tree view
// Texts in paths are separated by '/', with '_' for a space.

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "hook/tests/CommandLoop.h"
#include "hook/tests/TreeItems.h"
#include "platform/base/Process.h"
#include "platform/base/Text.h"
#include "platform/kernel/Wait.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace {

HWND g_hTreeView = 0;  // the window thread only

LRESULT FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::DefWindowProc(window, message, wParam, lParam);
}

std::string Player(std::istringstream& words) {
  std::string className;
  words >> className;
  const std::u16string frameClass = platform::FromUtf8(className);
  platform::RegisterClass(frameClass, FrameProcedure);
  platform::RegisterTreeViewClass();
  const HWND frame = platform::CreateWindow(frameClass, u"Player", 0);
  g_hTreeView = platform::CreateWindow(WC_TREEVIEW, u"", WS_CHILD, frame, 1007);
  for (std::string path; words >> path;) {
    std::replace(path.begin(), path.end(), '_', ' ');
    std::istringstream texts(path);
    HTREEITEM item = 0;
    for (std::string text; std::getline(texts, text, '/');) {
      item = hooktest::TreeChild(g_hTreeView, item, platform::FromUtf8(text));
    }
  }
  return std::to_string(frame) + " " + std::to_string(g_hTreeView);
}

std::string Run(const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "player") {
    return Player(words);
  }
  if (command == "thread") {
    return std::to_string(platform::CurrentThreadId());
  }
  if (command == "busy") {
    std::uint32_t milliseconds = 0;
    words >> milliseconds;
    // Busy from the answer on: a request sent to the thread meanwhile waits however soon it comes.
    hooktest::AfterAnswer([milliseconds] { platform::Sleep(platform::Timeout(milliseconds)); });
    return "ok";
  }
  if (command == "drop-tree") {
    const bool dropped = platform::DestroyWindow(g_hTreeView);
    g_hTreeView = 0;
    return dropped ? "ok" : "failed";
  }
  return "unknown command";
}

void OnMessage(HWND, UINT, WPARAM, LPARAM) {}

}  // namespace

int main() { return hooktest::RunCommandLoop(Run, OnMessage); }
