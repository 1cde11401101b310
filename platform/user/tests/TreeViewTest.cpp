// The tree-view control, driven from a worker thread of the process while the owning thread
// serves its messages.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/base/Process.h"
#include "platform/kernel/Thread.h"
#include "platform/user/TreeView.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

class TreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTreeViewClass();
    tree_ = CreateWindow(WC_TREEVIEW, u"", WS_CHILD, 0, 1007);
    ASSERT_NE(tree_, 0u);
    library_ = Insert(TVI_ROOT, u"Library");
    music_ = Insert(library_, u"Music");
    artists_ = Insert(music_, u"Artists");
    albums_ = Insert(music_, u"Albums");
    playlists_ = Insert(TVI_ROOT, u"Playlists");
  }
  void TearDown() override { DestroyWindow(tree_); }

  HTREEITEM Insert(HTREEITEM parent, const char16_t* text, HTREEITEM after = TVI_LAST) {
    TVINSERTSTRUCTW insert{parent, after, TVIF_TEXT, text};
    return static_cast<HTREEITEM>(
        SendMessage(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  }

  // Runs `work` on a second thread, as the player's worker does, while this thread (the
  // control's owner) serves the messages it sends.
  void FromWorker(const std::function<void()>& work) {
    const std::uint32_t owner = CurrentThreadId();
    Thread worker = Thread::Start([&] {
      work();
      PostThreadMessage(owner, WM_APP, 0, 0);
      return 0u;
    });
    MSG message;
    while (GetMessage(message, 0, 0, 0) > 0 && message.message != WM_APP) {
      DispatchMessage(message);
    }
    worker.Join();
  }

  HTREEITEM Next(WPARAM relation, HTREEITEM item = 0) const {
    return static_cast<HTREEITEM>(
        SendMessage(tree_, TVM_GETNEXTITEM, relation, static_cast<LPARAM>(item)));
  }
  std::string Text(HTREEITEM item, int bufferLength = 512) const {
    std::string buffer(static_cast<std::size_t>(bufferLength), 'x');
    TVITEMA query{TVIF_TEXT, item, 0, 0, buffer.data(), bufferLength};
    if (SendMessage(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)) == 0) {
      return "<none>";
    }
    return buffer.c_str();
  }
  UINT State(HTREEITEM item) const {
    TVITEMA query{TVIF_STATE, item, 0, 0, nullptr, 0};
    SendMessage(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
    return query.state;
  }

  HWND tree_ = 0;
  HTREEITEM library_ = 0, music_ = 0, artists_ = 0, albums_ = 0, playlists_ = 0;
};

TEST_F(TreeViewTest, AWorkerWalksTheTreeInOrderAndReadsTexts) {
  FromWorker([this] {
    EXPECT_EQ(Next(TVGN_ROOT), library_);
    EXPECT_EQ(Next(TVGN_NEXT, library_), playlists_);
    EXPECT_EQ(Next(TVGN_NEXT, playlists_), 0u);
    EXPECT_EQ(Next(TVGN_CHILD, music_), artists_);
    EXPECT_EQ(Next(TVGN_NEXT, artists_), albums_);
    EXPECT_EQ(Next(TVGN_PARENT, albums_), music_);
    EXPECT_EQ(Next(TVGN_PARENT, library_), 0u);
    EXPECT_EQ(Next(TVGN_CHILD, albums_), 0u);
    EXPECT_EQ(Next(TVGN_CARET), 0u) << "nothing selected yet";
    EXPECT_EQ(Text(albums_), "Albums");
    EXPECT_EQ(Text(albums_, 4), "Alb") << "cut to the buffer, with its terminator";
  });
  const HTREEITEM first = Insert(library_, u"First", TVI_FIRST);
  EXPECT_EQ(Next(TVGN_CHILD, library_), first);
}

TEST_F(TreeViewTest, TextComesInTheAnsiCodePage) {
  const HTREEITEM item = Insert(playlists_, u"Caf\u00e9");
  FromWorker([&] { EXPECT_EQ(Text(item), "Caf\xe9"); });
}

TEST_F(TreeViewTest, SelectingAnItemMakesItTheCaretAndExpandsItsAncestors) {
  FromWorker([this] {
    EXPECT_EQ(SendMessage(tree_, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(albums_)), 1);
    EXPECT_EQ(Next(TVGN_CARET), albums_);
    EXPECT_EQ(State(albums_), TVIS_SELECTED);
    EXPECT_EQ(State(music_), TVIS_EXPANDED);
    EXPECT_EQ(State(library_), TVIS_EXPANDED);
    SendMessage(tree_, TVM_EXPAND, TVE_EXPAND, static_cast<LPARAM>(playlists_));
    EXPECT_EQ(State(playlists_), TVIS_EXPANDED);
    SendMessage(tree_, TVM_EXPAND, TVE_COLLAPSE, static_cast<LPARAM>(playlists_));
    EXPECT_EQ(State(playlists_), 0u);
  });
}

TEST_F(TreeViewTest, ARemovedItemsHandleStaysDeadAndIsNeverGivenAgain) {
  SendMessage(tree_, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(artists_));
  ASSERT_EQ(SendMessage(tree_, TVM_DELETEITEM, 0, static_cast<LPARAM>(music_)), 1);
  const HTREEITEM later = Insert(library_, u"Later");
  FromWorker([&] {
    EXPECT_EQ(Next(TVGN_CARET), 0u) << "the selection went with its item";
    for (const HTREEITEM gone : {music_, artists_, albums_}) {
      EXPECT_NE(later, gone);
      EXPECT_EQ(Text(gone), "<none>");
      EXPECT_EQ(Next(TVGN_NEXT, gone), 0u);
      EXPECT_EQ(SendMessage(tree_, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(gone)), 0);
    }
    EXPECT_EQ(Next(TVGN_CHILD, library_), later);
  });
}

}  // namespace
}  // namespace platform
