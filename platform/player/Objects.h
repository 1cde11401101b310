#pragma once

// The objects of the player's object model, each a thin view onto the engine. Every method runs
// on the engine's thread (Engine::Enter refuses other threads) and keeps the engine alive.

#include <memory>
#include <string>

#include "platform/com/Object.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerInterfaces.h"

namespace platform::player {

class MediaObject final : public ComObject<IWMPMedia> {
 public:
  MediaObject(std::shared_ptr<Engine> engine, MediaRef item);
  HRESULT get_name(BSTR* name) override;
  HRESULT getItemInfo(BSTR attribute, BSTR* value) override;

  // The item behind one of our media objects; null for anything else.
  static MediaRef ItemOf(IUnknown* object);

 private:
  void* QueryOther(REFIID iid) override;
  std::u16string_view Name() const;

  std::shared_ptr<Engine> m_engine;
  MediaRef m_item;
};

class PlaylistObject final : public ComObject<IWMPPlaylist> {
 public:
  PlaylistObject(std::shared_ptr<Engine> engine, PlaylistRef playlist);
  HRESULT get_count(std::int32_t* count) override;
  HRESULT get_name(BSTR* name) override;
  HRESULT getItemInfo(BSTR attribute, BSTR* value) override;
  HRESULT get_item(std::int32_t index, IWMPMedia** media) override;
  HRESULT appendItem(IWMPMedia* media) override;

  // The playlist behind one of our playlist objects; null for anything else.
  static PlaylistRef PlaylistOf(IUnknown* object);

 private:
  void* QueryOther(REFIID iid) override;

  std::shared_ptr<Engine> m_engine;
  PlaylistRef m_playlist;
};

class StringCollectionObject final : public ComObject<IWMPStringCollection> {
 public:
  StringCollectionObject(std::shared_ptr<Engine> engine, std::u16string attribute,
                         std::shared_ptr<const StringList> values);
  HRESULT get_count(std::int32_t* count) override;
  HRESULT item(std::int32_t index, BSTR* text) override;

 private:
  std::shared_ptr<Engine> m_engine;
  std::u16string m_attribute;
  std::shared_ptr<const StringList> m_values;
};

class PlaylistArrayObject final : public ComObject<IWMPPlaylistArray> {
 public:
  PlaylistArrayObject(std::shared_ptr<Engine> engine, std::u16string name,
                      std::vector<PlaylistRef> playlists);
  HRESULT get_count(std::int32_t* count) override;
  HRESULT item(std::int32_t index, IWMPPlaylist** playlist) override;

 private:
  std::shared_ptr<Engine> m_engine;
  std::u16string m_name;
  std::vector<PlaylistRef> m_playlists;
};

class MediaCollectionObject final : public ComObject<IWMPMediaCollection> {
 public:
  explicit MediaCollectionObject(std::shared_ptr<Engine> engine);
  HRESULT getAttributeStringCollection(BSTR attribute, BSTR mediaType,
                                       IWMPStringCollection** values) override;
  HRESULT getByAttribute(BSTR attribute, BSTR value, IWMPPlaylist** media) override;
  HRESULT getByAlbum(BSTR album, IWMPPlaylist** media) override;
  HRESULT getByAuthor(BSTR author, IWMPPlaylist** media) override;
  HRESULT getByGenre(BSTR genre, IWMPPlaylist** media) override;

 private:
  HRESULT Answer(AttributeId attribute, BSTR value, IWMPPlaylist** media);

  std::shared_ptr<Engine> m_engine;
};

class PlaylistCollectionObject final : public ComObject<IWMPPlaylistCollection> {
 public:
  explicit PlaylistCollectionObject(std::shared_ptr<Engine> engine);
  HRESULT getByName(BSTR name, IWMPPlaylistArray** playlists) override;

 private:
  std::shared_ptr<Engine> m_engine;
};

class ControlsObject final : public ComObject<IWMPControls> {
 public:
  explicit ControlsObject(std::shared_ptr<Engine> engine);
  HRESULT play() override;
  HRESULT pause() override;
  HRESULT stop() override;
  HRESULT next() override;
  HRESULT previous() override;
  HRESULT fastForward() override;
  HRESULT fastReverse() override;
  HRESULT get_currentPosition(double* seconds) override;

 private:
  std::shared_ptr<Engine> m_engine;
};

class SettingsObject final : public ComObject<IWMPSettings> {
 public:
  explicit SettingsObject(std::shared_ptr<Engine> engine);
  HRESULT put_autoStart(VARIANT_BOOL autoStart) override;
  HRESULT getMode(BSTR mode, VARIANT_BOOL* value) override;
  HRESULT setMode(BSTR mode, VARIANT_BOOL value) override;

 private:
  std::shared_ptr<Engine> m_engine;
};

class PlayerApplicationObject final : public ComObject<IWMPPlayerApplication> {
 public:
  explicit PlayerApplicationObject(std::shared_ptr<Engine> engine);
  HRESULT get_playerDocked(VARIANT_BOOL* docked) override;

 private:
  std::shared_ptr<Engine> m_engine;
};

class PlayerObject final : public ComObject<IWMPPlayer4, IConnectionPointContainer> {
 public:
  explicit PlayerObject(std::shared_ptr<Engine> engine);
  HRESULT get_controls(IWMPControls** controls) override;
  HRESULT get_settings(IWMPSettings** settings) override;
  HRESULT get_currentMedia(IWMPMedia** media) override;
  HRESULT put_currentMedia(IWMPMedia* media) override;
  HRESULT get_mediaCollection(IWMPMediaCollection** collection) override;
  HRESULT get_playlistCollection(IWMPPlaylistCollection** collection) override;
  HRESULT get_versionInfo(BSTR* version) override;
  HRESULT get_playState(WMPPlayState* state) override;
  HRESULT put_currentPlaylist(IWMPPlaylist* playlist) override;
  HRESULT newPlaylist(BSTR name, BSTR url, IWMPPlaylist** playlist) override;
  HRESULT get_playerApplication(IWMPPlayerApplication** application) override;
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

 private:
  std::shared_ptr<Engine> m_engine;
};

}  // namespace platform::player
