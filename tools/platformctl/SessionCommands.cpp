#include "tools/platformctl/SessionCommands.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <system_error>

#include "platform/base/Process.h"
#include "platform/base/Text.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/Posix.h"
#include "platform/kernel/Root.h"
#include "platform/kernel/Wait.h"
#include "platform/services/EventLog.h"
#include "platform/services/ServiceControl.h"
#include "platform/services/ServiceManager.h"
#include "platform/sessions/ControlChannel.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/SessionManager.h"
#include "platform/sessions/Sessions.h"
#include "tools/virtual-remote/VirtualRemote.h"

namespace platformctl {
namespace {

using namespace platform;

constexpr const char* kUnplugEvent = "Global\\PlatformctlUnplugRemote";
// Real time for a manager to say it is ready.
constexpr int kReadyMilliseconds = 30000;

std::optional<std::uint32_t> NumberOf(const std::string& text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size()
             ? std::optional(value)
             : std::nullopt;
}

std::string Describe(std::uint32_t error) {
  static const std::map<std::uint32_t, std::string> kTexts = {
      {ERROR_ACCESS_DENIED, "access denied"},
      {ERROR_FILE_NOT_FOUND, "the program was not found"},
      {ERROR_INVALID_PARAMETER, "the request was not understood"},
      {ERROR_CTX_WINSTATION_NOT_FOUND, "no such session"},
      {ERROR_SERVICE_DOES_NOT_EXIST, "no such service"},
      {ERROR_SERVICE_ALREADY_RUNNING, "the service runs already"},
      {ERROR_SERVICE_NOT_ACTIVE, "the service does not run"},
      {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "the service cannot take a control now"},
      {ERROR_INVALID_SERVICE_CONTROL, "the service does not take that control"},
      {ERROR_SERVICE_MARKED_FOR_DELETE, "the service is marked for deletion"},
      {ERROR_SERVICE_EXISTS, "a service of that name exists"},
      {ERROR_SERVICE_REQUEST_TIMEOUT, "the service did not answer in time"},
      {ERROR_INVALID_SERVICE_NAME, "not a service name"},
      {ERROR_SERVICE_DISABLED, "the service is disabled"},
      {ERROR_BROKEN_PIPE, "the manager went away"},
      {RPC_S_SERVER_UNAVAILABLE, "no service manager runs for the root"},
  };
  const auto found = kTexts.find(error);
  return (found != kTexts.end() ? found->second : "failed") + " (error " + std::to_string(error) +
         ")";
}

int Fail(std::ostream& err, const std::string& what) {
  err << "platformctl: " << what << "\n";
  return 1;
}

int Usage(std::ostream& err, const char* usage) {
  err << "usage: platformctl " << usage << "\n";
  return 2;
}

// Nothing when the root exists; otherwise the exit code after saying so.
std::optional<int> NeedRoot(std::ostream& err) {
  const std::filesystem::path root = PlatformRootLocation();
  std::error_code error;
  if (!std::filesystem::is_directory(root, error)) {
    return Fail(err, "no platform root at " + root.string() + " (platformctl start makes one)");
  }
  return std::nullopt;
}

// The session manager of the root, or the exit code after saying what is missing.
std::optional<int> WithSessionManager(
    std::ostream& err, const std::function<SessionControl::Result(SessionControl&)>& request,
    const std::string& subject, std::ostream& out, bool printValue) {
  if (const std::optional<int> missing = NeedRoot(err)) {
    return missing;
  }
  std::optional<SessionControl> control = SessionControl::Connect();
  if (!control) {
    return Fail(err, "no session manager runs for the root at " +
                         PlatformRootLocation().string() + " (platformctl start starts one)");
  }
  const SessionControl::Result result = request(*control);
  if (result.error != ERROR_SUCCESS) {
    return Fail(err, subject + ": " + Describe(result.error));
  }
  if (printValue) {
    out << result.value << "\n";
  }
  return 0;
}

// Writes the line on the descriptor that --ready-fd names, for the platformctl that started
// this one in the background (LaunchInBackground).
void SayReady(const Words& words, const std::string& line) {
  if (words.size() == 2 && words[0] == "--ready-fd") {
    if (const std::optional<std::uint32_t> descriptor = NumberOf(words[1])) {
      const detail::UniqueFd ready(static_cast<int>(*descriptor));
      const std::string text = line + "\n";
      const ssize_t ignored = write(ready.Get(), text.data(), text.size());
      static_cast<void>(ignored);
    }
  }
}

int RunSessionManager(const Words& words, std::ostream&, std::ostream& err) {
  const auto manager = SessionManager::Start(MakeWindowDelivery());
  if (!manager) {
    return Fail(err, "a session manager runs already for this root");
  }
  SayReady(words, "ready");
  manager->Run();
  return 0;
}

int RunServiceManager(const Words& words, std::ostream&, std::ostream& err) {
  const auto manager = ServiceManager::Start();
  if (!manager) {
    return Fail(err, "a service manager runs already for this root");
  }
  SayReady(words, "ready");
  manager->Run();
  return 0;
}

// Starts this program with `command` in the background and waits for the line it says once it
// is ready; nothing when it fails first.
std::optional<std::string> LaunchInBackground(const char* command,
                                              const std::map<std::string, std::string>& environment) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return std::nullopt;
  }
  const detail::UniqueFd readEnd(ends[0]);
  detail::UniqueFd writeEnd(ends[1]);
  detail::LaunchSpec spec;
  spec.arguments = {ToUtf8(ModulePath()), command, "--ready-fd", "3"};
  spec.environment = environment;
  spec.detached = true;
  spec.quiet = true;
  spec.inherited = writeEnd.Get();
  const detail::Launched launched = detail::LaunchProgram(spec);
  writeEnd.Reset();
  pollfd ready{readEnd.Get(), POLLIN, 0};
  char line[512] = {};
  const ssize_t length = launched.error == ERROR_SUCCESS && poll(&ready, 1, kReadyMilliseconds) == 1
                             ? read(readEnd.Get(), line, sizeof line - 1)
                             : 0;
  if (length <= 1 || line[length - 1] != '\n') {
    return std::nullopt;
  }
  return std::string(line, static_cast<std::size_t>(length - 1));
}

int Start(const Words& words, std::ostream& out, std::ostream& err) {
  if (words.size() > 1 || (words.size() == 1 && words[0] != "--virtual-hid")) {
    return Usage(err, "start [--virtual-hid]");
  }
  const std::filesystem::path& root = PlatformRoot();
  std::map<std::string, std::string> environment;
  if (!words.empty()) {
    environment["PLATFORM_HID"] = "virtual";
  }
  if (LaunchInBackground("run-session-manager", environment) != "ready") {
    return Fail(err, "the session manager of " + root.string() +
                         " did not start (does one run already?)");
  }
  if (LaunchInBackground("run-service-manager", environment) != "ready") {
    return Fail(err, "the service manager of " + root.string() +
                         " did not start (does one run already?)");
  }
  out << "root " << root.string() << " ready\n";
  return 0;
}

// Waits until the process that holds the lock file has ended.
void WaitForEnd(const std::filesystem::path& lockFile) {
  const detail::UniqueFd lock(open(lockFile.c_str(), O_RDWR | O_CLOEXEC));
  if (lock) {
    flock(lock.Get(), LOCK_EX);
  }
}

int Shutdown(const Words& words, std::ostream& out, std::ostream& err) {
  if (!words.empty()) {
    return Usage(err, "shutdown");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return missing.value();
  }
  bool any = false;
  if (std::optional<SessionControl> control = SessionControl::Connect()) {
    const SessionControl::Result result = control->Shutdown();
    if (result.error != ERROR_SUCCESS) {
      return Fail(err, "session manager: " + Describe(result.error));
    }
    WaitForEnd(SessionManager::SocketPath().string() + ".lock");
    any = true;
  }
  if (const HandleResult<ScHandle> manager = OpenSCManager({}, {}, SC_MANAGER_ALL_ACCESS);
      manager.handle) {
    if (const std::uint32_t error = ShutdownServiceManager(manager.handle); error != ERROR_SUCCESS) {
      return Fail(err, "service manager: " + Describe(error));
    }
    WaitForEnd(ServiceManager::SocketPath().string() + ".lock");
    any = true;
  } else if (manager.error == ERROR_ACCESS_DENIED) {
    return Fail(err, "service manager: " + Describe(manager.error));
  }
  if (!any) {
    return Fail(err, "no manager runs for the root at " + PlatformRootLocation().string());
  }
  out << "stopped\n";
  return 0;
}

int Logon(const Words& words, std::ostream& out, std::ostream& err) {
  if (words.empty() || words.size() > 2 || (words.size() == 2 && words[1] != "--console")) {
    return Usage(err, "logon USER [--console]");
  }
  const bool console = words.size() == 2;
  return *WithSessionManager(
      err, [&](SessionControl& control) { return control.Logon(words[0], console); },
      "logon of " + words[0], out, true);
}

// The commands that take one session id.
template <SessionControl::Result (SessionControl::*Request)(std::uint32_t)>
int OnSession(const Words& words, std::ostream& out, std::ostream& err, const char* usage) {
  const std::optional<std::uint32_t> id = words.size() == 1 ? NumberOf(words[0]) : std::nullopt;
  if (!id) {
    return Usage(err, usage);
  }
  const std::optional<int> code = WithSessionManager(
      err, [&](SessionControl& control) { return (control.*Request)(*id); },
      "session " + words[0], out, false);
  if (*code == 0) {
    out << "done\n";
  }
  return *code;
}

int Connect(const Words& words, std::ostream& out, std::ostream& err) {
  const std::optional<std::uint32_t> id =
      !words.empty() && words.size() <= 2 ? NumberOf(words[0]) : std::nullopt;
  if (!id || (words.size() == 2 && words[1] != "--console")) {
    return Usage(err, "connect SESSION [--console]");
  }
  const bool console = words.size() == 2;
  const std::optional<int> code = WithSessionManager(
      err, [&](SessionControl& control) { return control.ConnectSession(*id, console); },
      "session " + words[0], out, false);
  if (*code == 0) {
    out << "done\n";
  }
  return *code;
}

int Sessions(const Words& words, std::ostream& out, std::ostream& err) {
  if (!words.empty()) {
    return Usage(err, "sessions");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  const std::optional<std::vector<WTS_SESSION_INFO>> sessions = WTSEnumerateSessions();
  if (!sessions) {
    return Fail(err, "no session manager has made the session table of the root at " +
                         PlatformRootLocation().string());
  }
  const std::uint32_t console = WTSGetActiveConsoleSessionId();
  for (const WTS_SESSION_INFO& session : *sessions) {
    out << session.SessionId << ' ' << ConnectStateName(session.State) << ' '
        << (session.WinStationName.empty() ? "-" : ToUtf8(session.WinStationName)) << ' '
        << (session.UserName.empty() ? "-" : ToUtf8(session.UserName))
        << (session.SessionId == console ? " console" : "") << "\n";
  }
  return 0;
}

int Processes(const Words& words, std::ostream& out, std::ostream& err) {
  const std::optional<std::uint32_t> only =
      words.size() == 1 ? NumberOf(words[0]) : std::nullopt;
  if (words.size() > 1 || (words.size() == 1 && !only)) {
    return Usage(err, "processes [SESSION]");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  if (only) {
    const std::optional<std::vector<WTS_SESSION_INFO>> sessions = WTSEnumerateSessions();
    if (!sessions || std::none_of(sessions->begin(), sessions->end(), [&](const auto& session) {
          return session.SessionId == *only;
        })) {
      return Fail(err, "session " + words[0] + ": " + Describe(ERROR_CTX_WINSTATION_NOT_FOUND));
    }
  }
  for (const WTS_PROCESS_INFO& process : WTSEnumerateProcesses().value_or(
           std::vector<WTS_PROCESS_INFO>{})) {
    if (!only || process.SessionId == *only) {
      out << process.SessionId << ' ' << process.ProcessId << ' ' << ToUtf8(process.ProcessName)
          << "\n";
    }
  }
  return 0;
}

int RegisterStartup(const Words& words, std::ostream& out, std::ostream& err) {
  if (words.empty()) {
    return Usage(err, "register-startup PROGRAM [ARGUMENT]...");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  if (!RegisterStartupProgram(words)) {
    return Fail(err, "the start-up program could not be registered");
  }
  out << "registered\n";
  return 0;
}

// Opens the manager, and the service when a name is given, with these rights; runs `action`.
int WithService(std::ostream& err, const std::string& name, std::uint32_t managerRights,
                std::uint32_t serviceRights,
                const std::function<int(const ScHandle& manager, const ScHandle& service)>& action) {
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  const HandleResult<ScHandle> manager = OpenSCManager({}, {}, managerRights);
  if (!manager.handle) {
    return Fail(err, "service manager: " + Describe(manager.error));
  }
  if (name.empty()) {
    return action(manager.handle, ScHandle());
  }
  const HandleResult<ScHandle> service =
      OpenService(manager.handle, FromUtf8(name), serviceRights);
  if (!service.handle) {
    return Fail(err, "service " + name + ": " + Describe(service.error));
  }
  return action(manager.handle, service.handle);
}

std::string StateName(std::uint32_t state) {
  static const char* const kNames[] = {"unknown",  "stopped",  "start-pending",
                                       "stop-pending", "running", "continue-pending",
                                       "pause-pending", "paused"};
  return state < std::size(kNames) ? kNames[state] : "unknown";
}

int Services(const Words& words, std::ostream& out, std::ostream& err) {
  if (!words.empty()) {
    return Usage(err, "services");
  }
  return WithService(err, {}, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE, 0,
                     [&](const ScHandle& manager, const ScHandle&) {
                       std::vector<ENUM_SERVICE_STATUS> services;
                       if (const std::uint32_t error = EnumServicesStatus(manager, services)) {
                         return Fail(err, "services: " + Describe(error));
                       }
                       for (const ENUM_SERVICE_STATUS& service : services) {
                         out << ToUtf8(service.lpServiceName) << ' '
                             << StateName(service.ServiceStatus.dwCurrentState) << ' '
                             << ToUtf8(service.lpDisplayName) << "\n";
                       }
                       return 0;
                     });
}

int InstallService(const Words& words, std::ostream& out, std::ostream& err) {
  Words command = words;
  const bool automatic = !command.empty() && command.back() == "--auto";
  if (automatic) {
    command.pop_back();
  }
  if (command.size() < 2) {
    return Usage(err, "install-service NAME PROGRAM [ARGUMENT]... [--auto]");
  }
  ServiceConfig config;
  config.serviceName = FromUtf8(command[0]);
  config.startType = automatic ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
  std::string line = "\"" + command[1] + "\"";
  for (std::size_t at = 2; at < command.size(); ++at) {
    line += " " + command[at];
  }
  config.binaryPathName = FromUtf8(line);
  return WithService(err, {}, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, 0,
                     [&](const ScHandle& manager, const ScHandle&) {
                       const HandleResult<ScHandle> service =
                           CreateService(manager, config, SERVICE_ALL_ACCESS);
                       if (!service.handle) {
                         return Fail(err, "service " + command[0] + ": " + Describe(service.error));
                       }
                       out << "installed\n";
                       return 0;
                     });
}

int DeleteServiceCommand(const Words& words, std::ostream& out, std::ostream& err) {
  if (words.size() != 1) {
    return Usage(err, "delete-service NAME");
  }
  return WithService(err, words[0], SC_MANAGER_CONNECT, DELETE,
                     [&](const ScHandle&, const ScHandle& service) {
                       if (const std::uint32_t error = DeleteService(service)) {
                         return Fail(err, "service " + words[0] + ": " + Describe(error));
                       }
                       out << "deleted\n";
                       return 0;
                     });
}

int AllowService(const Words& words, std::ostream& out, std::ostream& err) {
  static const std::map<std::string, std::uint32_t> kRights = {
      {"start", SERVICE_START}, {"stop", SERVICE_STOP}, {"pause", SERVICE_PAUSE_CONTINUE},
      {"config", SERVICE_CHANGE_CONFIG}};
  std::uint32_t rights = 0;
  for (std::size_t at = 1; at < words.size(); ++at) {
    const auto found = kRights.find(words[at]);
    if (found == kRights.end()) {
      return Usage(err, "allow-service NAME [start] [stop] [pause] [config]");
    }
    rights |= found->second;
  }
  if (words.empty()) {
    return Usage(err, "allow-service NAME [start] [stop] [pause] [config]");
  }
  return WithService(err, words[0], SC_MANAGER_CONNECT, WRITE_DAC,
                     [&](const ScHandle&, const ScHandle& service) {
                       if (const std::uint32_t error = SetServiceUserRights(service, rights)) {
                         return Fail(err, "service " + words[0] + ": " + Describe(error));
                       }
                       out << "allowed\n";
                       return 0;
                     });
}

int StartServiceCommand(const Words& words, std::ostream& out, std::ostream& err) {
  if (words.empty()) {
    return Usage(err, "start-service NAME [ARGUMENT]...");
  }
  std::vector<std::u16string> arguments;
  for (std::size_t at = 1; at < words.size(); ++at) {
    arguments.push_back(FromUtf8(words[at]));
  }
  return WithService(err, words[0], SC_MANAGER_CONNECT, SERVICE_START,
                     [&](const ScHandle&, const ScHandle& service) {
                       if (const std::uint32_t error = StartService(service, arguments)) {
                         return Fail(err, "service " + words[0] + ": " + Describe(error));
                       }
                       out << "started\n";
                       return 0;
                     });
}

int StopServiceCommand(const Words& words, std::ostream& out, std::ostream& err) {
  if (words.size() != 1) {
    return Usage(err, "stop-service NAME");
  }
  return WithService(err, words[0], SC_MANAGER_CONNECT, SERVICE_STOP,
                     [&](const ScHandle&, const ScHandle& service) {
                       SERVICE_STATUS status;
                       if (const std::uint32_t error =
                               ControlService(service, SERVICE_CONTROL_STOP, status)) {
                         return Fail(err, "service " + words[0] + ": " + Describe(error));
                       }
                       out << StateName(status.dwCurrentState) << "\n";
                       return 0;
                     });
}

int EventLog(const Words& words, std::ostream& out, std::ostream& err) {
  if (!words.empty()) {
    return Usage(err, "eventlog");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  for (const EventLogRecord& record : ReadEventLog()) {
    out << record.timeWritten << ' ' << ToUtf8(record.source) << ' ' << EventTypeName(record.type)
        << ' ' << record.eventId;
    for (const std::u16string& text : record.strings) {
      out << ' ' << ToUtf8(text);
    }
    out << "\n";
  }
  return 0;
}

// The lock that the holder of the virtual remote keeps while it runs.
std::filesystem::path RemoteLockPath() { return PlatformRoot() / "virtual-remote.lock"; }

// Holds a plugged virtual remote until unplug-remote sets the unplug event.
int RunRemote(const Words& words, std::ostream&, std::ostream& err) {
  const detail::UniqueFd held(open(RemoteLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  const HandleResult<Event> unplug =
      Event::Create(EventReset::Auto, false, FromUtf8(kUnplugEvent));
  if (!held || flock(held.Get(), LOCK_EX | LOCK_NB) != 0 || !unplug.handle ||
      unplug.alreadyExisted) {
    return Fail(err, "a virtual remote is plugged already");
  }
  VirtualRemote remote;
  const std::string plugged = remote.Command("plug");
  if (!plugged.starts_with("plugged ")) {
    return Fail(err, plugged);
  }
  SayReady(words, plugged.substr(8));
  WaitForObject(unplug.handle.Ref(), kInfinite);
  remote.Command("quit");
  return 0;
}

int PlugRemote(const Words& words, std::ostream& out, std::ostream& err) {
  if (!words.empty()) {
    return Usage(err, "plug-remote");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  const std::optional<std::string> name =
      LaunchInBackground("run-remote", {{"PLATFORM_HID", "virtual"}});
  if (!name) {
    return Fail(err, "the virtual remote was not plugged (is one plugged already?)");
  }
  out << "plugged " << *name << "\n";
  return 0;
}

int UnplugRemote(const Words& words, std::ostream& out, std::ostream& err) {
  if (!words.empty()) {
    return Usage(err, "unplug-remote");
  }
  if (const std::optional<int> missing = NeedRoot(err)) {
    return *missing;
  }
  const HandleResult<Event> unplug = Event::Open(FromUtf8(kUnplugEvent));
  if (!unplug.handle) {
    return Fail(err, "no virtual remote is plugged");
  }
  unplug.handle.Set();
  // Unplugged once its holder has ended.
  WaitForEnd(RemoteLockPath());
  out << "unplugged\n";
  return 0;
}

int Logoff(const Words& w, std::ostream& o, std::ostream& e) {
  return OnSession<&SessionControl::Logoff>(w, o, e, "logoff SESSION");
}
int Disconnect(const Words& w, std::ostream& o, std::ostream& e) {
  return OnSession<&SessionControl::Disconnect>(w, o, e, "disconnect SESSION");
}
int Lock(const Words& w, std::ostream& o, std::ostream& e) {
  return OnSession<&SessionControl::Lock>(w, o, e, "lock SESSION");
}
int Unlock(const Words& w, std::ostream& o, std::ostream& e) {
  return OnSession<&SessionControl::Unlock>(w, o, e, "unlock SESSION");
}
int SwitchConsole(const Words& w, std::ostream& o, std::ostream& e) {
  return OnSession<&SessionControl::SwitchConsole>(w, o, e, "console SESSION");
}

}  // namespace

void PrintSessionCommandHelp(std::ostream& out) {
  out << "commands on the sessions, services and devices of the platform root:\n";
  for (const SessionCommand& command : SessionCommands()) {
    if (command.help[0] != '\0') {
      out << "  " << command.name << (command.arguments[0] != '\0' ? " " : "")
          << command.arguments << "\n      " << command.help << "\n";
    }
  }
}

const std::vector<SessionCommand>& SessionCommands() {
  static const std::vector<SessionCommand> kCommands = {
      {"start", "[--virtual-hid]",
       "make the root and start its session manager and service manager (with --virtual-hid they "
       "watch virtual HID devices)",
       Start},
      {"shutdown", "", "stop the root's managers: every session is logged off, every service stopped",
       Shutdown},
      {"logon", "USER [--console]", "log USER on in a new session; prints its id", Logon},
      {"logoff", "SESSION", "log the session off: its windows are told, its processes end", Logoff},
      {"connect", "SESSION [--console]", "connect the session, remotely or at the console", Connect},
      {"disconnect", "SESSION", "disconnect the session", Disconnect},
      {"lock", "SESSION", "lock the session", Lock},
      {"unlock", "SESSION", "unlock the session", Unlock},
      {"console", "SESSION", "switch the console to the session", SwitchConsole},
      {"sessions", "", "list the sessions: id, state, station, user, and which is at the console",
       Sessions},
      {"processes", "[SESSION]", "list the processes: session, id, image name", Processes},
      {"register-startup", "PROGRAM [ARGUMENT]...", "run the program in every new session",
       RegisterStartup},
      {"services", "", "list the services: name, state, display name", Services},
      {"install-service", "NAME PROGRAM [ARGUMENT]... [--auto]",
       "install a service (demand start, or automatic)", InstallService},
      {"delete-service", "NAME", "delete the service (once it has stopped)", DeleteServiceCommand},
      {"allow-service", "NAME [start] [stop] [pause] [config]",
       "what users other than the administrator may do with the service", AllowService},
      {"start-service", "NAME [ARGUMENT]...", "start the service", StartServiceCommand},
      {"stop-service", "NAME", "send the service the stop control; prints its state", StopServiceCommand},
      {"eventlog", "", "print the event log: time, source, type, id, texts", EventLog},
      {"plug-remote", "", "plug a virtual remote in; prints its interface name", PlugRemote},
      {"unplug-remote", "", "unplug the virtual remote", UnplugRemote},
      {"run-session-manager", "", "", RunSessionManager},
      {"run-service-manager", "", "", RunServiceManager},
      {"run-remote", "", "", RunRemote},
  };
  return kCommands;
}

}  // namespace platformctl
