#include "service/device/PageRenderer.h"

#include <utility>
#include <vector>

#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/device/DisplayState.h"
#include "service/menu/CurrentTrack.h"

namespace {

constexpr std::int32_t kPlayerStateScreen = 2;

enum UpdateMode : std::int32_t {
  kScrollDown = 2,
  kScrollUp = 3,
  kFullRedrawFirst = 4,
  kFullRedrawLast = 6,
  kRewriteLines = 7,
  kCursorMove = 8,
  kOptionLine = 9,
};

constexpr std::uint8_t kCommandAll = 12;
constexpr std::uint8_t kCommandTimesShown = 17;
constexpr std::uint8_t kCommandLeavePlayerScreen = 18;

enum Icon : std::uint8_t { kIconStopped = 0, kIconPlaying = 1, kIconPaused = 2, kIconBusy = 3 };

}  // namespace

PageRenderer::PageRenderer(LcdProtocol& p_Protocol, std::function<void()> p_RaiseHome)
    : m_Protocol(p_Protocol), m_RaiseHome(std::move(p_RaiseHome)) {}

bool PageRenderer::Render(const CDeviceData& p_Page) {
  const bool l_bPlayerState = p_Page.GetScreenType() == kPlayerStateScreen;
  const std::int32_t l_nPlayState = p_Page.GetPlayState();
  if (l_bPlayerState && l_nPlayState != wmppsTransitioning) {
    g_Logger->Log(LOG_TO_FILE, u"Player state change to %d.", l_nPlayState);
    g_nPreviousDevicePlayState = g_nDevicePlayState.exchange(l_nPlayState);
  }
  if (!g_bDisplayAwake) {
    return true;
  }
  Flags l_Flags;
  if (l_bPlayerState && !RenderPlayerState(p_Page, l_Flags)) {
    return false;
  }
  if (!RenderMode(p_Page, l_Flags)) {
    return false;
  }
  RenderTitle(p_Page, l_Flags);
  if (p_Page.GetUpdateMode() == kRewriteLines) {
    l_Flags.m_bFull = true;
    m_Protocol.SendLcdChoice(LcdTextLine::First);
    SendScrollBar(p_Page);
    if (g_nLcdCursorRow != p_Page.GetSelectedLine()) {
      g_nLcdCursorRow = p_Page.GetSelectedLine();
      m_Protocol.SendLcdCursorRow(p_Page.GetSelectedLine());
    }
  }
  RenderLines(p_Page, l_Flags);
  RenderTimes(p_Page, l_Flags);
  if (l_nPlayState != wmppsTransitioning && l_nPlayState != wmppsReady) {
    m_Protocol.SendLcdEndOfScreen();
  }
  return true;
}

bool PageRenderer::RenderPlayerState(const CDeviceData& p_Page, Flags& p_Flags) {
  switch (p_Page.GetPlayState()) {
    case wmppsPlaying:
      p_Flags.m_bTimes = true;
      if (!g_bPlayerScreenShown) {
        p_Flags.m_bFull = p_Flags.m_bEntering = true;
        m_Protocol.SendLcdFullRedraw();
      }
      m_Protocol.SendLcdPlayStateIcon(kIconPlaying);
      g_bPlayerScreenShown = true;
      return true;
    case wmppsPaused:
      if (!g_bPlayerScreenShown) {
        p_Flags.m_bFull = p_Flags.m_bEntering = p_Flags.m_bTimes = true;
        m_Protocol.SendLcdFullRedraw();
      }
      m_Protocol.SendLcdPlayStateIcon(kIconPaused);
      g_bPlayerScreenShown = true;
      return true;
    case wmppsStopped:
      return RenderStopped();
    case wmppsMediaEnded:
      if (g_bPlayerScreenShown) {
        m_Protocol.SendLcdCommand(kCommandLeavePlayerScreen);
        g_bPlayerScreenShown = false;
        return false;
      }
      m_Protocol.SendLcdPlayStateIcon(kIconStopped);
      return true;
    case wmppsTransitioning:
      if (g_bPlayerScreenShown) {
        m_Protocol.SendLcdCommand(kCommandLeavePlayerScreen);
      }
      g_bPlayerScreenShown = false;
      m_Protocol.SendLcdPlayStateIcon(kIconBusy);
      return true;
    case wmppsReady:
      if (g_nPreviousDevicePlayState == wmppsMediaEnded) {
        g_nDevicePlayState = wmppsStopped;
        g_nPreviousDevicePlayState = wmppsReady;
        return RenderStopped();
      }
      return true;
    default:
      return true;
  }
}

bool PageRenderer::RenderStopped() {
  m_Protocol.SendLcdPlayStateIcon(kIconStopped);
  const std::int32_t l_nPrevious = g_nPreviousDevicePlayState;
  if (!g_bPlayerScreenShown && l_nPrevious != wmppsMediaEnded && l_nPrevious != wmppsReady) {
    return true;
  }
  g_bPlayerScreenShown = false;
  // Marked before the event is set, so that the Home handler that it wakes sees the mark.
  g_nAutoHomeState = kAutoHomeRaised;
  m_RaiseHome();
  return false;
}

bool PageRenderer::RenderMode(const CDeviceData& p_Page, Flags& p_Flags) {
  const std::int32_t l_nMode = p_Page.GetUpdateMode();
  const std::int32_t l_nRow = p_Page.GetSelectedLine();
  if (l_nMode >= kFullRedrawFirst && l_nMode <= kFullRedrawLast) {
    p_Flags.m_bFull = true;
    m_Protocol.SendLcdFullRedraw();
    m_Protocol.SendLcdCursorRow(l_nRow);
    g_nLcdCursorRow = l_nRow;
    SendScrollBar(p_Page);
  } else if (l_nMode == kOptionLine) {
    // Only row 0 or 1 holds an option; a page without that line has no text to rewrite.
    const std::vector<_bstr_t> l_Lines = p_Page.GetLines();
    if ((l_nRow == 0 || l_nRow == 1) && l_nRow < static_cast<std::int32_t>(l_Lines.size())) {
      m_Protocol.SendLcdChoice(l_nRow == 0 ? LcdTextLine::First : LcdTextLine::Second);
      m_Protocol.SendLcdText(l_Lines[static_cast<std::size_t>(l_nRow)]);
    }
    if (g_nLcdCursorRow != l_nRow) {
      MoveCursor(l_nRow);
    }
    m_Protocol.SendLcdEndOfScreen();
    return false;
  } else if (l_nMode == kCursorMove) {
    MoveCursor(l_nRow);
    SendScrollBar(p_Page);
  }
  return true;
}

void PageRenderer::RenderTitle(const CDeviceData& p_Page, const Flags& p_Flags) {
  if (!p_Flags.m_bFull && !p_Flags.m_bEntering) {
    return;
  }
  switch (g_nDevicePlayState) {
    case wmppsPlaying:
      m_Protocol.SendLcdPlayMode(kIconPlaying);
      break;
    case wmppsPaused:
      m_Protocol.SendLcdPlayMode(kIconPaused);
      break;
    case wmppsStopped:
      if (g_nAutoHomeState.exchange(kAutoHomeNone) == kAutoHomeSeen) {
        m_Protocol.SendLcdPlayMode(kIconStopped);
      }
      break;
    default:
      break;
  }
  m_Protocol.SendLcdText(p_Page.GetTitle());
}

void PageRenderer::RenderLines(const CDeviceData& p_Page, const Flags& p_Flags) {
  const std::vector<_bstr_t> l_Lines = p_Page.GetLines();
  const std::int32_t l_nMode = p_Page.GetUpdateMode();
  const auto l_nLastRow = static_cast<std::size_t>(g_nLinesPerPage - 1);
  for (std::size_t l_nIndex = 0; l_nIndex < l_Lines.size(); ++l_nIndex) {
    if (p_Flags.m_bFull) {
      if (l_nIndex == 0 && (g_bPlayerScreenShown || g_bCurrentlyPlayingDisplayed)) {
        m_Protocol.SendLcdCommand(kCommandAll);
        m_Protocol.SendLcdEmptyText();
      }
      m_Protocol.SendLcdText(l_Lines[l_nIndex]);
    } else if (l_nMode == kScrollUp && l_nIndex == l_nLastRow) {
      SendScrollBar(p_Page);
      m_Protocol.SendLcdBottomLine(l_Lines[l_nIndex]);
    } else if (l_nMode == kScrollDown && l_nIndex == 0) {
      SendScrollBar(p_Page);
      m_Protocol.SendLcdTopLine(l_Lines[l_nIndex]);
    }
  }
}

void PageRenderer::RenderTimes(const CDeviceData& p_Page, const Flags& p_Flags) {
  if (!p_Flags.m_bTimes) {
    return;
  }
  m_Protocol.SendLcdDuration(p_Page.GetDuration());
  m_Protocol.SendLcdPosition(p_Page.GetElapsedTime());
  const std::int32_t l_nState = g_nDevicePlayState;
  if (l_nState == wmppsPlaying || l_nState == wmppsPaused) {
    m_Protocol.SendLcdCommand(kCommandTimesShown);
  }
}

void PageRenderer::SendScrollBar(const CDeviceData& p_Page) {
  // Sent only for a list longer than a page.
  m_Protocol.SendLcdScrollBar(p_Page.GetPosition(), p_Page.GetTotal());
}

void PageRenderer::MoveCursor(std::int32_t p_nRow) {
  m_Protocol.SendLcdCursorMove(p_nRow);
  g_nLcdCursorRow = p_nRow;
}
