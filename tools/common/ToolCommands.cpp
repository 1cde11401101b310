#include "tools/common/ToolCommands.h"

#include <charconv>
#include <iostream>

std::pair<std::string_view, std::string_view> SplitCommand(std::string_view p_Line) {
  const std::size_t l_nSpace = p_Line.find(' ');
  if (l_nSpace == std::string_view::npos) {
    return {p_Line, {}};
  }
  return {p_Line.substr(0, l_nSpace), p_Line.substr(l_nSpace + 1)};
}

std::optional<int> ParseCount(std::string_view p_Text) {
  int l_nValue = 0;
  const auto [l_pEnd, l_Error] =
      std::from_chars(p_Text.data(), p_Text.data() + p_Text.size(), l_nValue);
  if (p_Text.empty() || l_Error != std::errc() || l_pEnd != p_Text.data() + p_Text.size() ||
      l_nValue < 0) {
    return std::nullopt;
  }
  return l_nValue;
}

std::optional<int> ParseMilliseconds(std::string_view p_Text, int p_nDefault) {
  return p_Text.empty() ? std::optional<int>(p_nDefault) : ParseCount(p_Text);
}

int RunToolCommands(int p_nArguments, char** p_pArguments, std::istream& p_Input,
                    const ToolCommand& p_Command) {
  bool l_bQuit = false;
  if (p_nArguments > 1) {
    for (int l_nIndex = 1; l_nIndex < p_nArguments && !l_bQuit; ++l_nIndex) {
      std::cout << p_Command(p_pArguments[l_nIndex], l_bQuit) << std::endl;
    }
    return 0;
  }
  std::string l_Line;
  while (!l_bQuit && std::getline(p_Input, l_Line)) {
    if (!l_Line.empty()) {
      std::cout << p_Command(l_Line, l_bQuit) << std::endl;
    }
  }
  return 0;
}
