#pragma once

// What the control tool does to the player application as a person at its screen would: docks
// and undocks it, changes its library and drives playback. The application's class object hands
// it out (CreateInstance with this interface); its calls run on the application's
// user-interface thread, and each change fires the player's events as the engine does.

#include <cstdint>

#include "platform/com/CallInterface.h"
#include "platform/com/Interface.h"
#include "platform/com/SafeArray.h"
#include "platform/player/PlayerInterfaces.h"

// The transport commands of IPlayerApplicationControl::Transport.
enum PlayerTransport : std::int32_t {
  kTransportPlay = 1,
  kTransportPause = 2,
  kTransportStop = 3,
  kTransportNext = 4,
  kTransportPrevious = 5,
};

// Tracks and playlists are named by their "Name"; where several bear one name, the first in
// library order is meant. A name or index that matches nothing answers E_INVALIDARG.
struct IPlayerApplicationControl : IUnknown {
  virtual HRESULT SetDocked(VARIANT_BOOL docked) = 0;
  // `attributes`: attribute names and values in turn.
  virtual HRESULT AddTrack(SAFEARRAY* attributes) = 0;
  virtual HRESULT RemoveTrack(BSTR name) = 0;
  // `playlistType` "Auto" puts it among the automatic playlists; `tracks` are track names.
  virtual HRESULT AddPlaylist(BSTR name, BSTR playlistType, SAFEARRAY* tracks) = 0;
  virtual HRESULT RemovePlaylist(BSTR name) = 0;
  virtual HRESULT InsertEntry(BSTR playlist, std::int32_t index, BSTR track) = 0;
  virtual HRESULT RemoveEntry(BSTR playlist, std::int32_t index) = 0;
  virtual HRESULT Transport(std::int32_t command) = 0;
};

template <>
struct platform::InterfaceDeclaration<IPlayerApplicationControl> {
  static constexpr IID iid = GuidLiteral(u"{B4E1D7A2-5C3F-4A86-9D20-71C8E6F3A54B}");
  static constexpr std::string_view name = "IPlayerApplicationControl";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IPlayerApplicationControl, SetDocked),
                             COM_METHOD(IPlayerApplicationControl, AddTrack),
                             COM_METHOD(IPlayerApplicationControl, RemoveTrack),
                             COM_METHOD(IPlayerApplicationControl, AddPlaylist),
                             COM_METHOD(IPlayerApplicationControl, RemovePlaylist),
                             COM_METHOD(IPlayerApplicationControl, InsertEntry),
                             COM_METHOD(IPlayerApplicationControl, RemoveEntry),
                             COM_METHOD(IPlayerApplicationControl, Transport)>;
};

namespace platform::player {

class CPlayerApplicationControlProxy final : public Proxy<IPlayerApplicationControl> {
 public:
  using Proxy::Proxy;
  HRESULT SetDocked(VARIANT_BOOL docked) override {
    return Forward<&IPlayerApplicationControl::SetDocked>(docked);
  }
  HRESULT AddTrack(SAFEARRAY* attributes) override {
    return Forward<&IPlayerApplicationControl::AddTrack>(attributes);
  }
  HRESULT RemoveTrack(BSTR name) override {
    return Forward<&IPlayerApplicationControl::RemoveTrack>(name);
  }
  HRESULT AddPlaylist(BSTR name, BSTR playlistType, SAFEARRAY* tracks) override {
    return Forward<&IPlayerApplicationControl::AddPlaylist>(name, playlistType, tracks);
  }
  HRESULT RemovePlaylist(BSTR name) override {
    return Forward<&IPlayerApplicationControl::RemovePlaylist>(name);
  }
  HRESULT InsertEntry(BSTR playlist, std::int32_t index, BSTR track) override {
    return Forward<&IPlayerApplicationControl::InsertEntry>(playlist, index, track);
  }
  HRESULT RemoveEntry(BSTR playlist, std::int32_t index) override {
    return Forward<&IPlayerApplicationControl::RemoveEntry>(playlist, index);
  }
  HRESULT Transport(std::int32_t command) override {
    return Forward<&IPlayerApplicationControl::Transport>(command);
  }
};

inline const bool kPlayerApplicationControlRegistered =
    RegisterCallInterface<IPlayerApplicationControl, CPlayerApplicationControlProxy>();

}  // namespace platform::player
