#pragma once

// A user session's whole chain for the session tests: its control block in this process, and the
// per-session server and player application that the block's start-up brings up, each in its
// own process as activation starts them in the session. The programs keep real time.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/DeviceData.h"
#include "platform/base/Format.h"
#include "platform/com/Activation.h"
#include "platform/com/ComPtr.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/ChildProgram.h"
#include "platform/kernel/tests/Eventually.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/PlayerInterfaces.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/RootProcesses.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/session/UserControlBlock.h"

namespace session_chain {

using platform::ComPtr;

inline constexpr auto kPatience = std::chrono::seconds(60);  // real time

using platform::testing::Eventually;

// Runs a program to its end in the session; its exit code (-1 when it did not end in time).
inline int RunToEnd(std::vector<std::string> p_Words, std::uint32_t p_nSession = 0) {
  platform::testing::ChildProgram l_Program(std::move(p_Words),
                                            {{"PLATFORM_SESSION", std::to_string(p_nSession)}});
  return l_Program.Wait(kPatience).value_or(-1);
}

inline std::u16string Named(const char16_t* p_szBase, std::uint32_t p_dwSession) {
  return platform::Format(std::u16string_view(u"%s%d"), p_szBase, p_dwSession);
}

inline bool Exists(const std::u16string& p_Name) {
  return static_cast<bool>(platform::Event::Open(p_Name).handle);
}

// Whether the event is set; an auto-reset event's signal is taken.
inline bool IsSet(const platform::Event& p_hEvent) {
  return platform::WaitForObject(p_hEvent.Ref(), platform::Timeout(0)).Signalled(0);
}

inline std::vector<std::u16string> LineTexts(const CDeviceData& p_Page) {
  std::vector<std::u16string> l_Texts;
  for (const _bstr_t& l_Line : p_Page.GetLines()) l_Texts.emplace_back(l_Line.view());
  return l_Texts;
}

// The text of the page's selected line; empty when the row shows none.
inline std::u16string SelectedText(const CDeviceData& p_Page) {
  const std::vector<std::u16string> l_Lines = LineTexts(p_Page);
  const auto l_nRow = static_cast<std::size_t>(p_Page.GetSelectedLine());
  return l_nRow < l_Lines.size() ? l_Lines[l_nRow] : std::u16string();
}

// The processes of that program in the session.
inline std::vector<platform::detail::RootProcess> ProgramsInSession(std::u16string_view p_Image,
                                                                    std::uint32_t p_nSession) {
  std::vector<platform::detail::RootProcess> l_Found;
  for (const auto& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.imageName == p_Image && l_Process.sessionId == p_nSession) {
      l_Found.push_back(l_Process);
    }
  }
  return l_Found;
}

// One session: its block, started and stopped as the listener does, and the session's programs,
// which the destructor ends by their ids when they are still running. On the test's thread.
class SessionChain {
 public:
  explicit SessionChain(std::uint32_t p_dwSession) : m_dwSession(p_dwSession) {}
  SessionChain(const SessionChain&) = delete;
  SessionChain& operator=(const SessionChain&) = delete;
  ~SessionChain() {
    Stop();
    std::vector<platform::detail::ProcessIdentity> l_Programs;
    for (const std::u16string_view l_Image : {u"Ruvello.exe", u"wmplayer.exe"}) {
      for (const auto& l_Process : ProgramsInSession(l_Image, m_dwSession)) {
        l_Programs.push_back(l_Process.identity);
      }
    }
    platform::detail::EndProcesses(l_Programs, std::chrono::seconds(0),
                                   std::chrono::milliseconds(2000));
  }

  std::uint32_t Session() const { return m_dwSession; }

  // Starts the block's thread and waits for the end of its start-up, failed or not.
  void Start() {
    m_pBlock = std::make_unique<CUserControlBlock>(m_dwSession);
    m_pBlock->StartSessionThread();
    const platform::Event l_hInitialized =
        platform::Event::Open(Named(u"USER_SESSION_THREAD_INITIALIZED", m_dwSession)).handle;
    ASSERT_TRUE(l_hInitialized);
    ASSERT_TRUE(Eventually([&] { return IsSet(l_hInitialized); }));
  }
  void Stop() {
    if (!m_pBlock) return;
    const platform::Event l_hDone = CreateAutoResetEvent();
    m_pBlock->StopSessionThread(l_hDone);
    m_pBlock.reset();
  }
  // Whether the start-up succeeded: the thread makes the tray's event after it has told its
  // block that the start-up is over.
  bool Started() const {
    return Eventually(
        [&] { return Exists(Named(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", m_dwSession)); });
  }
  bool Running() const { return m_pBlock != nullptr; }
  void Signal(std::uint32_t p_nButton) { m_pBlock->SignalButton(p_nButton); }

  // The control tool in this session; its exit code.
  int Tool(std::vector<std::string> p_Words) const {
    p_Words.insert(p_Words.begin(), PLATFORMCTL);
    return RunToEnd(p_Words, m_dwSession);
  }
  pid_t PlayerPid() const {
    const auto l_Players = ProgramsInSession(u"wmplayer.exe", m_dwSession);
    return l_Players.size() == 1 ? l_Players.front().identity.pid : 0;
  }
  pid_t ServerPid() const {
    const auto l_Servers = ProgramsInSession(u"Ruvello.exe", m_dwSession);
    return l_Servers.size() == 1 ? l_Servers.front().identity.pid : 0;
  }
  // Clicks the item at the path in the player application's library tree, as a person would.
  int TreeClick(const std::vector<std::string>& p_Path) const {
    std::vector<std::string> l_Words{"tree-click", std::to_string(PlayerPid()), "WMPlayerApp",
                                     "1007"};
    l_Words.insert(l_Words.end(), p_Path.begin(), p_Path.end());
    return Tool(l_Words);
  }
  // The application's own player, as a person at its screen sees it; the caller's thread must
  // be in an apartment.
  ComPtr<IWMPPlayer4> ApplicationPlayer() const {
    ComPtr<IClassFactory> l_spFactory;
    ComPtr<IWMPPlayer4> l_spPlayer;
    if (SUCCEEDED(platform::BindClassObject(m_dwSession, CLSID_PlayerApplication,
                                            platform::IidOf<IClassFactory>,
                                            l_spFactory.put_void()))) {
      l_spFactory->CreateInstance(nullptr, platform::IidOf<IWMPPlayer4>, l_spPlayer.put_void());
    }
    return l_spPlayer;
  }

 private:
  const std::uint32_t m_dwSession;
  std::unique_ptr<CUserControlBlock> m_pBlock;
};

}  // namespace session_chain
