#pragma once

// The stand-in player over the sample library, on a clock the test moves, a recorder of the
// logger's calls, and English texts with six lines a page.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/MenuTexts.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/base/Text.h"
#include "platform/com/ComPtr.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/MediaLibraryNode.h"

namespace menu_test {

using platform::ComPtr;

inline std::vector<std::u16string> Texts(const DisplayLines& p_Lines) {
  std::vector<std::u16string> texts;
  for (const _bstr_t& line : p_Lines) {
    texts.emplace_back(line.view());
  }
  return texts;
}

// The names of a playlist's tracks, in order.
inline std::vector<std::u16string> TrackNames(IWMPPlaylist* p_pPlaylist) {
  std::int32_t count = 0;
  p_pPlaylist->get_count(&count);
  std::vector<std::u16string> names;
  for (std::int32_t index = 0; index < count; ++index) {
    ComPtr<IWMPMedia> media;
    _bstr_t name;
    p_pPlaylist->get_item(index, media.put());
    media->get_name(name.GetAddress());
    names.emplace_back(name.view());
  }
  return names;
}

// The recorded player calls that fill a playlist or hand one over, in order.
inline std::vector<std::string> PlayCalls(platform::player::Engine& p_Engine) {
  std::vector<std::string> calls;
  for (const std::string& line : p_Engine.Monitor().CallLines()) {
    for (const char* method : {"IWMPMediaCollection::getBy", "IWMPPlayer4::newPlaylist",
                               "IWMPPlaylist::appendItem", "IWMPPlayer4::put_currentPlaylist"}) {
      if (line.starts_with(method)) {
        calls.push_back(line);
      }
    }
  }
  return calls;
}

struct Page {
  std::u16string title;
  std::vector<std::u16string> lines;
  bool operator==(const Page&) const = default;
};

inline Page PageOf(CMediaLibraryNode& p_Node) {
  _bstr_t title;
  DisplayLines lines;
  p_Node.GetDisplayLines(title, lines);
  return Page{std::u16string(title.view()), Texts(lines)};
}

inline std::ostream& operator<<(std::ostream& p_Stream, const Page& p_Page) {
  p_Stream << platform::ToUtf8(p_Page.title) << " [";
  for (const std::u16string& line : p_Page.lines) {
    p_Stream << platform::ToUtf8(line) << "; ";
  }
  return p_Stream << "]";
}

class MenuTest : public ::testing::Test {
 protected:
  MenuTest()
      : engine(platform::player::Engine::Create(
            platform::player::Library::FromFile(PLAYER_SAMPLE_LIBRARY),
            {.clock = [this] { return now; }, .recordCalls = true})),
        player(engine->Player()) {
    ApplyLanguageRule(platform::kLanguageEnglishUs);
    EXPECT_EQ(player->get_controls(controls.put()), S_OK);
    EXPECT_EQ(player->get_settings(settings.put()), S_OK);
    EXPECT_EQ(player->get_mediaCollection(collection.put()), S_OK);
  }
  ~MenuTest() override { ApplyLanguageRule(platform::kLanguageEnglishUs); }

  void Advance(double p_dSeconds) { now += static_cast<std::uint32_t>(p_dSeconds * 1000.0); }

  // Makes the album's tracks the current playlist and starts it.
  void PlayAlbum(std::u16string_view p_Album) {
    ComPtr<IWMPPlaylist> tracks;
    ASSERT_EQ(collection->getByAlbum(_bstr_t(p_Album).GetBSTR(), tracks.put()), S_OK);
    ASSERT_EQ(player->put_currentPlaylist(tracks.get()), S_OK);
    ASSERT_EQ(controls->play(), S_OK);
  }

  std::uint32_t now = 1000;
  std::shared_ptr<platform::player::Engine> engine;
  ComPtr<IWMPPlayer4> player;
  ComPtr<IWMPControls> controls;
  ComPtr<IWMPSettings> settings;
  ComPtr<IWMPMediaCollection> collection;
  LogRecorder log;
};

}  // namespace menu_test
