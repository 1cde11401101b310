#pragma once

// The seam between the HID interface and its two backends (hidraw, virtual). Internal to the
// layer.

#include <poll.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hid/Hid.h"
#include "platform/kernel/Posix.h"

namespace platform::detail {

// A device that a backend opened: what it is, and its node unless opened with no access.
struct HidOpened {
  HidDeviceInfo info;
  UniqueFd node;
  // The node's reports lack the identifier byte (a device without numbered reports on hidraw):
  // reads put a 0 in front.
  bool readsLackReportId = false;
  // Every message on the node starts with a tag byte (a virtual device), so that an empty report
  // is told from the end of the stream; without it a read of nothing is an empty report.
  bool readsCarryTag = false;
  std::uint32_t error = ERROR_SUCCESS;
};

struct HidNotice {
  HidDeviceChange change;
  std::u16string path;
};

// The backend's source of notices: a descriptor that turns readable when notices wait. One
// thread uses it.
class HidNoticeSource {
 public:
  virtual ~HidNoticeSource() = default;
  // -1 when the system gives no notices.
  virtual int Descriptor() const = 0;
  virtual std::vector<HidNotice> TakeNotices() = 0;
};

// One backend; any thread may call it.
class HidBackend {
 public:
  virtual ~HidBackend() = default;

  // Nothing when the backend's list cannot be read.
  std::optional<std::vector<HidDeviceInfo>> Enumerate();
  // The device of an interface name, opened as asked.
  HidOpened Open(std::u16string_view path, HidAccess access);
  // Knows the present devices when it returns, so that it reports each later change.
  virtual std::unique_ptr<HidNoticeSource> Watch() = 0;

  // The present devices' nodes, in the backend's order; nothing when they cannot be listed.
  virtual std::optional<std::vector<std::string>> Nodes() = 0;
  // Nothing when the node is gone or is no device.
  virtual std::optional<HidDeviceInfo> Describe(std::string_view node) = 0;

 private:
  // The node of an interface name; by default what follows its last '#'.
  virtual std::optional<std::string> NodeOf(std::u16string_view path);
  // Opens the node for reading, writing or both; `opened.info` is filled already.
  virtual void OpenNode(std::string_view node, HidAccess access, HidOpened& opened) = 0;
};

// The present devices' names by node, for a notice source: a removed node can no longer be
// described, so its removal tells the name it arrived with. One thread uses it.
class HidNodeNames {
 public:
  // Knows the backend's present devices.
  explicit HidNodeNames(HidBackend& backend);
  std::optional<HidNotice> Arrived(const std::string& node);
  std::optional<HidNotice> Removed(const std::string& node);

 private:
  HidBackend& backend_;
  std::map<std::string, std::u16string> paths_;
};

// poll() until one of `watched` is ready or `milliseconds` (-1: no limit) have passed: the
// count of ready descriptors, 0 on a time-out, -1 on an error.
int PollReady(std::span<pollfd> watched, int milliseconds);

// The process's backend, chosen by PLATFORM_HID at the first call.
HidBackend& CurrentHidBackend();
std::unique_ptr<HidBackend> MakeHidrawBackend();
std::unique_ptr<HidBackend> MakeVirtualHidBackend();

// "\\?\HID#VID_xxxx&PID_xxxx#node", or all of it in lower case.
std::u16string HidInterfaceName(const HidAttributes& attributes, std::string_view node,
                                bool lowerCase = false);
// A node name that is a plain file name in a folder.
bool IsPlainFileName(std::string_view name);

}  // namespace platform::detail
