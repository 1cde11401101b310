#pragma once

// The media player's object model, as far as the system's code calls it: each interface with its
// identifier and exactly the operations that are called, declared once for the call layer (see
// platform/com/Interface.h). Identifiers that the system's code names are those it names; the
// others are ours.

#include <cstdint>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Event.h"
#include "platform/com/Interface.h"

enum WMPPlayState : std::int32_t {
  wmppsUndefined = 0,
  wmppsStopped = 1,
  wmppsPaused = 2,
  wmppsPlaying = 3,
  wmppsMediaEnded = 8,
  wmppsTransitioning = 9,
  wmppsReady = 10,
};

// What a playlist change event reports.
enum WMPPlaylistChangeEventType : std::int32_t {
  wmplcDelete = 4,
  wmplcInsert = 5,
  wmplcAppend = 6,
};

struct IWMPMedia : IUnknown {
  virtual HRESULT get_name(BSTR* name) = 0;
  // A missing attribute answers S_OK with an empty text.
  virtual HRESULT getItemInfo(BSTR attribute, BSTR* value) = 0;
};

struct IWMPPlaylist : IUnknown {
  virtual HRESULT get_count(std::int32_t* count) = 0;
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT getItemInfo(BSTR attribute, BSTR* value) = 0;
  virtual HRESULT get_item(std::int32_t index, IWMPMedia** media) = 0;
  virtual HRESULT appendItem(IWMPMedia* media) = 0;
};

struct IWMPStringCollection : IUnknown {
  virtual HRESULT get_count(std::int32_t* count) = 0;
  virtual HRESULT item(std::int32_t index, BSTR* text) = 0;
};

struct IWMPPlaylistArray : IUnknown {
  virtual HRESULT get_count(std::int32_t* count) = 0;
  virtual HRESULT item(std::int32_t index, IWMPPlaylist** playlist) = 0;
};

struct IWMPMediaCollection : IUnknown {
  // The values of `attribute` among the media of `mediaType`, in the order first seen.
  virtual HRESULT getAttributeStringCollection(BSTR attribute, BSTR mediaType,
                                               IWMPStringCollection** values) = 0;
  virtual HRESULT getByAttribute(BSTR attribute, BSTR value, IWMPPlaylist** media) = 0;
  virtual HRESULT getByAlbum(BSTR album, IWMPPlaylist** media) = 0;
  virtual HRESULT getByAuthor(BSTR author, IWMPPlaylist** media) = 0;
  virtual HRESULT getByGenre(BSTR genre, IWMPPlaylist** media) = 0;
};

struct IWMPPlaylistCollection : IUnknown {
  virtual HRESULT getByName(BSTR name, IWMPPlaylistArray** playlists) = 0;
};

struct IWMPControls : IUnknown {
  virtual HRESULT play() = 0;
  virtual HRESULT pause() = 0;
  virtual HRESULT stop() = 0;
  virtual HRESULT next() = 0;
  virtual HRESULT previous() = 0;
  virtual HRESULT fastForward() = 0;
  virtual HRESULT fastReverse() = 0;
  // Seconds into the current media.
  virtual HRESULT get_currentPosition(double* seconds) = 0;
};

struct IWMPSettings : IUnknown {
  virtual HRESULT put_autoStart(VARIANT_BOOL autoStart) = 0;
  // Modes "loop" and "shuffle"; the value is kept as it was set, so a true other than
  // VARIANT_TRUE reads back as it was given.
  virtual HRESULT getMode(BSTR mode, VARIANT_BOOL* value) = 0;
  virtual HRESULT setMode(BSTR mode, VARIANT_BOOL value) = 0;
};

struct IWMPPlayerApplication : IUnknown {
  virtual HRESULT get_playerDocked(VARIANT_BOOL* docked) = 0;
};

struct IWMPPlayer4 : IUnknown {
  virtual HRESULT get_controls(IWMPControls** controls) = 0;
  virtual HRESULT get_settings(IWMPSettings** settings) = 0;
  virtual HRESULT get_currentMedia(IWMPMedia** media) = 0;
  virtual HRESULT put_currentMedia(IWMPMedia* media) = 0;
  virtual HRESULT get_mediaCollection(IWMPMediaCollection** collection) = 0;
  virtual HRESULT get_playlistCollection(IWMPPlaylistCollection** collection) = 0;
  virtual HRESULT get_versionInfo(BSTR* version) = 0;
  virtual HRESULT get_playState(WMPPlayState* state) = 0;
  virtual HRESULT put_currentPlaylist(IWMPPlaylist* playlist) = 0;
  // A new playlist that belongs to no collection.
  virtual HRESULT newPlaylist(BSTR name, BSTR url, IWMPPlaylist** playlist) = 0;
  virtual HRESULT get_playerApplication(IWMPPlayerApplication** application) = 0;
};

// The remoting service that a host site offers the player control.
struct IWMPRemoteMediaServices : IUnknown {
  virtual HRESULT GetServiceType(BSTR* type) = 0;
  virtual HRESULT GetApplicationName(BSTR* name) = 0;
  virtual HRESULT GetScriptableObject(BSTR* name, IDispatch** object) = 0;
  virtual HRESULT GetCustomUIMode(BSTR* file) = 0;
};

// The player control's events. Media and playlist objects travel as IUnknown; the receiver asks
// them for the interface it wants.
struct _WMPOCXEvents {
  using PlayStateChange = platform::DispEvent<5101, "PlayStateChange", std::int32_t>;
  using PlaylistChange = platform::DispEvent<5801, "PlaylistChange", IUnknown*, std::int32_t>;
  using MediaChange = platform::DispEvent<5802, "MediaChange", IUnknown*>;
  using CurrentPlaylistItemAvailable = platform::DispEvent<5805, "CurrentPlaylistItemAvailable", BSTR>;
  using CurrentItemChange = platform::DispEvent<5806, "CurrentItemChange", IUnknown*>;
  using MediaCollectionChange = platform::DispEvent<5807, "MediaCollectionChange">;
  using MediaCollectionAttributeStringAdded =
      platform::DispEvent<5808, "MediaCollectionAttributeStringAdded", BSTR, BSTR>;
  using MediaCollectionAttributeStringRemoved =
      platform::DispEvent<5809, "MediaCollectionAttributeStringRemoved", BSTR, BSTR>;
  using PlaylistCollectionChange = platform::DispEvent<5810, "PlaylistCollectionChange">;
  using PlaylistCollectionPlaylistAdded =
      platform::DispEvent<5811, "PlaylistCollectionPlaylistAdded", BSTR>;
  using PlaylistCollectionPlaylistRemoved =
      platform::DispEvent<5812, "PlaylistCollectionPlaylistRemoved", BSTR>;
  using ModeChange = platform::DispEvent<5819, "ModeChange", BSTR, VARIANT_BOOL>;
  using MediaCollectionAttributeStringChanged =
      platform::DispEvent<5820, "MediaCollectionAttributeStringChanged", BSTR, BSTR, BSTR>;
  using PlayerDockedStateChange = platform::DispEvent<6503, "PlayerDockedStateChange">;
};

// The player control's class and its type library.
inline constexpr CLSID CLSID_PlayerControl =
    platform::GuidLiteral(u"{6BF52A52-394A-11D3-B153-00C04F79FAA6}");
inline constexpr GUID LIBID_PlayerTypeLibrary =
    platform::GuidLiteral(u"{6BF52A50-394A-11D3-B153-00C04F79FAA6}");

#define PLAYER_INTERFACE(Interface, guidText, ...)       \
  template <>                                            \
  struct platform::InterfaceDeclaration<Interface> {     \
    static constexpr IID iid = GuidLiteral(guidText);    \
    static constexpr std::string_view name = #Interface; \
    using Base = IUnknown;                               \
    using Methods = MethodList<__VA_ARGS__>;             \
  }

PLAYER_INTERFACE(IWMPMedia, u"{4D00282C-F4C1-45B2-BE9A-AB50DC81250D}",
                 COM_METHOD(IWMPMedia, get_name), COM_METHOD(IWMPMedia, getItemInfo));
PLAYER_INTERFACE(IWMPPlaylist, u"{D5F0F4F1-130C-11D3-B14E-00C04F79FAA6}",
                 COM_METHOD(IWMPPlaylist, get_count), COM_METHOD(IWMPPlaylist, get_name),
                 COM_METHOD(IWMPPlaylist, getItemInfo), COM_METHOD(IWMPPlaylist, get_item),
                 COM_METHOD(IWMPPlaylist, appendItem));
PLAYER_INTERFACE(IWMPStringCollection, u"{4F70E4ED-B6AF-4C9C-A871-2341925EDC0E}",
                 COM_METHOD(IWMPStringCollection, get_count),
                 COM_METHOD(IWMPStringCollection, item));
PLAYER_INTERFACE(IWMPPlaylistArray, u"{5DA23EE0-FBA7-40E6-A3C9-3AA0921E4290}",
                 COM_METHOD(IWMPPlaylistArray, get_count), COM_METHOD(IWMPPlaylistArray, item));
PLAYER_INTERFACE(IWMPMediaCollection, u"{ED777F0F-CC5E-4517-B7FA-2795A99EDC0E}",
                 COM_METHOD(IWMPMediaCollection, getAttributeStringCollection),
                 COM_METHOD(IWMPMediaCollection, getByAttribute),
                 COM_METHOD(IWMPMediaCollection, getByAlbum),
                 COM_METHOD(IWMPMediaCollection, getByAuthor),
                 COM_METHOD(IWMPMediaCollection, getByGenre));
PLAYER_INTERFACE(IWMPPlaylistCollection, u"{FB9C825E-8B1B-42D3-83A9-22670F048054}",
                 COM_METHOD(IWMPPlaylistCollection, getByName));
PLAYER_INTERFACE(IWMPControls, u"{66E2339E-FB07-493C-8E7C-4A1177AD810B}",
                 COM_METHOD(IWMPControls, play), COM_METHOD(IWMPControls, pause),
                 COM_METHOD(IWMPControls, stop), COM_METHOD(IWMPControls, next),
                 COM_METHOD(IWMPControls, previous), COM_METHOD(IWMPControls, fastForward),
                 COM_METHOD(IWMPControls, fastReverse),
                 COM_METHOD(IWMPControls, get_currentPosition));
PLAYER_INTERFACE(IWMPSettings, u"{A86BD4CB-03F4-4EF6-AB50-CC0289B7D96E}",
                 COM_METHOD(IWMPSettings, put_autoStart), COM_METHOD(IWMPSettings, getMode),
                 COM_METHOD(IWMPSettings, setMode));
PLAYER_INTERFACE(IWMPPlayerApplication, u"{7C2EDB22-7C9B-4CE8-B8F3-D3A7F1A27D25}",
                 COM_METHOD(IWMPPlayerApplication, get_playerDocked));
PLAYER_INTERFACE(IWMPPlayer4, u"{6C497D62-8919-413C-82DB-E935FB3EC584}",
                 COM_METHOD(IWMPPlayer4, get_controls), COM_METHOD(IWMPPlayer4, get_settings),
                 COM_METHOD(IWMPPlayer4, get_currentMedia),
                 COM_METHOD(IWMPPlayer4, put_currentMedia),
                 COM_METHOD(IWMPPlayer4, get_mediaCollection),
                 COM_METHOD(IWMPPlayer4, get_playlistCollection),
                 COM_METHOD(IWMPPlayer4, get_versionInfo), COM_METHOD(IWMPPlayer4, get_playState),
                 COM_METHOD(IWMPPlayer4, put_currentPlaylist), COM_METHOD(IWMPPlayer4, newPlaylist),
                 COM_METHOD(IWMPPlayer4, get_playerApplication));
PLAYER_INTERFACE(IWMPRemoteMediaServices, u"{CBB92747-741F-44FE-AB5B-F1A48F3B2A59}",
                 COM_METHOD(IWMPRemoteMediaServices, GetServiceType),
                 COM_METHOD(IWMPRemoteMediaServices, GetApplicationName),
                 COM_METHOD(IWMPRemoteMediaServices, GetScriptableObject),
                 COM_METHOD(IWMPRemoteMediaServices, GetCustomUIMode));

#undef PLAYER_INTERFACE

template <>
struct platform::InterfaceDeclaration<_WMPOCXEvents> {
  static constexpr IID iid = GuidLiteral(u"{6BF52A51-394A-11D3-B153-00C04F79FAA6}");
  static constexpr std::string_view name = "_WMPOCXEvents";
};
