#pragma once

// HID devices: discovery by vendor and product with the report capabilities, opening for
// reading, writing or both, report reads that complete an event (so that one wait can combine
// them with other objects), report writes, and arrival and removal notices.
//
// The backend is chosen once per process: the virtual devices under the platform root when
// PLATFORM_HID is "virtual" (see VirtualHidDevice.h), the system's hidraw devices otherwise.
// Device interface names read "\\?\HID#VID_xxxx&PID_xxxx#node" (a virtual device may be named
// in lower case) and are what Open takes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hid/HidReportDescriptor.h"
#include "platform/kernel/Event.h"
#include "platform/kernel/KernelHandle.h"

namespace platform {

struct HidAttributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0;
  bool operator==(const HidAttributes&) const = default;
};

struct HidDeviceInfo {
  std::u16string path;  // the device interface name
  // The device behind the name for this plug (hidraw: the HID device instance; virtual: the
  // plug's own stamp): a node name may come back with another device behind it. Empty when it
  // cannot be read.
  std::string instance;
  HidAttributes attributes;
  std::optional<HidReportDescriptor> descriptor;  // nothing when it cannot be read or parsed
};

// The present devices, in the order in which the system lists them (virtual devices in the
// order in which they were plugged); nothing when the system's list cannot be read. Any thread.
std::optional<std::vector<HidDeviceInfo>> TryEnumerateHidDevices();
// The same, with an unreadable list read as no device.
std::vector<HidDeviceInfo> EnumerateHidDevices();

enum class HidAccess : std::uint8_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };

struct HidReport {
  std::uint32_t error = ERROR_SUCCESS;  // ERROR_DEVICE_NOT_CONNECTED once the device has gone
  std::size_t length = 0;               // the bytes taken, report identifier first
};

// Owns one open device: its descriptor and, unless opened with no access, its node, and from
// the first read on the thread that completes its reads, which Close and the destructor stop and
// join. Devices may be opened any number of times at once. Move-only; one thread reads and one
// thread writes at a time (the one that begins a read also ends it).
class HidDevice {
 public:
  HidDevice();
  HidDevice(HidDevice&&) noexcept;
  HidDevice& operator=(HidDevice&&) noexcept;
  ~HidDevice();

  // ERROR_FILE_NOT_FOUND for a name that no present device carries, ERROR_ACCESS_DENIED when the
  // node may not be opened as asked. With no access only the attributes and descriptor are read.
  static HandleResult<HidDevice> Open(std::u16string_view path, HidAccess access);

  const HidDeviceInfo& Info() const noexcept;

  // Starts the one read in flight: `completion` is set once a report can be taken or the device
  // has gone; `completion` must outlive the read or this object. ERROR_IO_PENDING when started,
  // ERROR_ACCESS_DENIED without read access, ERROR_INVALID_PARAMETER while a read is in flight.
  std::uint32_t BeginRead(const Event& completion);
  // Ends the read once `completion` was set: takes one report into `buffer` (cut to its size).
  // ERROR_NO_DATA when there was none after all (begin again), ERROR_DEVICE_NOT_CONNECTED once
  // the device has gone and the reports it sent before are taken; from then on every read fails
  // so.
  HidReport EndRead(std::span<std::uint8_t> buffer);

  // Writes one report, its identifier first, waiting up to `timeout` (real time) for the device
  // to take it: ERROR_SUCCESS, ERROR_DEVICE_NOT_CONNECTED once the device has gone,
  // ERROR_TIMEOUT (nothing was written; the write may be tried again), ERROR_ACCESS_DENIED
  // without write access, ERROR_INVALID_PARAMETER for an empty report.
  std::uint32_t Write(std::span<const std::uint8_t> report,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  explicit operator bool() const noexcept;
  void Close() noexcept;

 private:
  struct State;
  explicit HidDevice(std::unique_ptr<State> state) noexcept;

  std::unique_ptr<State> state_;
};

enum class HidDeviceChange : std::uint8_t { Arrival, Removal };

// Reports every arrival and removal of a device from its construction on, on a thread of its
// own, which the destructor stops and joins. The owning thread makes and destroys it; the
// callback runs on the watch's thread, one notice at a time.
class HidDeviceWatch {
 public:
  using Callback = std::function<void(HidDeviceChange change, const std::u16string& path)>;

  explicit HidDeviceWatch(Callback callback);
  HidDeviceWatch(const HidDeviceWatch&) = delete;
  HidDeviceWatch& operator=(const HidDeviceWatch&) = delete;
  ~HidDeviceWatch();

  // False when the system gives no notices (the watch then reports nothing).
  bool Watching() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
