#pragma once

// The player's engine: the library, playback on the layer's clock, settings and modes, and the
// events it fires to connected sinks.

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/player/CallMonitor.h"
#include "platform/player/Library.h"
#include "platform/player/PlaybackClock.h"
#include "platform/player/PlayerInterfaces.h"

namespace platform::player {

struct EngineOptions {
  // Milliseconds; a test passes a clock of its own.
  std::function<std::uint32_t()> clock = PlaybackTickCount;
  bool recordCalls = false;
};

// The engine lives in the thread that creates it, its apartment: every call of its objects and
// every method below is made there (an object's call from another thread answers
// RPC_E_WRONG_THREAD), its clock is read there, and its events are fired there, synchronously, to
// the sinks connected to its player. It starts no thread of its own. Playback advances when the
// engine is called (each call first catches up with the clock) or when its host calls Update.
//
// A test sets up a player like this:
//   auto engine = Engine::Create(Library::FromFile(path),
//                                {.clock = [&] { return now; }, .recordCalls = true});
//   ComPtr<IWMPPlayer4> player = engine->Player();
//   engine->Monitor().Fail<&IWMPMediaCollection::getByAlbum>(E_FAIL);
//   engine->Monitor().Fail<&IWMPMedia::getItemInfo>(
//       E_FAIL, {.arguments = {u"Artist"}, .on = u"Lanterns"});
// An injected failure leaves the call's out-parameters untouched.
class Engine : public std::enable_shared_from_this<Engine> {
 public:
  static std::shared_ptr<Engine> Create(Library library, EngineOptions options = {});
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine();

  // The player control's object model; the object keeps the engine alive.
  ComPtr<IWMPPlayer4> Player();
  CallMonitor& Monitor() noexcept { return m_monitor; }
  Library& MediaLibrary() noexcept { return m_library; }

  // Catches up with the clock: ends the tracks whose time is over and goes on as the modes say.
  void Update();

  // What playback stands at.
  WMPPlayState PlayState();
  double Position();  // seconds into the current media
  MediaRef CurrentMedia();
  bool AutoStart() const noexcept { return m_autoStart; }

  // Changes of the library as the player application makes them, each with the player's events.
  MediaRef AddTrack(const Attributes& attributes);
  bool RemoveTrack(const MediaRef& track);
  PlaylistRef AddPlaylist(std::u16string_view name, const Attributes& attributes,
                          MediaList entries);
  bool RemovePlaylist(const PlaylistRef& playlist);
  // Entries of a playlist of the library; false for an index out of range or a detached
  // playlist (which changes silently through AppendToPlaylist).
  bool InsertEntry(const PlaylistRef& playlist, std::size_t index, const MediaRef& track);
  bool RemoveEntry(const PlaylistRef& playlist, std::size_t index);
  void AppendToPlaylist(const PlaylistRef& playlist, const MediaRef& track);
  void SetDocked(bool docked);
  // The first item whose attribute equals `value`, or null.
  MediaRef FindItem(std::u16string_view attribute, std::u16string_view value);
  // The playlists of the library named so, in library order.
  std::vector<PlaylistRef> FindPlaylists(std::u16string_view name) const;

  // ---- for the player's objects (the COM side) ----

  // On entry of each object method: the thread check, the clock, the record and the failure
  // rules. Returns what the method must answer when it is not S_OK.
  HRESULT Enter(const MethodInfo& method, std::u16string_view receiver,
                std::vector<std::u16string> arguments);
  bool OnEngineThread() const noexcept { return std::this_thread::get_id() == m_thread; }
  ConnectionPoints& EventPoints() noexcept { return m_eventPoints; }

  void Play();
  void Pause();
  void Stop();
  void Next();
  void Previous();
  void FastForward();
  void FastReverse();
  void SetCurrentPlaylist(const PlaylistData& playlist);
  void SetCurrentMedia(const MediaRef& media);
  void SetAutoStart(bool autoStart) noexcept { m_autoStart = autoStart; }
  // Modes "loop" and "shuffle", kept as set; false for another name.
  bool GetMode(std::u16string_view mode, VARIANT_BOOL& value) const;
  bool SetMode(std::u16string_view mode, VARIANT_BOOL value);
  bool Docked() const noexcept { return m_docked; }

 private:
  Engine(Library library, EngineOptions options);

  template <class E, class... Values>
  void Fire(Values&&... values) {
    m_events->Fire<E>(std::forward<Values>(values)...);
  }
  void FirePlaylistChange(const PlaylistRef& playlist, WMPPlaylistChangeEventType type);
  // The album, author and genre strings of the audio media that `item` brought in or took
  // away, now that it has joined or left the library.
  template <class E>
  void FireStringChanges(const MediaRef& item);

  MediaRef Current() const;
  // The items to play: a playlist's own media item stands for the playlist's entries.
  MediaList Expanded(const MediaList& items) const;
  bool InLibrary(const PlaylistRef& playlist) const;
  void SetState(WMPPlayState state);
  void Mark();
  void Load(std::size_t orderPosition);
  void Begin();
  void Start();
  void Step(std::size_t orderPosition);
  // Makes the play order for the queue (shuffled when the mode says so), keeping the current
  // item current.
  void Reorder();
  // Makes `queue` the queue and loads its first item; false, with playback stopped, when it is
  // empty.
  bool ReplaceQueue(MediaList queue);
  double PositionAt(std::uint32_t now) const;
  double Duration(const MediaRef& media) const;
  bool Active(std::u16string_view mode) const;
  std::uint32_t Now() const { return m_clock(); }

  Library m_library;
  std::function<std::uint32_t()> m_clock;
  std::thread::id m_thread;
  CallMonitor m_monitor;
  ConnectionPoints m_eventPoints;
  ConnectionPoint* m_events;

  // The current playlist as it was made current, and the order in which it plays.
  MediaList m_queue;
  std::vector<std::size_t> m_order;
  std::size_t m_orderPosition = 0;
  WMPPlayState m_state = wmppsStopped;
  double m_positionAtMark = 0;  // seconds
  std::uint32_t m_markTick = 0;
  double m_rate = 1;  // 1 playing, 5 fast forward, -5 fast reverse
  bool m_catchingUp = false;
  std::mt19937 m_random{0x5EED};

  bool m_autoStart = true;
  bool m_docked = false;
  std::unordered_map<std::u16string, VARIANT_BOOL> m_modes{{u"loop", VARIANT_FALSE},
                                                           {u"shuffle", VARIANT_FALSE}};
};

}  // namespace platform::player
