// The hidraw backend: the system's HID devices, listed and watched with libudev, their
// identifiers and report descriptors read from sysfs, their reports read and written on the
// hidraw nodes.

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/hid/HidBackend.h"
#include "platform/hid/HidrawSysfs.h"

namespace platform::detail {

std::optional<HidDeviceInfo> DescribeHidrawNode(const std::filesystem::path& classFolder,
                                                std::string_view node) {
  const std::filesystem::path device = classFolder / node / "device";
  std::ifstream uevent(device / "uevent");
  std::optional<HidAttributes> attributes;
  // HID_ID=bus:vendor:product, each in hex: "0003:0000FFFE:00000003".
  for (std::string line; std::getline(uevent, line);) {
    constexpr std::string_view kKey = "HID_ID=";
    if (!line.starts_with(kKey)) {
      continue;
    }
    const std::string_view value = std::string_view(line).substr(kKey.size());
    const std::size_t first = value.find(':');
    const std::size_t second = value.find(':', first == std::string_view::npos ? 0 : first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
      return std::nullopt;
    }
    const auto parse = [](std::string_view digits) -> std::optional<std::uint16_t> {
      std::uint32_t number = 0;
      const auto [end, error] =
          std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
      if (error != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
          number > 0xFFFF) {
        return std::nullopt;
      }
      return static_cast<std::uint16_t>(number);
    };
    const auto vendor = parse(value.substr(first + 1, second - first - 1));
    const auto product = parse(value.substr(second + 1));
    if (!vendor || !product) {
      return std::nullopt;
    }
    attributes = HidAttributes{*vendor, *product, 0};
  }
  if (!attributes) {
    return std::nullopt;
  }
  HidDeviceInfo info;
  info.path = HidInterfaceName(*attributes, node);
  std::error_code error;
  const std::filesystem::path instance = std::filesystem::canonical(device, error);
  if (!error) {
    info.instance = instance.filename().string();
  }
  info.attributes = *attributes;
  std::ifstream descriptorFile(device / "report_descriptor", std::ios::binary);
  if (descriptorFile) {
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(descriptorFile)),
                                          std::istreambuf_iterator<char>());
    info.descriptor = HidReportDescriptor::Parse(bytes);
  }
  return info;
}

namespace {

const std::filesystem::path kClassFolder = "/sys/class/hidraw";
const std::filesystem::path kDeviceFolder = "/dev";

// Owns one reference to a libudev object of type T, dropped with `Unref`.
template <class T, T* (*Unref)(T*)>
class UdevRef {
 public:
  UdevRef() = default;
  explicit UdevRef(T* object) noexcept : object_(object) {}
  T* Get() const noexcept { return object_.get(); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  struct Deleter {
    void operator()(T* object) const noexcept { Unref(object); }
  };
  std::unique_ptr<T, Deleter> object_;
};

using Udev = UdevRef<udev, udev_unref>;
using UdevEnumerate = UdevRef<udev_enumerate, udev_enumerate_unref>;
using UdevDevice = UdevRef<udev_device, udev_device_unref>;
using UdevMonitor = UdevRef<udev_monitor, udev_monitor_unref>;

// The hidraw nodes' names ("hidraw0"), in the order in which the system lists them; nothing
// when the system cannot list them.
std::optional<std::vector<std::string>> ListNodes(const Udev& context) {
  std::vector<std::string> nodes;
  const UdevEnumerate enumerate(context ? udev_enumerate_new(context.Get()) : nullptr);
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.Get(), "hidraw") < 0 ||
      udev_enumerate_scan_devices(enumerate.Get()) < 0) {
    return std::nullopt;
  }
  for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.Get()); entry != nullptr;
       entry = udev_list_entry_get_next(entry)) {
    nodes.push_back(std::filesystem::path(udev_list_entry_get_name(entry)).filename().string());
  }
  return nodes;
}

class HidrawNoticeSource final : public HidNoticeSource {
 public:
  explicit HidrawNoticeSource(HidBackend& backend)
      : context_(udev_new()), monitor_(Monitor(context_)), names_(backend) {}

  int Descriptor() const override { return monitor_ ? udev_monitor_get_fd(monitor_.Get()) : -1; }

  std::vector<HidNotice> TakeNotices() override {
    std::vector<HidNotice> notices;
    while (const UdevDevice device{udev_monitor_receive_device(monitor_.Get())}) {
      const char* action = udev_device_get_action(device.Get());
      const char* name = udev_device_get_sysname(device.Get());
      if (action == nullptr || name == nullptr) {
        continue;
      }
      const std::string_view change(action);
      auto notice = change == "add"      ? names_.Arrived(name)
                    : change == "remove" ? names_.Removed(name)
                                         : std::nullopt;
      if (notice) {
        notices.push_back(std::move(*notice));
      }
    }
    return notices;
  }

 private:
  // Receives before the present devices are listed, so that none is missed.
  static UdevMonitor Monitor(const Udev& context) {
    UdevMonitor monitor(context ? udev_monitor_new_from_netlink(context.Get(), "udev") : nullptr);
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.Get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.Get()) < 0) {
      return UdevMonitor();
    }
    return monitor;
  }

  Udev context_;
  UdevMonitor monitor_;
  HidNodeNames names_;
};

class HidrawBackend final : public HidBackend {
 public:
  std::unique_ptr<HidNoticeSource> Watch() override {
    return std::make_unique<HidrawNoticeSource>(*this);
  }

  std::optional<std::vector<std::string>> Nodes() override { return ListNodes(Udev(udev_new())); }

  std::optional<HidDeviceInfo> Describe(std::string_view node) override {
    return DescribeHidrawNode(kClassFolder, node);
  }

 private:
  void OpenNode(std::string_view node, HidAccess access, HidOpened& opened) override {
    const int mode = access == HidAccess::Read    ? O_RDONLY
                     : access == HidAccess::Write ? O_WRONLY
                                                  : O_RDWR;
    opened.node = UniqueFd(open((kDeviceFolder / node).c_str(), mode | O_NONBLOCK | O_CLOEXEC));
    if (!opened.node) {
      opened.error =
          errno == ENOENT || errno == ENODEV ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
      return;
    }
    // Without numbered reports a hidraw read carries no identifier byte.
    opened.readsLackReportId = opened.info.descriptor && !opened.info.descriptor->UsesReportIds();
  }
};

}  // namespace

std::unique_ptr<HidBackend> MakeHidrawBackend() { return std::make_unique<HidrawBackend>(); }

}  // namespace platform::detail
