#pragma once

// A player over the sample library, on a clock the test moves, with a sink that writes down
// every event it receives.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/DispatchSink.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerInterfaces.h"

namespace player_test {

using platform::ComPtr;

inline std::u16string Text(BSTR text) { return std::u16string(text, SysStringLen(text)); }

// The names of a playlist's items, in order.
inline std::vector<std::u16string> Names(IWMPPlaylist* playlist) {
  std::int32_t count = -1;
  EXPECT_EQ(playlist->get_count(&count), S_OK);
  std::vector<std::u16string> names;
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IWMPMedia> item;
    UniqueBstr name;
    EXPECT_EQ(playlist->get_item(i, item.put()), S_OK);
    EXPECT_EQ(item->get_name(name.out()), S_OK);
    names.push_back(Text(name.get()));
  }
  return names;
}

// Events as lines: "PlayStateChange 3", "MediaCollectionAttributeStringAdded WM/AlbumTitle,x".
class EventLog final : public platform::DispatchSink<EventLog, _WMPOCXEvents> {
 public:
  HRESULT OnPlayStateChange(std::int32_t state) { return Add(u"PlayStateChange " + Number(state)); }
  HRESULT OnPlaylistChange(IUnknown* playlist, std::int32_t type) {
    ComPtr<IWMPPlaylist> list;
    UniqueBstr name;
    if (FAILED(ComPtr<IUnknown>(playlist).QueryInterface(list)) ||
        FAILED(list->get_name(name.out()))) {
      return Add(u"PlaylistChange without a playlist");
    }
    return Add(u"PlaylistChange " + Text(name.get()) + u"," + Number(type));
  }
  HRESULT OnCurrentItemChange(IUnknown* media) {
    ComPtr<IWMPMedia> item;
    UniqueBstr name;
    if (FAILED(ComPtr<IUnknown>(media).QueryInterface(item)) ||
        FAILED(item->get_name(name.out()))) {
      return Add(u"CurrentItemChange without media");
    }
    return Add(u"CurrentItemChange " + Text(name.get()));
  }
  HRESULT OnMediaCollectionChange() { return Add(u"MediaCollectionChange"); }
  HRESULT OnStringAdded(BSTR name, BSTR value) {
    return Add(u"MediaCollectionAttributeStringAdded " + Text(name) + u"," + Text(value));
  }
  HRESULT OnStringRemoved(BSTR name, BSTR value) {
    return Add(u"MediaCollectionAttributeStringRemoved " + Text(name) + u"," + Text(value));
  }
  HRESULT OnPlaylistCollectionChange() { return Add(u"PlaylistCollectionChange"); }
  HRESULT OnPlaylistAdded(BSTR name) {
    return Add(u"PlaylistCollectionPlaylistAdded " + Text(name));
  }
  HRESULT OnPlaylistRemoved(BSTR name) {
    return Add(u"PlaylistCollectionPlaylistRemoved " + Text(name));
  }
  HRESULT OnModeChange(BSTR mode, VARIANT_BOOL value) {
    return Add(u"ModeChange " + Text(mode) + u"," + Number(value));
  }
  HRESULT OnDocked() { return Add(u"PlayerDockedStateChange"); }

  using E = _WMPOCXEvents;
  using SinkMap = platform::SinkMap<
      platform::SinkEntry<E::PlayStateChange, &EventLog::OnPlayStateChange>,
      platform::SinkEntry<E::PlaylistChange, &EventLog::OnPlaylistChange>,
      platform::SinkEntry<E::CurrentItemChange, &EventLog::OnCurrentItemChange>,
      platform::SinkEntry<E::MediaCollectionChange, &EventLog::OnMediaCollectionChange>,
      platform::SinkEntry<E::MediaCollectionAttributeStringAdded, &EventLog::OnStringAdded>,
      platform::SinkEntry<E::MediaCollectionAttributeStringRemoved, &EventLog::OnStringRemoved>,
      platform::SinkEntry<E::PlaylistCollectionChange, &EventLog::OnPlaylistCollectionChange>,
      platform::SinkEntry<E::PlaylistCollectionPlaylistAdded, &EventLog::OnPlaylistAdded>,
      platform::SinkEntry<E::PlaylistCollectionPlaylistRemoved, &EventLog::OnPlaylistRemoved>,
      platform::SinkEntry<E::ModeChange, &EventLog::OnModeChange>,
      platform::SinkEntry<E::PlayerDockedStateChange, &EventLog::OnDocked>>;

  // Called after each event is written down, on the thread that fires it.
  std::function<void()> onEvent;

  // The lines so far, then forgets them.
  std::vector<std::u16string> Take() { return std::exchange(m_lines, {}); }
  // Only the lines that start with `prefix`.
  std::vector<std::u16string> Take(std::u16string_view prefix) {
    std::vector<std::u16string> matching;
    for (std::u16string& line : Take()) {
      if (line.starts_with(prefix)) matching.push_back(std::move(line));
    }
    return matching;
  }

 private:
  static std::u16string Number(std::int64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
  }
  HRESULT Add(std::u16string line) {
    m_lines.push_back(std::move(line));
    if (onEvent) onEvent();
    return S_OK;
  }
  std::vector<std::u16string> m_lines;
};

class PlayerTest : public ::testing::Test {
 protected:
  PlayerTest()
      : engine(platform::player::Engine::Create(
            platform::player::Library::FromFile(PLAYER_SAMPLE_LIBRARY),
            {.clock = [this] { return now; }, .recordCalls = true})),
        player(engine->Player()),
        events(platform::MakeObject<EventLog>()) {
    EXPECT_EQ(events->DispEventAdvise(player.get()), S_OK);
    EXPECT_EQ(player->get_mediaCollection(media.put()), S_OK);
    EXPECT_EQ(player->get_controls(controls.put()), S_OK);
    EXPECT_EQ(player->get_settings(settings.put()), S_OK);
    engine->Monitor().ClearCalls();
  }

  void Advance(double seconds) { now += static_cast<std::uint32_t>(seconds * 1000.0); }

  ComPtr<IWMPPlaylist> ByAttribute(std::u16string_view attribute, std::u16string_view value) {
    UniqueBstr a(SysAllocStringLen(attribute.data(), static_cast<std::uint32_t>(attribute.size())));
    UniqueBstr v(SysAllocStringLen(value.data(), static_cast<std::uint32_t>(value.size())));
    ComPtr<IWMPPlaylist> result;
    EXPECT_EQ(media->getByAttribute(a.get(), v.get(), result.put()), S_OK);
    return result;
  }

  static std::vector<std::u16string> Strings(IWMPStringCollection* strings) {
    std::int32_t count = -1;
    EXPECT_EQ(strings->get_count(&count), S_OK);
    std::vector<std::u16string> values;
    for (std::int32_t i = 0; i < count; ++i) {
      UniqueBstr value;
      EXPECT_EQ(strings->item(i, value.out()), S_OK);
      values.push_back(Text(value.get()));
    }
    return values;
  }

  std::u16string CurrentName() {
    ComPtr<IWMPMedia> current;
    UniqueBstr name;
    if (FAILED(player->get_currentMedia(current.put())) || FAILED(current->get_name(name.out()))) {
      return u"(none)";
    }
    return Text(name.get());
  }

  WMPPlayState State() {
    WMPPlayState state = wmppsUndefined;
    EXPECT_EQ(player->get_playState(&state), S_OK);
    return state;
  }

  double Position() {
    double seconds = -1;
    EXPECT_EQ(controls->get_currentPosition(&seconds), S_OK);
    return seconds;
  }

  std::uint32_t now = 1000;
  std::shared_ptr<platform::player::Engine> engine;
  ComPtr<IWMPPlayer4> player;
  ComPtr<EventLog> events;
  ComPtr<IWMPMediaCollection> media;
  ComPtr<IWMPControls> controls;
  ComPtr<IWMPSettings> settings;
};

inline UniqueBstr B(std::u16string_view text) {
  return UniqueBstr(SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size())));
}

}  // namespace player_test
