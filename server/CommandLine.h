#pragma once

// The server's command line: words after '-' or '/', matched as whole words in any case.

#include <span>
#include <string_view>

enum class ServerRegistration { None, Register, Unregister };

struct CServerCommandLine {
  ServerRegistration registration = ServerRegistration::None;
  bool tray = false;
  bool stop = false;

  // Whether the server runs after the words have been acted on.
  bool Runs() const noexcept { return registration == ServerRegistration::None && !stop; }
};

// The arguments after the program's name. Any other word (such as the embedding switch that
// activation passes) is ignored.
CServerCommandLine ParseServerCommandLine(std::span<const std::string_view> p_Arguments);
