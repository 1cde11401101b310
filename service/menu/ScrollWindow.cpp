#include "service/menu/ScrollWindow.h"

#include <algorithm>

namespace {

// The moves in signed arithmetic: the current line is unsigned, the last index signed.
struct Window {
  std::int64_t top;
  std::int64_t current;
  std::int64_t last;
  std::int64_t page;
};

std::int32_t Up(Window& w) {
  if (w.current > 0) {
    --w.current;
    if (w.current < w.top) {
      --w.top;
      return kMoveScrollOrWrap;
    }
    return kMoveCursor;
  }
  w.current = w.last;
  if (w.last >= w.page) {
    w.top = w.last - w.page + 1;
    return kMoveScrollOrWrap;
  }
  w.top = 0;
  return kMoveCursor;
}

std::int32_t Down(Window& w) {
  if (w.current >= w.last) {
    w.top = 0;
    w.current = 0;
    return w.last < w.page ? kMoveCursor : kMoveScrollOrWrap;
  }
  ++w.current;
  if (w.current > w.top + w.page - 1) {
    ++w.top;
    return kMoveWindow;
  }
  return kMoveCursor;
}

void ToEnd(Window& w) {
  w.top = w.last - w.page + 1;
  w.current = w.last;
}

void PageBack(Window& w) {
  if (w.top <= w.page - 1) {
    w.top = 0;
  } else {
    w.top -= w.page;
  }
  w.current = w.top;
}

std::int32_t CursorToBottomRow(Window& w) {
  w.current = std::min(w.top + w.page - 1, w.last);
  return kMoveCursor;
}

std::int32_t PageUp(Window& w) {
  if (w.current == 0) {
    if (w.last <= w.page - 1) {
      w.current = w.last;
      return kMoveCursor;
    }
    ToEnd(w);
    return kMoveWindow;
  }
  if (w.current == w.top) {
    PageBack(w);
    return kMoveWindow;
  }
  w.current = w.top;
  return kMoveCursor;
}

std::int32_t PageDown(Window& w) {
  if (w.current >= w.last) {
    w.top = 0;
    w.current = 0;
    return w.last <= w.page - 1 ? kMoveCursor : kMoveWindow;
  }
  if (w.current == w.top + w.page - 1) {
    if (w.last - w.current >= w.page) {
      w.top += w.page;
      w.current += w.page;
    } else {
      ToEnd(w);
    }
    return kMoveWindow;
  }
  return CursorToBottomRow(w);
}

std::int32_t PagesUp(Window& w) {
  if (w.current == 0) {
    if (w.last <= w.page - 1) {
      return kMoveNothing;
    }
    ToEnd(w);
    return kMoveWindow;
  }
  if (w.current != w.top) {
    w.current = w.top;
    return kMoveCursor;
  }
  if (w.last < kFastMoveThreshold) {
    PageBack(w);
    return kMoveWindow;
  }
  const std::int64_t step = w.last / kFastMoveDivisor;
  w.top = w.top >= step ? w.top - step : 0;
  w.current = w.top;
  return kMoveWindow;
}

std::int32_t PagesDown(Window& w) {
  if (w.current >= w.last) {
    if (w.last <= w.page - 1) {
      return kMoveNothing;
    }
    w.top = 0;
    w.current = 0;
    return kMoveWindow;
  }
  if (w.current != w.top + w.page - 1) {
    return CursorToBottomRow(w);
  }
  const std::int64_t step = w.last < kFastMoveThreshold ? w.page : w.last / kFastMoveDivisor;
  if (w.last - w.current < w.page || w.last - w.current < step) {
    ToEnd(w);
  } else {
    w.top += step;
    w.current += step;
  }
  return kMoveWindow;
}

}  // namespace

std::int32_t ApplyScrollMove(ScrollWindow& p_Window, ScrollMove p_Move, int p_nLinesPerPage) {
  if (p_Window.m_nLastIndex < 0) {
    p_Window.m_nTopLine = 0;
    p_Window.m_nCurrentLine = 0;
    return kMoveNothing;
  }
  Window w{p_Window.m_nTopLine, p_Window.m_nCurrentLine, p_Window.m_nLastIndex, p_nLinesPerPage};
  std::int32_t result = kMoveNothing;
  switch (p_Move) {
    case ScrollMove::Up:
      result = Up(w);
      break;
    case ScrollMove::Down:
      result = Down(w);
      break;
    case ScrollMove::PageUp:
      result = PageUp(w);
      break;
    case ScrollMove::PageDown:
      result = PageDown(w);
      break;
    case ScrollMove::PagesUp:
      result = PagesUp(w);
      break;
    case ScrollMove::PagesDown:
      result = PagesDown(w);
      break;
  }
  p_Window.m_nTopLine = static_cast<std::uint32_t>(w.top);
  p_Window.m_nCurrentLine = static_cast<std::uint32_t>(w.current);
  return result;
}
