#include "platform/player/Engine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <string>

#include "platform/base/Text.h"
#include "platform/player/Objects.h"

namespace platform::player {

namespace {

constexpr double kScanRate = 5;

UniqueBstr Bstr(std::u16string_view text) {
  return UniqueBstr(SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size())));
}

// The string events' names of the album, author and genre attributes.
constexpr std::u16string_view kEventAttributeNames[] = {u"WM/AlbumTitle", u"Author", u"WM/Genre"};

}  // namespace

std::shared_ptr<Engine> Engine::Create(Library library, EngineOptions options) {
  return std::shared_ptr<Engine>(new Engine(std::move(library), std::move(options)));
}

Engine::Engine(Library library, EngineOptions options)
    : m_library(std::move(library)),
      m_clock(std::move(options.clock)),
      m_thread(std::this_thread::get_id()),
      m_events(&m_eventPoints.Add(IidOf<_WMPOCXEvents>)) {
  m_monitor.Record(options.recordCalls);
  m_markTick = Now();
}

Engine::~Engine() = default;

ComPtr<IWMPPlayer4> Engine::Player() { return MakeObject<PlayerObject>(shared_from_this()); }

HRESULT Engine::Enter(const MethodInfo& method, std::u16string_view receiver,
                      std::vector<std::u16string> arguments) {
  if (!OnEngineThread()) return RPC_E_WRONG_THREAD;
  Update();
  return m_monitor.Enter(method, receiver, std::move(arguments));
}

// ---- playback ----

MediaRef Engine::Current() const {
  return m_order.empty() ? nullptr : m_queue[m_order[m_orderPosition]];
}

double Engine::Duration(const MediaRef& media) const {
  const std::string text = ToUtf8(media->Value(m_library.DurationId()));
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  return error == std::errc() && end == text.data() + text.size() ? seconds : 0;
}

double Engine::PositionAt(std::uint32_t now) const {
  if (m_state != wmppsPlaying) return m_positionAtMark;
  const double elapsed = static_cast<double>(now - m_markTick) / 1000.0;
  const double position = std::max(0.0, m_positionAtMark + elapsed * m_rate);
  const double duration = Current() ? Duration(Current()) : 0;
  return duration > 0 ? std::min(position, duration) : position;
}

void Engine::Update() {
  if (m_catchingUp) return;  // a sink called back while events of the catch-up are fired
  // Clears the flag however the catch-up ends.
  struct CatchingUp {
    bool& flag;
    explicit CatchingUp(bool& f) : flag(f) { flag = true; }
    ~CatchingUp() { flag = false; }
  } const catchingUp(m_catchingUp);
  const std::uint32_t now = Now();
  while (m_state == wmppsPlaying && Current()) {
    const double position = PositionAt(now);
    if (m_rate < 0) {
      if (position <= 0) {  // reversed to the start: play on from there
        m_positionAtMark = 0;
        m_markTick = now;
        m_rate = 1;
      }
      break;
    }
    const double duration = Duration(Current());
    if (duration <= 0 || position < duration) break;  // without a duration a track plays on
    const auto ended =
        m_markTick + static_cast<std::uint32_t>((duration - m_positionAtMark) / m_rate * 1000.0);
    SetState(wmppsMediaEnded);
    if (m_state != wmppsMediaEnded) break;  // a sink took over
    if (m_orderPosition + 1 < m_order.size() || Active(u"loop")) {
      Load((m_orderPosition + 1) % m_order.size());
      m_markTick = ended;
      SetState(wmppsTransitioning);
      SetState(wmppsPlaying);
    } else {
      m_positionAtMark = 0;
      SetState(wmppsStopped);
    }
  }
}

WMPPlayState Engine::PlayState() {
  Update();
  return m_state;
}

double Engine::Position() {
  Update();
  return PositionAt(Now());
}

MediaRef Engine::CurrentMedia() {
  Update();
  return Current();
}

bool Engine::Active(std::u16string_view mode) const {
  VARIANT_BOOL value = VARIANT_FALSE;
  return GetMode(mode, value) && value != VARIANT_FALSE;
}

void Engine::SetState(WMPPlayState state) {
  if (state == m_state) return;
  m_state = state;
  Fire<_WMPOCXEvents::PlayStateChange>(static_cast<std::int32_t>(state));
}

void Engine::Mark() {
  const std::uint32_t now = Now();
  m_positionAtMark = PositionAt(now);
  m_markTick = now;
}

void Engine::Load(std::size_t orderPosition) {
  m_orderPosition = orderPosition;
  m_positionAtMark = 0;
  m_markTick = Now();
  m_rate = 1;
  const ComPtr<MediaObject> media = MakeObject<MediaObject>(shared_from_this(), Current());
  Fire<_WMPOCXEvents::CurrentItemChange>(media->Identity());
}

void Engine::Begin() {
  m_markTick = Now();
  m_rate = 1;
  SetState(wmppsTransitioning);
  SetState(wmppsPlaying);
}

void Engine::Start() {
  if (m_autoStart) {
    Begin();
  } else {
    SetState(wmppsReady);
  }
}

void Engine::Step(std::size_t orderPosition) {
  const bool playing = m_state == wmppsPlaying;
  Load(orderPosition);
  if (playing) Begin();
}

void Engine::Reorder() {
  const std::size_t current = m_order.empty() ? 0 : m_order[m_orderPosition];
  m_order.resize(m_queue.size());
  std::iota(m_order.begin(), m_order.end(), std::size_t{0});
  m_orderPosition = std::min(current, m_order.empty() ? 0 : m_order.size() - 1);
  if (Active(u"shuffle") && !m_order.empty()) {
    std::shuffle(m_order.begin(), m_order.end(), m_random);
    const auto found = std::find(m_order.begin(), m_order.end(), current);
    if (found != m_order.end()) std::iter_swap(m_order.begin(), found);
    m_orderPosition = 0;
  }
}

MediaList Engine::Expanded(const MediaList& items) const {
  MediaList queue;
  queue.reserve(items.size());
  for (const MediaRef& item : items) {
    const auto& playlists = m_library.Playlists();
    const auto owner = std::find_if(playlists.begin(), playlists.end(),
                                    [&](const PlaylistRef& p) { return p->item == item; });
    if (owner == playlists.end()) {
      queue.push_back(item);
    } else {
      queue.insert(queue.end(), (*owner)->entries->begin(), (*owner)->entries->end());
    }
  }
  return queue;
}

bool Engine::ReplaceQueue(MediaList queue) {
  m_queue = std::move(queue);
  m_order.clear();
  Reorder();
  if (m_queue.empty()) {
    m_positionAtMark = 0;
    SetState(wmppsStopped);
    return false;
  }
  Load(m_orderPosition);
  return true;
}

void Engine::SetCurrentPlaylist(const PlaylistData& playlist) {
  if (ReplaceQueue(Expanded(*playlist.entries))) {
    Start();
  }
}

void Engine::SetCurrentMedia(const MediaRef& media) {
  const auto inQueue = std::find(m_queue.begin(), m_queue.end(), media);
  if (inQueue == m_queue.end()) {
    if (!ReplaceQueue(Expanded({media}))) {
      return;
    }
  } else {
    const auto index = static_cast<std::size_t>(inQueue - m_queue.begin());
    Load(static_cast<std::size_t>(std::find(m_order.begin(), m_order.end(), index) -
                                  m_order.begin()));
  }
  Start();
}

void Engine::Play() {
  if (!Current()) return;
  switch (m_state) {
    case wmppsPaused:
      m_markTick = Now();
      m_rate = 1;
      SetState(wmppsPlaying);
      break;
    case wmppsPlaying:
      Mark();
      m_rate = 1;
      break;
    default:
      Begin();
      break;
  }
}

void Engine::Pause() {
  if (m_state != wmppsPlaying) return;
  Mark();
  SetState(wmppsPaused);
}

void Engine::Stop() {
  if (!Current()) return;
  m_positionAtMark = 0;
  m_rate = 1;
  SetState(wmppsStopped);
}

void Engine::Next() {
  if (!Current()) return;
  if (m_orderPosition + 1 < m_order.size()) {
    Step(m_orderPosition + 1);
  } else if (Active(u"loop")) {
    Step(0);
  }
}

void Engine::Previous() {
  if (!Current()) return;
  if (m_orderPosition > 0) {
    Step(m_orderPosition - 1);
  } else {
    Step(Active(u"loop") ? m_order.size() - 1 : 0);
  }
}

void Engine::FastForward() {
  if (m_state != wmppsPlaying) return;
  Mark();
  m_rate = kScanRate;
}

void Engine::FastReverse() {
  if (m_state != wmppsPlaying) return;
  Mark();
  m_rate = -kScanRate;
}

bool Engine::GetMode(std::u16string_view mode, VARIANT_BOOL& value) const {
  const auto found = m_modes.find(std::u16string(mode));
  if (found == m_modes.end()) return false;
  value = found->second;
  return true;
}

bool Engine::SetMode(std::u16string_view mode, VARIANT_BOOL value) {
  const auto found = m_modes.find(std::u16string(mode));
  if (found == m_modes.end()) return false;
  const bool shuffleChanged =
      mode == u"shuffle" && (found->second != VARIANT_FALSE) != (value != VARIANT_FALSE);
  found->second = value;
  if (shuffleChanged) Reorder();
  const UniqueBstr name = Bstr(mode);
  Fire<_WMPOCXEvents::ModeChange>(name.get(), value);
  return true;
}

// ---- library changes ----

template <class E>
void Engine::FireStringChanges(const MediaRef& item) {
  if (item->Value(m_library.MediaTypeId()) != u"audio") return;
  const AttributeId attributes[] = {m_library.AlbumId(), m_library.AuthorId(), m_library.GenreId()};
  for (std::size_t i = 0; i < std::size(attributes); ++i) {
    if (m_library.HoldsString(attributes[i], u"audio", item)) continue;
    Fire<E>(Bstr(kEventAttributeNames[i]).get(), Bstr(item->Value(attributes[i])).get());
  }
}

void Engine::FirePlaylistChange(const PlaylistRef& playlist, WMPPlaylistChangeEventType type) {
  const ComPtr<PlaylistObject> object = MakeObject<PlaylistObject>(shared_from_this(), playlist);
  Fire<_WMPOCXEvents::PlaylistChange>(object->Identity(), static_cast<std::int32_t>(type));
}

bool Engine::InLibrary(const PlaylistRef& playlist) const {
  const auto& playlists = m_library.Playlists();
  return std::find(playlists.begin(), playlists.end(), playlist) != playlists.end();
}

MediaRef Engine::AddTrack(const Attributes& attributes) {
  MediaRef track = m_library.AddItem(attributes);
  FireStringChanges<_WMPOCXEvents::MediaCollectionAttributeStringAdded>(track);
  Fire<_WMPOCXEvents::MediaCollectionChange>();
  return track;
}

bool Engine::RemoveTrack(const MediaRef& track) {
  const auto& playlists = m_library.Playlists();
  const bool isPlaylistItem = std::any_of(playlists.begin(), playlists.end(),
                                          [&](const PlaylistRef& p) { return p->item == track; });
  if (!track || isPlaylistItem || !m_library.Contains(track)) return false;
  const std::vector<PlaylistRef> left = m_library.RemoveItem(track);
  FireStringChanges<_WMPOCXEvents::MediaCollectionAttributeStringRemoved>(track);
  for (const PlaylistRef& playlist : left) FirePlaylistChange(playlist, wmplcDelete);
  Fire<_WMPOCXEvents::MediaCollectionChange>();
  return true;
}

PlaylistRef Engine::AddPlaylist(std::u16string_view name, const Attributes& attributes,
                                MediaList entries) {
  PlaylistRef playlist = m_library.AddPlaylist(name, attributes, std::move(entries));
  Fire<_WMPOCXEvents::PlaylistCollectionPlaylistAdded>(Bstr(name).get());
  Fire<_WMPOCXEvents::PlaylistCollectionChange>();
  return playlist;
}

bool Engine::RemovePlaylist(const PlaylistRef& playlist) {
  if (!m_library.RemovePlaylist(playlist)) return false;
  Fire<_WMPOCXEvents::PlaylistCollectionPlaylistRemoved>(Bstr(playlist->name).get());
  Fire<_WMPOCXEvents::PlaylistCollectionChange>();
  return true;
}

bool Engine::InsertEntry(const PlaylistRef& playlist, std::size_t index, const MediaRef& track) {
  if (!InLibrary(playlist) || !track || index > playlist->entries->size()) return false;
  MediaList& entries = Library::Writable(playlist->entries);
  entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(index), track);
  FirePlaylistChange(playlist, wmplcInsert);
  return true;
}

bool Engine::RemoveEntry(const PlaylistRef& playlist, std::size_t index) {
  if (!InLibrary(playlist) || index >= playlist->entries->size()) return false;
  MediaList& entries = Library::Writable(playlist->entries);
  entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
  FirePlaylistChange(playlist, wmplcDelete);
  return true;
}

void Engine::AppendToPlaylist(const PlaylistRef& playlist, const MediaRef& track) {
  Library::Writable(playlist->entries).push_back(track);
  if (InLibrary(playlist)) FirePlaylistChange(playlist, wmplcAppend);
}

void Engine::SetDocked(bool docked) {
  if (docked == m_docked) return;
  m_docked = docked;
  Fire<_WMPOCXEvents::PlayerDockedStateChange>();
}

MediaRef Engine::FindItem(std::u16string_view attribute, std::u16string_view value) {
  const SharedMediaList found = m_library.Query(m_library.Attribute(attribute), value);
  return found->empty() ? nullptr : found->front();
}

std::vector<PlaylistRef> Engine::FindPlaylists(std::u16string_view name) const {
  std::vector<PlaylistRef> found;
  for (const PlaylistRef& playlist : m_library.Playlists()) {
    if (playlist->name == name) found.push_back(playlist);
  }
  return found;
}

}  // namespace platform::player
