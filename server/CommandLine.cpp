#include "server/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameWord(std::string_view p_Word, std::string_view p_Expected) {
  return std::ranges::equal(p_Word, p_Expected, [](char p_Left, char p_Right) {
    return std::tolower(static_cast<unsigned char>(p_Left)) ==
           std::tolower(static_cast<unsigned char>(p_Right));
  });
}

}  // namespace

CServerCommandLine ParseServerCommandLine(std::span<const std::string_view> p_Arguments) {
  CServerCommandLine l_CommandLine;
  for (const std::string_view l_Argument : p_Arguments) {
    if (l_Argument.empty() || (l_Argument.front() != '-' && l_Argument.front() != '/')) continue;
    const std::string_view l_Word = l_Argument.substr(1);
    if (SameWord(l_Word, "UnregServer") || SameWord(l_Word, "RegServer")) {
      // The first registration word decides.
      if (l_CommandLine.registration == ServerRegistration::None) {
        l_CommandLine.registration = SameWord(l_Word, "RegServer") ? ServerRegistration::Register
                                                                   : ServerRegistration::Unregister;
      }
    } else if (SameWord(l_Word, "Tray")) {
      l_CommandLine.tray = true;
    } else if (SameWord(l_Word, "Stop")) {
      l_CommandLine.stop = true;
    }
  }
  return l_CommandLine;
}
