#pragma once

// How the player application serves its player to the controls of its session.
//
// The application registers a class object of CLSID_PlayerApplication in its own session
// (CoRegisterClassObject, multiple use); its CreateInstance hands out the application's one
// player (IWMPPlayer4), the same object to every caller. The class is registered with a
// "LocalServer32" command that names the application, so an activation in a session where the
// application is not running starts it there. A player control whose site asks for the remote
// mode activates this class in its own session and uses the player it gets as its own.

#include <filesystem>
#include <string_view>

#include "platform/com/Guid.h"

inline constexpr CLSID CLSID_PlayerApplication =
    platform::GuidLiteral(u"{3F6C2B1E-8A4D-4C7B-9E52-0D7A1B6C4E93}");

namespace platform::player {

// The application's program file name; the layer presents it as "wmplayer.exe".
inline constexpr std::string_view kPlayerApplicationProgram = "wmplayer";

// Registers the class with a "LocalServer32" command that runs `program`, the application's
// file; false when the registry cannot be written. Any thread.
bool RegisterPlayerApplication(const std::filesystem::path& program);

}  // namespace platform::player
