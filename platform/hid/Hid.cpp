#include "platform/hid/Hid.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/base/NoDestructor.h"
#include "platform/base/Text.h"
#include "platform/hid/HidBackend.h"

namespace platform {
namespace detail {

HidBackend& CurrentHidBackend() {
  // Never destroyed, for threads that still open devices while the program exits.
  static NoDestructor<std::unique_ptr<HidBackend>> backend([] {
    const char* chosen = std::getenv("PLATFORM_HID");
    return chosen != nullptr && std::string_view(chosen) == "virtual" ? MakeVirtualHidBackend()
                                                                      : MakeHidrawBackend();
  }());
  return **backend;
}

std::u16string HidInterfaceName(const HidAttributes& attributes, std::string_view node,
                                bool lowerCase) {
  char ids[32];
  std::snprintf(ids, sizeof ids, lowerCase ? "vid_%04x&pid_%04x" : "VID_%04X&PID_%04X",
                attributes.vendorId, attributes.productId);
  return (lowerCase ? u"\\\\?\\hid#" : u"\\\\?\\HID#") + FromUtf8(ids) + u"#" + FromUtf8(node);
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

int PollReady(std::span<pollfd> watched, int milliseconds) {
  int count = 0;
  do {
    count = poll(watched.data(), watched.size(), milliseconds);
  } while (count < 0 && errno == EINTR);
  return count;
}

std::optional<std::vector<HidDeviceInfo>> HidBackend::Enumerate() {
  const std::optional<std::vector<std::string>> nodes = Nodes();
  if (!nodes) {
    return std::nullopt;
  }
  std::vector<HidDeviceInfo> devices;
  for (const std::string& node : *nodes) {
    if (auto info = Describe(node)) {
      devices.push_back(std::move(*info));
    }
  }
  return devices;
}

HidOpened HidBackend::Open(std::u16string_view path, HidAccess access) {
  HidOpened opened;
  const std::optional<std::string> node = NodeOf(path);
  auto info = node ? Describe(*node) : std::nullopt;
  if (!info || info->path != path) {
    opened.error = ERROR_FILE_NOT_FOUND;
    return opened;
  }
  opened.info = std::move(*info);
  if (access != HidAccess::None) {
    OpenNode(*node, access, opened);
  }
  return opened;
}

std::optional<std::string> HidBackend::NodeOf(std::u16string_view path) {
  const std::size_t hash = path.rfind(u'#');
  std::string node =
      hash == std::u16string_view::npos ? std::string() : ToUtf8(path.substr(hash + 1));
  return IsPlainFileName(node) ? std::optional(node) : std::nullopt;
}

HidNodeNames::HidNodeNames(HidBackend& backend) : backend_(backend) {
  for (const std::string& node : backend_.Nodes().value_or(std::vector<std::string>{})) {
    Arrived(node);
  }
}

std::optional<HidNotice> HidNodeNames::Arrived(const std::string& node) {
  const auto info = backend_.Describe(node);
  if (!info) {
    return std::nullopt;
  }
  paths_[node] = info->path;
  return HidNotice{HidDeviceChange::Arrival, info->path};
}

std::optional<HidNotice> HidNodeNames::Removed(const std::string& node) {
  const auto known = paths_.find(node);
  if (known == paths_.end()) {
    return std::nullopt;
  }
  HidNotice notice{HidDeviceChange::Removal, std::move(known->second)};
  paths_.erase(known);
  return notice;
}

namespace {

// Sets the read's completion event once the node is readable (a report, or the device gone),
// for one armed read at a time. Owns its thread and the descriptor that stops it.
class HidReadWatch {
 public:
  explicit HidReadWatch(int node) : node_(node), stop_(eventfd(0, EFD_CLOEXEC)) {}
  HidReadWatch(const HidReadWatch&) = delete;
  HidReadWatch& operator=(const HidReadWatch&) = delete;
  ~HidReadWatch() {
    if (thread_.joinable()) {
      {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
      }
      armed_.notify_one();
      const std::uint64_t one = 1;
      (void)write(stop_.Get(), &one, sizeof one);
      thread_.join();
    }
  }

  bool Arm(const Event& completion) {
    if (!stop_) {
      return false;
    }
    {
      const std::lock_guard lock(mutex_);
      if (completion_ != nullptr) {
        return false;
      }
      completion_ = &completion;
    }
    if (!thread_.joinable()) {
      thread_ = std::thread([this] { Run(); });
    }
    armed_.notify_one();
    return true;
  }

  // The read has ended: the next one may be armed.
  void Disarm() {
    const std::lock_guard lock(mutex_);
    completion_ = nullptr;
    fired_ = false;
  }

 private:
  void Run() {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        armed_.wait(lock, [this] { return stopping_ || (completion_ != nullptr && !fired_); });
        if (stopping_) {
          return;
        }
      }
      pollfd watched[2] = {{node_, POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
      if (PollReady(watched, -1) < 0 || watched[1].revents != 0) {
        return;
      }
      const std::lock_guard lock(mutex_);
      if (completion_ != nullptr) {
        fired_ = true;
        completion_->Set();
      }
    }
  }

  const int node_;
  UniqueFd stop_;
  std::mutex mutex_;
  std::condition_variable armed_;
  const Event* completion_ = nullptr;  // guarded by mutex_; the armed read's event
  bool fired_ = false;                 // guarded by mutex_; the armed read's event was set
  bool stopping_ = false;              // guarded by mutex_
  std::thread thread_;
};

bool IsGone(int error) {
  return error == ENODEV || error == EIO || error == ECONNRESET || error == EPIPE ||
         error == ENOTCONN || error == ESHUTDOWN;
}

}  // namespace
}  // namespace detail

struct HidDevice::State {
  HidDeviceInfo info;
  detail::UniqueFd node;
  HidAccess access = HidAccess::None;
  bool readsLackReportId = false;
  bool readsCarryTag = false;
  bool gone = false;  // the one reading thread's
  std::unique_ptr<detail::HidReadWatch> watch;
};

HidDevice::HidDevice() = default;
HidDevice::HidDevice(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
HidDevice::HidDevice(HidDevice&&) noexcept = default;
HidDevice& HidDevice::operator=(HidDevice&&) noexcept = default;
HidDevice::~HidDevice() = default;

HandleResult<HidDevice> HidDevice::Open(std::u16string_view path, HidAccess access) {
  detail::HidOpened opened = detail::CurrentHidBackend().Open(path, access);
  if (opened.error != ERROR_SUCCESS) {
    return {{}, false, opened.error};
  }
  auto state = std::make_unique<State>();
  state->info = std::move(opened.info);
  state->node = std::move(opened.node);
  state->access = access;
  state->readsLackReportId = opened.readsLackReportId;
  state->readsCarryTag = opened.readsCarryTag;
  return {HidDevice(std::move(state)), false, ERROR_SUCCESS};
}

const HidDeviceInfo& HidDevice::Info() const noexcept {
  static const HidDeviceInfo kNone;
  return state_ ? state_->info : kNone;
}

HidDevice::operator bool() const noexcept { return state_ != nullptr; }

void HidDevice::Close() noexcept { state_.reset(); }

std::uint32_t HidDevice::BeginRead(const Event& completion) {
  if (!state_ || (static_cast<int>(state_->access) & static_cast<int>(HidAccess::Read)) == 0) {
    return ERROR_ACCESS_DENIED;
  }
  if (!state_->watch) {
    state_->watch = std::make_unique<detail::HidReadWatch>(state_->node.Get());
  }
  return state_->watch->Arm(completion) ? ERROR_IO_PENDING : ERROR_INVALID_PARAMETER;
}

HidReport HidDevice::EndRead(std::span<std::uint8_t> buffer) {
  if (!state_ || !state_->watch) {
    return {ERROR_INVALID_PARAMETER, 0};
  }
  state_->watch->Disarm();
  if (state_->gone) {
    return {ERROR_DEVICE_NOT_CONNECTED, 0};
  }
  const std::size_t offset = state_->readsLackReportId && !buffer.empty() ? 1 : 0;
  const bool tagged = state_->readsCarryTag;
  std::uint8_t tag = 0;
  iovec parts[2] = {{&tag, 1}, {buffer.data() + offset, buffer.size() - offset}};
  ssize_t length = 0;
  do {
    length = readv(state_->node.Get(), tagged ? parts : parts + 1, tagged ? 2 : 1);
  } while (length < 0 && errno == EINTR);
  if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    return {ERROR_NO_DATA, 0};
  }
  if (length < 0 || (tagged && length == 0)) {
    // End of the stream or an error of the node: the device has gone.
    state_->gone = true;
    return {ERROR_DEVICE_NOT_CONNECTED, 0};
  }
  if (offset != 0) {
    buffer[0] = 0;
  }
  const auto taken = static_cast<std::size_t>(length) - (tagged ? 1 : 0);
  return {ERROR_SUCCESS, taken + offset};
}

std::uint32_t HidDevice::Write(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds timeout) const {
  if (!state_ || (static_cast<int>(state_->access) & static_cast<int>(HidAccess::Write)) == 0) {
    return ERROR_ACCESS_DENIED;
  }
  if (report.empty()) {
    return ERROR_INVALID_PARAMETER;
  }
  const auto limit = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const ssize_t written = write(state_->node.Get(), report.data(), report.size());
    if (written >= 0) {
      return ERROR_SUCCESS;
    }
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    if (error != EAGAIN && error != EWOULDBLOCK) {
      return detail::IsGone(error) ? ERROR_DEVICE_NOT_CONNECTED : ERROR_INVALID_HANDLE;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        limit - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return ERROR_TIMEOUT;
    }
    pollfd watched{state_->node.Get(), POLLOUT, 0};
    (void)detail::PollReady({&watched, 1}, static_cast<int>(left.count()) + 1);
  }
}

std::optional<std::vector<HidDeviceInfo>> TryEnumerateHidDevices() {
  return detail::CurrentHidBackend().Enumerate();
}

std::vector<HidDeviceInfo> EnumerateHidDevices() {
  return TryEnumerateHidDevices().value_or(std::vector<HidDeviceInfo>{});
}

struct HidDeviceWatch::State {
  std::unique_ptr<detail::HidNoticeSource> source;
  detail::UniqueFd stop;
  std::thread thread;
};

HidDeviceWatch::HidDeviceWatch(Callback callback) : state_(std::make_unique<State>()) {
  state_->source = detail::CurrentHidBackend().Watch();
  state_->stop = detail::UniqueFd(eventfd(0, EFD_CLOEXEC));
  if (!state_->source || state_->source->Descriptor() < 0 || !state_->stop) {
    return;
  }
  state_->thread = std::thread([state = state_.get(), callback = std::move(callback)] {
    for (;;) {
      pollfd watched[2] = {{state->source->Descriptor(), POLLIN, 0},
                           {state->stop.Get(), POLLIN, 0}};
      if (detail::PollReady(watched, -1) < 0 || watched[1].revents != 0) {
        return;
      }
      for (const detail::HidNotice& notice : state->source->TakeNotices()) {
        callback(notice.change, notice.path);
      }
    }
  });
}

HidDeviceWatch::~HidDeviceWatch() {
  if (state_->thread.joinable()) {
    const std::uint64_t one = 1;
    (void)write(state_->stop.Get(), &one, sizeof one);
    state_->thread.join();
  }
}

bool HidDeviceWatch::Watching() const noexcept { return state_->thread.joinable(); }

}  // namespace platform
