#pragma once

// What the test peers share: commands of one line, each answered with one line, given as the
// program's arguments or read from a stream.

#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The command's first word and the rest after one space.
std::pair<std::string_view, std::string_view> SplitCommand(std::string_view p_Line);
// A whole decimal number from 0 on; nothing for anything else.
std::optional<int> ParseCount(std::string_view p_Text);
// A time in milliseconds, or `p_nDefault` for an empty text.
std::optional<int> ParseMilliseconds(std::string_view p_Text, int p_nDefault);

// Answers one command; sets the flag to end after it.
using ToolCommand = std::function<std::string(std::string_view p_Line, bool& p_bQuit)>;

// Runs each argument after the program's name as one command, or, with none, the lines of
// `p_Input`, writing each answer on a line of standard output until a command ends the run.
int RunToolCommands(int p_nArguments, char** p_pArguments, std::istream& p_Input,
                    const ToolCommand& p_Command);
