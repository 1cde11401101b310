// churn: the whole system of run-system under faults, churn and load, for a bounded time.
//
//   churn [--seed N] [--minutes N] [--short] [--second]
//
// Makes a fresh platform root and starts the system in it as run-system does, plugs the virtual
// remote in and drives it with random buttons while it logs a second session on and off, unplugs
// and plugs the remote while pages are drawn, kills the player application and the server, and
// restarts the service, in an order that the seed fixes. The long run (the default) does 200
// logon/logoff cycles and 100 unplug/replug cycles within its minutes; --short does a few of
// each for CI. Prints the faults injected by kind, the buttons pressed, the pages checked and
// lost, and the leaks found; exits 1 on any loss or leak, 2 on a bad command line.

#include <pwd.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <charconv>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/Apartment.h"
#include "platform/kernel/Posix.h"
#include "tools/churn/ChurnRun.h"
#include "tools/run-system/BuiltPrograms.h"
#include "tools/run-system/ProgramScope.h"

namespace {

struct Options {
  std::uint32_t m_nSeed = 20261211;
  std::optional<int> m_nMinutes;
  bool m_bShort = false;
  bool m_bSecond = false;
};

std::optional<std::uint32_t> Number(std::string_view p_Text) {
  std::uint32_t l_nValue = 0;
  const auto [l_pEnd, l_Error] =
      std::from_chars(p_Text.data(), p_Text.data() + p_Text.size(), l_nValue);
  if (l_Error != std::errc() || l_pEnd != p_Text.data() + p_Text.size()) {
    return std::nullopt;
  }
  return l_nValue;
}

std::optional<Options> Parse(int p_nArguments, char** p_pArguments) {
  Options l_Options;
  for (int l_nAt = 1; l_nAt < p_nArguments; ++l_nAt) {
    const std::string_view l_Word = p_pArguments[l_nAt];
    const bool l_bValue = l_nAt + 1 < p_nArguments;
    std::optional<std::uint32_t> l_nValue;
    if (l_Word == "--short") {
      l_Options.m_bShort = true;
    } else if (l_Word == "--second") {
      l_Options.m_bSecond = true;
    } else if (l_Word == "--seed" && l_bValue && (l_nValue = Number(p_pArguments[++l_nAt]))) {
      l_Options.m_nSeed = *l_nValue;
    } else if (l_Word == "--minutes" && l_bValue && (l_nValue = Number(p_pArguments[++l_nAt])) &&
               *l_nValue > 0) {
      l_Options.m_nMinutes = static_cast<int>(*l_nValue);
    } else {
      std::cerr << "usage: churn [--seed N] [--minutes N] [--short] [--second]\n";
      return std::nullopt;
    }
  }
  return l_Options;
}

std::string LoginName() {
  const passwd* l_pEntry = getpwuid(getuid());
  return l_pEntry != nullptr ? l_pEntry->pw_name : "user";
}

}  // namespace

int main(int p_nArguments, char** p_pArguments) {
  const std::optional<Options> l_Options = Parse(p_nArguments, p_pArguments);
  if (!l_Options) {
    return 2;
  }
  ChurnPlan l_Plan = l_Options->m_bShort ? ShortPlan(l_Options->m_nSeed)
                                         : LongPlan(l_Options->m_nSeed, std::chrono::minutes(30));
  if (l_Options->m_nMinutes) {
    l_Plan.m_Limit = std::chrono::minutes(*l_Options->m_nMinutes);
  }
  // Each line as it comes, for a run that a time-out ends.
  std::cout << std::unitbuf;
  std::cout << "churn: seed " << l_Plan.m_nSeed << ", at most " << l_Plan.m_Limit.count()
            << " minutes, " << (l_Options->m_bSecond ? "second" : "first") << " build\n"
            << std::flush;
  const platform::detail::UniqueFd l_Stop = StopSignals();
  const SystemPrograms l_Programs = BuiltPrograms(l_Options->m_bSecond, LoginName());
  SystemRun l_System(l_Programs);
  int l_nCode = 1;
  if (l_System.Start(std::cout)) {
    const ApartmentScope l_Apartment;
    RemoteLink l_Remote;
    if (!l_Remote.Plug()) {
      std::cout << "churn: the virtual remote cannot be plugged in\n";
    } else {
      ChurnRun l_Churn(l_System, l_Remote, l_Plan, l_Programs.m_PlayerApplication, std::cout,
                       l_Stop.Get());
      if (!l_Churn.Prepare()) {
        std::cout << "churn: the system does not answer before any fault\n";
      } else {
        const ChurnFigures l_Figures = l_Churn.Run();
        PrintFigures(l_Figures, std::cout);
        l_nCode = l_Figures.Sound() ? 0 : 1;
      }
    }
  }
  std::cout << "churn: stopping the system\n" << std::flush;
  l_System.Stop();
  std::cout << (l_nCode == 0 ? "churn: nothing lost, nothing leaked\n" : "churn: FAILED\n");
  return l_nCode;
}
