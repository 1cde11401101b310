#pragma once

// A list node's scroll window over its entries and the six cursor moves that every list shares.

#include <cstdint>

// Result codes of a move.
inline constexpr std::int32_t kMoveNothing = 0;
// The window moved: a page, or Down scrolled by one line.
inline constexpr std::int32_t kMoveWindow = 2;
// Only the cursor moved.
inline constexpr std::int32_t kMoveCursor = 4;
// The window moved by Up's one-line scroll, or the cursor wrapped round a list longer than a page.
inline constexpr std::int32_t kMoveScrollOrWrap = 16;

// The lists of 300 entries and more move by a fiftieth of their last index per fast move.
inline constexpr std::int64_t kFastMoveThreshold = 300;
inline constexpr std::int64_t kFastMoveDivisor = 50;

// Invariant of the moves on a non-empty list: top <= current <= last and
// current - top < lines per page. An empty list has last index -1; every move leaves it at 0, 0.
struct ScrollWindow {
  std::uint32_t m_nTopLine = 0;
  std::uint32_t m_nCurrentLine = 0;
  std::int32_t m_nLastIndex = 0;
};

enum class ScrollMove { Up, Down, PageUp, PageDown, PagesUp, PagesDown };

// Applies one move with `p_nLinesPerPage` lines on a page and returns its result code.
std::int32_t ApplyScrollMove(ScrollWindow& p_Window, ScrollMove p_Move, int p_nLinesPerPage);
