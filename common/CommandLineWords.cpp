#include "common/CommandLineWords.h"

#include <algorithm>
#include <cctype>

bool IsCommandLineWord(std::string_view p_Argument, std::string_view p_Word) {
  if (p_Argument.empty() || (p_Argument.front() != '-' && p_Argument.front() != '/')) {
    return false;
  }
  return std::ranges::equal(p_Argument.substr(1), p_Word, [](char p_Left, char p_Right) {
    return std::tolower(static_cast<unsigned char>(p_Left)) ==
           std::tolower(static_cast<unsigned char>(p_Right));
  });
}
