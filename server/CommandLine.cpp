#include "server/CommandLine.h"

#include "common/CommandLineWords.h"

CServerCommandLine ParseServerCommandLine(std::span<const std::string_view> p_Arguments) {
  CServerCommandLine l_CommandLine;
  for (const std::string_view l_Argument : p_Arguments) {
    const bool l_bUnregister = IsCommandLineWord(l_Argument, "UnregServer");
    if (l_bUnregister || IsCommandLineWord(l_Argument, "RegServer")) {
      // The first registration word decides.
      if (l_CommandLine.registration == ServerRegistration::None) {
        l_CommandLine.registration =
            l_bUnregister ? ServerRegistration::Unregister : ServerRegistration::Register;
      }
    } else if (IsCommandLineWord(l_Argument, "Tray")) {
      l_CommandLine.tray = true;
    } else if (IsCommandLineWord(l_Argument, "Stop")) {
      l_CommandLine.stop = true;
    }
  }
  return l_CommandLine;
}
