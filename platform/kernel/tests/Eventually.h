#pragma once

// Checks of the tests that drive whole programs: waiting for a condition with a generous bound,
// and reading the control tool's listings. The test's thread.

#include <chrono>
#include <functional>
#include <string>

namespace platform::testing {

// Real time: the machine is loaded, and the programs keep real time.
inline constexpr std::chrono::seconds kProgramPatience{90};

// Asks until the answer holds; false when it never does within the real time given.
bool Eventually(const std::function<bool()>& check,
                std::chrono::steady_clock::duration limit = kProgramPatience);

// The first word of the first line that holds `text` (the handle of a control tool's listing
// line); empty when none does.
std::string HandleOfLineWith(const std::string& listing, const std::string& text);

}  // namespace platform::testing
