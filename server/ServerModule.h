#pragma once

// CServerModule: the server's program shell. It acts on the command line (registration, stop),
// registers the class object of WMPProxy in its session, runs the message loop while objects or
// the tray mode hold it, and ends when the lock count falls to 0.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/kernel/Thread.h"
#include "server/ServerTray.h"
#include "server/WMPProxy.h"

// Its main thread runs WinMain; Lock and Unlock may be called from any thread.
class CServerModule {
 public:
  // The arguments after the program's name; the process's exit code.
  int WinMain(std::span<const std::string_view> p_Arguments);

  std::uint32_t Lock();
  std::uint32_t Unlock();

 private:
  bool PreMessageLoop(bool p_bTray);
  void RunMessageLoop();
  void PostMessageLoop();
  CProxyServices Services();

  std::uint32_t m_nMainThread = 0;
  std::uint32_t m_nClassCookie = 0;
  std::unique_ptr<CServerTrayWindow> m_pTrayWindow;
  platform::Thread m_hServerTerminateMonitor;
};
