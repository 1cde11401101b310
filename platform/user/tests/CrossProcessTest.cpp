// Windows, posts and hooks between processes: the test process against helpers that own windows.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/kernel/tests/OpenDescriptors.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

using testing::HelperProcess;

class WindowHelper : public HelperProcess {
 public:
  explicit WindowHelper(const testing::Environment& environment = {})
      : HelperProcess(USER_TEST_HELPER, {}, environment) {}

  HWND Window(const std::string& className, const std::string& title, HWND parent = 0) {
    return static_cast<HWND>(
        std::stoul(Command("window " + className + " " + title + " " + std::to_string(parent))));
  }
  std::uint32_t WindowThread() { return static_cast<std::uint32_t>(std::stoul(Command("thread"))); }
};

std::string Line(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::ostringstream line;
  line << window << ':' << message << ':' << wParam << ':' << lParam;
  return line.str();
}

TEST(CrossProcessWindowTest, AWindowIsFoundByClassFromAnotherProcessAndPostedTo) {
  WindowHelper helper;
  const HWND window = helper.Window("ProbeClass", "Probe");
  ASSERT_NE(window, 0u);

  EXPECT_EQ(FindWindow(u"ProbeClass", nullptr), window);
  EXPECT_EQ(FindWindow(u"ProbeClass", u"Probe"), window);
  EXPECT_EQ(FindWindow(nullptr, u"Probe"), window);
  EXPECT_EQ(FindWindow(u"PROBECLASS", u"probe"), window) << "letter case does not count";
  EXPECT_EQ(FindWindow(u"ProbeClass", u"Other"), 0u);
  EXPECT_EQ(GetClassName(window), u"ProbeClass");
  std::uint32_t process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(window, &process), helper.WindowThread());
  EXPECT_EQ(process, static_cast<std::uint32_t>(helper.Pid()));

  ASSERT_TRUE(PostMessage(window, WM_APP + 1, 7, -3));
  EXPECT_EQ(helper.Command("expect " + Line(window, WM_APP + 1, 7, -3)), "seen");
  EXPECT_FALSE(SendMessage(window, WM_NULL, 0, 0)) << "sending stays within a process";
  EXPECT_EQ(LastWindowsError(), ERROR_ACCESS_DENIED);
}

TEST(CrossProcessWindowTest, APostToAThreadArrivesWithoutAWindow) {
  WindowHelper helper;
  ASSERT_TRUE(PostThreadMessage(helper.WindowThread(), WM_APP + 2, 1, 2));
  EXPECT_EQ(helper.Command("expect " + Line(0, WM_APP + 2, 1, 2)), "seen");
  EXPECT_FALSE(PostThreadMessage(0x7FFFFFF0u, WM_APP, 0, 0));
  EXPECT_EQ(LastWindowsError(), ERROR_INVALID_THREAD_ID);
}

TEST(CrossProcessWindowTest, EnumerationSeesEachProcessesWindowsAndTheirChildren) {
  WindowHelper first;
  WindowHelper second;
  const HWND top = first.Window("EnumClass", "Top");
  const HWND child = first.Window("EnumChild", "Child", top);
  const HWND grandchild = first.Window("EnumChild", "Grandchild", child);
  const HWND other = second.Window("EnumClass", "Other");

  std::vector<HWND> found;
  const auto collect = [](HWND window, LPARAM into) {
    reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
    return true;
  };
  EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
  EXPECT_NE(std::find(found.begin(), found.end(), top), found.end());
  EXPECT_NE(std::find(found.begin(), found.end(), other), found.end());
  EXPECT_EQ(std::find(found.begin(), found.end(), child), found.end()) << "top-level only";

  found.clear();
  EnumThreadWindows(second.WindowThread(), collect, reinterpret_cast<LPARAM>(&found));
  EXPECT_EQ(found.size(), 2u) << "the helper's control window and its window";
  EXPECT_NE(std::find(found.begin(), found.end(), other), found.end());

  found.clear();
  EnumChildWindows(top, collect, reinterpret_cast<LPARAM>(&found));
  EXPECT_EQ(found, (std::vector<HWND>{grandchild, child}));
  EXPECT_EQ(GetParent(grandchild), child);
  EXPECT_EQ(FindWindow(u"EnumChild", nullptr), 0u) << "children are not top-level";

  found.clear();
  EXPECT_FALSE(EnumWindows(
      [](HWND window, LPARAM into) {
        reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
        return false;
      },
      reinterpret_cast<LPARAM>(&found)));
  EXPECT_EQ(found.size(), 1u) << "the callback's false ends the walk";
}

// A person's view of another process's tree view: its items listed with the selection marked,
// and a click by path that its thread performs and reports to the control's parent.
TEST(CrossProcessWindowTest, AnotherProcessesTreeViewIsListedAndClickedByPath) {
  WindowHelper helper;
  const HWND top = helper.Window("PlayerFrame", "Player");
  ASSERT_NE(top, 0u);
  const std::string made =
      helper.Command("tree " + std::to_string(top) +
                     " 1007 Music/Albums/Blue Music/Albums/Red Music/Artists Playlists");
  ASSERT_EQ(made.find("failed"), std::string::npos);
  const auto process = static_cast<std::uint32_t>(helper.Pid());
  const HWND tree = FindTreeView(process, u"playerframe", 1007);
  ASSERT_NE(tree, 0u) << "letter case of the class does not count";
  EXPECT_EQ(FindTreeView(process, u"PlayerFrame", 1008), 0u);
  EXPECT_EQ(FindTreeView(process + 1, u"PlayerFrame", 1007), 0u);

  const std::vector<std::u16string> red{u"Music", u"Albums", u"Red"};
  ASSERT_TRUE(ClickTreeItem(tree, red, Timeout(10000)));
  EXPECT_EQ(helper.Command("expect notify:1007:1:Red"), "seen");
  const std::vector<std::u16string> missing{u"Music", u"Genres"};
  EXPECT_FALSE(ClickTreeItem(tree, missing, Timeout(10000))) << "no item has that path";
  EXPECT_FALSE(ClickTreeItem(top, red, Timeout(10000))) << "not a tree view";

  const std::optional<std::vector<TreeItemLine>> lines = ListTreeItems(tree, Timeout(10000));
  ASSERT_TRUE(lines.has_value());
  std::string listing;
  for (const TreeItemLine& line : *lines) {
    listing += std::to_string(line.depth) + ToUtf8(line.text) + (line.selected ? "* " : " ");
  }
  EXPECT_EQ(listing, "0Music 1Albums 2Blue 2Red* 1Artists 0Playlists ");
}

TEST(CrossProcessWindowTest, ADeadProcessesWindowsAndQueuesAreGone) {
  WindowHelper helper;
  const HWND window = helper.Window("DyingClass", "Dying");
  const std::uint32_t thread = helper.WindowThread();
  ASSERT_TRUE(IsWindow(window));
  helper.Kill();

  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FindWindow(u"DyingClass", nullptr), 0u);
  EXPECT_FALSE(PostMessage(window, WM_APP, 0, 0));
  EXPECT_EQ(LastWindowsError(), ERROR_INVALID_WINDOW_HANDLE);

  WindowHelper later;
  later.WindowThread();
  char name[16];
  std::snprintf(name, sizeof name, "%08x", thread);
  const std::filesystem::path queues =
      std::filesystem::path(std::getenv("PLATFORM_ROOT")) / "user" / "queues";
  EXPECT_FALSE(std::filesystem::exists(queues / name)) << "a new queue sweeps the dead ones";
  EXPECT_FALSE(std::filesystem::exists(queues / (std::string(name) + ".socket")));
  EXPECT_FALSE(PostThreadMessage(thread, WM_APP, 0, 0));
}

// A process posts to the threads of many processes over its life (each session's server, each
// player started again): what it keeps for the queue of a process that has ended must go at its
// next post, not pile up one descriptor a process.
TEST(CrossProcessWindowTest, APosterKeepsNoConnectionToTheQueuesOfProcessesThatHaveEnded) {
  const auto postToAProcessThatEnds = [] {
    WindowHelper helper;
    EXPECT_TRUE(PostThreadMessage(helper.WindowThread(), WM_APP, 0, 0));
    helper.Kill();
  };
  postToAProcessThatEnds();
  const int afterOne = testing::OpenDescriptorCount();
  for (int round = 0; round < 4; ++round) {
    postToAProcessThatEnds();
  }
  EXPECT_EQ(testing::OpenDescriptorCount(), afterOne);
}

// The hook probe's trace file, and the lines of one process in it.
class HookTest : public ::testing::Test {
 protected:
  std::string TraceOf(pid_t process) {
    std::ifstream in(trace_);
    std::string line, lines;
    std::string suffix(1, ' ');
    suffix += std::to_string(process);
    suffix += ' ';
    while (std::getline(in, line)) {
      if (line.find(suffix) != std::string::npos) {
        lines += line.substr(0, line.find(' ')) + line.substr(line.rfind(' ')) + ";";
      }
    }
    return lines;
  }

  const std::filesystem::path trace_ =
      std::filesystem::path(std::getenv("PLATFORM_ROOT")) / "hook-trace";
  const testing::Environment environment_{{"HOOK_PROBE_TRACE", trace_.string()}};
};

TEST_F(HookTest, AHookLoadsItsLibraryIntoTheHookedProcessSeesItsMessagesAndUnloads) {
  WindowHelper hooked(environment_);
  WindowHelper setter(environment_);
  const HWND window = hooked.Window("HookedClass", "Hooked");
  const std::string hook = setter.Command("hook " + std::to_string(hooked.WindowThread()) +
                                          " " HOOK_PROBE_LIBRARY " ProbeHookProc");
  ASSERT_EQ(hook.find("failed"), std::string::npos) << hook;

  ASSERT_TRUE(PostMessage(window, WM_APP + 5, 0, 0));
  EXPECT_EQ(hooked.Command("expect " + Line(window, WM_APP + 5, 0, 0)), "seen");
  EXPECT_EQ(TraceOf(hooked.Pid()), "loaded 0;message 32773;")
      << "its load-time code ran there and its procedure saw the message, which went on";

  ASSERT_EQ(setter.Command("unhook " + hook), "ok");
  ASSERT_TRUE(PostMessage(window, WM_APP + 6, 0, 0));
  EXPECT_EQ(hooked.Command("expect " + Line(window, WM_APP + 6, 0, 0)), "seen");
  EXPECT_EQ(TraceOf(hooked.Pid()), "loaded 0;message 32773;unloaded 0;");
  EXPECT_EQ(setter.Command("unhook " + hook), "failed 1404");
}

TEST_F(HookTest, HookingAThreadThatIsGoneFails) {
  WindowHelper setter(environment_);
  std::uint32_t thread = 0;
  {
    WindowHelper gone(environment_);
    thread = gone.WindowThread();
  }
  EXPECT_EQ(
      setter.Command("hook " + std::to_string(thread) + " " HOOK_PROBE_LIBRARY " ProbeHookProc"),
      "failed 87");
  EXPECT_EQ(setter.Command("hook " + std::to_string(setter.WindowThread()) +
                           " " HOOK_PROBE_LIBRARY " NoSuchProc"),
            "no such procedure");
}

// A window thread with nothing to do sleeps: its process uses no processor time while idle.
TEST(IdleWindowTest, AnIdleProcessWithWindowsUsesNoCpu) {
  WindowHelper helper;
  helper.Window("IdleClass", "Idle");
  ASSERT_TRUE(helper.Command("timer 0 0").find("failed") == 0) << "no timer on a missing window";
  const std::uint64_t before = std::stoull(helper.Command("cpu"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::uint64_t after = std::stoull(helper.Command("cpu"));
  EXPECT_LT(after - before, 30000u) << "microseconds of CPU in 300 ms of idling";
}

}  // namespace
}  // namespace platform
