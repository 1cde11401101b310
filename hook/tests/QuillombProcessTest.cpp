// The library across processes: a stand-in player ("wmplayer.exe") with a "WMPlayerApp" window
// and a tree view, and a stand-in server that loads the library by name and calls its exports.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/user/TreeView.h"

namespace {

using platform::Timeout;
using platform::testing::Environment;
using platform::testing::HelperProcess;

// The helpers' clock runs slower than the tests' own, so that bringing the library into a player
// (a load of an instrumented library) fits its 5-second wait on a loaded machine; the time-outs
// that the tests wait for on purpose still take well under a second.
constexpr const char* kHelperTimeScale = "10";
// On the test's clock, long enough for a player busy for 200 seconds of the helpers' clock.
constexpr Timeout kClickTimeout(1500000);
// Real time for the library to leave a player once its hook and worker are gone.
constexpr auto kLeaveBound = std::chrono::seconds(60);

std::vector<std::u16string> PathOf(const std::string& path) {
  std::vector<std::u16string> texts;
  std::istringstream words(path);
  for (std::string text; std::getline(words, text, '/');) {
    texts.push_back(platform::FromUtf8(text));
  }
  return texts;
}

class Player {
 public:
  Player(const std::string& session, const std::string& windowClass, const std::string& paths)
      : helper_(TEST_PLAYER, {},
                {{"PLATFORM_SESSION", session}, {"PLATFORM_TIME_SCALE", kHelperTimeScale}}) {
    std::istringstream answer(helper_.Command("player " + windowClass + " " + paths));
    answer >> frame_ >> tree_;
  }

  HWND Tree() const { return tree_; }
  pid_t Pid() const { return helper_.Pid(); }
  std::string Command(const std::string& line) { return helper_.Command(line); }

  // Clicks the item at the path ('/' between texts) as a person would.
  bool Click(const std::string& path) {
    const std::vector<std::u16string> texts = PathOf(path);
    return platform::ClickTreeItem(tree_, texts, kClickTimeout);
  }
  // The path of the selected item, from the tree's listing.
  std::string Selected() {
    const auto items = platform::ListTreeItems(tree_, kClickTimeout);
    std::vector<std::string> path;
    for (const platform::TreeItemLine& item :
         items.value_or(std::vector<platform::TreeItemLine>{})) {
      path.resize(static_cast<std::size_t>(item.depth));
      path.push_back(platform::ToUtf8(item.text));
      if (item.selected) {
        std::string joined;
        for (const std::string& text : path) {
          joined += (joined.empty() ? "" : "/") + text;
        }
        return joined;
      }
    }
    return "";
  }
  // Whether this player's process maps the hook library now.
  bool MapsLibrary() const {
    std::ifstream maps(std::filesystem::path("/proc") / std::to_string(Pid()) / "maps");
    for (std::string line; std::getline(maps, line);) {
      if (line.ends_with("/libQuillomb.so")) {
        return true;
      }
    }
    return false;
  }
  // Whether the thread belongs to this player's process.
  bool Owns(const std::string& thread) const {
    return thread != "0" &&
           std::filesystem::exists("/proc/" + std::to_string(Pid()) + "/task/" + thread);
  }

 private:
  HelperProcess helper_;
  HWND frame_ = 0;
  HWND tree_ = 0;
};

class Server {
 public:
  explicit Server(const std::string& session = "0")
      : helper_(TEST_SERVER, {},
                {{"PLATFORM_SESSION", session},
                 {"PLATFORM_TIME_SCALE", kHelperTimeScale},
                 {"LD_LIBRARY_PATH", QUILLOMB_LIBRARY_DIR}}) {}

  std::string Command(const std::string& line) { return helper_.Command(line); }
  // The slot's value after `name` ("hook", "player" or "worker").
  std::string Slot(const std::string& name) {
    std::istringstream words(helper_.Command("slot"));
    for (std::string word, value; words >> word >> value;) {
      if (word == name) {
        return value;
      }
    }
    return "";
  }
  pid_t Pid() const { return helper_.Pid(); }

 private:
  HelperProcess helper_;
};

const std::string kLibrary =
    "All_Music/Albums/Blue All_Music/Albums/Red All_Music/Artists/Gold "
    "All_Music/1/2/3/4/5/6/7";

// A player of session 0 with the library above (and the test's own paths), and a server of that
// session whose library entered the player.
class SnoopedPlayerTest : public ::testing::Test {
 protected:
  explicit SnoopedPlayerTest(const std::string& paths = "")
      : player("0", "WMPlayerApp", kLibrary + " " + paths) {}
  void SetUp() override {
    ASSERT_EQ(server.Command("load"), "ok");
    ASSERT_EQ(server.Command("snoop"), "1");
  }
  void TearDown() override { EXPECT_EQ(server.Command("shutdown"), "1"); }

  Player player;
  Server server;
};

using QuillombTest = SnoopedPlayerTest;

TEST_F(QuillombTest, TheHookBringsTheWorkerIntoThePlayerWhereItReadsAndSetsTheSelection) {
  EXPECT_TRUE(player.Owns(server.Slot("worker"))) << "the worker runs in the player";

  ASSERT_TRUE(player.Click("All Music/Albums/Blue"));
  EXPECT_GE(std::stoi(server.Command("notices 1")), 1) << "the change reaches the server's window";
  EXPECT_EQ(server.Command("selection"), "All Music/Albums/Blue");
  EXPECT_EQ(server.Command("status"), "All Music/Albums/Blue");

  ASSERT_TRUE(player.Click("All Music/1/2/3/4/5/6/7"));
  EXPECT_GE(std::stoi(server.Command("notices 2")), 2);
  EXPECT_EQ(server.Command("selection"), "2/3/4/5/6/7") << "the six lowest entries";

  EXPECT_EQ(server.Command("sync All_Music/Albums/Red"), "1");
  EXPECT_EQ(player.Selected(), "All Music/Albums/Red");
  EXPECT_EQ(server.Command("selection"), "All Music/Albums/Red");
}

TEST(QuillombSearchTest, ThePlayerIsFoundByItsWindowClassInAnyLetterCase) {
  struct Case {
    const char* windowClass;
    const char* snooped;
  };
  for (const Case& test : {Case{"wmplayerAPP", "1"}, Case{"OtherApp", "0"}}) {
    Player player("0", test.windowClass, kLibrary);
    Server server;
    ASSERT_EQ(server.Command("load"), "ok");
    EXPECT_EQ(server.Command("snoop"), test.snooped) << test.windowClass;
    EXPECT_EQ(server.Command("shutdown"), "1");
  }
  Server alone;
  ASSERT_EQ(alone.Command("load"), "ok");
  EXPECT_EQ(alone.Command("snoop"), "0") << "no player at all";
  EXPECT_EQ(alone.Slot("hook"), "0");
}

TEST_F(QuillombTest, LoadingAgainKeepsOneHookAndAfterAShutdownStartsANewWorker) {
  const std::string hook = server.Slot("hook");
  const std::string worker = server.Slot("worker");
  ASSERT_EQ(server.Command("snoop"), "1") << "the hook and the worker are alive";
  EXPECT_EQ(server.Slot("hook"), hook) << "no second hook";
  EXPECT_EQ(server.Slot("worker"), worker);

  EXPECT_TRUE(player.MapsLibrary());
  ASSERT_EQ(server.Command("shutdown"), "1");
  EXPECT_EQ(server.Slot("hook"), "0");
  EXPECT_EQ(server.Slot("worker"), "0") << "the worker ended";
  EXPECT_EQ(server.Command("selection"), "failed");
  // With its hook and its worker gone the library leaves the player.
  const auto by = std::chrono::steady_clock::now() + kLeaveBound;
  while (player.MapsLibrary() && std::chrono::steady_clock::now() < by) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(player.MapsLibrary());

  ASSERT_EQ(server.Command("snoop"), "1") << "a new worker in the library brought in again";
  EXPECT_TRUE(player.MapsLibrary());
  EXPECT_TRUE(player.Owns(server.Slot("worker")));
  ASSERT_TRUE(player.Click("All Music/Artists/Gold"));
  EXPECT_EQ(server.Command("selection"), "All Music/Artists/Gold");

  // The server loads the library again while the slot still names the player: no worker starts
  // in the server.
  ASSERT_EQ(server.Command("unload"), "ok");
  ASSERT_EQ(server.Command("load"), "ok");
  EXPECT_TRUE(player.Owns(server.Slot("worker")));
  ASSERT_EQ(server.Command("snoop"), "1");
  EXPECT_EQ(server.Command("selection"), "All Music/Artists/Gold");
  EXPECT_EQ(server.Command("status"), "All Music/Artists/Gold");
}

TEST(QuillombSessionTest, EachSessionsServerSeesOnlyItsOwnSessionsPlayer) {
  Player first("1", "WMPlayerApp", "All_Music/One");
  Player second("2", "WMPlayerApp", "All_Music/Two");
  Server firstServer("1");
  Server secondServer("2");
  for (Server* server : {&secondServer, &firstServer}) {
    ASSERT_EQ(server->Command("load"), "ok");
    ASSERT_EQ(server->Command("snoop"), "1");
  }
  EXPECT_TRUE(first.Owns(firstServer.Slot("worker")));
  EXPECT_TRUE(second.Owns(secondServer.Slot("worker")));

  ASSERT_TRUE(second.Click("All Music/Two"));
  ASSERT_TRUE(first.Click("All Music/One"));
  EXPECT_EQ(secondServer.Command("selection"), "All Music/Two");
  EXPECT_EQ(firstServer.Command("selection"), "All Music/One");
  EXPECT_EQ(secondServer.Command("sync All_Music"), "1");
  EXPECT_EQ(second.Selected(), "All Music");
  EXPECT_EQ(first.Selected(), "All Music/One");
  for (Server* server : {&firstServer, &secondServer}) {
    EXPECT_EQ(server->Command("shutdown"), "1");
  }
}

TEST_F(QuillombTest, AWorkerThatDoesNotAnswerFailsTheRequestAndItsLateAnswerIsNeverTaken) {
  ASSERT_TRUE(player.Click("All Music/Albums/Blue"));
  ASSERT_EQ(server.Command("selection"), "All Music/Albums/Blue");

  // Busy for forty times the request's time-out, so that both requests below meet it busy
  // however slowly a loaded machine carries them.
  ASSERT_EQ(player.Command("busy 200000"), "ok");
  EXPECT_EQ(server.Command("selection"), "failed");
  EXPECT_EQ(server.Command("status"), "failed");
  ASSERT_TRUE(player.Click("All Music/Albums/Red")) << "once the player answers again";
  EXPECT_EQ(server.Command("selection"), "All Music/Albums/Red");
}

TEST_F(QuillombTest, AfterATerminateTimeOutTheHookGoesThePlayerLivesOnAndALaterLoadStartsAWorker) {
  ASSERT_EQ(player.Command("busy 7000"), "ok");  // the worker's next poll waits for the player
  EXPECT_EQ(server.Command("shutdown"), "1") << "the terminate times out, the hook goes";
  EXPECT_NE(player.Command("thread"), "no answer") << "the player lives on once it answers again";
  ASSERT_EQ(server.Command("snoop"), "1") << "a new worker once the busy one has ended";
  EXPECT_TRUE(player.Owns(server.Slot("worker")));
  ASSERT_TRUE(player.Click("All Music/Albums/Red"));
  EXPECT_EQ(server.Command("selection"), "All Music/Albums/Red");
}

// Six levels of 510 characters and a digit under "All Music".
std::string DeepPath() {
  std::string deep = "All_Music";
  for (int level = 0; level < 6; ++level) {
    deep += "/" + std::string(510, 'x') + std::to_string(level);
  }
  return deep;
}

class QuillombRecordTest : public SnoopedPlayerTest {
 protected:
  QuillombRecordTest() : SnoopedPlayerTest(DeepPath()) {}
};

TEST_F(QuillombRecordTest, RecordsAreBoundedByTheTransferBuffer) {
  const std::string deep = DeepPath();

  std::string clicked = deep;
  std::replace(clicked.begin(), clicked.end(), '_', ' ');
  ASSERT_TRUE(player.Click(clicked));
  ASSERT_GE(std::stoi(server.Command("notices 1")), 1);
  const std::vector<std::u16string> read = PathOf(server.Command("selection"));
  ASSERT_EQ(read.size(), 6u) << "six lines of 511 characters, each cut to fit";
  for (std::size_t level = 0; level < read.size(); ++level) {
    EXPECT_TRUE(
        platform::FromUtf8(std::string(510, 'x') + std::to_string(level)).starts_with(read[level]));
    EXPECT_GT(read[level].size(), 60u);
  }

  ASSERT_TRUE(player.Click("All Music/Albums/Blue"));
  EXPECT_GE(std::stoi(server.Command("notices 2")), 2) << "the notify window is intact";
  struct Case {
    const char* what;
    std::string bytes;
    const char* result;
  };
  const std::string record =
      "00000000"
      "00"
      "416c6c204d75736963"
      "00"
      "00";  // "All Music"
  for (const Case& test : {Case{"longer than the buffer", "513 " + record, "0"},
                           Case{"not ended within its length", "14 " + record, "0"},
                           Case{"a whole record", "16 " + record, "1"}}) {
    EXPECT_EQ(server.Command("sync-bytes " + test.bytes), test.result) << test.what;
  }
  EXPECT_EQ(player.Selected(), "All Music") << "only the whole record was applied";
}

TEST_F(QuillombTest, WithoutATreeViewTheAnswerIsNoSelection) {
  ASSERT_TRUE(player.Click("All Music/Albums/Blue"));
  ASSERT_EQ(server.Command("selection"), "All Music/Albums/Blue");
  ASSERT_EQ(player.Command("drop-tree"), "ok");
  EXPECT_EQ(server.Command("selection"), "-") << "not the previous record";
}

}  // namespace
