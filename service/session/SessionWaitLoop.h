#pragma once

// The session thread's life after its start-up: it waits on its 24 events while pumping its
// message queue (which is how the sinks' events reach it), drives the menu tree or the player for
// each event, and appends at most one page a pass to the output list. Used on the session's
// thread only.

#include <cstdint>
#include <optional>

#include "common/DeviceData.h"
#include "platform/com/ComPtr.h"
#include "platform/kernel/Event.h"
#include "platform/player/PlayerInterfaces.h"
#include "service/menu/MusicLibrary.h"
#include "server/WMPProxyInterface.h"
#include "service/session/UserControlBlock.h"

// What the loop keeps from pass to pass, and the page of the current pass.
struct SessionLoopState {
  // The menu list was the last thing a button showed (false: a play or pause took over).
  bool m_bMenuShown = true;
  bool m_bPaused = false;
  bool m_bLeaveNowPlaying = false;
  std::optional<CDeviceData> m_Page;
  _bstr_t m_bstrTitle;
  DisplayLines m_Lines;
};

// The button actions; `p_pRoot` may be null (the tree could not be made).
void ProcessOkButton(CMusicLibrary* p_pRoot, SessionLoopState& p_State);
HRESULT ProcessPlayButton(IWMPPlayer4* p_pPlayer, CMusicLibrary* p_pRoot,
                          SessionLoopState& p_State);
HRESULT ProcessStopButton(IWMPPlayer4* p_pPlayer, CMusicLibrary* p_pRoot,
                          SessionLoopState& p_State);
HRESULT ProcessPauseButton(IWMPPlayer4* p_pPlayer, CMusicLibrary* p_pRoot,
                           SessionLoopState& p_State);
void ProcessHomeButton(CMusicLibrary* p_pRoot, SessionLoopState& p_State);
void ProcessPowerButton(CMusicLibrary* p_pRoot, SessionLoopState& p_State);
// 1 without a player call when the player is not playing, else the call's HRESULT.
HRESULT ProcessPrevButton(IWMPPlayer4* p_pPlayer);
HRESULT ProcessNextButton(IWMPPlayer4* p_pPlayer);
HRESULT ProcessRewindButton(IWMPPlayer4* p_pPlayer);
HRESULT ProcessFastForwardButton(IWMPPlayer4* p_pPlayer);

class CSessionWaitLoop {
 public:
  // The loop uses what it is given for its whole life; the caller keeps it alive.
  CSessionWaitLoop(const CSessionEvents& p_Events, platform::ComPtr<IWMPPlayer4> p_spPlayer,
                   CMusicLibrary* p_pRoot, platform::ComPtr<IWMPProxy> p_pProxy,
                   const platform::Event& p_hOutput, const platform::Event& p_hAlbumPoll);

  // Passes until the terminate event, or until the wait fails (logged): never a busy loop.
  void Run();
  // One pass: one wait and its action; false once the loop is to end.
  bool RunPass();

 private:
  void Act(std::size_t p_nWaitIndex);
  void OnMove(std::int32_t (CMusicLibrary::*p_Move)(), std::int32_t p_nScreenType,
                  std::int32_t p_nScrollMode);
  void OnPageMove(std::int32_t (CMusicLibrary::*p_Move)(), std::int32_t p_nScreenType);
  void OnLeft();
  void OnRight();
  void OnPlay();
  void OnTransport(HRESULT (*p_Action)(IWMPPlayer4*));
  void OnRefresh();
  void OnAlbumDeleted();
  void OnMediaCollectionChange();
  void PumpMessages();
  void EndPass();

  const CSessionEvents& m_Events;
  const platform::ComPtr<IWMPPlayer4> m_spPlayer;
  CMusicLibrary* const m_pRoot;
  const platform::ComPtr<IWMPProxy> m_pProxy;
  const platform::Event& m_hOutput;
  const platform::Event& m_hAlbumPoll;
  SessionLoopState m_State;
  bool m_bRun = true;
};
