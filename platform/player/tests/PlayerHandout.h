#pragma once

// A class object that hands out one player, the same to every caller: how the stand-in
// application serves its player, and how the control helper hands its control's player to
// another process. Any thread; the player's own rules apply to its calls.

#include "platform/com/ClassFactory.h"
#include "platform/com/Object.h"
#include "platform/player/PlayerInterfaces.h"

namespace player_test {

class CPlayerHandout final : public platform::ComObject<IClassFactory> {
 public:
  explicit CPlayerHandout(platform::ComPtr<IWMPPlayer4> player) : m_player(std::move(player)) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return m_player->QueryInterface(iid, object);
  }

 private:
  platform::ComPtr<IWMPPlayer4> m_player;
};

}  // namespace player_test
