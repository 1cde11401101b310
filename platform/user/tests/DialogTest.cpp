// Dialogs from declared resources: a modal About box ended by its buttons, keys or closing, and
// a modeless dialog kept hidden that gets its commands through the thread's loop.

#include "platform/user/Dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/user/Shell.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

std::vector<UINT> g_dialogMessages;  // what the dialog procedure saw; this thread only
LPARAM g_initParam = 0;

std::intptr_t AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  g_dialogMessages.push_back(message);
  if (message == WM_INITDIALOG) {
    g_initParam = lParam;
    return 1;
  }
  if (message == WM_COMMAND && (wParam == IDOK || wParam == IDCANCEL)) {
    EndDialog(dialog, static_cast<std::intptr_t>(wParam));
    return 1;
  }
  return 0;
}

// The items of a dialog as "id:text" words.
std::string Items(HWND dialog) {
  std::string items;
  EnumChildWindows(
      dialog,
      [](HWND item, LPARAM into) {
        *reinterpret_cast<std::string*>(into) +=
            std::to_string(GetDlgCtrlID(item)) + ':' + ToUtf8(GetWindowText(item)) + ' ';
        return true;
      },
      reinterpret_cast<LPARAM>(&items));
  return items;
}

std::function<void()> g_whileShown;  // run by the owner window inside the modal loop
constexpr UINT kActNow = WM_APP + 70;

LRESULT OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kActNow) {
    g_whileShown();
    return 0;
  }
  return DefWindowProc(window, message, wParam, lParam);
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeclareDialog(100, {u"About",
                        {{-1, u"Peskarin Application v1.48", false, false},
                         {IDOK, u"OK", true, true}}});
    RegisterClass(u"DialogTestOwner", OwnerProcedure);
    owner_ = CreateWindow(u"DialogTestOwner", u"", 0);
    ASSERT_NE(owner_, 0u);
    g_dialogMessages.clear();
  }
  void TearDown() override { DestroyWindow(owner_); }

  HWND owner_ = 0;
};

TEST_F(DialogTest, AModalDialogShowsItsItemsAndEndsWithTheResultItsProcedureGives) {
  struct Case {
    const char* name;
    UINT message;  // posted to the dialog (kButton: a click on its OK button)
    WPARAM wParam;
    std::intptr_t result;
  };
  constexpr UINT kButton = 0;
  for (const Case& c : {Case{"click on OK", kButton, 0, IDOK},
                        Case{"Enter presses the default button", WM_KEYDOWN, VK_RETURN, IDOK},
                        Case{"Escape cancels", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
                        Case{"closing cancels", WM_CLOSE, 0, IDCANCEL}}) {
    SCOPED_TRACE(c.name);
    HWND shown = 0;
    std::string items;
    g_whileShown = [&] {
      shown = FindWindow(WC_DIALOG, u"About");
      ASSERT_NE(shown, 0u);
      items = Items(shown);
      HWND target = shown;
      EnumChildWindows(
          shown,
          [](HWND item, LPARAM into) {
            if (GetDlgCtrlID(item) == IDOK) {
              *reinterpret_cast<HWND*>(into) = item;
            }
            return true;
          },
          reinterpret_cast<LPARAM>(&target));
      PostMessage(c.message == kButton ? target : shown,
                  c.message == kButton ? WM_LBUTTONDOWN : c.message, c.wParam, 0);
    };
    ASSERT_TRUE(PostMessage(owner_, kActNow, 0, 0));
    EXPECT_EQ(DialogBoxParam(100, owner_, AboutProcedure, 77), c.result);
    EXPECT_EQ(g_initParam, 77);
    EXPECT_NE(items.find("-1:Peskarin Application v1.48"), std::string::npos) << items;
    EXPECT_NE(items.find("1:OK"), std::string::npos) << items;
    EXPECT_FALSE(IsWindow(shown)) << "the dialog is gone once it ended";
  }
  EXPECT_EQ(DialogBoxParam(101, owner_, AboutProcedure, 0), -1) << "no such resource";
}

TEST_F(DialogTest, AModelessDialogStaysHiddenAndGetsItsCommandsThroughTheLoop) {
  const HWND dialog = CreateDialogParam(100, 0, AboutProcedure, 5);
  ASSERT_NE(dialog, 0u);
  ASSERT_FALSE(g_dialogMessages.empty());
  EXPECT_EQ(g_dialogMessages.back(), WM_INITDIALOG) << "before it is returned";
  g_dialogMessages.clear();
  ASSERT_TRUE(PostMessage(dialog, WM_COMMAND, 0xE140, 0));
  ASSERT_TRUE(PostMessage(owner_, WM_APP, 0, 0));
  MSG message;
  ASSERT_TRUE(PeekMessage(message, 0, 0, 0, PM_REMOVE));
  EXPECT_TRUE(IsDialogMessage(dialog, message));
  EXPECT_EQ(g_dialogMessages, std::vector<UINT>{WM_COMMAND});
  ASSERT_TRUE(PeekMessage(message, 0, 0, 0, PM_REMOVE));
  EXPECT_FALSE(IsDialogMessage(dialog, message)) << "not the dialog's";
  ASSERT_TRUE(DestroyWindow(dialog));
  EXPECT_EQ(g_dialogMessages.back(), WM_DESTROY);
  EXPECT_FALSE(EndDialog(dialog, 1));
}

}  // namespace
}  // namespace platform
