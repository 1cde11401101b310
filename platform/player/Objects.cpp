#include "platform/player/Objects.h"

#include <string>
#include <utility>

namespace platform::player {

namespace {

// Identities that only our own objects answer, so that an object handed back to the player can
// be recognised.
constexpr IID kMediaIdentity = GuidLiteral(u"{7981AFE3-F096-49A1-BD83-30F78CF2ECDD}");
constexpr IID kPlaylistIdentity = GuidLiteral(u"{2A8C059A-1E4F-40AF-81BB-8F0465FC52D4}");

constexpr std::u16string_view kVersion = u"3.1.0.0";

std::u16string Text(BSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

std::u16string Decimal(std::int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

BSTR Allocate(std::u16string_view text) {
  return SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
}

// One of our objects behind `object`: it answers `identity` with its `Interface`.
template <class T, class Interface>
ComPtr<T> Own(IUnknown* object, const IID& identity) {
  void* found = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(identity, &found))) return nullptr;
  ComPtr<T> own;
  own.Attach(static_cast<T*>(static_cast<Interface*>(found)));
  return own;
}

// `receiver` names the object called (a media item, a playlist, a string collection's
// attribute), empty for the others.
template <auto Method>
HRESULT Enter(Engine& engine, std::u16string_view receiver,
              std::vector<std::u16string> arguments = {}) {
  return engine.Enter(MethodOf<Method>, receiver, std::move(arguments));
}

// Fills an out-parameter with a new object.
template <class T, class Interface, class... Args>
HRESULT Hand(Interface** out, Args&&... args) {
  if (out == nullptr) return E_POINTER;
  *out = MakeObject<T>(std::forward<Args>(args)...).Detach();
  return S_OK;
}

HRESULT HandText(BSTR* out, std::u16string_view text) {
  if (out == nullptr) return E_POINTER;
  *out = Allocate(text);
  return S_OK;
}

// Whether `index` lies within a list of `count` entries.
bool Within(std::int32_t index, std::size_t count) {
  return index >= 0 && static_cast<std::size_t>(index) < count;
}

// How a media or playlist argument appears in the call record: by its name.
std::u16string NameOf(Engine& engine, IUnknown* object) {
  if (const MediaRef item = MediaObject::ItemOf(object)) {
    return std::u16string(item->Value(engine.MediaLibrary().NameId()));
  }
  if (const PlaylistRef playlist = PlaylistObject::PlaylistOf(object)) return playlist->name;
  return object == nullptr ? u"null" : u"foreign object";
}

}  // namespace

// ---- media ----

MediaObject::MediaObject(std::shared_ptr<Engine> engine, MediaRef item)
    : m_engine(std::move(engine)), m_item(std::move(item)) {}

std::u16string_view MediaObject::Name() const {
  return m_item->Value(m_engine->MediaLibrary().NameId());
}

HRESULT MediaObject::get_name(BSTR* name) {
  if (const HRESULT hr = Enter<&IWMPMedia::get_name>(*m_engine, Name()); hr != S_OK) return hr;
  return HandText(name, Name());
}

HRESULT MediaObject::getItemInfo(BSTR attribute, BSTR* value) {
  if (const HRESULT hr = Enter<&IWMPMedia::getItemInfo>(*m_engine, Name(), {Text(attribute)});
      hr != S_OK) {
    return hr;
  }
  const auto id = m_engine->MediaLibrary().Known(Text(attribute));
  return HandText(value, id ? m_item->Value(*id) : std::u16string_view());
}

MediaRef MediaObject::ItemOf(IUnknown* object) {
  const ComPtr<MediaObject> own = Own<MediaObject, IWMPMedia>(object, kMediaIdentity);
  return own ? own->m_item : nullptr;
}

void* MediaObject::QueryOther(REFIID iid) {
  return iid == kMediaIdentity ? static_cast<IWMPMedia*>(this) : nullptr;
}

// ---- playlists ----

PlaylistObject::PlaylistObject(std::shared_ptr<Engine> engine, PlaylistRef playlist)
    : m_engine(std::move(engine)), m_playlist(std::move(playlist)) {}

HRESULT PlaylistObject::get_count(std::int32_t* count) {
  if (const HRESULT hr = Enter<&IWMPPlaylist::get_count>(*m_engine, m_playlist->name); hr != S_OK)
    return hr;
  if (count == nullptr) return E_POINTER;
  *count = static_cast<std::int32_t>(m_playlist->entries->size());
  return S_OK;
}

HRESULT PlaylistObject::get_name(BSTR* name) {
  if (const HRESULT hr = Enter<&IWMPPlaylist::get_name>(*m_engine, m_playlist->name); hr != S_OK)
    return hr;
  return HandText(name, m_playlist->name);
}

HRESULT PlaylistObject::getItemInfo(BSTR attribute, BSTR* value) {
  if (const HRESULT hr =
          Enter<&IWMPPlaylist::getItemInfo>(*m_engine, m_playlist->name, {Text(attribute)});
      hr != S_OK) {
    return hr;
  }
  const Library& library = m_engine->MediaLibrary();
  const auto id = library.Known(Text(attribute));
  if (!id) return HandText(value, {});
  if (m_playlist->item) return HandText(value, m_playlist->item->Value(*id));
  return HandText(value, *id == library.NameId() ? std::u16string_view(m_playlist->name)
                                                 : std::u16string_view());
}

HRESULT PlaylistObject::get_item(std::int32_t index, IWMPMedia** media) {
  if (const HRESULT hr =
          Enter<&IWMPPlaylist::get_item>(*m_engine, m_playlist->name, {Decimal(index)});
      hr != S_OK) {
    return hr;
  }
  if (media == nullptr) return E_POINTER;
  *media = nullptr;
  if (!Within(index, m_playlist->entries->size())) return E_INVALIDARG;
  return Hand<MediaObject>(media, m_engine,
                           (*m_playlist->entries)[static_cast<std::size_t>(index)]);
}

HRESULT PlaylistObject::appendItem(IWMPMedia* media) {
  if (const HRESULT hr =
          Enter<&IWMPPlaylist::appendItem>(*m_engine, m_playlist->name, {NameOf(*m_engine, media)});
      hr != S_OK) {
    return hr;
  }
  const MediaRef item = MediaObject::ItemOf(media);
  if (!item) return E_INVALIDARG;
  m_engine->AppendToPlaylist(m_playlist, item);
  return S_OK;
}

PlaylistRef PlaylistObject::PlaylistOf(IUnknown* object) {
  const ComPtr<PlaylistObject> own = Own<PlaylistObject, IWMPPlaylist>(object, kPlaylistIdentity);
  return own ? own->m_playlist : nullptr;
}

void* PlaylistObject::QueryOther(REFIID iid) {
  return iid == kPlaylistIdentity ? static_cast<IWMPPlaylist*>(this) : nullptr;
}

// ---- collections ----

StringCollectionObject::StringCollectionObject(std::shared_ptr<Engine> engine,
                                               std::u16string attribute,
                                               std::shared_ptr<const StringList> values)
    : m_engine(std::move(engine)), m_attribute(std::move(attribute)), m_values(std::move(values)) {}

HRESULT StringCollectionObject::get_count(std::int32_t* count) {
  if (const HRESULT hr = Enter<&IWMPStringCollection::get_count>(*m_engine, m_attribute);
      hr != S_OK)
    return hr;
  if (count == nullptr) return E_POINTER;
  *count = static_cast<std::int32_t>(m_values->size());
  return S_OK;
}

HRESULT StringCollectionObject::item(std::int32_t index, BSTR* text) {
  if (const HRESULT hr =
          Enter<&IWMPStringCollection::item>(*m_engine, m_attribute, {Decimal(index)});
      hr != S_OK) {
    return hr;
  }
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  if (!Within(index, m_values->size())) return E_INVALIDARG;
  return HandText(text, (*m_values)[static_cast<std::size_t>(index)]);
}

PlaylistArrayObject::PlaylistArrayObject(std::shared_ptr<Engine> engine, std::u16string name,
                                         std::vector<PlaylistRef> playlists)
    : m_engine(std::move(engine)), m_name(std::move(name)), m_playlists(std::move(playlists)) {}

HRESULT PlaylistArrayObject::get_count(std::int32_t* count) {
  if (const HRESULT hr = Enter<&IWMPPlaylistArray::get_count>(*m_engine, m_name); hr != S_OK)
    return hr;
  if (count == nullptr) return E_POINTER;
  *count = static_cast<std::int32_t>(m_playlists.size());
  return S_OK;
}

HRESULT PlaylistArrayObject::item(std::int32_t index, IWMPPlaylist** playlist) {
  if (const HRESULT hr = Enter<&IWMPPlaylistArray::item>(*m_engine, m_name, {Decimal(index)});
      hr != S_OK) {
    return hr;
  }
  if (playlist == nullptr) return E_POINTER;
  *playlist = nullptr;
  if (!Within(index, m_playlists.size())) return E_INVALIDARG;
  return Hand<PlaylistObject>(playlist, m_engine, m_playlists[static_cast<std::size_t>(index)]);
}

MediaCollectionObject::MediaCollectionObject(std::shared_ptr<Engine> engine)
    : m_engine(std::move(engine)) {}

HRESULT MediaCollectionObject::getAttributeStringCollection(BSTR attribute, BSTR mediaType,
                                                            IWMPStringCollection** values) {
  if (const HRESULT hr = Enter<&IWMPMediaCollection::getAttributeStringCollection>(
          *m_engine, {}, {Text(attribute), Text(mediaType)});
      hr != S_OK) {
    return hr;
  }
  Library& library = m_engine->MediaLibrary();
  return Hand<StringCollectionObject>(
      values, m_engine, Text(attribute),
      library.Strings(library.Attribute(Text(attribute)), Text(mediaType)));
}

HRESULT MediaCollectionObject::Answer(AttributeId attribute, BSTR value, IWMPPlaylist** media) {
  const std::u16string text = Text(value);
  SharedMediaList items = m_engine->MediaLibrary().Query(attribute, text);
  return Hand<PlaylistObject>(media, m_engine,
                              std::make_shared<PlaylistData>(PlaylistData{text, nullptr, items}));
}

HRESULT MediaCollectionObject::getByAttribute(BSTR attribute, BSTR value, IWMPPlaylist** media) {
  if (const HRESULT hr = Enter<&IWMPMediaCollection::getByAttribute>(
          *m_engine, {}, {Text(attribute), Text(value)});
      hr != S_OK) {
    return hr;
  }
  return Answer(m_engine->MediaLibrary().Attribute(Text(attribute)), value, media);
}

HRESULT MediaCollectionObject::getByAlbum(BSTR album, IWMPPlaylist** media) {
  if (const HRESULT hr = Enter<&IWMPMediaCollection::getByAlbum>(*m_engine, {}, {Text(album)});
      hr != S_OK) {
    return hr;
  }
  return Answer(m_engine->MediaLibrary().AlbumId(), album, media);
}

HRESULT MediaCollectionObject::getByAuthor(BSTR author, IWMPPlaylist** media) {
  if (const HRESULT hr = Enter<&IWMPMediaCollection::getByAuthor>(*m_engine, {}, {Text(author)});
      hr != S_OK) {
    return hr;
  }
  return Answer(m_engine->MediaLibrary().AuthorId(), author, media);
}

HRESULT MediaCollectionObject::getByGenre(BSTR genre, IWMPPlaylist** media) {
  if (const HRESULT hr = Enter<&IWMPMediaCollection::getByGenre>(*m_engine, {}, {Text(genre)});
      hr != S_OK) {
    return hr;
  }
  return Answer(m_engine->MediaLibrary().GenreId(), genre, media);
}

PlaylistCollectionObject::PlaylistCollectionObject(std::shared_ptr<Engine> engine)
    : m_engine(std::move(engine)) {}

HRESULT PlaylistCollectionObject::getByName(BSTR name, IWMPPlaylistArray** playlists) {
  if (const HRESULT hr = Enter<&IWMPPlaylistCollection::getByName>(*m_engine, {}, {Text(name)});
      hr != S_OK) {
    return hr;
  }
  return Hand<PlaylistArrayObject>(playlists, m_engine, Text(name),
                                   m_engine->FindPlaylists(Text(name)));
}

// ---- controls, settings, application ----

ControlsObject::ControlsObject(std::shared_ptr<Engine> engine) : m_engine(std::move(engine)) {}

namespace {

// A transport command: the entry rules, then the engine's action.
template <auto Method, void (Engine::*Action)()>
HRESULT Command(Engine& engine) {
  if (const HRESULT hr = Enter<Method>(engine, {}); hr != S_OK) return hr;
  (engine.*Action)();
  return S_OK;
}

}  // namespace

HRESULT ControlsObject::play() { return Command<&IWMPControls::play, &Engine::Play>(*m_engine); }
HRESULT ControlsObject::pause() { return Command<&IWMPControls::pause, &Engine::Pause>(*m_engine); }
HRESULT ControlsObject::stop() { return Command<&IWMPControls::stop, &Engine::Stop>(*m_engine); }
HRESULT ControlsObject::next() { return Command<&IWMPControls::next, &Engine::Next>(*m_engine); }
HRESULT ControlsObject::previous() {
  return Command<&IWMPControls::previous, &Engine::Previous>(*m_engine);
}
HRESULT ControlsObject::fastForward() {
  return Command<&IWMPControls::fastForward, &Engine::FastForward>(*m_engine);
}
HRESULT ControlsObject::fastReverse() {
  return Command<&IWMPControls::fastReverse, &Engine::FastReverse>(*m_engine);
}

HRESULT ControlsObject::get_currentPosition(double* seconds) {
  if (const HRESULT hr = Enter<&IWMPControls::get_currentPosition>(*m_engine, {}); hr != S_OK) {
    return hr;
  }
  if (seconds == nullptr) return E_POINTER;
  *seconds = m_engine->Position();
  return S_OK;
}

SettingsObject::SettingsObject(std::shared_ptr<Engine> engine) : m_engine(std::move(engine)) {}

HRESULT SettingsObject::put_autoStart(VARIANT_BOOL autoStart) {
  if (const HRESULT hr = Enter<&IWMPSettings::put_autoStart>(*m_engine, {}, {Decimal(autoStart)});
      hr != S_OK) {
    return hr;
  }
  m_engine->SetAutoStart(autoStart != VARIANT_FALSE);
  return S_OK;
}

HRESULT SettingsObject::getMode(BSTR mode, VARIANT_BOOL* value) {
  if (const HRESULT hr = Enter<&IWMPSettings::getMode>(*m_engine, {}, {Text(mode)}); hr != S_OK) {
    return hr;
  }
  if (value == nullptr) return E_POINTER;
  return m_engine->GetMode(Text(mode), *value) ? S_OK : E_INVALIDARG;
}

HRESULT SettingsObject::setMode(BSTR mode, VARIANT_BOOL value) {
  if (const HRESULT hr = Enter<&IWMPSettings::setMode>(*m_engine, {}, {Text(mode), Decimal(value)});
      hr != S_OK) {
    return hr;
  }
  return m_engine->SetMode(Text(mode), value) ? S_OK : E_INVALIDARG;
}

PlayerApplicationObject::PlayerApplicationObject(std::shared_ptr<Engine> engine)
    : m_engine(std::move(engine)) {}

HRESULT PlayerApplicationObject::get_playerDocked(VARIANT_BOOL* docked) {
  if (const HRESULT hr = Enter<&IWMPPlayerApplication::get_playerDocked>(*m_engine, {});
      hr != S_OK) {
    return hr;
  }
  if (docked == nullptr) return E_POINTER;
  *docked = ToVariantBool(m_engine->Docked());
  return S_OK;
}

// ---- the player ----

PlayerObject::PlayerObject(std::shared_ptr<Engine> engine) : m_engine(std::move(engine)) {}

HRESULT PlayerObject::get_controls(IWMPControls** controls) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_controls>(*m_engine, {}); hr != S_OK) return hr;
  return Hand<ControlsObject>(controls, m_engine);
}

HRESULT PlayerObject::get_settings(IWMPSettings** settings) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_settings>(*m_engine, {}); hr != S_OK) return hr;
  return Hand<SettingsObject>(settings, m_engine);
}

HRESULT PlayerObject::get_currentMedia(IWMPMedia** media) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_currentMedia>(*m_engine, {}); hr != S_OK)
    return hr;
  if (media == nullptr) return E_POINTER;
  *media = nullptr;
  MediaRef current = m_engine->CurrentMedia();
  if (!current) return E_FAIL;  // nothing loaded: no media to hand out
  return Hand<MediaObject>(media, m_engine, std::move(current));
}

HRESULT PlayerObject::put_currentMedia(IWMPMedia* media) {
  if (const HRESULT hr =
          Enter<&IWMPPlayer4::put_currentMedia>(*m_engine, {}, {NameOf(*m_engine, media)});
      hr != S_OK) {
    return hr;
  }
  const MediaRef item = MediaObject::ItemOf(media);
  if (!item) return E_INVALIDARG;
  m_engine->SetCurrentMedia(item);
  return S_OK;
}

HRESULT PlayerObject::get_mediaCollection(IWMPMediaCollection** collection) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_mediaCollection>(*m_engine, {}); hr != S_OK) {
    return hr;
  }
  return Hand<MediaCollectionObject>(collection, m_engine);
}

HRESULT PlayerObject::get_playlistCollection(IWMPPlaylistCollection** collection) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_playlistCollection>(*m_engine, {}); hr != S_OK) {
    return hr;
  }
  return Hand<PlaylistCollectionObject>(collection, m_engine);
}

HRESULT PlayerObject::get_versionInfo(BSTR* version) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_versionInfo>(*m_engine, {}); hr != S_OK) return hr;
  return HandText(version, kVersion);
}

HRESULT PlayerObject::get_playState(WMPPlayState* state) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_playState>(*m_engine, {}); hr != S_OK) return hr;
  if (state == nullptr) return E_POINTER;
  *state = m_engine->PlayState();
  return S_OK;
}

HRESULT PlayerObject::put_currentPlaylist(IWMPPlaylist* playlist) {
  if (const HRESULT hr =
          Enter<&IWMPPlayer4::put_currentPlaylist>(*m_engine, {}, {NameOf(*m_engine, playlist)});
      hr != S_OK) {
    return hr;
  }
  const PlaylistRef data = PlaylistObject::PlaylistOf(playlist);
  if (!data) return E_INVALIDARG;
  m_engine->SetCurrentPlaylist(*data);
  return S_OK;
}

HRESULT PlayerObject::newPlaylist(BSTR name, BSTR url, IWMPPlaylist** playlist) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::newPlaylist>(*m_engine, {}, {Text(name), Text(url)});
      hr != S_OK) {
    return hr;
  }
  if (playlist == nullptr) return E_POINTER;
  *playlist = nullptr;
  if (SysStringLen(url) != 0) return E_NOTIMPL;  // playlists are not read from files
  return Hand<PlaylistObject>(playlist, m_engine,
                              std::make_shared<PlaylistData>(PlaylistData{
                                  Text(name), nullptr, std::make_shared<MediaList>()}));
}

HRESULT PlayerObject::get_playerApplication(IWMPPlayerApplication** application) {
  if (const HRESULT hr = Enter<&IWMPPlayer4::get_playerApplication>(*m_engine, {}); hr != S_OK) {
    return hr;
  }
  return Hand<PlayerApplicationObject>(application, m_engine);
}

HRESULT PlayerObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (const HRESULT hr =
          Enter<&IConnectionPointContainer::FindConnectionPoint>(*m_engine, {}, {FormatGuid(iid)});
      hr != S_OK) {
    return hr;
  }
  return m_engine->EventPoints().Find(iid, point);
}

}  // namespace platform::player
