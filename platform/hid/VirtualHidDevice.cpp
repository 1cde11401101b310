#include "platform/hid/VirtualHidDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "platform/hid/HidBackend.h"
#include "platform/hid/VirtualHidLayout.h"

namespace platform {
namespace {

// The longest report a connection carries; longer messages are cut.
constexpr std::size_t kMaxReport = 4096;

bool WriteFile(const std::filesystem::path& path, std::span<const char> bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

// A node name that sorts by the time of plugging, whatever process plugs.
std::string NewNodeName(const std::filesystem::path& staging) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "v%012lld%09ld-XXXXXX", static_cast<long long>(now.tv_sec),
                now.tv_nsec);
  std::string pattern = (staging / prefix).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    return {};
  }
  return std::filesystem::path(pattern).filename().string();
}

}  // namespace

std::unique_ptr<VirtualHidDevice> VirtualHidDevice::Plug(
    const VirtualHidDeviceDescription& description) {
  namespace layout = detail::virtual_hid;
  std::error_code error;
  std::filesystem::create_directories(layout::StagingFolder(), error);
  std::filesystem::create_directories(layout::DevicesFolder(), error);
  const std::string stamp = NewNodeName(layout::StagingFolder());
  if (stamp.empty()) {
    return nullptr;
  }
  const std::string node = description.node.empty() ? stamp : description.node;
  auto device = std::make_unique<VirtualHidDevice>(PlugKey{});
  device->instance_ = stamp;
  device->folder_ = layout::StagingFolder() / stamp;
  device->interfaceName_ =
      detail::HidInterfaceName(description.attributes, node, description.lowerCaseName);
  const std::optional<std::string> folder = layout::FolderOf(device->interfaceName_);
  const std::filesystem::path published = layout::DevicesFolder() / folder.value_or(node);

  char ids[32];
  const int idsLength =
      std::snprintf(ids, sizeof ids, "%04x %04x %04x\n", description.attributes.vendorId,
                    description.attributes.productId, description.attributes.versionNumber);
  const std::span<const char> descriptor(
      reinterpret_cast<const char*>(description.reportDescriptor.data()),
      description.reportDescriptor.size());
  const std::optional<sockaddr_un> address =
      detail::LocalSocketAddress(device->folder_ / layout::kSocketFile);
  if (!folder || !detail::IsPlainFileName(node) || !address ||
      !detail::LocalSocketAddress(published / layout::kSocketFile)) {
    std::filesystem::remove_all(device->folder_, error);
    return nullptr;
  }
  device->listener_ =
      detail::UniqueFd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  device->stop_ = detail::UniqueFd(eventfd(0, EFD_CLOEXEC));
  device->wake_ = detail::UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  // Opened for writing, so that its closing at the process's death is a notice to watchers.
  device->lock_ = detail::UniqueFd(
      open((device->folder_ / layout::kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  const bool ready = WriteFile(device->folder_ / layout::kIdsFile,
                               std::span<const char>(ids, static_cast<std::size_t>(idsLength))) &&
                     WriteFile(device->folder_ / layout::kDescriptorFile, descriptor) &&
                     WriteFile(device->folder_ / layout::kInstanceFile, stamp) &&
                     device->lock_ && flock(device->lock_.Get(), LOCK_EX) == 0 &&
                     device->listener_ && device->stop_ && device->wake_ &&
                     bind(device->listener_.Get(), reinterpret_cast<const sockaddr*>(&*address),
                          sizeof *address) == 0 &&
                     listen(device->listener_.Get(), SOMAXCONN) == 0 &&
                     // A dead process's device of the same name makes way.
                     (static_cast<void>(layout::ReadDevice(*folder)), true) &&
                     std::rename(device->folder_.c_str(), published.c_str()) == 0;
  if (!ready) {
    std::filesystem::remove_all(device->folder_, error);
    return nullptr;
  }
  device->folder_ = published;
  device->plugged_ = true;
  device->server_ = std::thread([raw = device.get()] { raw->Serve(); });
  return device;
}

VirtualHidDevice::~VirtualHidDevice() { Unplug(); }

void VirtualHidDevice::Unplug() {
  {
    const std::lock_guard lock(mutex_);
    if (!plugged_) {
      return;
    }
    plugged_ = false;
  }
  outputArrived_.notify_all();
  // Out of the devices folder first, so that nobody opens it any more, then every handle ends.
  const std::filesystem::path gone = detail::virtual_hid::StagingFolder() / (instance_ + "-gone");
  std::error_code error;
  std::filesystem::rename(folder_, gone, error);
  const std::uint64_t one = 1;
  (void)write(stop_.Get(), &one, sizeof one);
  server_.join();
  {
    const std::lock_guard lock(mutex_);
    connections_.clear();
  }
  listener_.Reset();
  std::filesystem::remove_all(error ? folder_ : gone, error);
  lock_.Reset();
}

bool VirtualHidDevice::SendInputReport(std::span<const std::uint8_t> report) {
  const std::lock_guard lock(mutex_);
  if (!plugged_) {
    return false;
  }
  std::vector<std::uint8_t> message{detail::virtual_hid::kInputReportTag};
  message.insert(message.end(), report.begin(), report.end());
  for (const detail::UniqueFd& connection : connections_) {
    (void)send(connection.Get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> VirtualHidDevice::ReadOutputReport(
    std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!outputArrived_.wait_for(lock, timeout, [this] { return !outputs_.empty() || !plugged_; }) ||
      outputs_.empty()) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> report = std::move(outputs_.front());
  outputs_.pop_front();
  return report;
}

std::size_t VirtualHidDevice::OpenHandles() const {
  const std::lock_guard lock(mutex_);
  return connections_.size();
}

void VirtualHidDevice::HoldOutputReports(bool hold) {
  {
    const std::lock_guard lock(mutex_);
    holding_ = hold;
  }
  const std::uint64_t one = 1;
  (void)write(wake_.Get(), &one, sizeof one);
}

void VirtualHidDevice::Serve() {
  constexpr std::size_t kFirstConnection = 3;
  std::vector<pollfd> watched;
  for (;;) {
    watched.assign(
        {{stop_.Get(), POLLIN, 0}, {listener_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}});
    {
      // While holding, the connections are not read.
      const std::lock_guard lock(mutex_);
      for (const detail::UniqueFd& connection : connections_) {
        if (!holding_) {
          watched.push_back({connection.Get(), POLLIN, 0});
        }
      }
    }
    if (detail::PollReady(watched, -1) < 0 || watched[0].revents != 0) {
      return;
    }
    if (watched[2].revents != 0) {
      std::uint64_t count = 0;
      (void)read(wake_.Get(), &count, sizeof count);
    }
    if (watched[1].revents != 0) {
      detail::UniqueFd client(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      // The welcome tells the opener that it is served: every report from now on reaches it.
      const std::lock_guard lock(mutex_);
      if (client && send(client.Get(), &detail::virtual_hid::kWelcome, 1, MSG_NOSIGNAL) == 1) {
        connections_.push_back(std::move(client));
      }
    }
    // Only this thread changes the connections; the ones polled are the first ones.
    for (std::size_t i = kFirstConnection; i < watched.size(); ++i) {
      if (watched[i].revents == 0) {
        continue;
      }
      std::vector<std::uint8_t> report(kMaxReport);
      const ssize_t length = recv(watched[i].fd, report.data(), report.size(), MSG_DONTWAIT);
      const std::lock_guard lock(mutex_);
      if (length > 0) {
        report.resize(static_cast<std::size_t>(length));
        outputs_.push_back(std::move(report));
        outputArrived_.notify_all();
      } else if (length == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        std::erase_if(connections_, [fd = watched[i].fd](const detail::UniqueFd& connection) {
          return connection.Get() == fd;
        });
      }
    }
  }
}

}  // namespace platform
