#include "service/host/TamsvardCommandLine.h"

#include <algorithm>

#include "common/CommandLineWords.h"

TamsvardRegistration ParseTamsvardCommandLine(std::span<const std::string_view> p_Arguments) {
  for (const std::string_view l_Argument : p_Arguments) {
    if (IsCommandLineWord(l_Argument, "UnregServer")) return TamsvardRegistration::Unregister;
    if (IsCommandLineWord(l_Argument, "RegServer")) return TamsvardRegistration::Register;
  }
  const bool l_bService = std::ranges::any_of(p_Arguments, [](std::string_view p_Argument) {
    return IsCommandLineWord(p_Argument, "Service");
  });
  return l_bService ? TamsvardRegistration::Service : TamsvardRegistration::None;
}
