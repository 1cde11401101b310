#pragma once

// The stand-in player application of the control's tests: it serves an engine's player as the
// class object of CLSID_PlayerApplication in its session, and ends on WM_CLOSE to its window.
inline constexpr char16_t kStandInWindowClass[] = u"PlayerApplicationStandIn";
