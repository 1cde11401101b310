#include "service/session/SessionWaitLoop.h"

#include <array>
#include <utility>

#include "common/ProgramLogger.h"
#include "platform/base/Process.h"
#include "platform/user/Window.h"
#include "service/device/DisplayState.h"
#include "service/device/PageLists.h"
#include "service/menu/CurrentTrack.h"
#include "service/menu/NowPlayingList.h"
#include "service/menu/ScrollWindow.h"
#include "service/session/EventProcessing.h"
#include "service/session/MediaPlayerEvents.h"

using platform::ComPtr;

namespace {

constexpr std::int32_t kNowPlayingCategory = 4;
constexpr std::int32_t kNotPlayingSelectedLine = 7;
constexpr std::int32_t kNowPlayingLines = 3;

// Screen types by cause.
constexpr std::int32_t kScreenLibraryChange = 1;
constexpr std::int32_t kScreenPlayerStatus = 2;
constexpr std::int32_t kScreenDown = 3;
constexpr std::int32_t kScreenUp = 4;
constexpr std::int32_t kScreenLeft = 5;
constexpr std::int32_t kScreenRight = 6;
constexpr std::int32_t kScreenOk = 7;
constexpr std::int32_t kScreenRefresh = 8;
constexpr std::int32_t kScreenPageDown = 10;
constexpr std::int32_t kScreenPageUp = 11;
constexpr std::int32_t kScreenHome = 12;

// The list numbers, always read after the display lines.
struct ListNumbers {
  std::int32_t m_nScreenLine = 0;
  std::int32_t m_nCategoryLine = 0;
  std::int32_t m_nMaxLines = 0;
};

ListNumbers FetchDisplayLines(CMusicLibrary& p_Root, SessionLoopState& p_State) {
  p_Root.GetDisplayLines(p_State.m_bstrTitle, p_State.m_Lines);
  return {p_Root.GetCurrentScreenLine(), p_Root.GetCurrentCategoryLine(),
          p_Root.GetCategoryMaxLines()};
}

CDeviceData PageWithLines(const SessionLoopState& p_State) {
  CDeviceData l_Page;
  l_Page.SetTitle(p_State.m_bstrTitle);
  l_Page.SetLines(p_State.m_Lines);
  return l_Page;
}

void SetListNumbers(CDeviceData& p_Page, const ListNumbers& p_Numbers) {
  p_Page.SetSelectedLine(p_Numbers.m_nScreenLine);
  p_Page.SetPosition(p_Numbers.m_nCategoryLine);
  p_Page.SetTotal(p_Numbers.m_nMaxLines);
}

CDeviceData ListPage(const SessionLoopState& p_State, const ListNumbers& p_Numbers,
                     std::int32_t p_nScreenType, std::int32_t p_nUpdateMode) {
  CDeviceData l_Page = PageWithLines(p_State);
  SetListNumbers(l_Page, p_Numbers);
  l_Page.SetScreenType(p_nScreenType);
  l_Page.SetUpdateMode(p_nUpdateMode);
  return l_Page;
}

void CompleteNowPlayingPage(CDeviceData& p_Page) {
  p_Page.SetDuration(g_bstrCurrentDuration.Get());
  p_Page.SetScreenType(kScreenPlayerStatus);
  const std::int32_t l_nState = g_nSessionPlayState;
  p_Page.SetPlayState(l_nState);
  if (l_nState != wmppsPaused && l_nState != wmppsPlaying) {
    p_Page.SetUpdateMode(6);
    p_Page.SetSelectedLine(kNotPlayingSelectedLine);
  } else {
    p_Page.SetUpdateMode(1);
  }
  p_Page.SetTotal(kNowPlayingLines);
  p_Page.SetElapsedTime(g_nElapsedSeconds);
}

CDeviceData NowPlayingPage(const SessionLoopState& p_State) {
  CDeviceData l_Page = PageWithLines(p_State);
  CompleteNowPlayingPage(l_Page);
  return l_Page;
}

CDeviceData FillerPage() {
  CDeviceData l_Page;
  l_Page.SetUpdateMode(1);
  return l_Page;
}

// What each wait index logs first (with the thread id), by index; null for none.
constexpr std::array<const char16_t*, kSessionWaitEventCount> kActionLogs = {
    u"UserWindowsMediaPlayer thread terminate event",
    u"UserWindowsMediaPlayer thread %x sees button up event",
    u"UserWindowsMediaPlayer thread %x sees button down event",
    u"UserWindowsMediaPlayer thread %x sees button left event",
    u"UserWindowsMediaPlayer thread %x sees button right event",
    u"UserWindowsMediaPlayer thread %x sees button ok event",
    u"UserWindowsMediaPlayer thread %x sees button play event",
    u"UserWindowsMediaPlayer thread %x sees button pause event",
    u"UserWindowsMediaPlayer thread %x sees button stop event",
    u"UserWindowsMediaPlayer thread %x sees button power event",
    u"UserWindowsMediaPlayer thread %x sees media player event",
    u"UserWindowsMediaPlayer thread %x sees user logoff event",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    u"UserWindowsMediaPlayer thread %x sees button page down event",
    u"UserWindowsMediaPlayer thread %x sees button page up event",
    u"UserWindowsMediaPlayer thread %x sees button home event",
    u"UserWindowsMediaPlayer thread %x sees button page down event",
    u"UserWindowsMediaPlayer thread %x sees button page up event",
    nullptr,
    u"UserWindowsMediaPlayer thread %x sees MEDIA_PLAYER_MEDIA_COLLECTION_CHANGE event",
};

bool OnNowPlayingCategory(CMusicLibrary* p_pRoot) {
  return p_pRoot != nullptr && p_pRoot->GetCurrentLine() == kNowPlayingCategory;
}

HRESULT CallControls(IWMPPlayer4* p_pPlayer, HRESULT (IWMPControls::*p_Method)()) {
  if (p_pPlayer == nullptr) {
    return E_POINTER;
  }
  ComPtr<IWMPControls> l_spControls;
  if (const HRESULT l_hr = p_pPlayer->get_controls(l_spControls.put()); FAILED(l_hr)) {
    return l_hr;
  }
  return l_spControls ? (l_spControls.get()->*p_Method)() : E_POINTER;
}

HRESULT ReadPlayState(IWMPPlayer4* p_pPlayer, WMPPlayState& p_nState) {
  return p_pPlayer != nullptr ? p_pPlayer->get_playState(&p_nState) : E_POINTER;
}

// The transport buttons act only while the player plays.
HRESULT TransportWhilePlaying(IWMPPlayer4* p_pPlayer, HRESULT (IWMPControls::*p_Method)()) {
  if (p_pPlayer == nullptr) {
    return E_POINTER;
  }
  ComPtr<IWMPControls> l_spControls;
  if (const HRESULT l_hr = p_pPlayer->get_controls(l_spControls.put()); FAILED(l_hr)) {
    return l_hr;
  }
  WMPPlayState l_nState = wmppsUndefined;
  if (FAILED(p_pPlayer->get_playState(&l_nState)) || l_nState != wmppsPlaying) {
    return 1;
  }
  return l_spControls ? (l_spControls.get()->*p_Method)() : E_POINTER;
}

}  // namespace

void ProcessOkButton(CMusicLibrary* p_pRoot, SessionLoopState& p_State) {
  if (p_pRoot == nullptr || p_pRoot->OnButtonOk() == kOkNoNewPage) {
    return;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*p_pRoot, p_State);
  CDeviceData l_Page = PageWithLines(p_State);
  if (g_bCurrentlyPlayingDisplayed) {
    CompleteNowPlayingPage(l_Page);
  } else {
    SetListNumbers(l_Page, l_Numbers);
    l_Page.SetScreenType(kScreenOk);
    l_Page.SetUpdateMode(5);
    p_State.m_bMenuShown = true;
  }
  p_State.m_Page = std::move(l_Page);
}

HRESULT ProcessPlayButton(IWMPPlayer4* p_pPlayer, CMusicLibrary* p_pRoot,
                          SessionLoopState& p_State) {
  WMPPlayState l_nState = wmppsUndefined;
  HRESULT l_hr = ReadPlayState(p_pPlayer, l_nState);
  if (FAILED(l_hr)) {
    return l_hr;
  }
  const bool l_bMenuInCharge =
      p_State.m_bMenuShown && !g_bCurrentlyPlayingDisplayed && !g_bPlayerScreenShown;
  // Plays the menu's selection; the now-playing category's lines mark its view as shown.
  const auto l_PlaySelection = [&] {
    if (p_pRoot == nullptr || !p_pRoot->OnButtonPlay()) {
      return false;
    }
    if (OnNowPlayingCategory(p_pRoot)) {
      FetchDisplayLines(*p_pRoot, p_State);
    }
    p_State.m_bMenuShown = false;
    return true;
  };
  if (l_nState == wmppsPaused) {
    if (l_bMenuInCharge) {
      l_PlaySelection();
    } else if (!OnNowPlayingCategory(p_pRoot) || !l_PlaySelection()) {
      l_hr = CallControls(p_pPlayer, &IWMPControls::play);
      if (SUCCEEDED(l_hr)) {
        p_State.m_bMenuShown = false;
      }
    }
  } else if (!l_bMenuInCharge) {
    l_hr = CallControls(p_pPlayer, &IWMPControls::play);
  } else if (l_nState == wmppsPlaying && OnNowPlayingCategory(p_pRoot)) {
    // Play on the now-playing category while it plays shows what plays.
    FetchDisplayLines(*p_pRoot, p_State);
    p_State.m_Page = NowPlayingPage(p_State);
    l_hr = S_OK;
  } else {
    l_PlaySelection();
  }
  return l_hr;
}

HRESULT ProcessStopButton(IWMPPlayer4* p_pPlayer, CMusicLibrary* p_pRoot,
                          SessionLoopState& p_State) {
  const HRESULT l_hr = CallControls(p_pPlayer, &IWMPControls::stop);
  if (SUCCEEDED(l_hr)) {
    p_State.m_bPaused = false;
    g_Logger->Log(LOG_TO_FILE, u"Player Stopped");
  }
  if (OnNowPlayingCategory(p_pRoot) && g_bCurrentlyPlayingDisplayed) {
    p_pRoot->OnButtonLeft(nullptr);
    g_bCurrentlyPlayingDisplayed = false;
  }
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"ProcessStopButton Error = %x", l_hr);
  }
  return l_hr;
}

HRESULT ProcessPauseButton(IWMPPlayer4* p_pPlayer, CMusicLibrary* p_pRoot,
                           SessionLoopState& p_State) {
  WMPPlayState l_nState = wmppsUndefined;
  HRESULT l_hr = ReadPlayState(p_pPlayer, l_nState);
  if (SUCCEEDED(l_hr) && l_nState == wmppsPlaying) {
    l_hr = CallControls(p_pPlayer, &IWMPControls::pause);
    if (SUCCEEDED(l_hr)) {
      p_State.m_bPaused = true;
      g_Logger->Log(LOG_TO_FILE, u"Player Paused");
    }
  }
  if (OnNowPlayingCategory(p_pRoot) && !g_bCurrentlyPlayingDisplayed && p_State.m_bPaused) {
    p_pRoot->OnButtonOk();
    FetchDisplayLines(*p_pRoot, p_State);
    p_State.m_Page = FillerPage();
  }
  if (FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"ProcessPauseButton Error = %x", l_hr);
  }
  return l_hr;
}

void ProcessHomeButton(CMusicLibrary* p_pRoot, SessionLoopState& p_State) {
  if (p_pRoot == nullptr) {
    return;
  }
  p_pRoot->ResetToRoot();
  g_bCurrentlyPlayingDisplayed = false;
  const ListNumbers l_Numbers = FetchDisplayLines(*p_pRoot, p_State);
  p_State.m_Page = ListPage(p_State, l_Numbers, kScreenHome, 6);
  if (g_nAutoHomeState != kAutoHomeNone) {
    g_nAutoHomeState = kAutoHomeSeen;
  }
  p_State.m_bMenuShown = true;
}

void ProcessPowerButton(CMusicLibrary* p_pRoot, SessionLoopState& p_State) {
  if (p_pRoot == nullptr) {
    return;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*p_pRoot, p_State);
  CDeviceData l_Page = PageWithLines(p_State);
  if (g_bCurrentlyPlayingDisplayed) {
    CompleteNowPlayingPage(l_Page);
  } else {
    // The cursor goes back where Ok will act, on the root's current line.
    SetListNumbers(l_Page, l_Numbers);
    l_Page.SetUpdateMode(6);
  }
  p_State.m_Page = std::move(l_Page);
}

HRESULT ProcessPrevButton(IWMPPlayer4* p_pPlayer) {
  return TransportWhilePlaying(p_pPlayer, &IWMPControls::previous);
}
HRESULT ProcessNextButton(IWMPPlayer4* p_pPlayer) {
  return TransportWhilePlaying(p_pPlayer, &IWMPControls::next);
}
HRESULT ProcessRewindButton(IWMPPlayer4* p_pPlayer) {
  return TransportWhilePlaying(p_pPlayer, &IWMPControls::fastReverse);
}
HRESULT ProcessFastForwardButton(IWMPPlayer4* p_pPlayer) {
  return TransportWhilePlaying(p_pPlayer, &IWMPControls::fastForward);
}

CSessionWaitLoop::CSessionWaitLoop(const CSessionEvents& p_Events, ComPtr<IWMPPlayer4> p_spPlayer,
                                   CMusicLibrary* p_pRoot, ComPtr<IWMPProxy> p_pProxy,
                                   const platform::Event& p_hOutput,
                                   const platform::Event& p_hAlbumPoll)
    : m_Events(p_Events),
      m_spPlayer(std::move(p_spPlayer)),
      m_pRoot(p_pRoot),
      m_pProxy(std::move(p_pProxy)),
      m_hOutput(p_hOutput),
      m_hAlbumPoll(p_hAlbumPoll) {}

void CSessionWaitLoop::Run() {
  while (RunPass()) {
  }
}

bool CSessionWaitLoop::RunPass() {
  m_State.m_bLeaveNowPlaying = false;
  std::array<platform::ObjectRef, kSessionWaitEventCount> l_Objects;
  for (std::size_t l_nIndex = 0; l_nIndex < kSessionWaitEventCount; ++l_nIndex) {
    l_Objects[l_nIndex] = m_Events.m_hWaitEvents[l_nIndex].Ref();
  }
  const platform::WaitResult l_Result =
      platform::MsgWaitForMultipleObjects(l_Objects, false, platform::kInfinite, QS_ALLINPUT);
  if (l_Result.status != platform::WaitStatus::Signalled) {
    // The handles are unusable: waiting again would fail at once, for ever.
    g_Logger->Log(LOG_TO_FILE, u"UserWindowsMediaPlayer thread %x wait fails with error %d",
                  platform::CurrentThreadId(), l_Result.error);
    return false;
  }
  if (l_Result.index < kSessionWaitEventCount) {
    Act(l_Result.index);
  } else {
    PumpMessages();
  }
  EndPass();
  return m_bRun;
}

void CSessionWaitLoop::PumpMessages() {
  MSG l_Message{};
  while (platform::PeekMessage(l_Message, 0, 0, 0, PM_REMOVE)) {
    platform::DispatchMessage(l_Message);
  }
}

void CSessionWaitLoop::EndPass() {
  if (m_State.m_bLeaveNowPlaying) {
    g_bCurrentlyPlayingDisplayed = false;
    m_State.m_bMenuShown = true;
  }
  if (m_State.m_Page) {
    AppendDeviceOutput(std::move(*m_State.m_Page));
    m_State.m_Page.reset();
    m_hOutput.Set();
  }
}

void CSessionWaitLoop::OnMove(std::int32_t (CMusicLibrary::*p_Move)(), std::int32_t p_nScreenType,
                              std::int32_t p_nScrollMode) {
  if (m_pRoot == nullptr) {
    return;
  }
  const std::int32_t l_nResult = (m_pRoot->*p_Move)();
  std::int32_t l_nMode = 1;
  switch (l_nResult) {
    case kMoveWindow:
      l_nMode = p_nScrollMode;
      break;
    case kMoveCursor:
      l_nMode = 8;
      break;
    case kMoveScrollOrWrap:
      l_nMode = 7;
      break;
    default:
      break;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*m_pRoot, m_State);
  m_State.m_Page = ListPage(m_State, l_Numbers, p_nScreenType, l_nMode);
  m_State.m_bLeaveNowPlaying = l_nMode != 1;
}

void CSessionWaitLoop::OnPageMove(std::int32_t (CMusicLibrary::*p_Move)(),
                                  std::int32_t p_nScreenType) {
  if (m_pRoot == nullptr) {
    return;
  }
  const std::int32_t l_nResult = (m_pRoot->*p_Move)();
  if (l_nResult == kMoveNothing) {
    m_State.m_Page = FillerPage();
    return;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*m_pRoot, m_State);
  m_State.m_Page = ListPage(m_State, l_Numbers, p_nScreenType, l_nResult == kMoveWindow ? 7 : 8);
  m_State.m_bLeaveNowPlaying = true;
}

void CSessionWaitLoop::OnLeft() {
  if (m_pRoot == nullptr) {
    return;
  }
  const bool l_bLeft = m_pRoot->OnButtonLeft(nullptr);
  const ListNumbers l_Numbers = FetchDisplayLines(*m_pRoot, m_State);
  m_State.m_Page = ListPage(m_State, l_Numbers, kScreenLeft, l_bLeft ? 4 : 1);
  m_State.m_bLeaveNowPlaying = l_bLeft;
}

namespace {

// The now-playing page while the track is shown, else the list page, which leaves now playing.
void ShowListOrNowPlaying(SessionLoopState& p_State, const ListNumbers& p_Numbers,
                          std::int32_t p_nScreenType, std::int32_t p_nMode) {
  if (g_bCurrentlyPlayingDisplayed) {
    p_State.m_Page = NowPlayingPage(p_State);
    return;
  }
  p_State.m_Page = ListPage(p_State, p_Numbers, p_nScreenType, p_nMode);
  p_State.m_bLeaveNowPlaying = true;
}

}  // namespace

void CSessionWaitLoop::OnRight() {
  if (m_pRoot == nullptr) {
    return;
  }
  if (!m_pRoot->OnButtonRight(nullptr)) {
    m_State.m_Page = FillerPage();
    return;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*m_pRoot, m_State);
  ShowListOrNowPlaying(m_State, l_Numbers, kScreenRight, 5);
}

void CSessionWaitLoop::OnPlay() {
  const HRESULT l_hr = ProcessPlayButton(m_spPlayer.get(), m_pRoot, m_State);
  if (!m_State.m_Page && (l_hr != S_OK || m_State.m_bMenuShown)) {
    m_State.m_Page = FillerPage();
  }
}

void CSessionWaitLoop::OnTransport(HRESULT (*p_Action)(IWMPPlayer4*)) {
  if (p_Action(m_spPlayer.get()) != S_OK) {
    m_State.m_Page = FillerPage();
  }
}

void CSessionWaitLoop::OnRefresh() {
  if (m_pRoot == nullptr) {
    return;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*m_pRoot, m_State);
  if (CNowPlayingList* l_pNowPlaying = m_pRoot->GetNowPlayingList()) {
    l_pNowPlaying->OnTrackChanged();
  }
  ShowListOrNowPlaying(m_State, l_Numbers, kScreenRefresh, 6);
}

void CSessionWaitLoop::OnAlbumDeleted() {
  AppendMediaPlayerEvent(std::make_unique<CMediaCollectionAttributeStringRemoved>(
                             5809, u"WM/AlbumTitle", u"WM/AlbumTitle"),
                         m_Events.m_dwSessionId);
  ProcessMediaPlayerEvent(m_spPlayer, m_pRoot, m_pProxy, m_Events.m_dwSessionId);
}

void CSessionWaitLoop::OnMediaCollectionChange() {
  m_hAlbumPoll.Set();
  if (m_pRoot == nullptr || !m_pRoot->MediaCollectionChanged()) {
    return;
  }
  const ListNumbers l_Numbers = FetchDisplayLines(*m_pRoot, m_State);
  m_State.m_Page = ListPage(m_State, l_Numbers, kScreenLibraryChange, 0);
}

void CSessionWaitLoop::Act(std::size_t p_nWaitIndex) {
  if (const char16_t* l_szLog = kActionLogs[p_nWaitIndex]) {
    g_Logger->Log(LOG_TO_FILE, l_szLog, platform::CurrentThreadId());
  }
  switch (p_nWaitIndex) {
    case kWaitTerminate:
      m_bRun = false;
      break;
    case kWaitUp:
      OnMove(&CMusicLibrary::OnButtonUp, kScreenUp, 2);
      break;
    case kWaitDown:
      OnMove(&CMusicLibrary::OnButtonDown, kScreenDown, 3);
      break;
    case kWaitLeft:
      OnLeft();
      break;
    case kWaitRight:
      OnRight();
      break;
    case kWaitOk:
      ProcessOkButton(m_pRoot, m_State);
      break;
    case kWaitPlay:
      OnPlay();
      break;
    case kWaitPause:
      ProcessPauseButton(m_spPlayer.get(), m_pRoot, m_State);
      m_State.m_bMenuShown = false;
      break;
    case kWaitStop:
      ProcessStopButton(m_spPlayer.get(), m_pRoot, m_State);
      break;
    case kWaitPower:
      ProcessPowerButton(m_pRoot, m_State);
      break;
    case kWaitMediaPlayerEvent:
      ProcessMediaPlayerEvent(m_spPlayer, m_pRoot, m_pProxy, m_Events.m_dwSessionId);
      break;
    case kWaitRefreshScreen:
      OnRefresh();
      break;
    case kWaitPrev:
      OnTransport(ProcessPrevButton);
      break;
    case kWaitNext:
      OnTransport(ProcessNextButton);
      break;
    case kWaitRewind:
      OnTransport(ProcessRewindButton);
      break;
    case kWaitFastForward:
      OnTransport(ProcessFastForwardButton);
      break;
    case kWaitPageDown:
      OnPageMove(&CMusicLibrary::OnPageDown, kScreenPageDown);
      break;
    case kWaitPageUp:
      OnPageMove(&CMusicLibrary::OnPageUp, kScreenPageUp);
      break;
    case kWaitHome:
      ProcessHomeButton(m_pRoot, m_State);
      break;
    case kWaitPagesDown:
      OnPageMove(&CMusicLibrary::OnPagesDown, kScreenPageDown);
      break;
    case kWaitPagesUp:
      OnPageMove(&CMusicLibrary::OnPagesUp, kScreenPageUp);
      break;
    case kWaitAlbumDeleted:
      OnAlbumDeleted();
      break;
    case kWaitMediaCollectionChange:
      OnMediaCollectionChange();
      break;
    default:
      // The user logoff only logs.
      break;
  }
}
