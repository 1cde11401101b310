#include "platform/services/ServiceManager.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/base/Text.h"
#include "platform/hid/Hid.h"
#include "platform/services/ServiceDispatcher.h"
#include "platform/services/ServiceWire.h"
#include "platform/sessions/ControlServer.h"
#include "platform/sessions/ProcessLaunch.h"
#include "platform/sessions/RecordFile.h"
#include "platform/sessions/RecordText.h"
#include "platform/sessions/Sessions.h"
#include "platform/sessions/SessionRecords.h"

namespace platform {
namespace {

using detail::JoinRecordFields;
using detail::ParseRecordNumber;
using detail::SplitRecordFields;
using Fields = std::vector<std::string>;

// Real time for a started program's dispatcher to connect, for a handler to answer a control,
// and for the running services to stop when the manager stops.
constexpr std::chrono::seconds kConnectLimit{30};
constexpr std::chrono::seconds kControlLimit{60};
constexpr std::chrono::seconds kStopLimit{20};
// How long a program whose channel closed has to end before its process group is ended.
constexpr int kExitGraceMilliseconds = 5000;
// How long a start waits for a program that reported itself stopped to end.
constexpr std::chrono::milliseconds kStoppedProgramEndLimit{kExitGraceMilliseconds + 2000};

constexpr std::uint32_t GENERIC_READ = 0x80000000u;
constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
constexpr std::uint32_t GENERIC_EXECUTE = 0x20000000u;
constexpr std::uint32_t GENERIC_ALL = 0x10000000u;
constexpr std::uint32_t MAXIMUM_ALLOWED = 0x02000000u;

struct GenericMapping {
  std::uint32_t read, write, execute, all;
};
constexpr GenericMapping kManagerMapping{
    SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL,
    SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG | READ_CONTROL,
    SC_MANAGER_CONNECT | SC_MANAGER_LOCK | READ_CONTROL, SC_MANAGER_ALL_ACCESS};
constexpr GenericMapping kServiceMapping{
    SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS | READ_CONTROL,
    SERVICE_CHANGE_CONFIG | READ_CONTROL,
    SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL |
        READ_CONTROL,
    SERVICE_ALL_ACCESS};

// The rights a request gets, or nothing when it asks for more than `allowed`.
std::optional<std::uint32_t> Grant(std::uint32_t requested, const GenericMapping& mapping,
                                   std::uint32_t allowed) {
  std::uint32_t rights = requested & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                       GENERIC_ALL | MAXIMUM_ALLOWED);
  rights |= (requested & GENERIC_READ) != 0 ? mapping.read : 0;
  rights |= (requested & GENERIC_WRITE) != 0 ? mapping.write : 0;
  rights |= (requested & GENERIC_EXECUTE) != 0 ? mapping.execute : 0;
  rights |= (requested & GENERIC_ALL) != 0 ? mapping.all : 0;
  rights |= (requested & MAXIMUM_ALLOWED) != 0 ? allowed : 0;
  return (rights & ~allowed) == 0 ? std::optional(rights) : std::nullopt;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsServiceName(const std::string& name) {
  return detail::IsRecordName(name) && name.size() <= 256 &&
         name.find_first_of("/\\") == std::string::npos && name != "." && name != "..";
}

// The program's words: the first in double quotes or up to a space, the rest split at spaces.
std::vector<std::string> CommandWords(const std::string& command) {
  std::vector<std::string> words;
  std::string_view rest(command);
  while (!rest.empty() && rest.front() == ' ') {
    rest.remove_prefix(1);
  }
  if (rest.starts_with('"')) {
    const std::size_t end = rest.find('"', 1);
    words.emplace_back(rest.substr(1, end == std::string_view::npos ? end : end - 1));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  std::istringstream others{std::string(rest)};
  for (std::string word; others >> word;) {
    words.push_back(word);
  }
  return words;
}

struct ServiceRecord {
  std::string name;
  std::string displayName;
  std::string description;
  std::string command;
  std::string loadOrderGroup;
  std::string account;
  std::vector<std::string> dependencies;
  std::uint32_t type = SERVICE_WIN32_OWN_PROCESS;
  std::uint32_t startType = SERVICE_DEMAND_START;
  std::uint32_t errorControl = SERVICE_ERROR_NORMAL;
  std::uint32_t userRights = 0;  // the access list: what other users get beyond the defaults
  bool markedForDelete = false;
};

// The record as lines of a name and its value.
std::string FormatRecord(const ServiceRecord& record) {
  std::string dependencies;
  for (const std::string& name : record.dependencies) {
    dependencies += (dependencies.empty() ? "" : "/") + name;
  }
  const std::pair<const char*, std::string> lines[] = {
      {"name", record.name},
      {"display", record.displayName},
      {"description", record.description},
      {"command", record.command},
      {"group", record.loadOrderGroup},
      {"account", record.account},
      {"dependencies", dependencies},
      {"type", std::to_string(record.type)},
      {"start", std::to_string(record.startType)},
      {"error", std::to_string(record.errorControl)},
      {"users", std::to_string(record.userRights)},
      {"deleted", record.markedForDelete ? "1" : "0"}};
  std::string text;
  for (const auto& [key, value] : lines) {
    text += JoinRecordFields({key, value}) + "\n";
  }
  return text;
}

std::optional<ServiceRecord> ParseRecord(const std::string& text) {
  ServiceRecord record;
  std::istringstream lines(text);
  bool numbers = true;
  for (std::string line; std::getline(lines, line);) {
    const Fields fields = SplitRecordFields(line);
    if (fields.size() != 2) {
      return std::nullopt;
    }
    const std::string& key = fields[0];
    const std::string& value = fields[1];
    if (key == "name") record.name = value;
    else if (key == "display") record.displayName = value;
    else if (key == "description") record.description = value;
    else if (key == "command") record.command = value;
    else if (key == "group") record.loadOrderGroup = value;
    else if (key == "account") record.account = value;
    else if (key == "dependencies") {
      std::istringstream names(value);
      for (std::string name; std::getline(names, name, '/');) {
        record.dependencies.push_back(name);
      }
    }
    else if (key == "type") numbers &= ParseRecordNumber(value, record.type);
    else if (key == "start") numbers &= ParseRecordNumber(value, record.startType);
    else if (key == "error") numbers &= ParseRecordNumber(value, record.errorControl);
    else if (key == "users") numbers &= ParseRecordNumber(value, record.userRights);
    else if (key == "deleted") record.markedForDelete = value == "1";
  }
  return numbers && IsServiceName(record.name) ? std::optional(record) : std::nullopt;
}

std::filesystem::path RecordFolder() { return RootFolder("services") / "records"; }
RecordFile RecordOf(const std::string& name) { return RecordFile(RecordFolder() / Lower(name)); }

}  // namespace

// One service: its record, its status and, while its program runs, the program's channel.
// Guarded by the manager's mutex, except what only the reader thread touches.
struct Service {
  ServiceRecord record;
  bool deleted = false;  // the record is gone; handles to it remain
  SERVICE_STATUS status;

  pid_t pid = 0;
  detail::UniqueFd processFd;
  std::shared_ptr<ControlConnection> channel;  // set while the program runs
  std::thread reader;                          // reads the channel; joined by the manager
  bool connected = false;                      // its dispatcher said hello
  bool deviceEvents = false;
  std::vector<std::string> startArguments;
  std::uint32_t nextSequence = 1;
  std::map<std::uint32_t, std::optional<SERVICE_STATUS>> replies;  // controls waiting

  bool Running() const { return channel != nullptr; }
};

class ServiceManager::Impl {
 public:
  explicit Impl(ControlListener listener) : server_(std::move(listener)) {}
  ~Impl();

  void Load();
  void StartAutomatic();
  void WatchDevices();
  void Run();
  void Stop() { server_.Stop(); }

 private:
  struct Handle {
    bool manager = false;
    Service* service = nullptr;
    std::uint32_t rights = 0;
  };
  // One caller's handles; its thread alone uses them.
  struct CallerState {
    bool administrator = false;
    std::map<std::uint32_t, Handle> handles;
    std::uint32_t nextHandle = 1;
  };
  using Answer = std::pair<std::uint32_t, Fields>;

  void Serve(const ControlConnection& caller);
  Answer Respond(CallerState& caller, const Fields& request);
  Answer OpenManager(CallerState& caller, std::uint32_t access);
  Answer Create(CallerState& caller, const Handle& manager, const Fields& request);
  Answer Open(CallerState& caller, const std::string& name, std::uint32_t access);
  Answer Change(Service& service, const Fields& request);
  Answer QueryConfig(const Service& service);
  Answer Delete(Service& service);
  Answer StartProgram(Service& service, const Fields& arguments);
  Answer Control(Service& service, std::uint32_t control);
  Answer List();
  Answer NewHandle(CallerState& caller, Service* service, std::uint32_t rights);

  Service* Find(const std::string& name);
  bool Persist(const Service& service);
  void Retire(Service& service);
  std::uint32_t Launch(Service& service, const std::vector<std::string>& arguments);
  void ReadChannel(Service& service, std::shared_ptr<ControlConnection> channel);
  void Deliver(Service& service, const Fields& message);
  void StopEveryService();

  ControlServer server_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::unique_ptr<Service>> services_;  // by lower-case name
  std::vector<std::unique_ptr<Service>> retired_;  // deleted, kept for their handles and readers
  std::unique_ptr<HidDeviceWatch> watch_;
};

ServiceManager::Impl::~Impl() {
  watch_.reset();
  StopEveryService();
  for (auto& [name, service] : services_) {
    if (service->reader.joinable()) {
      service->reader.join();
    }
  }
  for (auto& service : retired_) {
    if (service->reader.joinable()) {
      service->reader.join();
    }
  }
}

void ServiceManager::Impl::Load() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(RecordFolder(), error)) {
    if (entry.path().extension() == ".lock" || entry.path().extension() == ".new") {
      continue;
    }
    if (std::optional<ServiceRecord> record = ParseRecord(RecordFile(entry.path()).Read())) {
      if (record->markedForDelete) {
        // Marked while running, and the program is gone with the manager that ran it.
        std::filesystem::remove(entry.path(), error);
        continue;
      }
      auto service = std::make_unique<Service>();
      service->record = std::move(*record);
      services_[Lower(service->record.name)] = std::move(service);
    }
  }
}

void ServiceManager::Impl::StartAutomatic() {
  const std::lock_guard lock(mutex_);
  for (auto& [name, service] : services_) {
    if (service->record.startType == SERVICE_AUTO_START) {
      Launch(*service, {});
    }
  }
}

void ServiceManager::Impl::WatchDevices() {
  watch_ = std::make_unique<HidDeviceWatch>([this](HidDeviceChange change,
                                                   const std::u16string& path) {
    const Fields message{"control", "0", std::to_string(SERVICE_CONTROL_DEVICEEVENT),
                         std::to_string(change == HidDeviceChange::Arrival
                                            ? DBT_DEVICEARRIVAL
                                            : DBT_DEVICEREMOVECOMPLETE),
                         ToUtf8(path)};
    const std::lock_guard lock(mutex_);
    for (auto& [name, service] : services_) {
      if (service->Running() && service->deviceEvents) {
        service->channel->Send(JoinRecordFields(message));
      }
    }
  });
}

void ServiceManager::Impl::Run() {
  server_.Run([this](const ControlConnection& caller) { Serve(caller); });
  watch_.reset();
  StopEveryService();
}

void ServiceManager::Impl::Serve(const ControlConnection& caller) {
  CallerState state;
  const uid_t uid = caller.Peer().uid;
  state.administrator = uid == 0 || uid == geteuid();
  while (std::optional<std::string> request = caller.Receive()) {
    const Fields fields = SplitRecordFields(*request);
    const Answer answer = Respond(state, fields);
    Fields reply{answer.first == ERROR_SUCCESS ? "ok" : "error"};
    if (answer.first != ERROR_SUCCESS) {
      reply.push_back(std::to_string(answer.first));
    }
    reply.insert(reply.end(), answer.second.begin(), answer.second.end());
    caller.Send(JoinRecordFields(reply));
    if (fields.front() == "shutdown" && answer.first == ERROR_SUCCESS) {
      Stop();
    }
  }
}

ServiceManager::Impl::Answer ServiceManager::Impl::Respond(CallerState& caller,
                                                           const Fields& request) {
  const std::string& verb = request.front();
  std::uint32_t number = 0;
  if (verb == "open-manager" && request.size() == 2 && ParseRecordNumber(request[1], number)) {
    return OpenManager(caller, number);
  }
  std::uint32_t id = 0;
  if (request.size() < 2 || !ParseRecordNumber(request[1], id) || !caller.handles.contains(id)) {
    return {ERROR_INVALID_HANDLE, {}};
  }
  const struct Handle handle = caller.handles.at(id);
  if (verb == "close") {
    caller.handles.erase(id);
    return {};
  }
  const auto needs = [&handle](std::uint32_t rights) { return (handle.rights & rights) == rights; };
  if (handle.manager) {
    if (verb == "create" && request.size() == 13 && ParseRecordNumber(request[2], number)) {
      return needs(SC_MANAGER_CREATE_SERVICE) ? Create(caller, handle, request)
                                              : Answer{ERROR_ACCESS_DENIED, {}};
    }
    if (verb == "open" && request.size() == 4 && ParseRecordNumber(request[3], number)) {
      return needs(SC_MANAGER_CONNECT) ? Open(caller, request[2], number)
                                       : Answer{ERROR_ACCESS_DENIED, {}};
    }
    if (verb == "list") {
      return needs(SC_MANAGER_ENUMERATE_SERVICE) ? List() : Answer{ERROR_ACCESS_DENIED, {}};
    }
    if (verb == "shutdown") {
      return caller.administrator ? Answer{} : Answer{ERROR_ACCESS_DENIED, {}};
    }
    return {ERROR_INVALID_PARAMETER, {}};
  }
  Service& service = *handle.service;
  if (verb == "query") {
    if (!needs(SERVICE_QUERY_STATUS)) {
      return {ERROR_ACCESS_DENIED, {}};
    }
    const std::lock_guard lock(mutex_);
    Fields status;
    detail::AppendStatus(service.status, status);
    return {ERROR_SUCCESS, status};
  }
  if (verb == "query-config") {
    return needs(SERVICE_QUERY_CONFIG) ? QueryConfig(service) : Answer{ERROR_ACCESS_DENIED, {}};
  }
  if (verb == "config" || verb == "describe") {
    return needs(SERVICE_CHANGE_CONFIG) ? Change(service, request)
                                        : Answer{ERROR_ACCESS_DENIED, {}};
  }
  if (verb == "allow" && request.size() == 3 && ParseRecordNumber(request[2], number)) {
    if (!needs(WRITE_DAC)) {
      return {ERROR_ACCESS_DENIED, {}};
    }
    const std::lock_guard lock(mutex_);
    service.record.userRights = number & SERVICE_ALL_ACCESS;
    return Persist(service) ? Answer{} : Answer{ERROR_NO_SYSTEM_RESOURCES, {}};
  }
  if (verb == "delete") {
    return needs(DELETE) ? Delete(service) : Answer{ERROR_ACCESS_DENIED, {}};
  }
  if (verb == "start") {
    return needs(SERVICE_START) ? StartProgram(service, Fields(request.begin() + 2, request.end()))
                                : Answer{ERROR_ACCESS_DENIED, {}};
  }
  if (verb == "control" && request.size() == 3 && ParseRecordNumber(request[2], number)) {
    std::uint32_t right = 0;
    if (number == SERVICE_CONTROL_STOP) {
      right = SERVICE_STOP;
    } else if (number == SERVICE_CONTROL_PAUSE || number == SERVICE_CONTROL_CONTINUE) {
      right = SERVICE_PAUSE_CONTINUE;
    } else if (number == SERVICE_CONTROL_INTERROGATE) {
      right = SERVICE_INTERROGATE;
    } else if (number >= 128 && number <= 255) {
      right = SERVICE_USER_DEFINED_CONTROL;
    } else {
      // The system's own controls (shutdown, device events, ...) are not the callers' to send.
      return {ERROR_INVALID_PARAMETER, {}};
    }
    return needs(right) ? Control(service, number) : Answer{ERROR_ACCESS_DENIED, {}};
  }
  return {ERROR_INVALID_PARAMETER, {}};
}

ServiceManager::Impl::Answer ServiceManager::Impl::OpenManager(CallerState& caller,
                                                               std::uint32_t access) {
  const std::optional<std::uint32_t> rights =
      Grant(access, kManagerMapping, caller.administrator ? SC_MANAGER_ALL_ACCESS : kManagerUserRights);
  if (!rights) {
    return {ERROR_ACCESS_DENIED, {}};
  }
  const std::uint32_t id = caller.nextHandle++;
  caller.handles[id] = {true, nullptr, *rights};
  return {ERROR_SUCCESS, {std::to_string(id)}};
}

ServiceManager::Impl::Answer ServiceManager::Impl::NewHandle(CallerState& caller,
                                                             Service* service,
                                                             std::uint32_t rights) {
  const std::uint32_t id = caller.nextHandle++;
  caller.handles[id] = {false, service, rights};
  return {ERROR_SUCCESS, {std::to_string(id)}};
}

Service* ServiceManager::Impl::Find(const std::string& name) {
  const auto found = services_.find(Lower(name));
  return found == services_.end() ? nullptr : found->second.get();
}

bool ServiceManager::Impl::Persist(const Service& service) {
  const std::string text = FormatRecord(service.record);
  return RecordOf(service.record.name).Update([&text](std::string& file) {
    file = text;
    return true;
  });
}

// Fields of a create request after its verb and handle: access, name, display name, type, start
// type, error control, command, group, dependencies, account, description.
ServiceManager::Impl::Answer ServiceManager::Impl::Create(CallerState& caller, const Handle&,
                                                          const Fields& request) {
  ServiceRecord record;
  std::uint32_t access = 0;
  ParseRecordNumber(request[2], access);
  record.name = request[3];
  record.displayName = request[4].empty() ? request[3] : request[4];
  if (!IsServiceName(record.name)) {
    return {ERROR_INVALID_SERVICE_NAME, {}};
  }
  if (!ParseRecordNumber(request[5], record.type) ||
      !ParseRecordNumber(request[6], record.startType) ||
      !ParseRecordNumber(request[7], record.errorControl) || record.startType > SERVICE_DISABLED ||
      record.errorControl > SERVICE_ERROR_CRITICAL || CommandWords(request[8]).empty()) {
    return {ERROR_INVALID_PARAMETER, {}};
  }
  record.command = request[8];
  record.loadOrderGroup = request[9];
  std::istringstream names(request[10]);
  for (std::string name; std::getline(names, name, '/');) {
    record.dependencies.push_back(name);
  }
  record.account = request[11];
  record.description = request[12];
  const std::optional<std::uint32_t> rights = Grant(access, kServiceMapping, SERVICE_ALL_ACCESS);
  if (!rights) {
    return {ERROR_ACCESS_DENIED, {}};
  }
  const std::lock_guard lock(mutex_);
  if (const Service* existing = Find(record.name)) {
    return {existing->record.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                             : ERROR_SERVICE_EXISTS,
            {}};
  }
  auto service = std::make_unique<Service>();
  service->record = std::move(record);
  if (!Persist(*service)) {
    return {ERROR_NO_SYSTEM_RESOURCES, {}};
  }
  Service* created = service.get();
  services_[Lower(created->record.name)] = std::move(service);
  return NewHandle(caller, created, *rights);
}

ServiceManager::Impl::Answer ServiceManager::Impl::Open(CallerState& caller,
                                                        const std::string& name,
                                                        std::uint32_t access) {
  const std::lock_guard lock(mutex_);
  Service* service = Find(name);
  if (service == nullptr) {
    return {ERROR_SERVICE_DOES_NOT_EXIST, {}};
  }
  const std::uint32_t allowed = caller.administrator
                                    ? SERVICE_ALL_ACCESS
                                    : kServiceUserDefaultRights | service->record.userRights;
  const std::optional<std::uint32_t> rights = Grant(access, kServiceMapping, allowed);
  if (!rights) {
    return {ERROR_ACCESS_DENIED, {}};
  }
  return NewHandle(caller, service, *rights);
}

// "config": for each setting a field, empty to keep it or "=" and the new value, in the order
// type, start type, error control, command, group, dependencies, account, display name.
// "describe": the description.
ServiceManager::Impl::Answer ServiceManager::Impl::Change(Service& service, const Fields& request) {
  const std::lock_guard lock(mutex_);
  if (service.deleted || service.record.markedForDelete) {
    return {ERROR_SERVICE_MARKED_FOR_DELETE, {}};
  }
  ServiceRecord record = service.record;
  if (request.front() == "describe" && request.size() == 3) {
    record.description = request[2];
  } else if (request.front() == "config" && request.size() == 10) {
    const auto changed = [&request](std::size_t at) -> std::optional<std::string> {
      return request[at].starts_with('=') ? std::optional(request[at].substr(1)) : std::nullopt;
    };
    const auto number = [&](std::size_t at, std::uint32_t& value, std::uint32_t most) {
      const std::optional<std::string> text = changed(at);
      std::uint32_t parsed = 0;
      if (text && (!ParseRecordNumber(*text, parsed) || parsed > most)) {
        return false;
      }
      value = text ? parsed : value;
      return true;
    };
    if (!number(2, record.type, 0xFFFF) || !number(3, record.startType, SERVICE_DISABLED) ||
        !number(4, record.errorControl, SERVICE_ERROR_CRITICAL)) {
      return {ERROR_INVALID_PARAMETER, {}};
    }
    if (const auto command = changed(5)) {
      if (CommandWords(*command).empty()) {
        return {ERROR_INVALID_PARAMETER, {}};
      }
      record.command = *command;
    }
    record.loadOrderGroup = changed(6).value_or(record.loadOrderGroup);
    if (const auto dependencies = changed(7)) {
      record.dependencies.clear();
      std::istringstream names(*dependencies);
      for (std::string name; std::getline(names, name, '/');) {
        record.dependencies.push_back(name);
      }
    }
    record.account = changed(8).value_or(record.account);
    record.displayName = changed(9).value_or(record.displayName);
  } else {
    return {ERROR_INVALID_PARAMETER, {}};
  }
  std::swap(service.record, record);
  if (!Persist(service)) {
    std::swap(service.record, record);
    return {ERROR_NO_SYSTEM_RESOURCES, {}};
  }
  return {};
}

ServiceManager::Impl::Answer ServiceManager::Impl::QueryConfig(const Service& service) {
  const std::lock_guard lock(mutex_);
  const ServiceRecord& record = service.record;
  std::string dependencies;
  for (const std::string& name : record.dependencies) {
    dependencies += (dependencies.empty() ? "" : "/") + name;
  }
  return {ERROR_SUCCESS,
          {record.name, record.displayName, std::to_string(record.type),
           std::to_string(record.startType), std::to_string(record.errorControl), record.command,
           record.loadOrderGroup, dependencies, record.account, record.description}};
}

ServiceManager::Impl::Answer ServiceManager::Impl::Delete(Service& service) {
  const std::lock_guard lock(mutex_);
  if (service.deleted || service.record.markedForDelete) {
    return {ERROR_SERVICE_MARKED_FOR_DELETE, {}};
  }
  service.record.markedForDelete = true;
  if (service.Running()) {
    return Persist(service) ? Answer{} : Answer{ERROR_NO_SYSTEM_RESOURCES, {}};
  }
  Retire(service);
  return {};
}

// The caller holds the mutex.
void ServiceManager::Impl::Retire(Service& service) {
  std::error_code ignored;
  std::filesystem::remove(RecordOf(service.record.name).Path(), ignored);
  service.deleted = true;
  const auto found = services_.find(Lower(service.record.name));
  if (found != services_.end() && found->second.get() == &service) {
    retired_.push_back(std::move(found->second));
    services_.erase(found);
  }
}

ServiceManager::Impl::Answer ServiceManager::Impl::StartProgram(Service& service,
                                                                const Fields& arguments) {
  std::unique_lock lock(mutex_);
  // A program that has reported itself stopped is still ending: a start waits for its end
  // (which the grace bounds) rather than refusing a service that every query calls stopped.
  changed_.wait_for(lock, kStoppedProgramEndLimit, [&service] {
    return !service.Running() || service.status.dwCurrentState != SERVICE_STOPPED;
  });
  if (service.deleted || service.record.markedForDelete) {
    return {ERROR_SERVICE_MARKED_FOR_DELETE, {}};
  }
  if (service.record.startType == SERVICE_DISABLED) {
    return {ERROR_SERVICE_DISABLED, {}};
  }
  if (service.Running()) {
    return {ERROR_SERVICE_ALREADY_RUNNING, {}};
  }
  if (const std::uint32_t error = Launch(service, arguments); error != ERROR_SUCCESS) {
    return {error, {}};
  }
  const bool settled = changed_.wait_for(lock, kConnectLimit, [&service] {
    return service.connected || !service.Running();
  });
  if (service.connected) {
    return {};
  }
  if (!settled && service.pid > 0) {
    kill(-service.pid, SIGKILL);
  }
  return {ERROR_SERVICE_REQUEST_TIMEOUT, {}};
}

// The caller holds the mutex.
std::uint32_t ServiceManager::Impl::Launch(Service& service,
                                           const std::vector<std::string>& arguments) {
  std::optional<std::pair<ControlConnection, ControlConnection>> channel = ControlConnection::Pair();
  if (!channel) {
    return ERROR_NO_SYSTEM_RESOURCES;
  }
  detail::LaunchSpec spec;
  spec.arguments = CommandWords(service.record.command);
  spec.sessionId = kServicesSession;
  spec.ownProcessGroup = true;
  spec.inherited = channel->second.Descriptor();
  spec.environment[detail::kServiceChannelVariable] =
      std::to_string(detail::kServiceChannelDescriptor);
  detail::Launched launched = detail::LaunchProgram(spec);
  if (launched.error != ERROR_SUCCESS) {
    return launched.error;
  }
  // A reader of an earlier run has ended: it cleared the channel before it returned.
  if (service.reader.joinable()) {
    service.reader.join();
  }
  service.pid = launched.pid;
  service.processFd = std::move(launched.processFd);
  service.channel = std::make_shared<ControlConnection>(std::move(channel->first));
  service.connected = false;
  service.deviceEvents = false;
  service.startArguments = arguments;
  service.status = SERVICE_STATUS{};
  service.status.dwCurrentState = SERVICE_START_PENDING;
  service.status.dwWaitHint = 2000;
  service.reader = std::thread([this, &service, channel = service.channel] {
    ReadChannel(service, channel);
  });
  return ERROR_SUCCESS;
}

void ServiceManager::Impl::ReadChannel(Service& service, std::shared_ptr<ControlConnection> channel) {
  while (const std::optional<std::string> message = channel->Receive()) {
    const Fields fields = SplitRecordFields(*message);
    const std::lock_guard lock(mutex_);
    Deliver(service, fields);
    changed_.notify_all();
  }
  // The program closed its channel: it ends, or is made to.
  pid_t pid = 0;
  int processFd = -1;
  {
    const std::lock_guard lock(mutex_);
    pid = service.pid;
    processFd = service.processFd.Get();
  }
  pollfd ended{processFd, POLLIN, 0};
  if (poll(&ended, 1, kExitGraceMilliseconds) <= 0) {
    kill(-pid, SIGKILL);
  }
  waitpid(pid, nullptr, 0);
  const std::lock_guard lock(mutex_);
  if (service.status.dwCurrentState != SERVICE_STOPPED) {
    service.status = SERVICE_STATUS{};
    service.status.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
  }
  service.channel.reset();
  service.processFd.Reset();
  service.pid = 0;
  service.connected = false;
  service.deviceEvents = false;
  service.replies.clear();
  if (service.record.markedForDelete) {
    Retire(service);
  }
  changed_.notify_all();
}

// The caller holds the mutex.
void ServiceManager::Impl::Deliver(Service& service, const Fields& message) {
  const std::string& kind = message.front();
  if (kind == "hello" && !service.connected) {
    service.connected = true;
    Fields start{"start", service.record.name};
    start.insert(start.end(), service.startArguments.begin(), service.startArguments.end());
    service.channel->Send(JoinRecordFields(start));
  } else if (kind == "status") {
    if (const std::optional<SERVICE_STATUS> status = detail::ParseStatus(message, 1)) {
      service.status = *status;
      if (status->dwCurrentState == SERVICE_STOPPED) {
        service.channel->Send("end");
      }
    }
  } else if (kind == "reply" && message.size() >= 2) {
    std::uint32_t sequence = 0;
    if (ParseRecordNumber(message[1], sequence) && service.replies.contains(sequence)) {
      service.replies[sequence] = detail::ParseStatus(message, 2).value_or(service.status);
    }
  } else if (kind == "devices" && message.size() == 2) {
    service.deviceEvents = message[1] == "1";
  }
}

ServiceManager::Impl::Answer ServiceManager::Impl::Control(Service& service,
                                                           std::uint32_t control) {
  std::unique_lock lock(mutex_);
  if (!service.Running()) {
    return {ERROR_SERVICE_NOT_ACTIVE, {}};
  }
  const std::uint32_t state = service.status.dwCurrentState;
  if (!service.connected || state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
      state == SERVICE_STOPPED) {
    return {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, {}};
  }
  const std::uint32_t accepted = service.status.dwControlsAccepted;
  if ((control == SERVICE_CONTROL_STOP && (accepted & SERVICE_ACCEPT_STOP) == 0) ||
      ((control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) &&
       (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) == 0)) {
    return {ERROR_INVALID_SERVICE_CONTROL, {}};
  }
  const std::uint32_t sequence = service.nextSequence++;
  service.replies[sequence] = std::nullopt;
  const std::shared_ptr<ControlConnection> channel = service.channel;
  channel->Send(JoinRecordFields({"control", std::to_string(sequence), std::to_string(control),
                                  "0", ""}));
  const bool answered = changed_.wait_for(lock, kControlLimit, [&] {
    return service.channel != channel || service.replies[sequence].has_value();
  });
  SERVICE_STATUS status = service.status;
  if (service.channel == channel) {
    status = service.replies[sequence].value_or(status);
    service.replies.erase(sequence);
  }
  if (!answered) {
    return {ERROR_SERVICE_REQUEST_TIMEOUT, {}};
  }
  Fields fields;
  detail::AppendStatus(status, fields);
  return {ERROR_SUCCESS, fields};
}

ServiceManager::Impl::Answer ServiceManager::Impl::List() {
  const std::lock_guard lock(mutex_);
  Fields fields;
  for (const auto& [name, service] : services_) {
    fields.push_back(service->record.name);
    fields.push_back(service->record.displayName);
    detail::AppendStatus(service->status, fields);
  }
  return {ERROR_SUCCESS, fields};
}

void ServiceManager::Impl::StopEveryService() {
  std::unique_lock lock(mutex_);
  // A service marked for deletion stays among the services until its program has ended.
  const auto running = [this] {
    return std::any_of(services_.begin(), services_.end(),
                       [](const auto& entry) { return entry.second->Running(); });
  };
  for (auto& [name, service] : services_) {
    if (service->Running()) {
      service->channel->Send(JoinRecordFields(
          {"control", "0", std::to_string(SERVICE_CONTROL_STOP), "0", ""}));
    }
  }
  if (!changed_.wait_for(lock, kStopLimit, [&running] { return !running(); })) {
    for (auto& [name, service] : services_) {
      if (service->Running() && service->pid > 0) {
        kill(-service->pid, SIGKILL);
      }
    }
    changed_.wait(lock, [&running] { return !running(); });
  }
}

ServiceManager::ServiceManager(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ServiceManager::~ServiceManager() = default;

std::filesystem::path ServiceManager::SocketPath() {
  return RootFolder("services") / "manager.sock";
}

std::unique_ptr<ServiceManager> ServiceManager::Start() {
  std::optional<ControlListener> listener = ControlListener::Create(SocketPath());
  if (!listener) {
    return nullptr;
  }
  std::error_code ignored;
  std::filesystem::create_directories(RecordFolder(), ignored);
  auto impl = std::make_unique<Impl>(std::move(*listener));
  impl->Load();
  impl->WatchDevices();
  impl->StartAutomatic();
  return std::unique_ptr<ServiceManager>(new ServiceManager(std::move(impl)));
}

void ServiceManager::Run() { impl_->Run(); }
void ServiceManager::Stop() { impl_->Stop(); }

}  // namespace platform
