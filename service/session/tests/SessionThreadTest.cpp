#include "service/session/SessionThread.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/Edition.h"
#include "common/tests/support/LogRecorder.h"
#include "platform/base/Format.h"
#include "platform/com/Activation.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Registry.h"
#include "platform/base/Text.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Session.h"
#include "platform/kernel/Wait.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/session/MediaPlayerEvents.h"
#include "service/session/UserControlBlock.h"

namespace {

using platform::ComPtr;
using platform::Event;
using platform::Timeout;

// How the test's server answers. Set before the session thread starts; the counts are read
// after it has ended.
struct ServerScript {
  HRESULT initialize = S_OK;
  HRESULT load = S_OK;
  bool docked = false;
  std::function<void(platform::player::Engine&)> configure;
  std::atomic<int> loads{0};
};

// The per-session server's object as the session thread binds it: it makes the player in the
// caller's thread, where the player's engine then lives.
class CTestServer final : public platform::ComObject<IWMPProxy, IConnectionPointContainer> {
 public:
  explicit CTestServer(ServerScript& p_Script)
      : m_Script(p_Script), m_Events(m_Points.Add(platform::IidOf<_IWMPEventSinkEvents>)) {}
  HRESULT InitializePlayer(IUnknown** p_ppPlayer) override {
    if (FAILED(m_Script.initialize)) return m_Script.initialize;
    m_pEngine = platform::player::Engine::Create(
        platform::player::Library::FromFile(PLAYER_SAMPLE_LIBRARY));
    m_pEngine->SetDocked(m_Script.docked);
    if (m_Script.configure) m_Script.configure(*m_pEngine);
    const ComPtr<IWMPPlayer4> l_spPlayer = m_pEngine->Player();
    return l_spPlayer->QueryInterface(platform::IidOf<IUnknown>,
                                      reinterpret_cast<void**>(p_ppPlayer));
  }
  HRESULT LoadQuillombMonitor() override {
    ++m_Script.loads;
    return m_Script.load;
  }
  HRESULT UnloadQuillombMonitor() override { return S_OK; }
  HRESULT FindConnectionPoint(REFIID p_Iid, IConnectionPoint** p_ppPoint) override {
    return m_Points.Find(p_Iid, p_ppPoint);
  }

 private:
  ServerScript& m_Script;
  platform::ConnectionPoints m_Points;
  platform::ConnectionPoint& m_Events;
  std::shared_ptr<platform::player::Engine> m_pEngine;
};

class CTestServerFactory final : public platform::ComObject<IClassFactory> {
 public:
  explicit CTestServerFactory(ServerScript& p_Script) : m_Script(p_Script) {}
  HRESULT CreateInstance(IUnknown*, REFIID p_Iid, void** p_ppObject) override {
    return platform::MakeObject<CTestServer>(m_Script)->QueryInterface(p_Iid, p_ppObject);
  }

 private:
  ServerScript& m_Script;
};

std::u16string Named(const char16_t* p_szBase, std::uint32_t p_dwSession) {
  return platform::Format(std::u16string_view(u"%s%d"), p_szBase, p_dwSession);
}

bool Exists(const std::u16string& p_Name) { return static_cast<bool>(Event::Open(p_Name).handle); }

// The layer's clock runs fast in tests; a start-up on a loaded machine gets ten minutes of it.
bool WaitSet(const Event& p_hEvent, Timeout p_Timeout = Timeout(600000)) {
  return platform::WaitForObject(p_hEvent.Ref(), p_Timeout).Signalled(0);
}

std::vector<std::u16string> WrittenTexts(const LogRecorder& p_Log) {
  std::vector<std::u16string> l_Texts;
  for (const LogRecorder::Entry& l_Entry : p_Log.Entries()) {
    if ((l_Entry.flags & LOG_WRITE) != 0) l_Texts.push_back(l_Entry.text);
  }
  return l_Texts;
}

class SessionThread : public ::testing::Test {
 protected:
  SessionThread() : m_dwSession(platform::ProcessSessionId()) {
    PurgeMediaPlayerEvents();
    while (TakeFirstDeviceOutput()) {
    }
  }
  ~SessionThread() override {
    if (m_nCookie != 0) CoRevokeClassObject(m_nCookie);
    while (TakeFirstDeviceOutput()) {
    }
  }
  void RegisterServer() {
    m_spFactory = platform::MakeObject<CTestServerFactory>(m_Script);
    ASSERT_EQ(CoRegisterClassObject(CLSID_WMPProxy, m_spFactory.get(), CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTIPLEUSE, &m_nCookie),
              S_OK);
  }
  // Starts the block's thread and waits for the end of its start-up.
  void StartBlock() {
    m_pBlock = std::make_unique<CUserControlBlock>(m_dwSession);
    m_pBlock->StartSessionThread();
    const Event l_hInitialized =
        Event::Open(Named(u"USER_SESSION_THREAD_INITIALIZED", m_dwSession)).handle;
    ASSERT_TRUE(WaitSet(l_hInitialized));
  }
  void StopBlock() {
    const Event l_hDone = CreateAutoResetEvent();
    m_pBlock->StopSessionThread(l_hDone);
    m_pBlock.reset();
  }
  std::u16string ThreadText(const char16_t* p_szFormat) {
    for (const std::u16string& l_Text : m_Log.Texts()) {
      if (l_Text.starts_with(u"UserWindowsMediaPlayer Thread ")) {
        const std::u16string l_Id = l_Text.substr(30, l_Text.find(u' ', 30) - 30);
        return platform::Format(std::u16string_view(p_szFormat), l_Id);
      }
    }
    return {};
  }

  const std::uint32_t m_dwSession;
  ServerScript m_Script;
  ComPtr<CTestServerFactory> m_spFactory;
  DWORD m_nCookie = 0;
  std::unique_ptr<CUserControlBlock> m_pBlock;
  LogRecorder m_Log;
};

TEST_F(SessionThread, AStartedSessionDrivesItsMenuAndSignalsTheTray) {
  RegisterServer();
  const Event l_hOutput = CreateAutoResetEvent(u"REMOTE_DEVICE_OUTPUT_DATA");
  StartBlock();
  // A page shows that the loop runs, so the start-up is over.
  m_pBlock->SignalButton(kButtonDown);
  ASSERT_TRUE(WaitSet(l_hOutput));
  const std::optional<CDeviceData> l_Page = TakeFirstDeviceOutput();
  ASSERT_TRUE(l_Page.has_value());
  EXPECT_EQ(l_Page->GetScreenType(), 3);
  EXPECT_EQ(l_Page->GetSelectedLine(), 1);

  EXPECT_TRUE(WrittenTexts(m_Log).empty());
  EXPECT_EQ(m_Script.loads.load(), 1);
  const Event l_hLogon =
      Event::Open(Named(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", m_dwSession)).handle;
  EXPECT_TRUE(WaitSet(l_hLogon, Timeout(0)));
  const Event l_hShutdown =
      Event::Open(Named(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE", m_dwSession)).handle;
  ASSERT_TRUE(l_hShutdown);
  EXPECT_TRUE(Exists(Named(u"Global\\WMPAlbumPollEvent", m_dwSession)));

  StopBlock();
  EXPECT_TRUE(WaitSet(l_hShutdown, Timeout(0)));
  const std::vector<std::u16string> l_Texts = m_Log.Texts();
  const auto l_Position = [&](const std::u16string& p_Text) {
    return std::find(l_Texts.begin(), l_Texts.end(), p_Text) - l_Texts.begin();
  };
  // Everything is released before the apartment ends.
  EXPECT_LT(l_Position(u"MusicLibrary deleted"), l_Position(u"l_spPlayer.Release"));
  EXPECT_LT(l_Position(u"l_pIProxyServer.Release"),
            l_Position(ThreadText(u"UserWindowsMediaPlayer Thread %s Ends")));
}

TEST_F(SessionThread, ADockedPlayerLoadsNoMonitor) {
  m_Script.docked = true;
  RegisterServer();
  const Event l_hOutput = CreateAutoResetEvent(u"REMOTE_DEVICE_OUTPUT_DATA");
  StartBlock();
  m_pBlock->SignalButton(kButtonDown);
  ASSERT_TRUE(WaitSet(l_hOutput));
  EXPECT_TRUE(WrittenTexts(m_Log).empty());
  EXPECT_TRUE(Exists(Named(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", m_dwSession)));
  StopBlock();
  EXPECT_EQ(m_Script.loads.load(), 0);
}

// Each failure writes its messages in order; the thread then ends without the tray's events
// ever having existed.
TEST_F(SessionThread, FailedStartUpsWriteTheirMessagesInOrder) {
  struct Case {
    const char* name;
    bool registered;
    std::function<void(ServerScript&)> script;
    std::vector<std::u16string> written;
  };
  const std::u16string l_Tail = u"EstablishEventsConnectionPoint Fails";
  const std::vector<Case> l_Cases = {
      {"no server", false, [](ServerScript&) {},
       {u"pMoniker->BindToObject fails with 80040154", u"CreateRemoteMediaPlayer fails with 80040154",
        u"CreateRemoteMediaPlayer fails with 80040154", l_Tail}},
      {"player refused", true, [](ServerScript& p) { p.initialize = E_FAIL; },
       {u"p_pIProxyServer->InitializePlayer fails with 80004005",
        u"CreateRemoteMediaPlayer fails with 80004005",
        u"CreateRemoteMediaPlayer fails with 80004005", l_Tail}},
      {"play state", true,
       [](ServerScript& p) {
         p.configure = [](platform::player::Engine& e) {
           e.Monitor().Fail<&IWMPPlayer4::get_playState>(E_FAIL);
         };
       },
       {u"CurrentPlayState fails with 80004005", l_Tail}},
      {"monitor", true, [](ServerScript& p) { p.load = E_FAIL; },
       {u"LoadQuillombMonitor Fails with error 80004005", l_Tail}},
      {"application", true,
       [](ServerScript& p) {
         p.configure = [](platform::player::Engine& e) {
           e.Monitor().Fail<&IWMPPlayer4::get_playerApplication>(E_FAIL);
         };
       },
       kEdition == Edition::Second
           ? std::vector<std::u16string>{u"get_playerApplication fails with 80004005", l_Tail}
           : std::vector<std::u16string>{l_Tail}},
  };
  for (const Case& l_Case : l_Cases) {
    m_Script.initialize = S_OK;
    m_Script.load = S_OK;
    m_Script.configure = nullptr;
    l_Case.script(m_Script);
    if (l_Case.registered) RegisterServer();
    m_Log.Clear();
    StartBlock();
    StopBlock();
    std::vector<std::u16string> l_Expected = l_Case.written;
    l_Expected.push_back(ThreadText(u"UserPlayerControlBlock Initialization fails on thread %s"));
    EXPECT_EQ(WrittenTexts(m_Log), l_Expected) << l_Case.name;
    EXPECT_FALSE(m_Log.Contains(u"EstablishNavigationEventsConnectionPoint Fails"));
    EXPECT_FALSE(Exists(Named(u"Global\\WTS_LOGON_INITIALIZATION_COMPLETE", m_dwSession)))
        << l_Case.name;
    EXPECT_FALSE(Exists(Named(u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE", m_dwSession)))
        << l_Case.name;
    if (m_nCookie != 0) {
      CoRevokeClassObject(m_nCookie);
      m_nCookie = 0;
    }
  }
}

// A server that is still starting answers 0x800700E9: the binding polls five more times, a
// second apart, and then gives up.
TEST_F(SessionThread, AServerThatNeverRegistersIsPolledSixTimes) {
  const std::filesystem::path l_Script = platform::PlatformRoot() / "slow-server.sh";
  {
    std::ofstream l_File(l_Script);
    l_File << "#!/bin/sh\nexec sleep 30\n";
  }
  std::filesystem::permissions(l_Script, std::filesystem::perms::owner_all);
  ASSERT_TRUE(platform::RegisterLocalServer(
      CLSID_WMPProxy, platform::FromUtf8(l_Script.string()), u"Ruvello.WMPProxy",
      platform::GuidLiteral(u"{36EA6C0F-53DF-4CEF-A766-C7FB9592DD2C}")));
  StartBlock();
  StopBlock();
  const std::filesystem::path l_Starting =
      platform::PlatformRoot() / "classes" / std::to_string(m_dwSession) /
      (platform::ToUtf8(platform::FormatGuid(CLSID_WMPProxy)) + ".starting");
  std::ifstream l_Pid(l_Starting);
  pid_t l_nServer = 0;
  l_Pid >> l_nServer;
  ASSERT_GT(l_nServer, 0);
  kill(l_nServer, SIGKILL);
  std::filesystem::remove(l_Starting);
  platform::RegistryDeleteKey(platform::RegistryHive::ClassesRoot,
                               u"CLSID\\" + platform::FormatGuid(CLSID_WMPProxy));

  std::vector<std::u16string> l_Polls;
  for (const std::u16string& l_Text : m_Log.Texts()) {
    if (l_Text.starts_with(u"Polling BindToObject")) l_Polls.push_back(l_Text);
  }
  ASSERT_EQ(l_Polls.size(), 5u);
  EXPECT_EQ(l_Polls[0], u"Polling BindToObject....  1 last response 800700e9");
  EXPECT_EQ(l_Polls[4], u"Polling BindToObject....  5 last response 800700e9");
  EXPECT_EQ(WrittenTexts(m_Log).at(0), u"pMoniker->BindToObject fails with 800700e9");
}

}  // namespace
