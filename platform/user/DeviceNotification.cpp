#include "platform/user/DeviceNotification.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/base/NoDestructor.h"
#include "platform/base/Process.h"
#include "platform/hid/Hid.h"
#include "platform/kernel/Event.h"
#include "platform/user/LocalWindows.h"
#include "platform/user/MessageQueue.h"
#include "platform/user/UserRegistry.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

// One window's registration: the HID watch whose thread sends each notice to the window. Made
// and destroyed on the window's thread; the end waits, serving sent messages, for a notice being
// sent, so the watch's thread never waits on a thread that waits for it.
class DeviceNotice {
 public:
  explicit DeviceNotice(HWND window)
      : window_(window),
        idle_(Event::Create(EventReset::Manual, true).handle),
        watch_([this](HidDeviceChange change, const std::u16string& path) {
          Deliver(change, path);
        }) {}
  DeviceNotice(const DeviceNotice&) = delete;
  DeviceNotice& operator=(const DeviceNotice&) = delete;
  ~DeviceNotice() {
    {
      std::lock_guard lock(lock_);
      stopping_ = true;
    }
    const ObjectRef idle = idle_.Ref();
    detail::ThreadQueue* queue = detail::ThreadQueue::IfExists();
    for (;;) {
      const WaitResult result = queue != nullptr
                                    ? queue->Wait(std::span(&idle, 1), kInfinite, QS_SENDMESSAGE)
                                    : WaitForObject(idle, kInfinite);
      if (result.status != WaitStatus::Signalled || result.index == 0) {
        break;
      }
    }
  }

 private:
  void Deliver(HidDeviceChange change, const std::u16string& path) {
    {
      std::lock_guard lock(lock_);
      if (stopping_) {
        return;
      }
      idle_.Reset();
    }
    DEV_BROADCAST_DEVICEINTERFACE broadcast;
    const std::size_t length = std::min(path.size(), kDeviceInterfaceNameLength - 1);
    std::copy_n(path.begin(), length, broadcast.dbcc_name);
    SendMessage(window_, WM_DEVICECHANGE,
                change == HidDeviceChange::Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                reinterpret_cast<LPARAM>(&broadcast));
    idle_.Set();
  }

  const HWND window_;
  std::mutex lock_;
  bool stopping_ = false;  // guarded by lock_
  Event idle_;             // set while no notice is being sent
  HidDeviceWatch watch_;   // last: its thread stops before the rest goes
};

// This process's registrations by handle, each also kept by its window.
class Registrations {
 public:
  void Add(HDEVNOTIFY handle, HWND window, const std::shared_ptr<DeviceNotice>& notice) {
    std::lock_guard lock(lock_);
    registrations_[handle] = {window, notice};
  }
  std::optional<std::pair<HWND, std::shared_ptr<DeviceNotice>>> Take(HDEVNOTIFY handle) {
    std::lock_guard lock(lock_);
    const auto found = registrations_.find(handle);
    if (found == registrations_.end()) {
      return std::nullopt;
    }
    auto entry = std::pair(found->second.first, found->second.second.lock());
    registrations_.erase(found);
    return entry;
  }

 private:
  std::mutex lock_;
  std::map<HDEVNOTIFY, std::pair<HWND, std::weak_ptr<DeviceNotice>>> registrations_;
};

Registrations& AllRegistrations() {
  static NoDestructor<Registrations> registrations;
  return *registrations;
}

}  // namespace

HDEVNOTIFY RegisterDeviceNotification(HWND window, const ::DEV_BROADCAST_DEVICEINTERFACE* filter,
                                      std::uint32_t flags) {
  if (filter == nullptr || filter->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      flags != DEVICE_NOTIFY_WINDOW_HANDLE) {
    detail::SetLastWindowsError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::uint32_t process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != CurrentProcessId()) {
    detail::SetLastWindowsError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const HDEVNOTIFY handle = detail::UserRegistry::Instance().AllocateHandle();
  auto notice = std::make_shared<DeviceNotice>(window);
  if (handle == 0 || !AttachToWindow(window, notice)) {
    return 0;
  }
  AllRegistrations().Add(handle, window, notice);
  return handle;
}

bool UnregisterDeviceNotification(HDEVNOTIFY notification) {
  const auto registration = AllRegistrations().Take(notification);
  if (!registration) {
    detail::SetLastWindowsError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (registration->second) {
    DetachFromWindow(registration->first, registration->second.get());
  }
  return true;
}

}  // namespace platform
