// The player application as the system meets it: started in a session, found by its window class
// and its tree view's control id from another process, driven with the control tool, activated
// by its class, and its player's events received by a sink in this process.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/com/DispatchSink.h"
#include "platform/kernel/Root.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/PlayerApplicationControl.h"
#include "platform/player/app/tests/AppProcess.h"
#include "platform/user/TreeView.h"

namespace player_app_test {
namespace {

using platform::ComPtr;
using platform::IidOf;
using Lines = std::vector<std::string>;

// On the layer's clock, which runs fast in the tests: twelve seconds of real time.
constexpr platform::Timeout kAnswer{600000};

// Runs the control tool in `session`; its exit code.
int Tool(std::uint32_t session, std::vector<std::string> words) {
  words.insert(words.begin(), PLATFORMCTL);
  // Real time, as the application keeps, for the tool's waits.
  std::string command = "PLATFORM_TIME_SCALE=1 PLATFORM_SESSION=" + std::to_string(session);
  for (const std::string& word : words) command += " '" + word + "'";
  const int status = std::system((command + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HWND TreeOf(const AppProcess& app) {
  return Await([&] {
    return platform::FindTreeView(static_cast<std::uint32_t>(app.Pid()), u"WMPlayerApp", 1007);
  });
}

// The tree as a person reads it: two spaces a level, "*" after the selected item.
Lines Listing(HWND tree) {
  Lines lines;
  const auto items = platform::ListTreeItems(tree, kAnswer);
  if (!items) return {"(no answer)"};
  for (const platform::TreeItemLine& item : *items) {
    lines.push_back(std::string(static_cast<std::size_t>(item.depth) * 2, ' ') +
                    platform::ToUtf8(item.text) + (item.selected ? " *" : ""));
  }
  return lines;
}

// Whether the listing has an item at the path (root first; " *" marks the selected item).
bool HasPath(const Lines& listing, const Lines& path) {
  std::size_t matched = 0;
  for (const std::string& line : listing) {
    const std::size_t depth = line.find_first_not_of(' ') / 2;
    if (depth > matched) continue;
    const std::string text = line.substr(depth * 2);
    if (depth < matched) matched = depth;
    if (text == path[matched] && ++matched == path.size()) return true;
  }
  return false;
}

std::vector<std::string> Selected(const Lines& listing) {
  std::vector<std::string> selected;
  for (const std::string& line : listing) {
    if (line.ends_with(" *")) selected.push_back(line);
  }
  return selected;
}

// The player's events as they reach this process, as lines; called on the call layer's threads.
class RemoteEvents final : public platform::DispatchSink<RemoteEvents, _WMPOCXEvents> {
 public:
  HRESULT OnDocked() { return Add("PlayerDockedStateChange"); }
  HRESULT OnMediaCollectionChange() { return Add("MediaCollectionChange"); }
  HRESULT OnStringAdded(BSTR name, BSTR value) {
    return Add("StringAdded " + Text(name) + "," + Text(value));
  }
  HRESULT OnStringRemoved(BSTR name, BSTR value) {
    return Add("StringRemoved " + Text(name) + "," + Text(value));
  }
  HRESULT OnPlaylistCollectionChange() { return Add("PlaylistCollectionChange"); }
  HRESULT OnPlaylistAdded(BSTR name) { return Add("PlaylistAdded " + Text(name)); }
  HRESULT OnPlaylistRemoved(BSTR name) { return Add("PlaylistRemoved " + Text(name)); }
  HRESULT OnPlaylistChange(IUnknown*, std::int32_t type) {
    return Add("PlaylistChange " + std::to_string(type));
  }
  HRESULT OnPlayStateChange(std::int32_t state) {
    return Add("PlayStateChange " + std::to_string(state));
  }

  using E = _WMPOCXEvents;
  using SinkMap = platform::SinkMap<
      platform::SinkEntry<E::PlayerDockedStateChange, &RemoteEvents::OnDocked>,
      platform::SinkEntry<E::MediaCollectionChange, &RemoteEvents::OnMediaCollectionChange>,
      platform::SinkEntry<E::MediaCollectionAttributeStringAdded, &RemoteEvents::OnStringAdded>,
      platform::SinkEntry<E::MediaCollectionAttributeStringRemoved,
                          &RemoteEvents::OnStringRemoved>,
      platform::SinkEntry<E::PlaylistCollectionChange, &RemoteEvents::OnPlaylistCollectionChange>,
      platform::SinkEntry<E::PlaylistCollectionPlaylistAdded, &RemoteEvents::OnPlaylistAdded>,
      platform::SinkEntry<E::PlaylistCollectionPlaylistRemoved, &RemoteEvents::OnPlaylistRemoved>,
      platform::SinkEntry<E::PlaylistChange, &RemoteEvents::OnPlaylistChange>,
      platform::SinkEntry<E::PlayStateChange, &RemoteEvents::OnPlayStateChange>>;

  // The lines so far once `last` has come (or the wait gave up), then forgets them.
  Lines TakeThrough(const std::string& last) {
    std::unique_lock lock(m_mutex);
    m_arrived.wait_for(lock, kPatience, [&] {
      return std::find(m_lines.begin(), m_lines.end(), last) != m_lines.end();
    });
    return std::exchange(m_lines, {});
  }

 private:
  static std::string Text(BSTR text) {
    return platform::ToUtf8(std::u16string_view(text, SysStringLen(text)));
  }
  HRESULT Add(std::string line) {
    {
      const std::scoped_lock lock(m_mutex);
      m_lines.push_back(std::move(line));
    }
    m_arrived.notify_all();
    return S_OK;
  }
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  Lines m_lines;  // guarded by m_mutex
};

// The class object of the application of `session`, once it has registered.
ComPtr<IClassFactory> ClassObjectOf(std::uint32_t session) {
  ComPtr<IClassFactory> factory;
  HRESULT hr = S_OK;
  Await([&] {
    hr = platform::BindClassObject(session, CLSID_PlayerApplication, IidOf<IClassFactory>,
                                   factory.put_void());
    return hr != kServerStarting;
  });
  EXPECT_EQ(hr, S_OK);
  return factory;
}

class PlayerApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::player::kPlayerApplicationControlRegistered);
    ASSERT_TRUE(platform::player::RegisterPlayerApplication(WMPLAYER));
  }
};

TEST_F(PlayerApplicationTest, TheTreeShowsTheLibraryAndAClickFromTheToolSelects) {
  AppProcess app(11, {"--library", PLAYER_SAMPLE_LIBRARY});
  ASSERT_NE(app.MainWindow(), 0u);
  const HWND tree = TreeOf(app);
  ASSERT_NE(tree, 0u);
  EXPECT_EQ(Listing(tree), (Lines{
                               "All Music",
                               "  Album",
                               "    Blue Harbour",
                               "    Night Ferry",
                               "    Iron Orchard",
                               "    Greatest Hits",
                               "    Greatest Hits",
                               "    Unknown",
                               "    Field Recordings",
                               "    Circuit Garden",
                               "  Album Artist",
                               "    Mara Venn",
                               "      Blue Harbour",
                               "      Night Ferry",
                               "    The Quiet Engines",
                               "      Iron Orchard",
                               "    Tolan Brisk",
                               "      Greatest Hits",
                               "    Odalys Crane",
                               "      Greatest Hits",
                               "    Unknown",
                               "      Unknown",
                               "      Field Recordings",
                               "    Kestrel",
                               "      Circuit Garden",
                               "  Contributing Artist",
                               "    Mara Venn",
                               "      Blue Harbour",
                               "      Night Ferry",
                               "    The Quiet Engines",
                               "      Iron Orchard",
                               "    Tolan Brisk",
                               "      Greatest Hits",
                               "      Unknown",
                               "    Odalys Crane",
                               "      Greatest Hits",
                               "    Unknown",
                               "      Field Recordings",
                               "      Unknown",
                               "    Kestrel",
                               "      Circuit Garden",
                               "    kestrel",
                               "      Circuit Garden",
                               "    Zed",
                               "      Unknown",
                               "  Genre",
                               "    Folk",
                               "    Rock",
                               "    Unknown",
                               "    Pop",
                               "    Jazz",
                               "    Electronic",
                               "My Playlists",
                               "  Road Trip",
                               "  Road Trip",
                               "  Quiet Evening",
                               "  Empty Shelf",
                               "  Clips",
                               "Auto Playlists",
                               "  All Music",
                               "  Music played the most",
                               "  Fresh Finds",
                           }));

  const std::string pid = std::to_string(app.Pid());
  ASSERT_EQ(Tool(11, {"tree-click", pid, "WMPlayerApp", "1007", "All Music", "Album Artist",
                      "Mara Venn", "Night Ferry"}),
            0);
  EXPECT_EQ(Selected(Listing(tree)), Lines{"      Night Ferry *"});
  EXPECT_TRUE(HasPath(Listing(tree), {"All Music", "Album Artist", "Mara Venn", "Night Ferry *"}));
  EXPECT_NE(Tool(11, {"tree-click", pid, "WMPlayerApp", "1007", "All Music", "Nothing"}), 0);
}

TEST_F(PlayerApplicationTest, TheNewerNamesSwitchNamesTheRootAndTheArtistView) {
  AppProcess app(12, {"--library", PLAYER_SAMPLE_LIBRARY, "--newer-names"});
  const HWND tree = TreeOf(app);
  ASSERT_NE(tree, 0u);
  const Lines listing = Listing(tree);
  EXPECT_TRUE(HasPath(listing, {"Library", "Artist", "Mara Venn", "Blue Harbour"}))
      << ::testing::PrintToString(listing);
  EXPECT_TRUE(HasPath(listing, {"Library", "Contributing Artist", "kestrel"}));
  EXPECT_FALSE(HasPath(listing, {"All Music"}));
  EXPECT_FALSE(HasPath(listing, {"Library", "Album Artist"}));
}

TEST_F(PlayerApplicationTest, OneApplicationASessionAndWmCloseEndsIt) {
  AppProcess first(13, {"--library", PLAYER_SAMPLE_LIBRARY});
  const HWND window = first.MainWindow();
  ASSERT_NE(window, 0u);
  AppProcess second(13, {"--library", PLAYER_SAMPLE_LIBRARY});
  EXPECT_EQ(second.WaitExit(), 0);
  AppProcess elsewhere(14, {"--library", PLAYER_SAMPLE_LIBRARY});
  EXPECT_NE(elsewhere.MainWindow(), 0u) << "another session has its own";
  EXPECT_TRUE(platform::IsWindow(window)) << "the first stays";

  ASSERT_TRUE(platform::PostMessage(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(first.WaitExit(), 0);
  EXPECT_FALSE(platform::IsWindow(window));
}

TEST_F(PlayerApplicationTest, AStartThatCannotWorkEndsWithAnError) {
  const std::filesystem::path broken = platform::PlatformRoot() / "broken.json";
  std::ofstream(broken) << "{\"tracks\": [{\"Name\": 5}]";
  const struct {
    std::vector<std::string> arguments;
    int status;
  } cases[] = {
      {{"--shuffle"}, 2},
      {{"--library"}, 2},
      {{"--library", "/nonexistent/library.json"}, 1},
      {{"--library", broken.string()}, 1},
      {{"--fail", "IWMPPlayer4::get_playState=0"}, 2},
      {{"--fail", "IWMPPlayer4::get_playState"}, 2},
  };
  for (const auto& [arguments, status] : cases) {
    AppProcess app(15, arguments);
    EXPECT_EQ(app.WaitExit(), status) << arguments.back();
  }
}

// The application reads its library file once, at its start: a file damaged and then removed
// while it runs leaves it with the library it loaded, still changed by the tool, and only the
// next start meets the damage, which it refuses with an error.
TEST_F(PlayerApplicationTest, ALibraryFileDamagedOrRemovedWhileItRunsLeavesTheLoadedLibrary) {
  const std::filesystem::path file = platform::PlatformRoot() / "running.json";
  std::filesystem::copy_file(PLAYER_SAMPLE_LIBRARY, file);
  AppProcess app(18, {"--library", file.string()});
  ASSERT_NE(app.MainWindow(), 0u);
  const HWND tree = TreeOf(app);
  ASSERT_TRUE(HasPath(Listing(tree), {"All Music", "Album", "Blue Harbour"}));

  std::ofstream(file, std::ios::trunc) << "{\"tracks\": [{\"Name\": ";
  {
    AppProcess damaged(19, {"--library", file.string()});
    EXPECT_EQ(damaged.WaitExit(), 1);
  }
  std::filesystem::remove(file);
  ASSERT_EQ(Tool(18, {"player", "add-track", "Name=Gull", "Album=Sea Songs", "MediaType=audio"}),
            0);
  const Lines listing = Await([&] {
                          const Lines now = Listing(tree);
                          return HasPath(now, {"All Music", "Album", "Sea Songs"})
                                     ? std::optional(now)
                                     : std::nullopt;
                        }).value_or(Lines{});
  EXPECT_TRUE(HasPath(listing, {"All Music", "Album", "Blue Harbour"}));
  EXPECT_TRUE(HasPath(listing, {"All Music", "Album", "Sea Songs"}));
}

TEST_F(PlayerApplicationTest, ActivationStartsTheApplicationWithTheUsersLibrary) {
  const std::filesystem::path data = platform::PlatformRoot() / "data";
  std::filesystem::create_directories(data / "MediaPlayer");
  std::filesystem::copy_file(PLAYER_SAMPLE_LIBRARY, data / "MediaPlayer" / "library.json");
  setenv("XDG_DATA_HOME", data.c_str(), 1);

  const ComPtr<IClassFactory> factory = ClassObjectOf(16);
  ASSERT_NE(factory, nullptr);
  const HWND window = Await([] { return platform::FindWindow(u"WMPlayerApp", nullptr); });
  ASSERT_NE(window, 0u);
  std::uint32_t pid = 0;
  platform::GetWindowThreadProcessId(window, &pid);
  const HWND tree = platform::FindTreeView(pid, u"WMPlayerApp", 1007);
  EXPECT_TRUE(HasPath(Listing(tree), {"All Music", "Album", "Blue Harbour"}));

  ASSERT_TRUE(platform::PostMessage(window, WM_CLOSE, 0, 0));
  EXPECT_TRUE(Await([&] { return kill(static_cast<pid_t>(pid), 0) != 0; }));
}

class RemotePlayerTest : public PlayerApplicationTest {
 protected:
  static constexpr std::uint32_t kSession = 17;
  void SetUp() override {
    PlayerApplicationTest::SetUp();
    ASSERT_NE(app.MainWindow(), 0u);
    tree = TreeOf(app);
    const ComPtr<IClassFactory> factory = ClassObjectOf(kSession);
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->CreateInstance(nullptr, IidOf<IConnectionPointContainer>,
                                      player.put_void()),
              S_OK);
    ASSERT_EQ(events->DispEventAdvise(player.get()), S_OK);
  }
  void TearDown() override {
    if (player) events->DispEventUnadvise(player.get());
  }

  AppProcess app{kSession, {"--library", PLAYER_SAMPLE_LIBRARY}};
  HWND tree = 0;
  ComPtr<IConnectionPointContainer> player;
  ComPtr<RemoteEvents> events = platform::MakeObject<RemoteEvents>();
};

// The application's docked state as another process reads it.
VARIANT_BOOL Docked(IConnectionPointContainer* player) {
  ComPtr<IWMPPlayer4> model;
  ComPtr<IWMPPlayerApplication> application;
  VARIANT_BOOL docked = 1;
  EXPECT_EQ(player->QueryInterface(IidOf<IWMPPlayer4>, model.put_void()), S_OK);
  EXPECT_EQ(model->get_playerApplication(application.put()), S_OK);
  EXPECT_EQ(application->get_playerDocked(&docked), S_OK);
  return docked;
}

TEST_F(RemotePlayerTest, DockingFromTheToolFiresTheEventInAnotherProcess) {
  EXPECT_EQ(Docked(player.get()), VARIANT_FALSE);
  ASSERT_EQ(Tool(kSession, {"player", "dock"}), 0);
  EXPECT_EQ(events->TakeThrough("PlayerDockedStateChange"), Lines{"PlayerDockedStateChange"});
  EXPECT_EQ(Docked(player.get()), VARIANT_TRUE);
  // Docking a docked player changes nothing and says nothing.
  ASSERT_EQ(Tool(kSession, {"player", "dock"}), 0);
  ASSERT_EQ(Tool(kSession, {"player", "undock"}), 0);
  EXPECT_EQ(events->TakeThrough("PlayerDockedStateChange"), Lines{"PlayerDockedStateChange"});
}

TEST_F(RemotePlayerTest, LibraryChangesUpdateTheTreeAndFireTheirEvents) {
  ASSERT_EQ(Tool(kSession, {"tree-click", std::to_string(app.Pid()), "WMPlayerApp", "1007",
                            "All Music", "Genre", "Folk"}),
            0);
  const struct {
    std::vector<std::string> command;
    Lines events;
    Lines present;  // a path the tree has afterwards
    Lines absent;   // one it no longer has
  } steps[] = {
      {{"add-track", "Name=Gull", "Album=Sea Songs", "WM/AlbumArtist=Ilse Ravel",
        "Author=Ilse Ravel", "Genre=Ambient", "MediaType=audio"},
       {"StringAdded WM/AlbumTitle,Sea Songs", "StringAdded Author,Ilse Ravel",
        "StringAdded WM/Genre,Ambient", "MediaCollectionChange"},
       {"All Music", "Album Artist", "Ilse Ravel", "Sea Songs"},
       {}},
      {{"remove-track", "Gull"},
       {"StringRemoved WM/AlbumTitle,Sea Songs", "StringRemoved Author,Ilse Ravel",
        "StringRemoved WM/Genre,Ambient", "MediaCollectionChange"},
       {"All Music", "Genre", "Folk *"},
       {"All Music", "Album", "Sea Songs"}},
      {{"add-playlist", "Road Songs", "Static", "Lanterns", "Ember"},
       {"PlaylistAdded Road Songs", "PlaylistCollectionChange"},
       {"My Playlists", "Road Songs"},
       {}},
      {{"add-entry", "Road Songs", "2", "Tidewater"}, {"PlaylistChange 5"}, {}, {}},
      {{"remove-entry", "Road Songs", "0"}, {"PlaylistChange 4"}, {}, {}},
      {{"add-playlist", "Favourites", "Auto"},
       {"PlaylistAdded Favourites", "PlaylistCollectionChange"},
       {"Auto Playlists", "Favourites"},
       {"My Playlists", "Favourites"}},
      {{"remove-playlist", "Road Songs"},
       {"PlaylistRemoved Road Songs", "PlaylistCollectionChange"},
       {"My Playlists", "Quiet Evening"},
       {"My Playlists", "Road Songs"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.command.front());
    std::vector<std::string> words{"player"};
    words.insert(words.end(), step.command.begin(), step.command.end());
    ASSERT_EQ(Tool(kSession, words), 0);
    EXPECT_EQ(events->TakeThrough(step.events.back()), step.events);
    const Lines listing = Listing(tree);
    if (!step.present.empty()) {
      EXPECT_TRUE(HasPath(listing, step.present));
    }
    if (!step.absent.empty()) {
      EXPECT_FALSE(HasPath(listing, step.absent));
    }
    EXPECT_EQ(Selected(listing), Lines{"    Folk *"}) << "the selection stays";
  }
}

TEST_F(RemotePlayerTest, TheToolDrivesPlaybackOfWhatAnotherProcessMadeCurrent) {
  ComPtr<IWMPPlayer4> model;
  ComPtr<IWMPMediaCollection> media;
  ComPtr<IWMPPlaylist> album;
  ASSERT_EQ(player->QueryInterface(IidOf<IWMPPlayer4>, model.put_void()), S_OK);
  ASSERT_EQ(model->get_mediaCollection(media.put()), S_OK);
  const UniqueBstr name(SysAllocString(u"Blue Harbour"));
  ASSERT_EQ(media->getByAlbum(name.get(), album.put()), S_OK);
  ASSERT_EQ(model->put_currentPlaylist(album.get()), S_OK);
  EXPECT_EQ(events->TakeThrough("PlayStateChange 3"), (Lines{"PlayStateChange 9", "PlayStateChange 3"}));
  const struct {
    const char* command;
    Lines events;
  } steps[] = {
      {"pause", {"PlayStateChange 2"}},
      {"play", {"PlayStateChange 3"}},
      {"next", {"PlayStateChange 9", "PlayStateChange 3"}},
      {"stop", {"PlayStateChange 1"}},
      {"previous", {}},
      {"play", {"PlayStateChange 9", "PlayStateChange 3"}},
  };
  for (const auto& [command, expected] : steps) {
    SCOPED_TRACE(command);
    ASSERT_EQ(Tool(kSession, {"player", command}), 0);
    if (!expected.empty()) {
      EXPECT_EQ(events->TakeThrough(expected.back()), expected);
    }
  }
  WMPPlayState state = wmppsUndefined;
  ASSERT_EQ(model->get_playState(&state), S_OK);
  EXPECT_EQ(state, wmppsPlaying);
}

TEST_F(RemotePlayerTest, ToolCommandsThatMatchNothingFailAndChangeNothing) {
  const struct {
    std::vector<std::string> words;
    int status;
  } cases[] = {
      {{"player", "remove-track", "Nobody"}, 1},
      {{"player", "remove-playlist", "Nothing"}, 1},
      {{"player", "add-entry", "Road Trip", "99", "Lanterns"}, 1},
      {{"player", "add-entry", "Road Trip", "0", "No Such Track"}, 1},
      {{"player", "remove-entry", "Empty Shelf", "0"}, 1},
      {{"player", "remove-entry", "Road Trip", "-1"}, 1},
      {{"player", "add-playlist", "Mix", "Static", "No Such Track"}, 1},
      {{"player", "add-track", "Name"}, 1},
      {{"player", "remove-entry", "Road Trip", "first"}, 1},
      {{"player", "dock", "now"}, 2},
      {{"player", "rewind"}, 2},
      {{"player"}, 2},
  };
  const Lines before = Listing(tree);
  for (const auto& [words, status] : cases) {
    EXPECT_EQ(Tool(kSession, words), status) << words.back();
  }
  EXPECT_EQ(Listing(tree), before);
  // Nothing fired meanwhile: the next event is the first to arrive.
  ASSERT_EQ(Tool(kSession, {"player", "dock"}), 0);
  EXPECT_EQ(events->TakeThrough("PlayerDockedStateChange"), Lines{"PlayerDockedStateChange"});
}

}  // namespace
}  // namespace player_app_test
