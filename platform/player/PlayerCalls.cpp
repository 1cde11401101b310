// The proxies of the player's interfaces, so that a player served by one process is called from
// others; the stubs come from the same declarations.

#include "platform/com/CallInterface.h"
#include "platform/player/PlayerInterfaces.h"

namespace platform::player {

namespace {

class CMediaProxy final : public Proxy<IWMPMedia> {
 public:
  using Proxy::Proxy;
  HRESULT get_name(BSTR* name) override { return Forward<&IWMPMedia::get_name>(name); }
  HRESULT getItemInfo(BSTR attribute, BSTR* value) override {
    return Forward<&IWMPMedia::getItemInfo>(attribute, value);
  }
};

class CPlaylistProxy final : public Proxy<IWMPPlaylist> {
 public:
  using Proxy::Proxy;
  HRESULT get_count(std::int32_t* count) override {
    return Forward<&IWMPPlaylist::get_count>(count);
  }
  HRESULT get_name(BSTR* name) override { return Forward<&IWMPPlaylist::get_name>(name); }
  HRESULT getItemInfo(BSTR attribute, BSTR* value) override {
    return Forward<&IWMPPlaylist::getItemInfo>(attribute, value);
  }
  HRESULT get_item(std::int32_t index, IWMPMedia** media) override {
    return Forward<&IWMPPlaylist::get_item>(index, media);
  }
  HRESULT appendItem(IWMPMedia* media) override {
    return Forward<&IWMPPlaylist::appendItem>(media);
  }
};

class CStringCollectionProxy final : public Proxy<IWMPStringCollection> {
 public:
  using Proxy::Proxy;
  HRESULT get_count(std::int32_t* count) override {
    return Forward<&IWMPStringCollection::get_count>(count);
  }
  HRESULT item(std::int32_t index, BSTR* text) override {
    return Forward<&IWMPStringCollection::item>(index, text);
  }
};

class CPlaylistArrayProxy final : public Proxy<IWMPPlaylistArray> {
 public:
  using Proxy::Proxy;
  HRESULT get_count(std::int32_t* count) override {
    return Forward<&IWMPPlaylistArray::get_count>(count);
  }
  HRESULT item(std::int32_t index, IWMPPlaylist** playlist) override {
    return Forward<&IWMPPlaylistArray::item>(index, playlist);
  }
};

class CMediaCollectionProxy final : public Proxy<IWMPMediaCollection> {
 public:
  using Proxy::Proxy;
  HRESULT getAttributeStringCollection(BSTR attribute, BSTR mediaType,
                                       IWMPStringCollection** values) override {
    return Forward<&IWMPMediaCollection::getAttributeStringCollection>(attribute, mediaType,
                                                                        values);
  }
  HRESULT getByAttribute(BSTR attribute, BSTR value, IWMPPlaylist** media) override {
    return Forward<&IWMPMediaCollection::getByAttribute>(attribute, value, media);
  }
  HRESULT getByAlbum(BSTR album, IWMPPlaylist** media) override {
    return Forward<&IWMPMediaCollection::getByAlbum>(album, media);
  }
  HRESULT getByAuthor(BSTR author, IWMPPlaylist** media) override {
    return Forward<&IWMPMediaCollection::getByAuthor>(author, media);
  }
  HRESULT getByGenre(BSTR genre, IWMPPlaylist** media) override {
    return Forward<&IWMPMediaCollection::getByGenre>(genre, media);
  }
};

class CPlaylistCollectionProxy final : public Proxy<IWMPPlaylistCollection> {
 public:
  using Proxy::Proxy;
  HRESULT getByName(BSTR name, IWMPPlaylistArray** playlists) override {
    return Forward<&IWMPPlaylistCollection::getByName>(name, playlists);
  }
};

class CControlsProxy final : public Proxy<IWMPControls> {
 public:
  using Proxy::Proxy;
  HRESULT play() override { return Forward<&IWMPControls::play>(); }
  HRESULT pause() override { return Forward<&IWMPControls::pause>(); }
  HRESULT stop() override { return Forward<&IWMPControls::stop>(); }
  HRESULT next() override { return Forward<&IWMPControls::next>(); }
  HRESULT previous() override { return Forward<&IWMPControls::previous>(); }
  HRESULT fastForward() override { return Forward<&IWMPControls::fastForward>(); }
  HRESULT fastReverse() override { return Forward<&IWMPControls::fastReverse>(); }
  HRESULT get_currentPosition(double* seconds) override {
    return Forward<&IWMPControls::get_currentPosition>(seconds);
  }
};

class CSettingsProxy final : public Proxy<IWMPSettings> {
 public:
  using Proxy::Proxy;
  HRESULT put_autoStart(VARIANT_BOOL autoStart) override {
    return Forward<&IWMPSettings::put_autoStart>(autoStart);
  }
  HRESULT getMode(BSTR mode, VARIANT_BOOL* value) override {
    return Forward<&IWMPSettings::getMode>(mode, value);
  }
  HRESULT setMode(BSTR mode, VARIANT_BOOL value) override {
    return Forward<&IWMPSettings::setMode>(mode, value);
  }
};

class CPlayerApplicationProxy final : public Proxy<IWMPPlayerApplication> {
 public:
  using Proxy::Proxy;
  HRESULT get_playerDocked(VARIANT_BOOL* docked) override {
    return Forward<&IWMPPlayerApplication::get_playerDocked>(docked);
  }
};

class CPlayerProxy final : public Proxy<IWMPPlayer4> {
 public:
  using Proxy::Proxy;
  HRESULT get_controls(IWMPControls** controls) override {
    return Forward<&IWMPPlayer4::get_controls>(controls);
  }
  HRESULT get_settings(IWMPSettings** settings) override {
    return Forward<&IWMPPlayer4::get_settings>(settings);
  }
  HRESULT get_currentMedia(IWMPMedia** media) override {
    return Forward<&IWMPPlayer4::get_currentMedia>(media);
  }
  HRESULT put_currentMedia(IWMPMedia* media) override {
    return Forward<&IWMPPlayer4::put_currentMedia>(media);
  }
  HRESULT get_mediaCollection(IWMPMediaCollection** collection) override {
    return Forward<&IWMPPlayer4::get_mediaCollection>(collection);
  }
  HRESULT get_playlistCollection(IWMPPlaylistCollection** collection) override {
    return Forward<&IWMPPlayer4::get_playlistCollection>(collection);
  }
  HRESULT get_versionInfo(BSTR* version) override {
    return Forward<&IWMPPlayer4::get_versionInfo>(version);
  }
  HRESULT get_playState(WMPPlayState* state) override {
    return Forward<&IWMPPlayer4::get_playState>(state);
  }
  HRESULT put_currentPlaylist(IWMPPlaylist* playlist) override {
    return Forward<&IWMPPlayer4::put_currentPlaylist>(playlist);
  }
  HRESULT newPlaylist(BSTR name, BSTR url, IWMPPlaylist** playlist) override {
    return Forward<&IWMPPlayer4::newPlaylist>(name, url, playlist);
  }
  HRESULT get_playerApplication(IWMPPlayerApplication** application) override {
    return Forward<&IWMPPlayer4::get_playerApplication>(application);
  }
};

}  // namespace

bool RegisterPlayerCalls() {
  static const bool registered =
      RegisterCallInterface<IWMPMedia, CMediaProxy>() &&
      RegisterCallInterface<IWMPPlaylist, CPlaylistProxy>() &&
      RegisterCallInterface<IWMPStringCollection, CStringCollectionProxy>() &&
      RegisterCallInterface<IWMPPlaylistArray, CPlaylistArrayProxy>() &&
      RegisterCallInterface<IWMPMediaCollection, CMediaCollectionProxy>() &&
      RegisterCallInterface<IWMPPlaylistCollection, CPlaylistCollectionProxy>() &&
      RegisterCallInterface<IWMPControls, CControlsProxy>() &&
      RegisterCallInterface<IWMPSettings, CSettingsProxy>() &&
      RegisterCallInterface<IWMPPlayerApplication, CPlayerApplicationProxy>() &&
      RegisterCallInterface<IWMPPlayer4, CPlayerProxy>() &&
      RegisterEventInterface<_WMPOCXEvents>();
  return registered;
}

}  // namespace platform::player
