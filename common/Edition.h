#pragma once

// Which of the system's two builds this code is compiled into. The second build's differences are
// chosen with it at compile time, beside the code they change.

enum class Edition { First, Second };

#if defined(SECOND_BUILD)
inline constexpr Edition kEdition = Edition::Second;
#else
inline constexpr Edition kEdition = Edition::First;
#endif
