// The helper program of the windows layer's multi-process tests and benchmark: a thread that
// owns windows and runs a message loop, and a command thread that reads one command a line from
// standard input and answers with one line. Commands run on the window thread (sent to its
// control window), so the helper's own state belongs to that thread alone.

#include <dlfcn.h>
#include <time.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/Process.h"
#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Hook.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

using Command = std::function<std::string()>;

constexpr UINT kRunCommand = WM_APP + 0x100;
// The benchmark's ping (lParam: its steady-clock time when posted) and the answer to the thread
// named by "bench-answer" (lParam: nanoseconds from the post to the dispatch).
constexpr UINT kBenchPing = WM_APP + 0x101;
constexpr UINT kBenchAnswer = WM_APP + 0x102;
std::uint32_t g_benchAnswerThread = 0;  // the window thread only

// The window thread's record of what reached it. The window thread only.
std::vector<std::string> g_seen;
// Set by the window thread after each message it records, for the command thread's waits.
Event g_recorded;

void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::ostringstream line;
  line << window << ':' << message << ':' << wParam << ':' << lParam;
  g_seen.push_back(line.str());
  g_recorded.Set();
}

// A tree view's selection notice as "notify:<control id>:<action>:<new item's text>".
void RecordNotice(const NMTREEVIEWW& notice) {
  char text[64] = {};
  TVITEMA item{TVIF_TEXT, notice.itemNew, 0, 0, text, sizeof text};
  SendMessage(notice.hdr.hwndFrom, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  g_seen.push_back("notify:" + std::to_string(notice.hdr.idFrom) + ':' +
                   std::to_string(notice.action) + ':' + text);
  g_recorded.Set();
}

// Under `parent`, the item of the text, made when it is not there yet. The window thread only.
HTREEITEM TreeChild(HWND tree, HTREEITEM parent, const std::u16string& text) {
  char buffer[64];
  for (auto item = static_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD,
                                                      static_cast<LPARAM>(parent)));
       item != 0; item = static_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                             static_cast<LPARAM>(item)))) {
    TVITEMA read{TVIF_TEXT, item, 0, 0, buffer, sizeof buffer};
    SendMessage(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read));
    if (FromUtf8(buffer) == text) {
      return item;
    }
  }
  TVINSERTSTRUCTW insert{parent == 0 ? TVI_ROOT : parent, TVI_LAST, TVIF_TEXT, text.c_str()};
  return static_cast<HTREEITEM>(
      SendMessage(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCommand) {
    *reinterpret_cast<std::string*>(lParam) = (*reinterpret_cast<const Command*>(wParam))();
    return 0;
  }
  if (message == kBenchPing) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    PostThreadMessage(g_benchAnswerThread, kBenchAnswer, 0, static_cast<LPARAM>(now - lParam));
    return 0;
  }
  if (message == WM_NOTIFY) {
    RecordNotice(*reinterpret_cast<const NMTREEVIEWW*>(lParam));
    return 0;
  }
  if (message != WM_CREATE) {
    Record(window, message, wParam, lParam);
  }
  return DefWindowProc(window, message, wParam, lParam);
}

std::uint32_t WindowThread(HWND& control, const Event& ready) {
  RegisterClass(u"HelperControl", RecordingProcedure);
  control = CreateWindow(u"HelperControl", u"", 0);
  ready.Set();
  MSG message;
  while (GetMessage(message, 0, 0, 0) > 0) {
    if (message.hwnd == 0) {
      Record(0, message.message, message.wParam, message.lParam);
    }
    DispatchMessage(message);
  }
  return 0;
}

std::string Failed() { return "failed " + std::to_string(LastWindowsError()); }

std::string Seen() {
  std::string all;
  for (const std::string& line : g_seen) {
    all += line + ' ';
  }
  return all.empty() ? "none" : all;
}

std::uint64_t CpuMicroseconds() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<std::uint64_t>(used.tv_sec) * 1000000u +
         static_cast<std::uint64_t>(used.tv_nsec) / 1000u;
}

class Helper {
 public:
  explicit Helper(HWND control) : control_(control) {}

  std::string Run(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "window") {
      std::string className, title;
      std::uint32_t parent = 0;
      words >> className >> title >> parent;
      return OnWindowThread([=] {
        RegisterClass(FromUtf8(className), RecordingProcedure);
        const HWND window = CreateWindow(FromUtf8(className), FromUtf8(title), 0, parent);
        return window == 0 ? Failed() : std::to_string(window);
      });
    }
    if (command == "tree") {
      HWND parent = 0;
      std::int32_t id = 0;
      words >> parent >> id;
      std::vector<std::string> paths;
      for (std::string path; words >> path;) {
        paths.push_back(path);
      }
      return OnWindowThread([=] {
        RegisterTreeViewClass();
        const HWND tree = CreateWindow(WC_TREEVIEW, u"", WS_CHILD, parent, id);
        for (const std::string& path : paths) {
          std::istringstream texts(path);
          HTREEITEM item = 0;
          for (std::string text; std::getline(texts, text, '/');) {
            item = TreeChild(tree, item, FromUtf8(text));
          }
        }
        return tree == 0 ? Failed() : std::to_string(tree);
      });
    }
    if (command == "thread") {
      return OnWindowThread([] { return std::to_string(CurrentThreadId()); });
    }
    if (command == "post" || command == "post-thread") {
      std::uint32_t target = 0;
      UINT message = 0;
      WPARAM wParam = 0;
      LPARAM lParam = 0;
      words >> target >> message >> wParam >> lParam;
      const bool posted = command == "post" ? PostMessage(target, message, wParam, lParam)
                                            : PostThreadMessage(target, message, wParam, lParam);
      return posted ? "ok" : Failed();
    }
    if (command == "expect") {
      std::string wanted;
      words >> wanted;
      return Expect(wanted);
    }
    if (command == "seen") {
      return OnWindowThread(Seen);
    }
    if (command == "hook") {
      std::uint32_t thread = 0;
      std::string library, procedure;
      words >> thread >> library >> procedure;
      return Hook(thread, library, procedure);
    }
    if (command == "unhook") {
      HHOOK hook = 0;
      words >> hook;
      return UnhookWindowsHookEx(hook) ? "ok" : Failed();
    }
    if (command == "timer") {
      HWND window = 0;
      std::uint32_t elapse = 0;
      words >> window >> elapse;
      return OnWindowThread(
          [=] { return SetTimer(window, 1, elapse) != 0 ? std::string("ok") : Failed(); });
    }
    if (command == "bench-answer") {
      std::uint32_t thread = 0;
      words >> thread;
      return OnWindowThread([this, thread] {
        g_benchAnswerThread = thread;
        return std::to_string(control_);
      });
    }
    if (command == "cpu") {
      return std::to_string(CpuMicroseconds());
    }
    return "unknown command";
  }

 private:
  std::string OnWindowThread(const Command& command) {
    std::string answer;
    SendMessage(control_, kRunCommand, reinterpret_cast<WPARAM>(&command),
                reinterpret_cast<LPARAM>(&answer));
    return answer;
  }

  // Waits (up to ten seconds of the layer's clock) until the window thread has recorded a
  // message that holds the text.
  std::string Expect(const std::string& wanted) {
    for (int round = 0; round < 100; ++round) {
      const std::string seen = OnWindowThread(Seen);
      if (seen.find(wanted) != std::string::npos) {
        return "seen";
      }
      WaitForObject(g_recorded.Ref(), Timeout(100));
    }
    return "not seen";
  }

  std::string Hook(std::uint32_t thread, const std::string& library,
                   const std::string& procedure) {
    void* loaded = dlopen(library.c_str(), RTLD_NOW);
    void* address = loaded == nullptr ? nullptr : dlsym(loaded, procedure.c_str());
    if (address == nullptr) {
      return "no such procedure";
    }
    const HHOOK hook = SetWindowsHookEx(WH_GETMESSAGE, reinterpret_cast<HOOKPROC>(address),
                                        loaded, thread);
    libraries_.emplace_back(loaded);
    return hook == 0 ? Failed() : std::to_string(hook);
  }

  // Owns the dlopen references of the libraries whose procedures this helper hooked with.
  struct LibraryCloser {
    void operator()(void* library) const noexcept { dlclose(library); }
  };

  HWND control_;
  std::vector<std::unique_ptr<void, LibraryCloser>> libraries_;
};

}  // namespace
}  // namespace platform

int main() {
  using namespace platform;
  g_recorded = Event::Create(EventReset::Auto, false).handle;
  const Event ready = Event::Create(EventReset::Manual, false).handle;
  HWND control = 0;
  Thread windows = Thread::Start([&] { return WindowThread(control, ready); });
  WaitForObject(ready.Ref(), kInfinite);
  {
    Helper helper(control);
    std::string line;
    while (std::getline(std::cin, line)) {
      std::cout << helper.Run(line) << std::endl;
    }
  }
  PostThreadMessage(windows.Id(), WM_QUIT, 0, 0);
  windows.Join();
  return 0;
}
