#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "common/tests/support/LogRecorder.h"
#include "platform/base/Process.h"
#include "platform/base/Time.h"
#include "platform/com/Apartment.h"
#include "platform/com/Registry.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/services/EventLog.h"
#include "service/host/TamsvardCommandLine.h"
#include "service/host/TamsvardInterfaces.h"
#include "service/host/TamsvardModule.h"
#include "service/host/TamsvardRegistration.h"
#include "service/host/TamsvardResources.h"
#include "service/session/MediaPlayerEvents.h"

namespace {

using platform::Event;
using platform::RegistryGetValue;
using platform::RegistryHive;
using platform::Timeout;

TEST(TamsvardCommandLine, RegistrationWordsAfterADashOrSlashInAnyCase) {
  struct Case {
    std::vector<std::string_view> words;
    TamsvardRegistration registration;
  };
  const Case kCases[] = {
      {{"-RegServer"}, TamsvardRegistration::Register},
      {{"/unregserver"}, TamsvardRegistration::Unregister},
      {{"-Service", "/RegServer"}, TamsvardRegistration::Register},
      {{"-UnregServer", "-RegServer"}, TamsvardRegistration::Unregister},
      {{"-service", "-AutoStart"}, TamsvardRegistration::Service},
      {{"/SERVICE"}, TamsvardRegistration::Service},
      {{"-Start"}, TamsvardRegistration::None},
      {{"Service", "RegServer"}, TamsvardRegistration::None},
      {{"-Services"}, TamsvardRegistration::None},
      {{}, TamsvardRegistration::None},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << (c.words.empty() ? "(none)" : c.words.front()));
    EXPECT_EQ(ParseTamsvardCommandLine(c.words), c.registration);
  }
}

TEST(TamsvardCommandLine, SwitchesAreFoundByExactSearchAndTheFirstPresentWins) {
  struct Case {
    std::u16string_view commandLine;
    ServiceSwitch found;
  };
  const Case kCases[] = {
      {u"Tamsvard -Service -AutoStart", ServiceSwitch::AutoStart},
      {u"Tamsvard -RegServer -Stop -Start", ServiceSwitch::Start},
      {u"Tamsvard -Stop -AutoStart", ServiceSwitch::AutoStart},
      {u"Tamsvard -Service -Stop", ServiceSwitch::Stop},
      {u"Tamsvard -Service -start -autostart -stop", ServiceSwitch::None},
      {u"Tamsvard /Start", ServiceSwitch::None},
      {u"Tamsvard -Service", ServiceSwitch::None},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FindServiceSwitch(c.commandLine), c.found) << std::string(c.commandLine.begin(),
                                                                        c.commandLine.end());
  }
}

TEST(TamsvardRegistration, TheDescriptionFollowsThePrimaryLanguageWithTheVersion) {
  DeclareTamsvardResources();
  const std::u16string kEnglish =
      u"Version 1.48 Provides the interface for the Calvora Remote Control Device";
  struct Case {
    platform::LanguageId userInterface;
    platform::LanguageId description;
    std::u16string text;
  };
  const Case kCases[] = {
      {0x0409, 1033, kEnglish},
      {0x0809, 1033, kEnglish},
      {0x0407, 1031,
       u"V1.48 Stellt die Schnittstelle f\u00fcr das Calvora Fernbedienger\u00e4t zur Verf\u00fcgung"},
      {0x0C0A, 1034,
       u"Version 1.48 Proporciona el interfaz para el dispositivo de mando a distancia Calvora"},
      {0x040C, 3084,
       u"Version 1.48 Fournit l'interface pour le dispositif de t\u00e9l\u00e9commande Calvora"},
      {0x0411, 1041, kEnglish},
      {0x0000, 2048, kEnglish},
      // Italian has no text of its own: the loader's own choice, which is English here.
      {0x0410, 0, kEnglish},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.userInterface);
    EXPECT_EQ(DescriptionLanguage(c.userInterface), c.description);
    EXPECT_EQ(ServiceDescription(DescriptionLanguage(c.userInterface), u"1.48"), c.text);
  }
  EXPECT_EQ(ServiceDescription(1031, u""),
            u"V Stellt die Schnittstelle f\u00fcr das Calvora Fernbedienger\u00e4t zur Verf\u00fcgung");
  EXPECT_EQ(ReadProductVersion(u"NoSuchProgram.exe"), u"");
}

TEST(TamsvardRegistration, TheClassAndTypeLibraryAreRegisteredAndRemovedWhole) {
  const std::u16string classKey = u"CLSID\\" + platform::FormatGuid(CLSID_HalmavetEventSink);
  const std::u16string libKey = u"TypeLib\\" + platform::FormatGuid(LIBID_TamsvardLib);
  ASSERT_EQ(RegisterTamsvardClasses(), S_OK);
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, classKey, u""), u"HalmavetEventSink Class");
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, classKey + u"\\LocalServer32", u""),
            platform::ModulePath());
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, classKey, u"AppID"),
            platform::FormatGuid(APPID_Tamsvard));
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, classKey + u"\\TypeLib", u""),
            platform::FormatGuid(LIBID_TamsvardLib));
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, u"Tamsvard.HalmavetEvent\\CurVer", u""),
            u"Tamsvard.HalmavetEve.1");
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot, libKey + u"\\1.0", u""),
            u"Tamsvard 1.0 Type Library");
  EXPECT_EQ(RegistryGetValue(RegistryHive::ClassesRoot,
                             u"Interface\\" + platform::FormatGuid(
                                                  platform::IidOf<IHalmavetEventSink>),
                             u""),
            u"IHalmavetEventSink");
  // Declared in the library only: no class of its own.
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot,
                                u"CLSID\\" + platform::FormatGuid(CLSID_WMPEventSinkOld), u""));

  ASSERT_EQ(UnregisterTamsvardClasses(), S_OK);
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot, classKey, u""));
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot, u"Tamsvard.HalmavetEve.1", u""));
  EXPECT_FALSE(RegistryGetValue(RegistryHive::ClassesRoot, libKey + u"\\1.0", u""));
}

// Stand-ins for the five workers: each notes its thread and its end, and ends after its
// terminate event, or, while the test holds them, only once the test lets them go as well.
struct WorkerRecord {
  std::atomic<std::uint32_t> thread{0};
  std::atomic<bool> ended{false};
};
std::array<WorkerRecord, kWorkerThreadCount> g_Workers;
std::atomic<bool> g_bHoldWorkers{false};
constexpr std::u16string_view kReleaseEvent = u"TamsvardTestReleaseWorkers";

template <WorkerThread Worker>
std::uint32_t StandIn(void*) {
  constexpr auto kIndex = static_cast<std::size_t>(Worker);
  g_Workers[kIndex].thread = platform::CurrentThreadId();
  const auto terminate = Event::Open(kWorkerTerminateEvents[kIndex]);
  platform::WaitForObject(terminate.handle.Ref(), platform::kInfinite);
  if (g_bHoldWorkers) {
    const auto release = Event::Create(platform::EventReset::Manual, false, kReleaseEvent);
    platform::WaitForObject(release.handle.Ref(), platform::kInfinite);
  }
  g_Workers[kIndex].ended = true;
  return 0;
}

constexpr WorkerProcedures kStandIns = {
    StandIn<WorkerThread::SessionListener>, StandIn<WorkerThread::SimulatorInput>,
    StandIn<WorkerThread::SimulatorOutput>, StandIn<WorkerThread::DeviceInput>,
    StandIn<WorkerThread::DeviceOutput>};

class TamsvardModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (WorkerRecord& l_Worker : g_Workers) {
      l_Worker.thread = 0;
      l_Worker.ended = false;
    }
    g_bHoldWorkers = false;
    m_Release = Event::Create(platform::EventReset::Manual, false, kReleaseEvent).handle;
  }
  void TearDown() override { m_Release.Set(); }

  static bool AllStarted() {
    return std::ranges::all_of(g_Workers, [](const WorkerRecord& w) { return w.thread != 0; });
  }
  static void WaitUntilAllStarted() {
    for (int l_nLook = 0; l_nLook < 2000 && !AllStarted(); ++l_nLook) {
      platform::Sleep(Timeout(10));
    }
  }

  LogRecorder m_Log;
  Event m_Release;
};

TEST_F(TamsvardModuleTest, APlainServerStartsTheWorkersInOrderAndStopsThemAll) {
  CTamsvardModule module(kStandIns);
  module.m_bService = false;
  ASSERT_EQ(module.PreMessageLoop(0), S_OK);
  EXPECT_TRUE(m_Log.Contains(u"RegisterDeviceNotification Succeeds"));
  EXPECT_TRUE(m_Log.Contains(u"PreMessageLoop Succeeds"));
  WaitUntilAllStarted();
  ASSERT_TRUE(AllStarted());
  // The system hands out thread ids in increasing order, so they show the order of the starts.
  for (std::size_t l_nWorker = 1; l_nWorker < kWorkerThreadCount; ++l_nWorker) {
    EXPECT_LT(g_Workers[l_nWorker - 1].thread.load(), g_Workers[l_nWorker].thread.load())
        << l_nWorker;
  }

  module.OnStop();
  for (const WorkerRecord& l_Worker : g_Workers) EXPECT_TRUE(l_Worker.ended);
  const std::vector<std::u16string> l_Texts = m_Log.Texts();
  const std::vector<std::u16string> l_Expected = {
      u"CTamsvardModule OnStop",
      u"RemoteDeviceInputThread Shutdown Succeeds",
      u"RemoteDeviceOutputThread Shutdown Succeeds",
      u"SimulateDeviceInputThread Shutdown Succeeds",
      u"SimulateDeviceOutputThread Shutdown Succeeds",
      u"WTSLogonListenerThread Shutdown Succeeds"};
  const auto l_First = std::ranges::find(l_Texts, l_Expected.front());
  ASSERT_NE(l_First, l_Texts.end());
  EXPECT_EQ(std::vector<std::u16string>(l_First, l_Texts.end()), l_Expected);
  EXPECT_FALSE(Event::Open(kWorkerTerminateEvents[0]).handle) << "the terminate events are closed";
}

TEST_F(TamsvardModuleTest, WorkersThatDoNotEndAreWaitedForInOrderEachWithItsTimeOut) {
  g_bHoldWorkers = true;
  CTamsvardModule module(kStandIns);
  module.m_bService = false;
  ASSERT_EQ(module.PreMessageLoop(0), S_OK);
  WaitUntilAllStarted();
  m_Log.Clear();
  const std::uint32_t l_nBefore = platform::TickCount();
  module.OnStop();
  const std::uint32_t l_nWaited = platform::TickCount() - l_nBefore;
  EXPECT_EQ(m_Log.Texts(), (std::vector<std::u16string>{
                               u"CTamsvardModule OnStop",
                               u"RemoteDeviceInputThread Shutdown Times Out 258",
                               u"RemoteDeviceOutputThread Shutdown Times Out 258",
                               u"SimulateDeviceInputThread Shutdown Times Out 258",
                               u"SimulateDeviceOutputThread Shutdown Times Out 258",
                               u"WTSLogonListenerThread Shutdown Times Out 258"}));
  // 2000 + 2000 + 2000 + 4000 + 10000 ms of the layer's clock, one wait after another.
  EXPECT_GE(l_nWaited, 20000u);
  for (const WorkerRecord& l_Worker : g_Workers) EXPECT_FALSE(l_Worker.ended);
  // The module keeps the workers it left and joins them when it goes.
  m_Release.Set();
}

TEST_F(TamsvardModuleTest, OnlyTheSlowListenerTimesOutAndTheOthersEndInTime) {
  CTamsvardModule module(
      {[](void*) -> std::uint32_t {
         const auto release = Event::Create(platform::EventReset::Manual, false, kReleaseEvent);
         platform::WaitForObject(release.handle.Ref(), platform::kInfinite);
         return 0;
       },
       kStandIns[1], kStandIns[2], kStandIns[3], kStandIns[4]});
  module.m_bService = false;
  ASSERT_EQ(module.PreMessageLoop(0), S_OK);
  m_Log.Clear();
  module.OnStop();
  EXPECT_TRUE(m_Log.Contains(u"SimulateDeviceOutputThread Shutdown Succeeds"));
  EXPECT_TRUE(m_Log.Contains(u"WTSLogonListenerThread Shutdown Times Out 258"));
  for (std::size_t l_nWorker = 1; l_nWorker < kWorkerThreadCount; ++l_nWorker) {
    EXPECT_TRUE(g_Workers[l_nWorker].ended) << l_nWorker;
  }
  m_Release.Set();
}

// A module whose device notification registration fails.
class CModuleWithoutDeviceNotices final : public CTamsvardModule {
 public:
  using CTamsvardModule::CTamsvardModule;
  HRESULT RegisterForDeviceNotifications() override { return E_FAIL; }
};

TEST_F(TamsvardModuleTest, AFailedDeviceRegistrationStopsAndJoinsTheStartedWorkers) {
  CModuleWithoutDeviceNotices module(kStandIns);
  module.m_bService = false;
  EXPECT_EQ(module.PreMessageLoop(0), E_FAIL);
  EXPECT_FALSE(m_Log.Contains(u"PreMessageLoop Succeeds"));
  for (std::size_t l_nWorker = 0; l_nWorker < kWorkerThreadCount; ++l_nWorker) {
    EXPECT_NE(g_Workers[l_nWorker].thread.load(), 0u) << "started " << l_nWorker;
    EXPECT_TRUE(g_Workers[l_nWorker].ended) << "ended " << l_nWorker;
  }
  EXPECT_TRUE(m_Log.Contains(u"WTSLogonListenerThread Shutdown Succeeds"));
}

TEST_F(TamsvardModuleTest, WithoutTheServiceManagerTheHandlerFailsAndNothingStarts) {
  CTamsvardModule module(kStandIns);
  EXPECT_EQ(module.PreMessageLoop(0), E_FAIL);
  EXPECT_TRUE(m_Log.Contains(u"InitializeSecurity"));
  const auto l_Security = platform::ProcessSecurity();
  ASSERT_TRUE(l_Security);
  EXPECT_EQ(l_Security->authenticationLevel, RPC_C_AUTHN_LEVEL_NONE);
  EXPECT_EQ(l_Security->impersonationLevel, RPC_C_IMP_LEVEL_IMPERSONATE);
  EXPECT_TRUE(m_Log.Contains(u"RegisterServiceCtrlHandlerEx Fails With Error 424"));
  platform::Sleep(Timeout(100));
  for (const WorkerRecord& l_Worker : g_Workers) EXPECT_EQ(l_Worker.thread.load(), 0u);
  EXPECT_FALSE(Event::Open(kWorkerTerminateEvents[0]).handle);
}

platform::DEV_BROADCAST_DEVICEINTERFACE Broadcast(std::u16string_view p_strName,
                                                  std::uint32_t p_nDeviceType =
                                                      DBT_DEVTYP_DEVICEINTERFACE) {
  platform::DEV_BROADCAST_DEVICEINTERFACE l_Broadcast;
  l_Broadcast.dbcc_size = sizeof l_Broadcast;
  l_Broadcast.dbcc_devicetype = p_nDeviceType;
  std::ranges::copy(p_strName, l_Broadcast.dbcc_name);
  return l_Broadcast;
}

TEST_F(TamsvardModuleTest, DeviceEventsOfTheRemoteSetItsEventsAndOthersAreOnlyLogged) {
  CTamsvardModule module(kStandIns);
  // As a service the device events are made before the handler; here its registration fails.
  ASSERT_EQ(module.PreMessageLoop(0), E_FAIL);
  const std::array<Event, 4> l_Events = {
      Event::Open(kInputDeviceArrivesEvent).handle, Event::Open(kOutputDeviceArrivesEvent).handle,
      Event::Open(kInputDeviceRemovedEvent).handle, Event::Open(kOutputDeviceRemovedEvent).handle};
  for (const Event& l_Event : l_Events) ASSERT_TRUE(l_Event);
  const auto l_Set = [&l_Events] {
    std::array<bool, 4> l_bSet{};
    for (std::size_t l_nEvent = 0; l_nEvent < l_Events.size(); ++l_nEvent) {
      l_bSet[l_nEvent] =
          platform::WaitForObject(l_Events[l_nEvent].Ref(), Timeout(0)).Signalled(0);
    }
    return l_bSet;
  };
  constexpr std::u16string_view kRemote = u"\\\\?\\hid#vid_fffe&pid_0003#1";
  constexpr std::u16string_view kOther = u"\\\\?\\HID#VID_046D&PID_C52B#2";
  struct Case {
    std::uint32_t eventType;
    std::u16string_view name;
    std::uint32_t deviceType;
    std::array<bool, 4> set;
    std::u16string_view logged;
  };
  const Case kCases[] = {
      {DBT_DEVICEARRIVAL, kRemote, DBT_DEVTYP_DEVICEINTERFACE, {true, true, false, false},
       u"WMPHandlerExCallback sees DBT_DEVICEARRIVAL for \\\\?\\hid#vid_fffe&pid_0003#1"},
      {DBT_DEVICEREMOVECOMPLETE, kRemote, DBT_DEVTYP_DEVICEINTERFACE, {false, false, true, true},
       u"WMPHandlerExCallback sees DBT_DEVICEREMOVECOMPLETE for \\\\?\\hid#vid_fffe&pid_0003#1"},
      {DBT_DEVICEARRIVAL, kOther, DBT_DEVTYP_DEVICEINTERFACE, {},
       u"WMPHandlerExCallback sees DBT_DEVICEARRIVAL for \\\\?\\HID#VID_046D&PID_C52B#2"},
      {DBT_DEVICEREMOVECOMPLETE, kOther, DBT_DEVTYP_DEVICEINTERFACE, {},
       u"WMPHandlerExCallback sees DBT_DEVICEREMOVECOMPLETE for \\\\?\\HID#VID_046D&PID_C52B#2"},
      {DBT_DEVICEARRIVAL, kRemote, 3, {}, {}},
      {DBT_DEVICEQUERYREMOVE, kRemote, DBT_DEVTYP_DEVICEINTERFACE, {},
       u"WMPHandlerExCallback sees DBT_DEVICEQUERYREMOVE"},
      {DBT_DEVICEQUERYREMOVEFAILED, kRemote, DBT_DEVTYP_DEVICEINTERFACE, {},
       u"WMPHandlerExCallback sees DBT_DEVICEQUERYREMOVEFAILED"},
      {DBT_DEVICEREMOVEPENDING, kRemote, DBT_DEVTYP_DEVICEINTERFACE, {},
       u"WMPHandlerExCallback sees DBT_DEVICEREMOVEPENDING"},
      {0x0007, kRemote, DBT_DEVTYP_DEVICEINTERFACE, {},
       u"WMPHandlerExCallback sees SERVICE_CONTROL_DEVICEEVENT With EventType 7"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.eventType << " type " << c.deviceType);
    m_Log.Clear();
    platform::DEV_BROADCAST_DEVICEINTERFACE l_Broadcast = Broadcast(c.name, c.deviceType);
    EXPECT_EQ(module.WMPHandlerExCallback(platform::SERVICE_CONTROL_DEVICEEVENT, c.eventType,
                                          &l_Broadcast, &module),
              0u);
    EXPECT_EQ(l_Set(), c.set);
    if (c.logged.empty()) {
      EXPECT_TRUE(m_Log.Texts().empty());
    } else {
      EXPECT_EQ(m_Log.Texts(), std::vector<std::u16string>{std::u16string(c.logged)});
    }
  }
}

TEST_F(TamsvardModuleTest, TheShutdownControlCallsNoOnStopAndAnUnknownOneIsReported) {
  CTamsvardModule module(kStandIns);
  module.m_bService = false;
  ASSERT_EQ(module.PreMessageLoop(0), S_OK);
  const std::size_t l_nLogged = platform::ReadEventLog().size();
  for (const std::uint32_t l_nControl :
       {platform::SERVICE_CONTROL_SHUTDOWN, platform::SERVICE_CONTROL_PAUSE,
        platform::SERVICE_CONTROL_CONTINUE, platform::SERVICE_CONTROL_INTERROGATE}) {
    EXPECT_EQ(module.WMPHandlerExCallback(l_nControl, 0, nullptr, &module), 0u);
  }
  EXPECT_FALSE(m_Log.Contains(u"CTamsvardModule OnStop"));
  for (const WorkerRecord& l_Worker : g_Workers) EXPECT_FALSE(l_Worker.ended);
  EXPECT_EQ(platform::ReadEventLog().size(), l_nLogged);

  EXPECT_EQ(module.WMPHandlerExCallback(0x80, 0, nullptr, &module), 0u);
  const std::vector<platform::EventLogRecord> l_Records = platform::ReadEventLog();
  ASSERT_EQ(l_Records.size(), l_nLogged + 1);
  EXPECT_EQ(l_Records.back().source, u"Tamsvard");
  EXPECT_EQ(l_Records.back().strings, std::vector<std::u16string>{u"Bad service request"});

  EXPECT_EQ(module.WMPHandlerExCallback(platform::SERVICE_CONTROL_STOP, 0, nullptr, &module), 0u);
  EXPECT_TRUE(m_Log.Contains(u"CTamsvardModule OnStop"));
  for (const WorkerRecord& l_Worker : g_Workers) EXPECT_TRUE(l_Worker.ended);
}

// The device threads queue records up to their own end, after the listener's: the queue's lock
// lives for the whole program, not for the listener's run.
TEST_F(TamsvardModuleTest, TheEventQueueServesAWorkerThatOutlivesTheListener) {
  const Event l_ListenerEnded =
      Event::Create(platform::EventReset::Manual, false, u"TamsvardTestListenerEnded").handle;
  PurgeMediaPlayerEvents();
  CTamsvardModule module(
      {[](void*) -> std::uint32_t {
         const auto terminate = Event::Open(kWorkerTerminateEvents[0]);
         platform::WaitForObject(terminate.handle.Ref(), platform::kInfinite);
         Event::Open(u"TamsvardTestListenerEnded").handle.Set();
         return 0;
       },
       kStandIns[1], kStandIns[2],
       [](void*) -> std::uint32_t {
         const auto terminate = Event::Open(kWorkerTerminateEvents[3]);
         platform::WaitForObject(terminate.handle.Ref(), platform::kInfinite);
         const auto listenerEnded = Event::Open(u"TamsvardTestListenerEnded");
         platform::WaitForObject(listenerEnded.handle.Ref(), platform::kInfinite);
         AppendMediaPlayerEvent(std::make_unique<CPlayerIdleTimeout>(kPlayerIdleTimeoutEventId));
         return 0;
       },
       kStandIns[4]});
  module.m_bService = false;
  ASSERT_EQ(module.PreMessageLoop(0), S_OK);
  module.OnStop();
  EXPECT_TRUE(m_Log.Contains(u"RemoteDeviceInputThread Shutdown Succeeds"));
  const std::unique_ptr<CMediaPlayerEventData> l_pRecord = TakeFirstMediaPlayerEvent();
  ASSERT_TRUE(l_pRecord);
  EXPECT_EQ(l_pRecord->GetEventId(), kPlayerIdleTimeoutEventId);
}

}  // namespace
