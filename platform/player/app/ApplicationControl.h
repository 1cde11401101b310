#pragma once

// The application's own objects that other processes reach through its class object: the control
// that the control tool uses, and the class object itself, which hands out the player or that
// control. Their methods run on the user-interface thread, the engine's; a call from another
// thread answers RPC_E_WRONG_THREAD.

#include <memory>

#include "platform/com/ClassFactory.h"
#include "platform/player/Engine.h"
#include "platform/player/PlayerApplicationControl.h"

namespace platform::player {

class CApplicationControl final : public ComObject<IPlayerApplicationControl> {
 public:
  explicit CApplicationControl(std::shared_ptr<Engine> engine);
  HRESULT SetDocked(VARIANT_BOOL docked) override;
  HRESULT AddTrack(SAFEARRAY* attributes) override;
  HRESULT RemoveTrack(BSTR name) override;
  HRESULT AddPlaylist(BSTR name, BSTR playlistType, SAFEARRAY* tracks) override;
  HRESULT RemovePlaylist(BSTR name) override;
  HRESULT InsertEntry(BSTR playlist, std::int32_t index, BSTR track) override;
  HRESULT RemoveEntry(BSTR playlist, std::int32_t index) override;
  HRESULT Transport(std::int32_t command) override;

 private:
  // The engine when called on its thread, else null.
  Engine* Here() const;

  const std::shared_ptr<Engine> m_engine;
};

// CreateInstance answers IPlayerApplicationControl with the control and anything else with the
// player: the same objects to every caller.
class CPlayerClassObject final : public ComObject<IClassFactory> {
 public:
  CPlayerClassObject(ComPtr<IWMPPlayer4> player, ComPtr<IPlayerApplicationControl> control);
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;

 private:
  const ComPtr<IWMPPlayer4> m_player;
  const ComPtr<IPlayerApplicationControl> m_control;
};

}  // namespace platform::player
