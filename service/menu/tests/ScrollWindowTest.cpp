#include "service/menu/ScrollWindow.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct MoveCase {
  int page;
  std::int32_t last;
  ScrollMove move;
  std::uint32_t top;
  std::uint32_t current;
  std::uint32_t expectedTop;
  std::uint32_t expectedCurrent;
  std::int32_t result;
};

const char* NameOf(ScrollMove move) {
  switch (move) {
    case ScrollMove::Up:
      return "Up";
    case ScrollMove::Down:
      return "Down";
    case ScrollMove::PageUp:
      return "PageUp";
    case ScrollMove::PageDown:
      return "PageDown";
    case ScrollMove::PagesUp:
      return "PagesUp";
    case ScrollMove::PagesDown:
      return "PagesDown";
  }
  return "?";
}

using enum ScrollMove;

// page, last, move, T, K -> T, K, result
const MoveCase kMoves[] = {
    // Three entries, one page.
    {6, 2, Down, 0, 2, 0, 0, kMoveCursor},
    {6, 2, Up, 0, 0, 0, 2, kMoveCursor},
    {6, 2, PagesUp, 0, 0, 0, 0, kMoveNothing},
    {6, 2, PageUp, 0, 0, 0, 2, kMoveCursor},
    {6, 2, PagesDown, 0, 2, 0, 2, kMoveNothing},
    {6, 2, PageDown, 0, 2, 0, 0, kMoveCursor},
    {6, 2, PageDown, 0, 0, 0, 2, kMoveCursor},
    {6, 2, PageUp, 0, 2, 0, 0, kMoveCursor},
    {6, 0, Down, 0, 0, 0, 0, kMoveCursor},
    {6, 0, Up, 0, 0, 0, 0, kMoveCursor},
    // Twenty entries.
    {6, 19, Up, 0, 0, 14, 19, kMoveScrollOrWrap},
    {6, 19, Down, 14, 19, 0, 0, kMoveScrollOrWrap},
    {6, 19, Down, 0, 5, 1, 6, kMoveWindow},
    {6, 19, Down, 0, 3, 0, 4, kMoveCursor},
    {6, 19, Up, 6, 6, 5, 5, kMoveScrollOrWrap},
    {6, 19, Up, 6, 8, 6, 7, kMoveCursor},
    {6, 19, PageDown, 0, 5, 6, 11, kMoveWindow},
    {6, 19, PageDown, 12, 17, 14, 19, kMoveWindow},
    {6, 19, PageDown, 0, 2, 0, 5, kMoveCursor},
    {6, 19, PageDown, 14, 19, 0, 0, kMoveWindow},
    {6, 19, PageUp, 0, 0, 14, 19, kMoveWindow},
    {6, 19, PageUp, 8, 8, 2, 2, kMoveWindow},
    {6, 19, PageUp, 4, 4, 0, 0, kMoveWindow},
    {6, 19, PageUp, 8, 10, 8, 8, kMoveCursor},
    {6, 19, PagesUp, 0, 0, 14, 19, kMoveWindow},
    {6, 19, PagesUp, 8, 10, 8, 8, kMoveCursor},
    {6, 19, PagesUp, 8, 8, 2, 2, kMoveWindow},
    {6, 19, PagesDown, 0, 1, 0, 5, kMoveCursor},
    {6, 19, PagesDown, 0, 5, 6, 11, kMoveWindow},
    {6, 19, PagesDown, 12, 17, 14, 19, kMoveWindow},
    {6, 19, PagesDown, 14, 19, 0, 0, kMoveWindow},
    // A thousand entries move by a fiftieth of the last index.
    {6, 999, PagesDown, 0, 5, 19, 24, kMoveWindow},
    {6, 999, PagesDown, 980, 985, 994, 999, kMoveWindow},
    {6, 999, PagesUp, 10, 10, 0, 0, kMoveWindow},
    {6, 999, PagesUp, 40, 40, 21, 21, kMoveWindow},
    {6, 300, PagesDown, 0, 5, 6, 11, kMoveWindow},
    {6, 299, PagesDown, 0, 5, 6, 11, kMoveWindow},
    {6, 999, PageDown, 0, 5, 6, 11, kMoveWindow},
    // Five lines a page.
    {5, 19, Up, 0, 0, 15, 19, kMoveScrollOrWrap},
    {5, 19, Down, 0, 4, 1, 5, kMoveWindow},
    {5, 19, Down, 0, 5, 1, 6, kMoveWindow},
    {5, 19, PageDown, 0, 4, 5, 9, kMoveWindow},
    {5, 19, PageDown, 0, 1, 0, 4, kMoveCursor},
    {5, 19, PageUp, 5, 5, 0, 0, kMoveWindow},
    {5, 4, Up, 0, 0, 0, 4, kMoveCursor},
    {5, 5, Up, 0, 0, 1, 5, kMoveScrollOrWrap},
    {5, 4, PagesDown, 0, 4, 0, 4, kMoveNothing},
    {5, 999, PagesDown, 0, 4, 19, 23, kMoveWindow},
};

TEST(ScrollMoves, EveryRuleOfTheTable) {
  for (const MoveCase& c : kMoves) {
    ScrollWindow window{c.top, c.current, c.last};
    const std::int32_t result = ApplyScrollMove(window, c.move, c.page);
    EXPECT_EQ(result, c.result) << NameOf(c.move) << " P=" << c.page << " L=" << c.last
                                << " T=" << c.top << " K=" << c.current;
    EXPECT_EQ(window.m_nTopLine, c.expectedTop)
        << NameOf(c.move) << " L=" << c.last << " K=" << c.current;
    EXPECT_EQ(window.m_nCurrentLine, c.expectedCurrent)
        << NameOf(c.move) << " L=" << c.last << " K=" << c.current;
  }
}

TEST(ScrollMoves, EmptyListNeverMoves) {
  for (const ScrollMove move : {Up, Down, PageUp, PageDown, PagesUp, PagesDown}) {
    ScrollWindow window{0, 0, -1};
    EXPECT_EQ(ApplyScrollMove(window, move, 6), kMoveNothing) << NameOf(move);
    EXPECT_EQ(window.m_nTopLine, 0u);
    EXPECT_EQ(window.m_nCurrentLine, 0u);
  }
}

TEST(ScrollMoves, RandomSequencesKeepTheWindowInvariant) {
  std::mt19937 random(20261210);
  for (const int page : {5, 6}) {
    for (std::int32_t count = 1; count <= 1000; ++count) {
      ScrollWindow window{0, 0, count - 1};
      for (int step = 0; step < 60; ++step) {
        const auto move = static_cast<ScrollMove>(random() % 6);
        const auto before = window;
        const std::int32_t result = ApplyScrollMove(window, move, page);
        const auto top = static_cast<std::int64_t>(window.m_nTopLine);
        const auto current = static_cast<std::int64_t>(window.m_nCurrentLine);
        ASSERT_TRUE(top <= current && current <= window.m_nLastIndex && current - top < page)
            << NameOf(move) << " count=" << count << " from T=" << before.m_nTopLine
            << " K=" << before.m_nCurrentLine;
        ASSERT_EQ(result == kMoveCursor,
                  window.m_nTopLine == before.m_nTopLine && result != kMoveNothing)
            << NameOf(move) << " count=" << count;
      }
    }
  }
}

}  // namespace
