#pragma once

// The programs' command-line words: a word follows a '-' or a '/' and is compared as a whole word
// without regard to letter case.

#include <string_view>

// Whether `p_Argument` is `p_Word` after a '-' or a '/', in any letter case.
bool IsCommandLineWord(std::string_view p_Argument, std::string_view p_Word);
