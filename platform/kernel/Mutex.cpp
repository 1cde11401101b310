#include "platform/kernel/Mutex.h"

#include "platform/base/Process.h"
#include "platform/kernel/ObjectTable.h"

namespace platform {

using detail::ObjectKind;

HandleResult<Mutex> Mutex::Create(bool initiallyOwned, std::u16string_view name,
                                  const SecurityDescriptor* security) {
  return FromHandle(detail::OpenObject({ObjectKind::Mutex, false, initiallyOwned, 0, security},
                                       name, detail::Disposition::CreateOrOpen));
}

HandleResult<Mutex> Mutex::Open(std::u16string_view name, std::uint32_t access) {
  return FromHandle(detail::OpenObject({ObjectKind::Mutex, false, false, 0, nullptr, access}, name,
                                       detail::Disposition::OpenOnly));
}

HandleResult<Mutex> Mutex::FromHandle(HandleResult<KernelHandle> result) {
  return {Mutex(std::move(result.handle)), result.alreadyExisted, result.error};
}

bool Mutex::Release() const {
  bool released = false;
  detail::WithObject(
      Ref(), ObjectKind::Mutex,
      [&released, slot = Ref().slot](detail::ObjectTable::Lock& lock, detail::SharedObject& mutex) {
        if (mutex.owner != detail::ThisProcess() || mutex.ownerThread != CurrentThreadId()) {
          return;
        }
        released = true;
        if (--mutex.recursion == 0) {
          detail::PassDeathPoint(detail::DeathPoint::MutexHalfReleased);
          mutex.owner = {};
          mutex.ownerThread = 0;
          lock.NoteChange(slot);
        }
      });
  return released;
}

}  // namespace platform
