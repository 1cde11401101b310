#include "platform/player/Library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using platform::player::Library;
using platform::player::LibraryError;

TEST(LibraryFile, BadInputIsRefusedWithWhatAndWhere) {
  const struct {
    const char* json;
    const char* message;
  } cases[] = {
      {"", "not a library file"},
      {"[1, 2]", "not a library file: expected an object"},
      {R"({"tracks": {}})", "tracks: expected a list"},
      {R"({"tracks": [{"Name": "a"}, 3]})", "tracks[1]: expected an object"},
      {R"({"tracks": [{"Name": "a", "Duration": 215.6}]})", "tracks[0].Duration: expected a text"},
      {R"({"tracks": [{"Artist": "a", "Author": "b"}]})",
       "tracks[0]: attribute Author given twice"},
      {R"({"playlists": [{"entries": []}]})", "playlists[0].Name: expected a text"},
      {R"({"tracks": [{}], "playlists": [{"Name": "p", "entries": [1]}]})",
       "playlists[0].entries: 1 is no track's index"},
      {R"({"tracks": [{}], "playlists": [{"Name": "p", "entries": [-1]}]})",
       "playlists[0].entries: -1 is no track's index"},
      {R"({"playlists": [{"Name": "p", "MediaType": "audio"}]})",
       "playlists[0]: attribute MediaType given twice"},
  };
  for (const auto& [json, message] : cases) {
    try {
      Library::FromJson(json);
      ADD_FAILURE() << json << " was accepted";
    } catch (const LibraryError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos)
          << json << ": " << error.what();
    }
  }
}

TEST(LibraryFile, AMissingFileNamesItsPath) {
  try {
    Library::FromFile("/nonexistent/library.json");
    ADD_FAILURE();
  } catch (const LibraryError& error) {
    EXPECT_EQ(std::string(error.what()), "/nonexistent/library.json: cannot be opened");
  }
}

TEST(LibraryFile, TextsAreReadAsUtf8) {
  Library library = Library::FromJson(R"({"tracks": [{"Name": "Caf\u00e9 \u97f3", "Genre": ""}]})");
  ASSERT_EQ(library.Items().size(), 1u);
  EXPECT_EQ(library.Items()[0]->Value(library.NameId()), u"Caf\u00e9 \u97f3");
  // An attribute given as "" and one not given read alike.
  EXPECT_EQ(library.Query(library.GenreId(), u"")->size(), 1u);
  EXPECT_EQ(library.Query(library.AlbumId(), u"")->size(), 1u);
}

}  // namespace

#include "platform/player/LibraryGenerator.h"

namespace {

TEST(LibraryGenerator, MakesALoadableLibraryOfTheShapeAsked) {
  platform::player::GeneratedLibraryShape shape;
  shape.tracks = 2000;
  shape.playlists = 12;
  Library library = Library::FromJson(platform::player::GenerateLibraryJson(shape));
  EXPECT_EQ(library.Query(library.MediaTypeId(), u"audio")->size(), 2000u);
  EXPECT_EQ(library.Playlists().size(), 1u + 3u + 12u);
  EXPECT_EQ(library.Playlists().front()->entries->size(), 2000u);
  const auto albums = library.Strings(library.AlbumId(), u"audio");
  // Artist 1's first album has the title of artist 0's last: the title comes twice.
  EXPECT_EQ(std::count(albums->begin(), albums->end(), u"Album 4"), 2);
  EXPECT_EQ(std::count(albums->begin(), albums->end(), u"Album 6"), 1);
  EXPECT_EQ(std::count(albums->begin(), albums->end(), u"Album 5"), 0);
  EXPECT_GT(library.Query(library.GenreId(), u"")->size(), 0u);
  shape.tracks = 100;
  EXPECT_EQ(platform::player::GenerateLibraryJson(shape),
            platform::player::GenerateLibraryJson(shape));
}

}  // namespace
