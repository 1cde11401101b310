// The service program as the service manager runs it: installed and registered by its command
// line, started, driven by device notices and stopped. Its workers are stand-ins that write their
// start and end to the event log (StandInService.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/Guid.h"
#include "platform/com/Registry.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/ChildProgram.h"
#include "platform/kernel/tests/Eventually.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/services/EventLog.h"
#include "platform/services/ServiceControl.h"
#include "service/device/tests/RemoteDescriptor.h"
#include "service/host/TamsvardInterfaces.h"

namespace {

using platform::ScHandle;
using platform::testing::ChildProgram;
using platform::testing::Eventually;
using platform::testing::HelperProcess;

constexpr std::u16string_view kService = u"Tamsvard";
constexpr auto kPatience = std::chrono::seconds(60);

// Runs the program with these words to its end; its exit code.
std::optional<int> RunProgram(const char* p_szProgram, std::vector<std::string> p_Words,
                              const std::map<std::string, std::string>& p_Changes = {}) {
  p_Words.insert(p_Words.begin(), p_szProgram);
  ChildProgram l_Program(std::move(p_Words), p_Changes);
  return l_Program.Wait(kPatience);
}
std::optional<int> RunTamsvard(std::vector<std::string> p_Words,
                               const std::map<std::string, std::string>& p_Changes = {}) {
  return RunProgram(TAMSVARD, std::move(p_Words), p_Changes);
}

std::vector<std::u16string> EventTexts(std::u16string_view p_strSource) {
  std::vector<std::u16string> l_Texts;
  for (const platform::EventLogRecord& l_Record : platform::ReadEventLog()) {
    if (l_Record.source == p_strSource && !l_Record.strings.empty()) {
      l_Texts.push_back(l_Record.strings.front());
    }
  }
  return l_Texts;
}

std::size_t CountOf(const std::vector<std::u16string>& p_Texts, std::u16string_view p_strText) {
  return static_cast<std::size_t>(std::ranges::count(p_Texts, p_strText));
}

// A service manager of the test's root in a process of its own, watching virtual HID devices.
class TamsvardServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pManager = std::make_unique<HelperProcess>(
        SERVICE_MANAGER_PROBE, std::vector<std::string>{},
        platform::testing::Environment{{"PLATFORM_HID", "virtual"}});
    ASSERT_EQ(m_pManager->Answer(), "ready");
    auto l_Manager = platform::OpenSCManager({}, u"ServicesActive", platform::SC_MANAGER_ALL_ACCESS);
    ASSERT_EQ(l_Manager.error, ERROR_SUCCESS);
    m_Manager = std::move(l_Manager.handle);
  }
  void TearDown() override {
    if (!m_Manager) return;
    RunTamsvard({"-UnregServer"});
    EXPECT_EQ(platform::ShutdownServiceManager(m_Manager), ERROR_SUCCESS);
    EXPECT_EQ(m_pManager->Answer(), "no answer");
  }

  ScHandle OpenTamsvard() const {
    return std::move(
        platform::OpenService(m_Manager, kService, platform::SERVICE_ALL_ACCESS).handle);
  }
  std::uint32_t State() const {
    const ScHandle l_Service = OpenTamsvard();
    platform::SERVICE_STATUS l_Status;
    if (!l_Service || platform::QueryServiceStatus(l_Service, l_Status) != ERROR_SUCCESS) return 0;
    return l_Status.dwCurrentState;
  }
  platform::ServiceConfig Config() const {
    platform::ServiceConfig l_Config;
    if (const ScHandle l_Service = OpenTamsvard()) {
      EXPECT_EQ(platform::QueryServiceConfig(l_Service, l_Config), ERROR_SUCCESS);
    }
    return l_Config;
  }
  bool WorkersAll(std::u16string_view p_strWhat, std::size_t p_nTimes) const {
    const std::vector<std::u16string> l_Texts = EventTexts(u"TamsvardWorkers");
    for (char16_t l_cWorker = u'0'; l_cWorker < u'5'; ++l_cWorker) {
      if (CountOf(l_Texts, std::u16string(1, l_cWorker) + u" " + std::u16string(p_strWhat)) !=
          p_nTimes) {
        return false;
      }
    }
    return true;
  }
  void Stop() {
    const ScHandle l_Service = OpenTamsvard();
    platform::SERVICE_STATUS l_Status;
    ASSERT_EQ(platform::ControlService(l_Service, platform::SERVICE_CONTROL_STOP, l_Status),
              ERROR_SUCCESS);
    ASSERT_TRUE(Eventually([this] { return State() == platform::SERVICE_STOPPED; }));
  }

  std::unique_ptr<HelperProcess> m_pManager;
  ScHandle m_Manager;
};

TEST_F(TamsvardServiceTest, InstalledAndStartedItRunsUntilStoppedWithEveryWorkerEnded) {
  ASSERT_EQ(RunTamsvard({"-Service", "-Start"}, {{"PLATFORM_UI_LANGUAGE", "en_US"}}), 0);
  ASSERT_TRUE(Eventually([this] { return State() == platform::SERVICE_RUNNING; }));
  const platform::ServiceConfig l_Config = Config();
  EXPECT_EQ(l_Config.startType, platform::SERVICE_DEMAND_START);
  // Built by appending: the optimised build's overlap check misreads a literal before a string.
  std::u16string l_Command(1, u'"');
  l_Command.append(platform::FromUtf8(TAMSVARD)).push_back(u'"');
  EXPECT_EQ(l_Config.binaryPathName, l_Command);
  EXPECT_EQ(l_Config.dependencies, std::vector<std::u16string>{u"RPCSS"});
  EXPECT_EQ(l_Config.description,
            u"Version 1.48 Provides the interface for the Calvora Remote Control Device");
  EXPECT_EQ(platform::RegistryGetValue(platform::RegistryHive::ClassesRoot,
                                       u"AppID\\" + platform::FormatGuid(APPID_Tamsvard),
                                       u"LocalService"),
            u"Tamsvard");
  ASSERT_TRUE(Eventually([this] { return WorkersAll(u"started", 1); }));
  EXPECT_EQ(CountOf(EventTexts(kService), u"Service started"), 1u);

  Stop();
  EXPECT_TRUE(WorkersAll(u"ended", 1));
  EXPECT_EQ(CountOf(EventTexts(kService), u"Service stopped"), 1u);
}

TEST_F(TamsvardServiceTest, AutoStartMakesItStartWithTheSystemAndStartsItInGerman) {
  ASSERT_EQ(RunTamsvard({"/service", "-AutoStart"}, {{"PLATFORM_UI_LANGUAGE", "de_DE"}}), 0);
  EXPECT_EQ(Config().startType, platform::SERVICE_AUTO_START);
  EXPECT_EQ(Config().description,
            u"V1.48 Stellt die Schnittstelle f\u00fcr das Calvora Fernbedienger\u00e4t zur "
            u"Verf\u00fcgung");
  EXPECT_TRUE(Eventually([this] { return State() == platform::SERVICE_RUNNING; }));
  Stop();
}

TEST_F(TamsvardServiceTest, InstallingAgainWhileItRunsStopsAndReplacesTheRunningService) {
  ASSERT_EQ(RunTamsvard({"-Service", "-Start"}), 0);
  ASSERT_TRUE(Eventually([this] { return State() == platform::SERVICE_RUNNING; }));
  ASSERT_TRUE(Eventually([this] { return WorkersAll(u"started", 1); }));

  ASSERT_EQ(RunTamsvard({"-Service", "-Stop", "-Start"}), 0);
  EXPECT_TRUE(WorkersAll(u"ended", 1));
  ASSERT_TRUE(Eventually([this] { return State() == platform::SERVICE_RUNNING; }));
  ASSERT_TRUE(Eventually([this] { return WorkersAll(u"started", 2); }));

  ASSERT_EQ(RunTamsvard({"-Service", "-Stop"}), 0) << "installed again, and not running";
  EXPECT_EQ(State(), platform::SERVICE_STOPPED);
  EXPECT_TRUE(WorkersAll(u"ended", 2));
}

TEST_F(TamsvardServiceTest, RegisteredAsAPlainServerThereIsNoServiceToStart) {
  ASSERT_EQ(RunTamsvard({"-Service"}), 0);
  ASSERT_EQ(RunTamsvard({"-RegServer", "-Start"}), 0);
  EXPECT_FALSE(OpenTamsvard());
  const std::u16string l_AppIdKey = u"AppID\\" + platform::FormatGuid(APPID_Tamsvard);
  EXPECT_EQ(platform::RegistryGetValue(platform::RegistryHive::ClassesRoot, l_AppIdKey, u""),
            u"Tamsvard");
  EXPECT_FALSE(platform::RegistryGetValue(platform::RegistryHive::ClassesRoot, l_AppIdKey,
                                          u"LocalService"));
  const std::u16string l_ClassKey = u"CLSID\\" + platform::FormatGuid(CLSID_HalmavetEventSink);
  EXPECT_EQ(
      platform::RegistryGetValue(platform::RegistryHive::ClassesRoot, l_ClassKey, u"AppID"),
      platform::FormatGuid(APPID_Tamsvard));

  ASSERT_EQ(RunTamsvard({"-UnregServer"}), 0);
  EXPECT_FALSE(platform::RegistryGetValue(platform::RegistryHive::ClassesRoot, l_AppIdKey, u""));
  EXPECT_FALSE(platform::RegistryGetValue(platform::RegistryHive::ClassesRoot, l_ClassKey, u""));
}

TEST_F(TamsvardServiceTest, ThePluggedRemoteSetsBothArrivalEventsOnceAndAnotherDeviceNone) {
  ASSERT_EQ(RunTamsvard({"-Service", "-Start"}), 0);
  ASSERT_TRUE(Eventually([this] { return WorkersAll(u"started", 1); }));
  const auto l_Open = [](std::u16string_view p_strName) {
    return platform::Event::Create(platform::EventReset::Auto, false, p_strName).handle;
  };
  const platform::Event l_InputArrives = l_Open(u"REMOTE_INPUT_DEVICE_ARRIVES");
  const platform::Event l_OutputArrives = l_Open(u"REMOTE_OUTPUT_DEVICE_ARRIVES");
  const platform::Event l_InputRemoved = l_Open(u"REMOTE_INPUT_DEVICE_REMOVED");
  const platform::Event l_OutputRemoved = l_Open(u"REMOTE_OUTPUT_DEVICE_REMOVED");
  const auto l_Signalled = [](const platform::Event& p_Event, platform::Timeout p_Timeout) {
    return platform::WaitForObject(p_Event.Ref(), p_Timeout).Signalled(0);
  };
  const platform::Timeout kLong(60000);

  // The other device's notices come first, so once the remote's have been handled so have they.
  auto l_pOther = platform::VirtualHidDevice::Plug({{0x046D, 0xC52B, 0}, RemoteDescriptor()});
  ASSERT_TRUE(l_pOther);
  auto l_pRemote =
      platform::VirtualHidDevice::Plug({{0xFFFE, 0x0003, 0}, RemoteDescriptor(), true});
  ASSERT_TRUE(l_pRemote);
  EXPECT_TRUE(l_Signalled(l_InputArrives, kLong));
  EXPECT_TRUE(l_Signalled(l_OutputArrives, kLong));
  l_pOther->Unplug();
  l_pRemote->Unplug();
  EXPECT_TRUE(l_Signalled(l_InputRemoved, kLong));
  EXPECT_TRUE(l_Signalled(l_OutputRemoved, kLong));
  for (const platform::Event* l_pEvent :
       {&l_InputArrives, &l_OutputArrives, &l_InputRemoved, &l_OutputRemoved}) {
    EXPECT_FALSE(l_Signalled(*l_pEvent, platform::Timeout(0))) << "set once only";
  }
  Stop();
}

// The program with its real workers, with the session manager beside the service manager.
class TamsvardProgramTest : public TamsvardServiceTest {
 protected:
  void SetUp() override {
    m_pSessions = std::make_unique<HelperProcess>(SESSION_MANAGER_PROBE,
                                                  std::vector<std::string>{"--windows"});
    ASSERT_EQ(m_pSessions->Answer(), "ready");
    TamsvardServiceTest::SetUp();
  }

  std::unique_ptr<HelperProcess> m_pSessions;
};

TEST_F(TamsvardProgramTest, StartedByTheManagerItRunsAndStopsWithItsListenerEnded) {
  const platform::Event l_ShutdownComplete =
      platform::Event::Create(platform::EventReset::Auto, false,
                              u"Global\\WMP_SERVICE_SHUTDOWN_COMPLETE")
          .handle;
  ASSERT_EQ(RunProgram(TAMSVARD_PROGRAM, {"-Service", "-AutoStart"},
                       {{"PLATFORM_UI_LANGUAGE", "es_ES"}}),
            0);
  EXPECT_EQ(Config().description,
            u"Version 1.48 Proporciona el interfaz para el dispositivo de mando a distancia "
            u"Calvora");
  ASSERT_TRUE(Eventually([this] { return State() == platform::SERVICE_RUNNING; }));
  EXPECT_EQ(CountOf(EventTexts(kService), u"Service started"), 1u);

  Stop();
  EXPECT_TRUE(platform::WaitForObject(l_ShutdownComplete.Ref(), platform::Timeout(0)).Signalled(0))
      << "the listener has run its stop sequence to its end";
  EXPECT_EQ(CountOf(EventTexts(kService), u"Service stopped"), 1u);
}

// Without a service manager the installation shows its box, which the control tool answers.
TEST(TamsvardInstallation, WithoutAServiceManagerItShowsItsBoxAndFails) {
  ChildProgram l_Program({TAMSVARD, "-Service"}, {});
  std::string l_strBox;
  ASSERT_TRUE(Eventually([&l_strBox] {
    ChildProgram l_List({PLATFORMCTL, "boxes"}, {});
    l_List.Wait(kPatience);
    l_strBox = l_List.Output();
    return l_strBox.find("Could not open Service Manager") != std::string::npos;
  }));
  EXPECT_NE(l_strBox.find("caption \"Tamsvard\""), std::string::npos) << l_strBox;
  EXPECT_EQ(l_Program.Wait(std::chrono::milliseconds(0)), std::nullopt) << "waits for the answer";
  ChildProgram l_Answer({PLATFORMCTL, "answer", l_strBox.substr(0, l_strBox.find(' ')), "ok"}, {});
  EXPECT_EQ(l_Answer.Wait(kPatience), 0);
  // E_FAIL, as far as an exit status carries it.
  EXPECT_EQ(l_Program.Wait(kPatience), 0x05);
}

}  // namespace
