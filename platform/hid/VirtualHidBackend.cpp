// The virtual backend: devices published as socket nodes under the platform root. Each open
// handle is a connection of its own; each message on it is one report.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/base/Text.h"
#include "platform/hid/HidBackend.h"
#include "platform/hid/VirtualHidLayout.h"
#include "platform/kernel/Root.h"

namespace platform::detail {
namespace virtual_hid {

std::filesystem::path DevicesFolder() { return PlatformRoot() / "hid" / "devices"; }
std::filesystem::path StagingFolder() { return PlatformRoot() / "hid" / "staging"; }

namespace {
constexpr std::u16string_view kUpperPrefix = u"\\\\?\\HID#";
constexpr std::u16string_view kLowerPrefix = u"\\\\?\\hid#";
}  // namespace

std::optional<std::string> FolderOf(std::u16string_view interfaceName) {
  for (const std::u16string_view prefix : {kUpperPrefix, kLowerPrefix}) {
    if (interfaceName.starts_with(prefix)) {
      std::string folder = ToUtf8(interfaceName.substr(prefix.size()));
      return IsPlainFileName(folder) ? std::optional(folder) : std::nullopt;
    }
  }
  return std::nullopt;
}

std::u16string InterfaceNameOf(std::string_view folder) {
  return std::u16string(folder.starts_with("vid_") ? kLowerPrefix : kUpperPrefix) +
         FromUtf8(folder);
}

namespace {

// The publisher holds the folder's lock; a lock that can be taken belongs to nobody.
bool PublisherAlive(const std::filesystem::path& path) {
  const UniqueFd lock(open((path / kLockFile).c_str(), O_RDONLY | O_CLOEXEC));
  return lock && flock(lock.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// Moves a dead publisher's folder out of the devices folder and removes it.
void Retire(const std::filesystem::path& path) {
  std::string pattern = (StagingFolder() / (path.filename().string() + "-dead-XXXXXX")).string();
  std::error_code error;
  std::filesystem::create_directories(StagingFolder(), error);
  if (mkdtemp(pattern.data()) == nullptr) {
    return;
  }
  const std::filesystem::path dead = std::filesystem::path(pattern) / "device";
  std::filesystem::rename(path, dead, error);
  std::filesystem::remove_all(pattern, error);
}

}  // namespace

std::optional<HidDeviceInfo> ReadDevice(std::string_view folder) {
  const std::filesystem::path path = DevicesFolder() / folder;
  if (!std::filesystem::exists(path)) {
    return std::nullopt;
  }
  if (!PublisherAlive(path)) {
    Retire(path);
    return std::nullopt;
  }
  std::ifstream idsFile(path / kIdsFile);
  std::ifstream descriptorFile(path / kDescriptorFile, std::ios::binary);
  unsigned vendor = 0;
  unsigned product = 0;
  unsigned version = 0;
  if (!(idsFile >> std::hex >> vendor >> product >> version) || !descriptorFile ||
      vendor > 0xFFFF || product > 0xFFFF || version > 0xFFFF) {
    return std::nullopt;
  }
  const std::vector<std::uint8_t> descriptor((std::istreambuf_iterator<char>(descriptorFile)),
                                             std::istreambuf_iterator<char>());
  HidDeviceInfo info;
  info.path = InterfaceNameOf(folder);
  std::ifstream(path / kInstanceFile) >> info.instance;
  info.attributes = {static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product),
                     static_cast<std::uint16_t>(version)};
  info.descriptor = HidReportDescriptor::Parse(descriptor);
  return info;
}

}  // namespace virtual_hid

namespace {

bool AwaitWelcome(int socket) {
  pollfd watched{socket, POLLIN, 0};
  std::uint8_t welcome = 0;
  return PollReady({&watched, 1}, virtual_hid::kWelcomeMilliseconds) == 1 &&
         recv(socket, &welcome, 1, 0) == 1 && welcome == virtual_hid::kWelcome;
}

// Notices from the devices folder: a folder moved in is an arrival, one moved out a removal.
// Each device's folder is watched too: the lock closed for writing there may be its publisher's
// death, and reading the device then retires it, which is its removal.
class VirtualNoticeSource final : public HidNoticeSource {
 public:
  VirtualNoticeSource() : inotify_(WatchFolder()), devicesWatch_(WatchDevices()) {}

  int Descriptor() const override { return inotify_.Get(); }

  std::vector<HidNotice> TakeNotices() override {
    std::vector<HidNotice> notices;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t length = read(inotify_.Get(), buffer, sizeof buffer);
      if (length <= 0) {
        return notices;
      }
      for (ssize_t offset = 0; offset < length;) {
        inotify_event event;
        std::memcpy(&event, buffer + offset, sizeof event);
        const std::string name(event.len > 0 ? buffer + offset + sizeof event : "");
        offset += static_cast<ssize_t>(sizeof event + event.len);
        if (event.wd == devicesWatch_) {
          const bool arrival = (event.mask & IN_MOVED_TO) != 0;
          notices.push_back({arrival ? HidDeviceChange::Arrival : HidDeviceChange::Removal,
                             virtual_hid::InterfaceNameOf(name)});
          if (arrival) {
            WatchDevice(name);
          }
        } else if ((event.mask & IN_IGNORED) != 0) {
          deviceFolders_.erase(event.wd);
        } else if (const auto folder = deviceFolders_.find(event.wd);
                   folder != deviceFolders_.end() && name == virtual_hid::kLockFile) {
          (void)virtual_hid::ReadDevice(folder->second);
        }
      }
    }
  }

 private:
  static UniqueFd WatchFolder() {
    UniqueFd inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    std::error_code ignored;
    std::filesystem::create_directories(virtual_hid::DevicesFolder(), ignored);
    return inotify;
  }

  // Watches the devices folder before the present devices are listed, so that none is missed.
  int WatchDevices() {
    const int watch =
        inotify_ ? inotify_add_watch(inotify_.Get(), virtual_hid::DevicesFolder().c_str(),
                                     IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE)
                 : -1;
    if (watch < 0) {
      inotify_.Reset();
      return -1;
    }
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(virtual_hid::DevicesFolder(), error)) {
      WatchDevice(entry.path().filename().string());
    }
    return watch;
  }

  // Watches one device's folder, and retires it at once when its publisher has died already.
  void WatchDevice(const std::string& folder) {
    const int watch = inotify_add_watch(
        inotify_.Get(), (virtual_hid::DevicesFolder() / folder).c_str(), IN_CLOSE_WRITE);
    if (watch >= 0) {
      deviceFolders_[watch] = folder;
    }
    (void)virtual_hid::ReadDevice(folder);
  }

  UniqueFd inotify_;
  std::map<int, std::string> deviceFolders_;  // the watched device folders by watch
  int devicesWatch_;
};

class VirtualHidBackend final : public HidBackend {
 public:
  std::unique_ptr<HidNoticeSource> Watch() override {
    return std::make_unique<VirtualNoticeSource>();
  }

  // No devices folder yet is no device; a folder that cannot be read is no list.
  std::optional<std::vector<std::string>> Nodes() override {
    std::vector<std::string> nodes;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(virtual_hid::DevicesFolder(), error)) {
      nodes.push_back(entry.path().filename().string());
    }
    if (error && error != std::errc::no_such_file_or_directory) {
      return std::nullopt;
    }
    // Node names end in the time of plugging.
    std::ranges::sort(nodes, {}, [](const std::string& node) {
      return std::string_view(node).substr(node.rfind('#') + 1);
    });
    return nodes;
  }

  std::optional<HidDeviceInfo> Describe(std::string_view node) override {
    return virtual_hid::ReadDevice(node);
  }

 private:
  std::optional<std::string> NodeOf(std::u16string_view path) override {
    return virtual_hid::FolderOf(path);
  }

  void OpenNode(std::string_view node, HidAccess access, HidOpened& opened) override {
    const std::optional<sockaddr_un> address =
        LocalSocketAddress(virtual_hid::DevicesFolder() / node / virtual_hid::kSocketFile);
    if (!address) {
      opened.error = ERROR_FILENAME_EXCED_RANGE;
      return;
    }
    UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!socket ||
        connect(socket.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        !AwaitWelcome(socket.Get()) ||
        fcntl(socket.Get(), F_SETFL, fcntl(socket.Get(), F_GETFL) | O_NONBLOCK) != 0) {
      // Unplugged meanwhile.
      opened.error = ERROR_FILE_NOT_FOUND;
      return;
    }
    // A handle opened for writing only is never read: the device sends it nothing.
    if (access == HidAccess::Write) {
      shutdown(socket.Get(), SHUT_RD);
    }
    opened.node = std::move(socket);
    opened.readsCarryTag = true;
  }
};

}  // namespace

std::unique_ptr<HidBackend> MakeVirtualHidBackend() {
  return std::make_unique<VirtualHidBackend>();
}

}  // namespace platform::detail
