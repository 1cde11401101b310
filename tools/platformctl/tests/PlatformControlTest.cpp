// The control tool against the shell pieces of this process: icons it lists and clicks, menus
// and boxes it answers while their calls wait, addresses the shell was asked to open.

#include "tools/platformctl/PlatformControl.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "platform/base/Process.h"
#include "platform/kernel/Thread.h"
#include "platform/user/Dialog.h"
#include "platform/user/Shell.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace {

using platform::CreateWindow;

struct Outcome {
  int code;
  std::string out;
  std::string errors;
};

Outcome Control(const std::vector<std::string>& arguments) {
  std::ostringstream out, errors;
  const int code = platformctl::Run(arguments, out, errors);
  return {code, out.str(), errors.str()};
}

// What the tool does while a menu or box waits: run by the window when its modal loop dispatches
// the message posted before the call.
std::function<void()> g_whileShown;
constexpr UINT kActNow = WM_APP + 50;

LRESULT ToolProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kActNow) {
    g_whileShown();
    return 0;
  }
  return platform::DefWindowProc(window, message, wParam, lParam);
}

class PlatformControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegisterClass(u"ToolTestWindow", ToolProcedure);
    window_ = CreateWindow(u"ToolTestWindow", u"Tray", 0);
    ASSERT_NE(window_, 0u);
  }
  void TearDown() override { platform::DestroyWindow(window_); }

  // Arranges for `action` to run once the next menu or box is shown.
  void WhileShown(std::function<void()> action) {
    g_whileShown = std::move(action);
    ASSERT_TRUE(platform::PostMessage(window_, kActNow, 0, 0));
  }

  HWND window_ = 0;
};

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

TEST_F(PlatformControlTest, HelpAndCommandLineErrorsSayWhatWentWrong) {
  const Outcome help = Control({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: platformctl"), std::string::npos);

  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {{}, 2, "no command given"},
           {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
           {{"post", "x", "1"}, 2, "post needs a window and a message"},
           {{"post", "4000000000", "1"}, 1, "no window 4000000000"},
           {{"click", "99999"}, 1, "no icon 99999"},
           {{"click", "1", "middle"}, 2, "click needs an icon number and left or right"},
           {{"pick", "99999", "5"}, 1, "menu 99999 is not shown"},
           {{"answer", "99999", "maybe"}, 2, "answer needs a box number"},
           {{"answer", "99999", "ok"}, 1, "box 99999 is not shown"},
           {{"tree", "x", "Player", "1007"}, 2, "tree needs a process number"},
           {{"press", "99999"}, 2, "press needs a dialog number and a button id"},
           {{"press", "99999", "1"}, 1, "dialog 99999 has no button 1"},
           {{"tree", "1", "NoSuchWindow", "1007"}, 1, "no tree view answered"},
           {{"tree-click", "1", "NoSuchWindow", "1007"}, 2, "tree-click needs"},
       }) {
    const Outcome outcome = Control(c.arguments);
    EXPECT_EQ(outcome.code, c.code) << outcome.errors;
    EXPECT_NE(outcome.errors.find("platformctl: " + c.message), std::string::npos)
        << outcome.errors;
  }
}

TEST_F(PlatformControlTest, TheToolListsWindowsAndPostsToThem) {
  const Outcome windows = Control({"windows"});
  EXPECT_NE(windows.out.find(std::to_string(window_) + " process"), std::string::npos);
  EXPECT_NE(windows.out.find("class \"ToolTestWindow\" title \"Tray\""), std::string::npos);
  ASSERT_EQ(Control({"post", std::to_string(window_), "0x8001", "3", "4"}).code, 0);
  MSG message;
  ASSERT_TRUE(platform::PeekMessage(message, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, 0x8001u);
  EXPECT_EQ(message.wParam, 3u);
  EXPECT_EQ(message.lParam, 4);
}

std::intptr_t EndingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) {
    platform::EndDialog(dialog, static_cast<std::intptr_t>(wParam));
  }
  return message == WM_COMMAND || message == WM_INITDIALOG;
}

TEST_F(PlatformControlTest, TheToolPressesAShownDialogsButton) {
  platform::DeclareDialog(103, {u"About", {{-1, u"Drennick Version 1.48", false, false},
                                           {IDOK, u"OK", true, true}}});
  WhileShown([] {
    const Outcome windows = Control({"windows"});
    const std::size_t at = windows.out.find("class \"#32770\" title \"About\"");
    ASSERT_NE(at, std::string::npos) << windows.out;
    EXPECT_NE(windows.out.find("title \"Drennick Version 1.48\""), std::string::npos);
    const std::size_t line = windows.out.rfind('\n', at) + 1;
    const std::string dialog = FirstWord(windows.out.substr(line));
    EXPECT_EQ(Control({"press", dialog, "2"}).code, 1) << "it has no button 2";
    EXPECT_EQ(Control({"press", dialog, "1"}).code, 0);
  });
  EXPECT_EQ(platform::DialogBoxParam(103, window_, EndingProcedure, 0), IDOK);
}

// The tool asks the tree view's thread, so it runs on a second thread while this one serves.
TEST_F(PlatformControlTest, TheToolClicksATreeViewsItemByPathAndListsTheTree) {
  platform::RegisterTreeViewClass();
  const HWND tree = CreateWindow(WC_TREEVIEW, u"", WS_CHILD, window_, 1007);
  ASSERT_NE(tree, 0u);
  for (const auto& [parent, text] : {std::pair<HTREEITEM, const char16_t*>{TVI_ROOT, u"Music"},
                                     {TVI_ROOT, u"Playlists"}}) {
    TVINSERTSTRUCTW insert{parent, TVI_LAST, TVIF_TEXT, text};
    platform::SendMessage(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
  }
  const std::string process = std::to_string(platform::CurrentProcessId());
  Outcome clicked, listed;
  const std::uint32_t owner = platform::CurrentThreadId();
  constexpr UINT kToolDone = WM_APP + 51;
  platform::Thread tool = platform::Thread::Start([&] {
    clicked = Control({"tree-click", process, "tooltestwindow", "1007", "Playlists"});
    listed = Control({"tree", process, "ToolTestWindow", "1007"});
    platform::PostThreadMessage(owner, kToolDone, 0, 0);
    return 0u;
  });
  MSG message;
  while (platform::GetMessage(message, 0, 0, 0) > 0 && message.message != kToolDone) {
    platform::DispatchMessage(message);
  }
  tool.Join();
  EXPECT_EQ(clicked.code, 0) << clicked.errors;
  EXPECT_EQ(listed.out, "\"Music\"\n\"Playlists\" selected\n");
  platform::DestroyWindow(tree);
}

TEST_F(PlatformControlTest, AnIconIsListedWithItsTipAndAClickSendsItsCallback) {
  NOTIFYICONDATAA icon;
  icon.hWnd = window_;
  icon.uID = 1;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = 0x800E;
  icon.hIcon = 203;
  std::snprintf(icon.szTip, sizeof icon.szTip, "Service stopped");
  ASSERT_TRUE(platform::Shell_NotifyIconA(NIM_ADD, icon));
  EXPECT_FALSE(platform::Shell_NotifyIconA(NIM_ADD, icon)) << "it is there already";

  const Outcome listed = Control({"icons"});
  EXPECT_NE(listed.out.find("window " + std::to_string(window_) +
                            " id 1 icon 203 tip \"Service stopped\""),
            std::string::npos)
      << listed.out;
  ASSERT_EQ(Control({"click", FirstWord(listed.out), "right"}).code, 0);
  MSG message;
  ASSERT_TRUE(platform::PeekMessage(message, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, 0x800Eu);
  EXPECT_EQ(message.wParam, 1u);
  EXPECT_EQ(message.lParam, WM_RBUTTONDOWN);

  icon.uFlags = NIF_ICON | NIF_TIP;
  icon.hIcon = 202;
  std::snprintf(icon.szTip, sizeof icon.szTip, "Service running");
  ASSERT_TRUE(platform::Shell_NotifyIconA(NIM_MODIFY, icon));
  EXPECT_NE(Control({"icons"}).out.find("icon 202 tip \"Service running\""), std::string::npos);
  ASSERT_TRUE(platform::Shell_NotifyIconA(NIM_DELETE, icon));
  EXPECT_EQ(Control({"icons"}).out, "");
  EXPECT_FALSE(platform::Shell_NotifyIconA(NIM_MODIFY, icon));
}

TEST_F(PlatformControlTest, AMenuWaitsForThePickAndGivesItsCommand) {
  const HMENU menu = platform::CreatePopupMenu();
  platform::AppendMenu(menu, MF_STRING, 0x8004, u"Start");
  platform::AppendMenu(menu, MF_STRING, 0x8006, u"About...");
  struct Case {
    UINT flags;
    std::string pick;
    UINT returned;
  };
  for (const Case& c : {Case{TPM_RETURNCMD, "32774", 0x8006}, Case{TPM_RETURNCMD, "none", 0},
                        Case{0, "32772", 1}}) {
    SCOPED_TRACE(c.pick);
    WhileShown([&c] {
      const Outcome menus = Control({"menus"});
      EXPECT_NE(menus.out.find("items 32772:\"Start\" 32774:\"About...\""), std::string::npos)
          << menus.out;
      EXPECT_EQ(Control({"pick", FirstWord(menus.out), "7"}).code, 1) << "no such command";
      EXPECT_EQ(Control({"pick", FirstWord(menus.out), c.pick}).code, 0);
    });
    EXPECT_EQ(platform::TrackPopupMenu(menu, c.flags, 0, 0, window_), c.returned);
    EXPECT_EQ(Control({"menus"}).out, "") << "the menu closed";
  }
  MSG message;
  ASSERT_TRUE(platform::PeekMessage(message, 0, WM_COMMAND, WM_COMMAND, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0x8004u) << "without TPM_RETURNCMD the command is posted";
  EXPECT_TRUE(platform::DestroyMenu(menu));
}

TEST_F(PlatformControlTest, AMessageBoxWaitsForOneOfItsButtons) {
  WhileShown([] {
    const Outcome boxes = Control({"boxes"});
    EXPECT_NE(boxes.out.find("caption \"Peskarin\" text \"Stop it?\" buttons 6:\"Yes\" 7:\"No\""),
              std::string::npos)
        << boxes.out;
    EXPECT_EQ(Control({"answer", FirstWord(boxes.out), "ok"}).code, 1) << "no OK button";
    EXPECT_EQ(Control({"answer", FirstWord(boxes.out), "no"}).code, 0);
  });
  EXPECT_EQ(platform::MessageBox(window_, u"Stop it?", u"Peskarin", MB_YESNO), IDNO);
  EXPECT_EQ(Control({"boxes"}).out, "");
}

TEST_F(PlatformControlTest, TheShellsOpenIsRecordedForTheTool) {
  EXPECT_GT(platform::ShellExecute(window_, u"open", u"https://example.org/help", u"", u"", 1), 32);
  EXPECT_NE(Control({"opened"}).out.find("verb \"open\" address \"https://example.org/help\""),
            std::string::npos);
}

}  // namespace
