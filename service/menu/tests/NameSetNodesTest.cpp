// The nodes whose lists are the distinct values of an attribute among tracks, side by side: the
// artist's albums, a genre's artists and an artist's albums within a genre. Their order, the
// words that stand for empty names, Right's rule on an empty list, and what Play hands the player.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "service/menu/Artists.h"
#include "service/menu/Genres.h"
#include "service/menu/tests/MenuFixture.h"

namespace menu_test {
namespace {

using Lines = std::vector<std::u16string>;

// Artists that differ in case, a track without artist or album, a playlist file among the audio,
// a track whose file type cannot be read, album names that begin one another.
constexpr const char* kLibrary = R"({"tracks": [
  {"Name": "z1", "Author": "Zed", "Genre": "Mix", "Album": "Beta", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "a1", "Author": "abba", "Genre": "Mix", "Album": "alpha", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "A1", "Author": "ABBA", "Genre": "Mix", "Album": "Alpha", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "z2", "Author": "Zed", "Genre": "Mix", "Album": "Beta", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "n1", "Genre": "Mix", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "w1", "Author": "Listy", "Genre": "Mix", "MediaType": "audio", "FileType": "wpl"},
  {"Name": "f1", "Author": "Fail", "Genre": "Mix", "Album": "X", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "z3", "Author": "Zed", "Genre": "Rock", "Album": "Gamma", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "z4", "Author": "Zed", "Genre": "Mix", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "z5", "Author": "Zed", "Album": "Beta", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "z6", "Author": "Zed", "Genre": "Mix", "Album": "Bet", "MediaType": "audio", "FileType": "mp3"},
  {"Name": "w0", "MediaType": "audio", "FileType": "wpl"},
  {"Name": "s1", "Author": " ", "Genre": "Other", "Album": "Space", "MediaType": "audio", "FileType": "mp3"}
], "playlists": []})";

class NameSetTest : public ::testing::Test {
 protected:
  NameSetTest()
      : engine(platform::player::Engine::Create(platform::player::Library::FromJson(kLibrary),
                                                {.recordCalls = true})),
        player(engine->Player()) {
    ApplyLanguageRule(platform::kLanguageEnglishUs);
    engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL,
                                                    {.arguments = {u"FileType"}, .on = u"f1"});
  }

  std::shared_ptr<platform::player::Engine> engine;
  ComPtr<IWMPPlayer4> player;
  LogRecorder log;
};

using MakeNode = std::function<std::unique_ptr<CMediaLibraryNode>(IWMPPlayer4*)>;

MakeNode ArtistAlbums(std::u16string p_Artist) {
  return [p_Artist](IWMPPlayer4* p) {
    return std::make_unique<CArtistAlbums>(p, nullptr, p_Artist.c_str());
  };
}
MakeNode GenreArtists(std::u16string p_Genre) {
  return [p_Genre](IWMPPlayer4* p) {
    return std::make_unique<CGenreArtistList>(p, nullptr, p_Genre.c_str());
  };
}
MakeNode GenreArtistAlbums(std::u16string p_Artist, std::u16string p_Genre) {
  return [p_Artist, p_Genre](IWMPPlayer4* p) {
    return std::make_unique<CGenreArtistAlbums>(p, nullptr, p_Artist.c_str(), p_Genre.c_str());
  };
}

TEST_F(NameSetTest, SortedDistinctNamesWithTheWordsForEmptyOnes) {
  struct Case {
    MakeNode make;
    Page page;
    std::int32_t type;
  };
  const Case cases[] = {
      {ArtistAlbums(u"Zed"), {u"Zed", {u"-Untitled Album-", u"Bet", u"Beta", u"Gamma"}}, 3},
      {ArtistAlbums(u"-Unknown Artist-"), {u"-Unknown Artist-", {u"-Untitled Album-"}}, 3},
      {ArtistAlbums(u"ABBA"), {u"ABBA", {u"Alpha"}}, 3},
      // The playlist file is left out; the track whose file type cannot be read is not.
      {GenreArtists(u"Mix"), {u"Mix", {u"-Unknown Artist-", u"ABBA", u"Fail", u"Zed", u"abba"}}, 4},
      {GenreArtists(u"-No Genre-"), {u"-No Genre-", {u"Zed"}}, 4},
      {GenreArtistAlbums(u"Zed", u"Mix"), {u"Zed", {u"-Untitled Album-", u"Bet", u"Beta"}}, 4},
      {GenreArtistAlbums(u"Zed", u"-No Genre-"), {u"Zed", {u"Beta"}}, 4},
      {GenreArtistAlbums(u"-Unknown Artist-", u"Mix"),
       {u"-Unknown Artist-", {u"-Untitled Album-"}},
       4},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(platform::ToUtf8(testCase.page.title));
    const std::unique_ptr<CMediaLibraryNode> node = testCase.make(player.get());
    EXPECT_EQ(PageOf(*node), testCase.page);
    EXPECT_EQ(node->GetNodeType(), testCase.type);
    EXPECT_EQ(node->GetItemCount(), static_cast<std::int32_t>(testCase.page.lines.size()));
    EXPECT_EQ(node->OnButtonOk(), kOkOpenEntry);
  }
  ApplyLanguageRule(0x0407);
  EXPECT_EQ(PageOf(*ArtistAlbums(u"Zed")(player.get())).lines[0], u"-Unbetiteltes Album-");
}

TEST_F(NameSetTest, RightOpensAndKeepsANodePerLineAndOnEmptyListsFollowsEachRule) {
  struct Case {
    MakeNode make;
    bool emptyOpens;
  };
  const Case cases[] = {
      {ArtistAlbums(u"Nobody"), true},
      {GenreArtists(u"Nothing"), true},
      {GenreArtistAlbums(u"Nobody", u"Mix"), false},
  };
  for (const Case& testCase : cases) {
    const std::unique_ptr<CMediaLibraryNode> empty = testCase.make(player.get());
    CMediaLibraryNode* out = nullptr;
    EXPECT_EQ(empty->OnButtonRight(&out), testCase.emptyOpens);
    EXPECT_EQ(out != nullptr, testCase.emptyOpens);
  }
  for (const MakeNode& make :
       {ArtistAlbums(u"Zed"), GenreArtists(u"Mix"), GenreArtistAlbums(u"Zed", u"Mix")}) {
    const std::unique_ptr<CMediaLibraryNode> node = make(player.get());
    CMediaLibraryNode* first = nullptr;
    ASSERT_TRUE(node->OnButtonRight(&first));  // no entering step: the entry opens
    EXPECT_EQ(first->GetParent(), node.get());
    EXPECT_EQ(node->GetChild(), first);
    first->OnButtonDown();
    CMediaLibraryNode* again = nullptr;
    ASSERT_TRUE(node->OnButtonRight(&again));
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->GetCurrentCategoryLine(), first->GetItemCount() > 1 ? 1 : 0);
    node->OnButtonDown();
    CMediaLibraryNode* second = nullptr;
    ASSERT_TRUE(node->OnButtonRight(&second));
    EXPECT_NE(second, first);
    EXPECT_EQ(PageOf(*second).title, PageOf(*node).lines[1]);
  }
}

TEST_F(NameSetTest, PlayBuildsANewPlaylistOfTheEntryUnderTheCursor) {
  struct Case {
    MakeNode make;
    int downs;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      // The artist's album from every genre.
      {ArtistAlbums(u"Zed"),
       2,
       {"IWMPPlayer4::newPlaylist(Beta, )", "IWMPMediaCollection::getByAlbum(Beta)",
        "IWMPPlaylist::appendItem(z1) on Beta", "IWMPPlaylist::appendItem(z2) on Beta",
        "IWMPPlaylist::appendItem(z5) on Beta", "IWMPPlayer4::put_currentPlaylist(Beta)"}},
      // The artist's tracks of the genre.
      {GenreArtists(u"Mix"),
       3,
       {"IWMPPlayer4::newPlaylist(Zed, )", "IWMPMediaCollection::getByAuthor(Zed)",
        "IWMPPlaylist::appendItem(z1) on Zed", "IWMPPlaylist::appendItem(z2) on Zed",
        "IWMPPlaylist::appendItem(z4) on Zed", "IWMPPlaylist::appendItem(z6) on Zed",
        "IWMPPlayer4::put_currentPlaylist(Zed)"}},
      // The album's tracks by the artist, from every genre.
      {GenreArtistAlbums(u"Zed", u"Mix"),
       2,
       {"IWMPPlayer4::newPlaylist(Beta, )", "IWMPMediaCollection::getByAlbum(Beta)",
        "IWMPPlaylist::appendItem(z1) on Beta", "IWMPPlaylist::appendItem(z2) on Beta",
        "IWMPPlaylist::appendItem(z5) on Beta", "IWMPPlayer4::put_currentPlaylist(Beta)"}},
      // The untitled album: the empty name, for the playlist and the query.
      {GenreArtistAlbums(u"Zed", u"Mix"),
       0,
       {"IWMPPlayer4::newPlaylist(, )", "IWMPMediaCollection::getByAlbum()",
        "IWMPPlaylist::appendItem(z4)", "IWMPPlayer4::put_currentPlaylist()"}},
      // An empty list plays nothing.
      {GenreArtistAlbums(u"Nobody", u"Mix"), 0, {}},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.calls.empty() ? "nothing" : testCase.calls.front());
    const std::unique_ptr<CMediaLibraryNode> node = testCase.make(player.get());
    for (int step = 0; step < testCase.downs; ++step) {
      node->OnButtonDown();
    }
    engine->Monitor().ClearCalls();
    EXPECT_TRUE(node->OnButtonPlay());
    EXPECT_EQ(PlayCalls(*engine), testCase.calls);
  }
}

TEST_F(NameSetTest, AFailedQueryLeavesAnEmptyListAndAFailedPlaylistPlaysNothing) {
  engine->Monitor().Fail<&IWMPMediaCollection::getByAuthor>(E_FAIL);
  const std::unique_ptr<CMediaLibraryNode> albums = ArtistAlbums(u"Zed")(player.get());
  EXPECT_EQ(PageOf(*albums), (Page{u"Zed", {}}));
  EXPECT_TRUE(log.Contains(u"CArtistAlbums getByAuthor fails with hr 80004005"));
  engine->Monitor().ClearFailures();

  const std::unique_ptr<CMediaLibraryNode> artists = GenreArtists(u"Mix")(player.get());
  engine->Monitor().Fail<&IWMPPlayer4::newPlaylist>(E_OUTOFMEMORY);
  engine->Monitor().ClearCalls();
  EXPECT_TRUE(artists->OnButtonPlay());
  EXPECT_EQ(PlayCalls(*engine),
            std::vector<std::string>{"IWMPPlayer4::newPlaylist(-Unknown Artist-, )"});
  EXPECT_TRUE(log.Contains(u"CGenreArtistList newPlaylist fails with hr 8007000e"));
}

TEST_F(NameSetTest, TheGenreArtistAlbumBuilderJudgesAnUnreadableGenreByTheArtist) {
  struct Case {
    const char16_t* genre;
    const char16_t* album;
    const char16_t* artist;
    Lines tracks;
  };
  const Case cases[] = {
      {u"Mix", u"Beta", u"Zed", {u"z1", u"z2"}},
      {u"-No Genre-", u"Beta", u"Zed", {u"z5"}},
      {u"Mix", u"-Untitled Album-", u"-Unknown Artist-", {u"n1"}},
      {u"Mix", u"-Untitled Album-", u"Zed", {u"z4"}},
  };
  for (const Case& testCase : cases) {
    ComPtr<IWMPPlaylist> target;
    ASSERT_EQ(player->newPlaylist(_bstr_t(u"t").GetBSTR(), _bstr_t(u"").GetBSTR(), target.put()),
              S_OK);
    EXPECT_EQ(
        CGenreArtistAlbumTracks::BuildPlaylist(testCase.genre, testCase.album, testCase.artist,
                                               player.get(), target.get(), u"CTest"),
        S_OK);
    EXPECT_EQ(TrackNames(target.get()), testCase.tracks) << platform::ToUtf8(testCase.genre);
  }
  engine->Monitor().Fail<&IWMPMedia::getItemInfo>(E_FAIL, {.arguments = {u"Genre"}, .on = u"z5"});
  CGenreArtistAlbumTracks tracks(player.get(), nullptr, u"Mix", u"Zed", u"Beta");
  EXPECT_EQ(PageOf(tracks), (Page{u"Beta", {u"z1", u"z2", u"z5"}}));
}

TEST_F(NameSetTest, AnArtistNamedByABlankShowsBlankOpensAsTheUnknownArtistAndPlaysAsItself) {
  CArtistList artists(player.get(), nullptr);
  for (int step = 0; step < 6; ++step) {
    artists.OnButtonDown();
  }
  ASSERT_EQ(PageOf(artists).lines,
            (Lines{u"abba", u"ABBA", u"-Unknown Artist-", u"Listy", u"Fail", u" "}));
  ASSERT_TRUE(artists.OnButtonRight(nullptr));  // enters the list
  CMediaLibraryNode* artist = nullptr;
  ASSERT_TRUE(artists.OnButtonRight(&artist));
  EXPECT_EQ(PageOf(*artist), (Page{u"-Unknown Artist-", {u"-Untitled Album-"}}));
  engine->Monitor().ClearCalls();
  EXPECT_TRUE(artists.OnButtonPlay());
  EXPECT_EQ(PlayCalls(*engine), (std::vector<std::string>{"IWMPMediaCollection::getByAuthor( )",
                                                          "IWMPPlayer4::put_currentPlaylist( )"}));
}

// The artists' and the genres' Play for the entry without a name: each keeps its own filter.
TEST_F(NameSetTest, PlayOnTheNamelessEntryKeepsTheAudioOfItsOwnFilter) {
  struct Case {
    std::unique_ptr<CMediaLibraryNode> category;
    int downs;
    std::vector<std::string> calls;
  };
  Case cases[] = {
      {std::make_unique<CArtistList>(player.get(), nullptr),
       3,
       {"IWMPMediaCollection::getByAttribute(Artist, )", "IWMPPlayer4::newPlaylist(, )",
        "IWMPPlaylist::appendItem(n1)", "IWMPPlaylist::appendItem(w0)",
        "IWMPPlayer4::put_currentPlaylist()"}},
      {std::make_unique<CGenreList>(player.get(), nullptr),
       2,
       {"IWMPMediaCollection::getByAttribute(Genre, )", "IWMPPlayer4::newPlaylist(, )",
        "IWMPPlaylist::appendItem(z5)", "IWMPPlayer4::put_currentPlaylist()"}},
  };
  for (Case& testCase : cases) {
    for (int step = 0; step < testCase.downs; ++step) {
      testCase.category->OnButtonDown();
    }
    engine->Monitor().ClearCalls();
    EXPECT_TRUE(testCase.category->OnButtonPlay());
    EXPECT_EQ(PlayCalls(*engine), testCase.calls);
  }
}

}  // namespace
}  // namespace menu_test
