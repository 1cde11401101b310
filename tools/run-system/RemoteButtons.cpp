#include "tools/run-system/RemoteButtons.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array kButtons = {
    RemoteButton{"up", "Up", 2},
    RemoteButton{"down", "Down", 3},
    RemoteButton{"left", "Left", 5},
    RemoteButton{"right", "Right", 9},
    RemoteButton{"ok", "Enter", 4},
    RemoteButton{"play", "p", 8},
    RemoteButton{"pause", "Space", 7},
    RemoteButton{"stop", "s", 6},
    RemoteButton{"prev", ",", 11},
    RemoteButton{"next", ".", 12},
    RemoteButton{"rewind", "[", 13},
    RemoteButton{"forward", "]", 14},
    RemoteButton{"pageup", "PgUp", 18},
    RemoteButton{"pagedown", "PgDn", 17},
    RemoteButton{"pagesup", "<", 22},
    RemoteButton{"pagesdown", ">", 23},
    RemoteButton{"home", "Home", 19},
    RemoteButton{"back", "Backspace", 10},
    RemoteButton{"nowplaying", "n", 20},
    RemoteButton{"power", "o", 21},
    RemoteButton{"sleep", "z", 15},
    RemoteButton{"reset", "r", 1},
    RemoteButton{"init", "i", 24},
};

}  // namespace

std::span<const RemoteButton> RemoteButtons() { return kButtons; }

std::optional<RemoteButton> ButtonNamed(std::string_view p_Word) {
  const auto l_Found = std::find_if(kButtons.begin(), kButtons.end(),
                                    [p_Word](const RemoteButton& p_Button) {
                                      return p_Button.m_Word == p_Word;
                                    });
  return l_Found != kButtons.end() ? std::optional(*l_Found) : std::nullopt;
}
