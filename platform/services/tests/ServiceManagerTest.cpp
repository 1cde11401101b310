#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/hid/VirtualHidDevice.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Wait.h"
#include "platform/kernel/tests/HelperProcess.h"
#include "platform/services/EventLog.h"
#include "platform/services/ServiceControl.h"
#include "platform/sessions/Sessions.h"

namespace platform {
namespace {

using testing::HelperProcess;

constexpr std::u16string_view kName = u"TestService";

// A service manager of the test's root in a process of its own, watching virtual HID devices.
class ServiceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    running_ = Event::Create(EventReset::Auto, false, u"Global\\TestServiceRunning").handle;
    device_ = Event::Create(EventReset::Auto, false, u"Global\\TestServiceDevice").handle;
    manager_ = std::make_unique<HelperProcess>(SERVICE_MANAGER_PROBE, std::vector<std::string>{},
                                               testing::Environment{{"PLATFORM_HID", "virtual"}});
    ASSERT_EQ(manager_->Answer(), "ready");
    HandleResult<ScHandle> manager = OpenSCManager({}, u"ServicesActive", SC_MANAGER_ALL_ACCESS);
    ASSERT_EQ(manager.error, ERROR_SUCCESS);
    scm_ = std::move(manager.handle);
  }
  void TearDown() override {
    if (scm_) {
      // The next test of this process finds a root without the test's service.
      if (const HandleResult<ScHandle> left = OpenService(scm_, kName, SERVICE_ALL_ACCESS);
          left.handle) {
        DeleteService(left.handle);
      }
      EXPECT_EQ(ShutdownServiceManager(scm_), ERROR_SUCCESS);
      EXPECT_EQ(manager_->Answer(), "no answer");
    }
  }

  ScHandle Install(const std::u16string& command) {
    ServiceConfig config;
    config.serviceName = kName;
    config.displayName = u"Test service";
    config.binaryPathName = command;
    HandleResult<ScHandle> service = CreateService(scm_, config, SERVICE_ALL_ACCESS);
    EXPECT_EQ(service.error, ERROR_SUCCESS);
    return std::move(service.handle);
  }
  // The status once it is `state`; the manager reports what its services report, so a test
  // looks until the report has come.
  SERVICE_STATUS WaitForState(const ScHandle& service, std::uint32_t state) {
    SERVICE_STATUS status;
    for (int attempt = 0; attempt < 1000; ++attempt) {
      EXPECT_EQ(QueryServiceStatus(service, status), ERROR_SUCCESS);
      if (status.dwCurrentState == state) {
        break;
      }
      Sleep(Timeout(static_cast<long>(10 * testing::kTestTimeScale)));
    }
    return status;
  }
  bool Waited(const Event& event) {
    return WaitForObject(event.Ref(), Timeout(static_cast<long>(20000 * testing::kTestTimeScale)))
        .Signalled(0);
  }
  // What the test's service logged since the test began.
  std::vector<std::u16string> LoggedTexts() const {
    std::vector<std::u16string> texts;
    const std::vector<EventLogRecord> records = ReadEventLog();
    for (const EventLogRecord& record :
         std::span(records).subspan(std::min(records.size(), loggedBefore_))) {
      if (record.source == u"TestService" && !record.strings.empty()) {
        texts.push_back(record.strings[0]);
      }
    }
    return texts;
  }

  Event running_;
  Event device_;
  std::size_t loggedBefore_ = ReadEventLog().size();
  std::unique_ptr<HelperProcess> manager_;
  ScHandle scm_;
};

std::u16string Quoted(const char* path) { return u"\"" + FromUtf8(path) + u"\""; }

TEST_F(ServiceManagerTest, ServiceRunsReceivesDeviceEventsAndStopsAndIsDeleted) {
  ScHandle service = Install(Quoted(TEST_SERVICE));
  ASSERT_TRUE(service);
  SERVICE_STATUS status;
  ASSERT_EQ(QueryServiceStatus(service, status), ERROR_SUCCESS);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(ControlService(service, SERVICE_CONTROL_STOP, status), ERROR_SERVICE_NOT_ACTIVE);

  ASSERT_EQ(StartService(service), ERROR_SUCCESS);
  ASSERT_TRUE(Waited(running_));
  status = WaitForState(service, SERVICE_RUNNING);
  EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
  EXPECT_EQ(StartService(service), ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(ControlService(service, SERVICE_CONTROL_PAUSE, status), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(ControlService(service, SERVICE_CONTROL_SHUTDOWN, status), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(ControlService(service, SERVICE_CONTROL_INTERROGATE, status), ERROR_SUCCESS);
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);

  // The service runs in the services' session as a process group of its own.
  std::uint32_t session = 99;
  for (const WTS_PROCESS_INFO& process : WTSEnumerateProcesses().value_or(
           std::vector<WTS_PROCESS_INFO>{})) {
    if (process.ProcessName == u"test_service.exe") {
      session = process.SessionId;
      EXPECT_EQ(getpgid(static_cast<pid_t>(process.ProcessId)),
                static_cast<pid_t>(process.ProcessId));
    }
  }
  EXPECT_EQ(session, kServicesSession);

  VirtualHidDeviceDescription remote;
  remote.attributes = {0xFFFE, 0x0003, 0x0100};
  std::unique_ptr<VirtualHidDevice> device = VirtualHidDevice::Plug(remote);
  ASSERT_TRUE(device);
  const std::u16string path = device->InterfaceName();
  ASSERT_TRUE(Waited(device_));
  device->Unplug();
  ASSERT_TRUE(Waited(device_));

  // Marked for deletion while it runs: it stays until it has stopped.
  ASSERT_EQ(DeleteService(service), ERROR_SUCCESS);
  EXPECT_EQ(DeleteService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(StartService(service), ERROR_SERVICE_MARKED_FOR_DELETE);
  ServiceConfig again;
  again.serviceName = kName;
  again.binaryPathName = Quoted(TEST_SERVICE);
  EXPECT_EQ(CreateService(scm_, again, SERVICE_ALL_ACCESS).error, ERROR_SERVICE_MARKED_FOR_DELETE);

  ASSERT_EQ(ControlService(service, SERVICE_CONTROL_STOP, status), ERROR_SUCCESS);
  EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
              status.dwCurrentState == SERVICE_STOPPED);
  status = WaitForState(service, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS);
  for (int attempt = 0; attempt < 1000 && OpenService(scm_, kName, SERVICE_QUERY_STATUS).handle;
       ++attempt) {
    Sleep(Timeout(static_cast<long>(10 * testing::kTestTimeScale)));
  }
  EXPECT_EQ(OpenService(scm_, kName, SERVICE_QUERY_STATUS).error, ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(LoggedTexts(), (std::vector<std::u16string>{u"Service started", u"arrival " + path,
                                                         u"removal " + path, u"Service stopped"}));
}

TEST_F(ServiceManagerTest, ServiceWhoseProcessDiesIsReportedStopped) {
  ScHandle service = Install(Quoted(TEST_SERVICE));
  ASSERT_EQ(StartService(service, {u"crash"}), ERROR_SUCCESS);
  ASSERT_TRUE(Waited(running_));
  const SERVICE_STATUS status = WaitForState(service, SERVICE_STOPPED);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  // It can start again.
  ASSERT_EQ(StartService(service), ERROR_SUCCESS);
  ASSERT_TRUE(Waited(running_));
  WaitForState(service, SERVICE_RUNNING);
}

TEST_F(ServiceManagerTest, AStartRightAfterTheStopWaitsForTheStoppedProgramToEnd) {
  ScHandle service = Install(Quoted(TEST_SERVICE) + u" slowexit");
  ASSERT_EQ(StartService(service), ERROR_SUCCESS);
  ASSERT_TRUE(Waited(running_));
  WaitForState(service, SERVICE_RUNNING);
  SERVICE_STATUS status;
  ASSERT_EQ(ControlService(service, SERVICE_CONTROL_STOP, status), ERROR_SUCCESS);
  WaitForState(service, SERVICE_STOPPED);
  // Its process still ends: the start is not refused as of a running service.
  ASSERT_EQ(StartService(service), ERROR_SUCCESS);
  ASSERT_TRUE(Waited(running_));
  WaitForState(service, SERVICE_RUNNING);
  ASSERT_EQ(ControlService(service, SERVICE_CONTROL_STOP, status), ERROR_SUCCESS);
  WaitForState(service, SERVICE_STOPPED);
}

TEST_F(ServiceManagerTest, ServiceStillStartingTakesNoControl) {
  const Event go = Event::Create(EventReset::Auto, false, u"Global\\TestServiceGo").handle;
  ScHandle service = Install(Quoted(TEST_SERVICE));
  ASSERT_EQ(StartService(service, {u"hold"}), ERROR_SUCCESS);
  SERVICE_STATUS status = WaitForState(service, SERVICE_START_PENDING);
  EXPECT_EQ(status.dwCurrentState, SERVICE_START_PENDING);
  EXPECT_EQ(ControlService(service, SERVICE_CONTROL_STOP, status), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_EQ(StartService(service), ERROR_SERVICE_ALREADY_RUNNING);
  ASSERT_TRUE(go.Set());
  ASSERT_TRUE(Waited(running_));
  WaitForState(service, SERVICE_RUNNING);
  ASSERT_EQ(ControlService(service, SERVICE_CONTROL_STOP, status), ERROR_SUCCESS);
  EXPECT_EQ(WaitForState(service, SERVICE_STOPPED).dwWin32ExitCode, ERROR_SUCCESS);
}

TEST_F(ServiceManagerTest, RecordsAreKeptChangedAndRefusedAsTheManagerSays) {
  EXPECT_EQ(OpenService(scm_, u"Nothing", SERVICE_QUERY_STATUS).error,
            ERROR_SERVICE_DOES_NOT_EXIST);
  ScHandle service = Install(u"/no/such/program -x");
  ServiceConfig config;
  config.serviceName = kName;
  config.binaryPathName = u"/bin/true";
  EXPECT_EQ(CreateService(scm_, config, SERVICE_ALL_ACCESS).error, ERROR_SERVICE_EXISTS);
  config.serviceName = u"bad/name";
  EXPECT_EQ(CreateService(scm_, config, SERVICE_ALL_ACCESS).error, ERROR_INVALID_SERVICE_NAME);
  EXPECT_EQ(StartService(service), ERROR_FILE_NOT_FOUND);

  ServiceConfigChange change;
  change.startType = SERVICE_AUTO_START;
  ASSERT_EQ(ChangeServiceConfig(service, change), ERROR_SUCCESS);
  ASSERT_EQ(ChangeServiceConfig2(service, SERVICE_CONFIG_DESCRIPTION,
                                 u"Version 1.48 Provides\tthe interface"),
            ERROR_SUCCESS);
  // Names are found in any letter case.
  HandleResult<ScHandle> reopened = OpenService(scm_, u"testSERVICE", SERVICE_QUERY_CONFIG);
  ASSERT_EQ(reopened.error, ERROR_SUCCESS);
  ServiceConfig read;
  ASSERT_EQ(QueryServiceConfig(reopened.handle, read), ERROR_SUCCESS);
  EXPECT_EQ(read.serviceName, kName);
  EXPECT_EQ(read.displayName, u"Test service");
  EXPECT_EQ(read.startType, SERVICE_AUTO_START);
  EXPECT_EQ(read.errorControl, SERVICE_ERROR_NORMAL);
  EXPECT_EQ(read.binaryPathName, u"/no/such/program -x");
  EXPECT_EQ(read.description, u"Version 1.48 Provides\tthe interface");
  // A handle opened for querying changes nothing.
  EXPECT_EQ(ChangeServiceConfig(reopened.handle, change), ERROR_ACCESS_DENIED);
  SERVICE_STATUS status;
  EXPECT_EQ(QueryServiceStatus(reopened.handle, status), ERROR_ACCESS_DENIED);

  std::vector<ENUM_SERVICE_STATUS> services;
  ASSERT_EQ(EnumServicesStatus(scm_, services), ERROR_SUCCESS);
  ASSERT_EQ(services.size(), 1u);
  EXPECT_EQ(services[0].lpServiceName, kName);
  EXPECT_EQ(services[0].ServiceStatus.dwCurrentState, SERVICE_STOPPED);

  ASSERT_EQ(DeleteService(service), ERROR_SUCCESS);
  EXPECT_EQ(OpenService(scm_, kName, SERVICE_QUERY_STATUS).error, ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceManagerTest, AutomaticServicesStartWithTheManager) {
  ScHandle service = Install(Quoted(TEST_SERVICE));
  ServiceConfigChange change;
  change.startType = SERVICE_AUTO_START;
  ASSERT_EQ(ChangeServiceConfig(service, change), ERROR_SUCCESS);
  service.Close();
  ASSERT_EQ(ShutdownServiceManager(scm_), ERROR_SUCCESS);
  EXPECT_EQ(manager_->Answer(), "no answer");
  manager_ = std::make_unique<HelperProcess>(SERVICE_MANAGER_PROBE, std::vector<std::string>{});
  ASSERT_EQ(manager_->Answer(), "ready");
  HandleResult<ScHandle> manager = OpenSCManager({}, {}, SC_MANAGER_ALL_ACCESS);
  ASSERT_EQ(manager.error, ERROR_SUCCESS);
  scm_ = std::move(manager.handle);
  ASSERT_TRUE(Waited(running_));
  HandleResult<ScHandle> reopened = OpenService(scm_, kName, SERVICE_QUERY_STATUS);
  ASSERT_EQ(reopened.error, ERROR_SUCCESS);
  EXPECT_EQ(WaitForState(reopened.handle, SERVICE_RUNNING).dwCurrentState, SERVICE_RUNNING);
}

// Runs the client as the user "nobody" and gives its lines by step.
std::map<std::string, std::string> RunAsNobody(const std::string& service) {
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(output[1], STDOUT_FILENO);
    if (setgid(65534) == 0 && setuid(65534) == 0) {
      execl(SERVICE_USER_CLIENT, SERVICE_USER_CLIENT, service.c_str(), nullptr);
    }
    _exit(127);
  }
  close(output[1]);
  std::string text;
  char buffer[256];
  for (ssize_t count; (count = read(output[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(count));
  }
  close(output[0]);
  waitpid(child, nullptr, 0);
  std::map<std::string, std::string> steps;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    steps[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return steps;
}

TEST_F(ServiceManagerTest, UserIsRefusedFullAccessButMayStartAServiceThatAllowsIt) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run a helper as another user";
  }
  chmod(PlatformRoot().c_str(), 0755);
  ScHandle service = Install(Quoted(TEST_SERVICE));
  const std::string denied = std::to_string(ERROR_ACCESS_DENIED);
  std::map<std::string, std::string> steps = RunAsNobody("TestService");
  EXPECT_EQ(steps["manager-full"], denied);
  EXPECT_EQ(steps["manager-connect"], "0");
  EXPECT_EQ(steps["service-full"], denied);
  EXPECT_EQ(steps["service-start-stop"], denied);
  EXPECT_FALSE(steps.contains("start"));

  ASSERT_EQ(SetServiceUserRights(service, SERVICE_START | SERVICE_STOP), ERROR_SUCCESS);
  steps = RunAsNobody("TestService");
  EXPECT_EQ(steps["service-full"], denied);
  EXPECT_EQ(steps["service-start-stop"], "0");
  EXPECT_EQ(steps["start"], "0");
  EXPECT_EQ(steps["query"], "0");
  EXPECT_EQ(steps["stop"], "0");
  EXPECT_EQ(WaitForState(service, SERVICE_STOPPED).dwCurrentState, SERVICE_STOPPED);
}

}  // namespace
}  // namespace platform
