#pragma once

// The line under the display that tells what the player application of a session is doing: its
// play state, the media it has and the position in it. It only looks at an application that the
// system has started; it never starts one.

#include <cstdint>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/kernel/ProcessIdentity.h"
#include "platform/player/PlayerInterfaces.h"

// One thread, whose apartment is initialised, uses it.
class PlayerLine {
 public:
  // The line for the application of `p_nSession`, e.g.
  //   player: playing "Salt on the Rail" (Mara Venn) 0:42 of 3:35
  //   player: not running
  std::string Read(std::uint32_t p_nSession);

 private:
  // Holds the application's player while that process runs.
  bool Attach(std::uint32_t p_nSession);

  platform::detail::ProcessIdentity m_Application;
  platform::ComPtr<IWMPPlayer4> m_spPlayer;
};
