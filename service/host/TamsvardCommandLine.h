#pragma once

// The service program's registration words: "UnregServer" and "RegServer" first (the first word
// that is either decides), "Service" only when neither is there.

#include <span>
#include <string_view>

enum class TamsvardRegistration { None, Register, Unregister, Service };

// The arguments after the program's name; other words are passed over.
TamsvardRegistration ParseTamsvardCommandLine(std::span<const std::string_view> p_Arguments);
