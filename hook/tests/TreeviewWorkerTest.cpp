// The worker's work on a tree view of its own process: the selection path it reads and the path
// it selects.

#include "hook/TreeviewWorker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/DeviceData.h"
#include "hook/SelectionRecord.h"
#include "hook/tests/TreeItems.h"
#include "platform/base/Text.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace {

LRESULT FrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::DefWindowProc(window, message, wParam, lParam);
}

// A tree view of the test's thread, made from paths of texts separated by '/'.
class TreeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegisterClass(u"TreeFrame", FrameProcedure);
    platform::RegisterTreeViewClass();
    frame_ = platform::CreateWindow(u"TreeFrame", u"", 0);
    tree_ = platform::CreateWindow(WC_TREEVIEW, u"", WS_CHILD, frame_, 1007);
    ASSERT_NE(tree_, 0u);
  }
  void TearDown() override {
    platform::DestroyWindow(frame_);
    platform::UnregisterClass(u"TreeFrame");
  }

  // The item at the path, made with its ancestors when missing.
  HTREEITEM Item(const std::string& path) {
    HTREEITEM item = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t end = std::min(path.find('/', start), path.size());
      item = hooktest::TreeChild(tree_, item, platform::FromUtf8(path.substr(start, end - start)));
      start = end + 1;
    }
    return item;
  }
  void Select(HTREEITEM item) {
    platform::SendMessage(tree_, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(item));
  }
  HTREEITEM Selected() {
    return static_cast<HTREEITEM>(platform::SendMessage(tree_, TVM_GETNEXTITEM, TVGN_CARET, 0));
  }

  HWND tree_ = 0;

 private:
  HWND frame_ = 0;
};

std::string PathOf(const std::vector<std::uint8_t>& bytes) {
  const CDeviceData record{std::span(bytes)};
  EXPECT_EQ(record.GetSelectedLine(), 0);
  EXPECT_EQ(record.GetTitle().length(), 0u);
  std::string path;
  for (const _bstr_t& line : record.GetLines()) {
    if (!path.empty()) path += '/';
    path += platform::ToUtf8(line.view());
  }
  return path;
}

using TreeviewSelectionTest = TreeFixture;

TEST_F(TreeviewSelectionTest, TheRecordHoldsThePathRootFirstAndAtMostSixLines) {
  struct Case {
    std::string selected;
    std::string lines;
  };
  const std::vector<Case> cases{
      {"All Music/Albums/A", "All Music/Albums/A"},
      {"All Music", "All Music"},
      {"1/2/3/4/5/6/7/8", "3/4/5/6/7/8"},
  };
  for (const Case& test : cases) {
    const HTREEITEM item = Item(test.selected);
    Select(item);
    EXPECT_EQ(PathOf(TreeviewSelectionRecord(tree_, item)), test.lines) << test.selected;
  }
}

using TreeviewSynchronizeTest = TreeFixture;

TEST_F(TreeviewSynchronizeTest, ThePathIsFollowedFromAnAllMusicRoot) {
  struct Case {
    const char* what;
    std::vector<std::string> tree;
    std::vector<std::u16string> path;
    std::string selected;  // "" when the selection stays as it was
  };
  const std::vector<Case> cases{
      {"the whole path",
       {"All Music/Albums/B", "All Music/Artists/B"},
       {u"All Music", u"Albums", u"B"},
       "All Music/Albums/B"},
      {"a missing entry is passed over",
       {"All Music/B", "All Music/Genres"},
       {u"All Music", u"Albums", u"B"},
       "All Music/B"},
      {"nothing found selects the root",
       {"All Music/Genres"},
       {u"All Music", u"Albums", u"B"},
       "All Music"},
      {"an unmatched last entry stays at its parent",
       {"All Music/Albums/C"},
       {u"All Music", u"Albums", u"B"},
       "All Music/Albums"},
      {"a path that does not begin at All Music", {"All Music/Albums/B"}, {u"Albums", u"B"}, ""},
      {"names are compared exactly", {"All Music/Albums/B"}, {u"all music", u"Albums", u"B"}, ""},
      {"a tree whose root is not All Music",
       {"Library/Albums/B"},
       {u"All Music", u"Albums", u"B"},
       ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    TearDown();
    SetUp();
    for (const std::string& path : test.tree) {
      Item(path);
    }
    const HTREEITEM before = Item(test.tree.back());
    Select(before);
    CDeviceData record;
    std::vector<_bstr_t> lines;
    for (const std::u16string& line : test.path) {
      lines.emplace_back(std::u16string_view(line));
    }
    record.SetLines(std::move(lines));
    SnoopSharedData data{};
    data.treeViewWindow = tree_;
    StoreTransfer(data, FlatRecordWithin(record, kTreeviewTransferSize));

    TreeviewSynchronize(data);
    EXPECT_EQ(Selected(), test.selected.empty() ? before : Item(test.selected));
  }
}

}  // namespace
