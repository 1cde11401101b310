// run-system: the whole system on this machine, driven from the terminal through a virtual
// remote.
//
//   run-system [--second] [--user NAME] [--script FILE] [COMMAND]...
//
// Makes a fresh platform root, starts its session manager and service manager, registers the
// programs, logs the user on at the console, installs and starts the service, plugs the virtual
// remote in and shows its display. With --script FILE, or commands as arguments, it runs those
// (Console.h) without a terminal and prints the display after each. --second runs the second
// build's programs. On leaving, or on Ctrl-C, it stops everything it started.

#include <pwd.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/Apartment.h"
#include "platform/kernel/Posix.h"
#include "tools/run-system/BuiltPrograms.h"
#include "tools/run-system/ProgramScope.h"
#include "tools/run-system/Console.h"
#include "tools/run-system/SystemRun.h"

namespace {

struct Options {
  bool m_bSecond = false;
  std::string m_User;
  std::vector<std::string> m_Commands;
  bool m_bScripted = false;
};

std::string LoginName() {
  const passwd* l_pEntry = getpwuid(getuid());
  return l_pEntry != nullptr ? l_pEntry->pw_name : "user";
}

std::optional<Options> Parse(int p_nArguments, char** p_pArguments) {
  Options l_Options;
  l_Options.m_User = LoginName();
  for (int l_nAt = 1; l_nAt < p_nArguments; ++l_nAt) {
    const std::string l_Word = p_pArguments[l_nAt];
    if (l_Word == "--second") {
      l_Options.m_bSecond = true;
    } else if (l_Word == "--user" && l_nAt + 1 < p_nArguments) {
      l_Options.m_User = p_pArguments[++l_nAt];
    } else if (l_Word == "--script" && l_nAt + 1 < p_nArguments) {
      std::ifstream l_File(p_pArguments[++l_nAt]);
      if (!l_File) {
        std::cerr << "run-system: cannot read " << p_pArguments[l_nAt] << "\n";
        return std::nullopt;
      }
      for (std::string l_Line; std::getline(l_File, l_Line);) {
        l_Options.m_Commands.push_back(l_Line);
      }
      l_Options.m_bScripted = true;
    } else if (l_Word.starts_with("--")) {
      std::cerr << "usage: run-system [--second] [--user NAME] [--script FILE] [COMMAND]...\n";
      return std::nullopt;
    } else {
      l_Options.m_Commands.push_back(l_Word);
      l_Options.m_bScripted = true;
    }
  }
  return l_Options;
}

// The script or the terminal view, with the remote plugged in; the exit code.
int Drive(RemoteLink& p_Remote, const SystemRun& p_System, const Options& p_Options, int p_nStop) {
  Console l_Console(p_Remote, p_System.Session(), p_System.Root(), p_nStop);
  if (p_Options.m_bScripted) {
    return l_Console.RunScript(p_Options.m_Commands, std::cout) ? 0 : 1;
  }
  if (!isatty(STDIN_FILENO)) {
    std::cerr << "run-system: standard input is no terminal; give a script (--script FILE)\n";
    return 2;
  }
  l_Console.RunTerminal();
  return 0;
}

}  // namespace

int main(int p_nArguments, char** p_pArguments) {
  const std::optional<Options> l_Options = Parse(p_nArguments, p_pArguments);
  if (!l_Options) {
    return 2;
  }
  const platform::detail::UniqueFd l_Stop = StopSignals();
  SystemRun l_System(BuiltPrograms(l_Options->m_bSecond, l_Options->m_User));
  int l_nCode = 1;
  if (l_System.Start(std::cerr)) {
    const ApartmentScope l_Apartment;
    RemoteLink l_Remote;
    if (!l_Remote.Plug()) {
      std::cerr << "run-system: the virtual remote cannot be plugged in\n";
    } else {
      l_nCode = Drive(l_Remote, l_System, *l_Options, l_Stop.Get());
    }
  }
  std::cerr << "stopping\n";
  l_System.Stop();
  std::cerr << "stopped\n";
  return l_nCode;
}
