// Resources declared in code: accelerator tables turning key messages into commands, and menu
// resources in their languages, tracked as popups whose pick arrives as WM_COMMAND.

#include "platform/user/Resources.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/user/UserRegistry.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

std::vector<WPARAM> g_commands;          // WM_COMMAND's wParam as the window saw them
std::function<void()> g_whileTracked;  // run by the window inside the menu's modal loop
constexpr UINT kActNow = WM_APP + 60;

LRESULT CommandProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    g_commands.push_back(wParam);
    return 0;
  }
  if (message == kActNow) {
    g_whileTracked();
    return 0;
  }
  return DefWindowProc(window, message, wParam, lParam);
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass(u"ResourcesTestWindow", CommandProcedure);
    window_ = CreateWindow(u"ResourcesTestWindow", u"", 0);
    ASSERT_NE(window_, 0u);
    g_commands.clear();
  }
  void TearDown() override { DestroyWindow(window_); }

  HWND window_ = 0;
};

TEST_F(ResourcesTest, AcceleratorsTurnMatchingKeyMessagesIntoCommands) {
  DeclareAccelerators(109, {{FALT, '?', 104}, {FALT, '/', 104}, {FVIRTKEY, 0x70, 105},
                            {FCONTROL, 'x', 106}});
  const HACCEL table = LoadAccelerators(109);
  ASSERT_NE(table, 0u);
  struct Case {
    UINT message;
    WPARAM key;
    int taken;
  };
  for (const Case& c : {Case{WM_SYSCHAR, '?', 1}, Case{WM_SYSCHAR, '/', 1}, Case{WM_CHAR, '?', 0},
                        Case{WM_SYSCHAR, 'a', 0}, Case{WM_KEYDOWN, 0x70, 1},
                        Case{WM_SYSKEYDOWN, 0x70, 0}, Case{WM_CHAR, 'x', 0}}) {
    SCOPED_TRACE(::testing::Message() << c.message << " " << c.key);
    g_commands.clear();
    ASSERT_TRUE(PostMessage(window_, c.message, c.key, 0));
    MSG message;
    ASSERT_EQ(GetMessage(message, 0, 0, 0), 1);
    EXPECT_EQ(TranslateAccelerator(message.hwnd, table, message), c.taken);
    EXPECT_EQ(g_commands.size(), static_cast<std::size_t>(c.taken)) << "answered at once";
    if (c.taken == 1) {
      EXPECT_EQ(g_commands[0], (WPARAM{1} << 16) | (c.key == 0x70 ? 105 : 104));
    }
  }
  EXPECT_EQ(LoadAccelerators(110), 0u);
  EXPECT_EQ(LastWindowsError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  MSG key{window_, WM_SYSCHAR, '?', 0, 0};
  EXPECT_EQ(TranslateAccelerator(window_, table + 100, key), 0) << "no such table";
}

TEST_F(ResourcesTest, AMenuResourceLoadsInItsLanguageAndItsSubmenuPickArrivesAsACommand) {
  const std::vector<MenuItemResource> english{
      {0, u"Not ready", {{32775, u"Start", {}}, {32778, u"About", {}}}},
      {0, u"Ready", {{32776, u"Stop", {}}, {32777, u"Restart", {}}}}};
  const std::vector<MenuItemResource> german{
      {0, u"Nicht bereit", {{32775, u"Starten", {}}}},
      {0, u"Bereit", {{32776, u"Stoppen", {}}, {32777, u"Neu starten", {}}}}};
  DeclareMenu(201, 0, english);
  DeclareMenu(201, 7, german);
  EXPECT_EQ(LoadMenu(202), 0u);
  EXPECT_EQ(LastWindowsError(), ERROR_RESOURCE_NAME_NOT_FOUND);

  struct Case {
    std::uint16_t language;
    std::u16string restart;
  };
  for (const Case& c : {Case{7, u"Neu starten"}, Case{12, u"Restart"}}) {
    SCOPED_TRACE(c.language);
    const HMENU menu = LoadMenu(201, c.language);
    ASSERT_NE(menu, 0u);
    const HMENU ready = GetSubMenu(menu, 1);
    ASSERT_NE(ready, 0u);
    EXPECT_EQ(GetSubMenu(menu, 2), 0u);
    EXPECT_EQ(GetSubMenu(ready, 0), 0u) << "a command opens no submenu";

    std::vector<detail::ShellItem> shown;
    g_whileTracked = [&shown] {
      for (const detail::ShellRecord& record : detail::UserRegistry::Instance().ShellRecords()) {
        if (record.kind == detail::ShellKind::Menu && record.answer == 0) {
          shown = record.items;
          AnswerShellRecord(record.handle, 32777);
        }
      }
    };
    ASSERT_TRUE(PostMessage(window_, kActNow, 0, 0));
    EXPECT_EQ(TrackPopupMenu(ready, 0, 0, 0, window_), 1u);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, c.restart);
    MSG message;
    ASSERT_TRUE(PeekMessage(message, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_COMMAND);
    EXPECT_EQ(message.wParam, 32777u);

    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(DestroyMenu(ready)) << "the submenu went with its menu";
  }
}

}  // namespace
}  // namespace platform
