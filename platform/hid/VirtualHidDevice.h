#pragma once

// The far side of a virtual HID device: plugs a device in under the platform root, where every
// process of the root with PLATFORM_HID=virtual finds, opens and watches it, sends it input
// reports and reads the output reports written to it, and unplugs it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid/Hid.h"
#include "platform/kernel/Posix.h"

namespace platform {

struct VirtualHidDeviceDescription {
  HidAttributes attributes;
  std::vector<std::uint8_t> reportDescriptor;
  bool lowerCaseName = false;  // name the interface "\\?\hid#vid_xxxx&pid_xxxx#..."
  // The node name to take, as hidraw gives a replugged device its old node; empty: a name of
  // its own. Plug fails while a device of that name is plugged.
  std::string node{};
};

// Owns one plugged device: its folder under the root, its listening socket, the connections of
// the handles opened to it, and the thread that serves them, which Unplug (and the destructor)
// stops and joins. Any thread may call every member.
class VirtualHidDevice {
  // Lets only Plug make a device.
  struct PlugKey {
    explicit PlugKey() = default;
  };

 public:
  explicit VirtualHidDevice(PlugKey) {}
  // Nothing when the device cannot be published.
  static std::unique_ptr<VirtualHidDevice> Plug(const VirtualHidDeviceDescription& description);
  VirtualHidDevice(const VirtualHidDevice&) = delete;
  VirtualHidDevice& operator=(const VirtualHidDevice&) = delete;
  ~VirtualHidDevice();

  const std::u16string& InterfaceName() const noexcept { return interfaceName_; }

  // Sends one input report, its identifier first, to every handle opened for reading; a handle
  // that has not read its earlier reports and has no room loses this one, as a device's report
  // buffer does. False once unplugged.
  bool SendInputReport(std::span<const std::uint8_t> report);
  // The next report written by any handle, in the order of arrival, waiting up to `timeout` of
  // real time; once unplugged, the reports still kept and then nothing at once.
  std::optional<std::vector<std::uint8_t>> ReadOutputReport(std::chrono::milliseconds timeout);
  // Handles now open for reading or writing.
  std::size_t OpenHandles() const;
  // While held, the device takes no output report, as a slow device: writes to it wait once its
  // buffer is full, until it is let go.
  void HoldOutputReports(bool hold);

  // Removes the device: the arrival's watchers see its removal, and its open handles fail their
  // reads and writes. Unplugging twice does nothing.
  void Unplug();

 private:
  void Serve();

  std::u16string interfaceName_;
  std::string instance_;
  std::filesystem::path folder_;  // in the devices folder while plugged; removed with Unplug
  detail::UniqueFd lock_;         // the folder's lock, held while plugged
  detail::UniqueFd listener_;
  detail::UniqueFd stop_;
  detail::UniqueFd wake_;  // tells the server that holding changed
  std::thread server_;

  mutable std::mutex mutex_;
  std::condition_variable outputArrived_;
  std::vector<detail::UniqueFd> connections_;      // guarded by mutex_
  std::deque<std::vector<std::uint8_t>> outputs_;  // guarded by mutex_
  bool plugged_ = false;                           // guarded by mutex_
  bool holding_ = false;                           // guarded by mutex_
};

}  // namespace platform
