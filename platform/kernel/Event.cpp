#include "platform/kernel/Event.h"

#include "platform/kernel/ObjectTable.h"

namespace platform {

using detail::ObjectKind;

namespace {

bool SetEvent(ObjectRef target, std::uint32_t needs) {
  const std::uint32_t slot = target.slot;
  return detail::WithObject(
      target, ObjectKind::Event,
      [slot](detail::ObjectTable::Lock& lock, detail::SharedObject& event) {
        event.signalled = true;
        lock.NoteChange(slot);
        detail::PassDeathPoint(detail::DeathPoint::EventSetUnwoken);
      },
      needs);
}

}  // namespace

HandleResult<Event> Event::Create(EventReset reset, bool initiallySet, std::u16string_view name,
                                  const SecurityDescriptor* security, std::uint32_t access) {
  return FromHandle(detail::OpenObject(
      {ObjectKind::Event, reset == EventReset::Manual, initiallySet, 0, security, access}, name,
      detail::Disposition::CreateOrOpen));
}

HandleResult<Event> Event::Open(std::u16string_view name, std::uint32_t access) {
  return FromHandle(detail::OpenObject({ObjectKind::Event, false, false, 0, nullptr, access}, name,
                                       detail::Disposition::OpenOnly));
}

HandleResult<Event> Event::FromHandle(HandleResult<KernelHandle> result) {
  return {Event(std::move(result.handle)), result.alreadyExisted, result.error};
}

bool Event::Set() const { return SetEvent(Ref(), EVENT_MODIFY_STATE); }

bool Event::Set(ObjectRef target) { return SetEvent(target, 0); }

bool Event::Reset() const {
  return detail::WithObject(
      Ref(), ObjectKind::Event,
      [](detail::ObjectTable::Lock&, detail::SharedObject& event) { event.signalled = false; },
      EVENT_MODIFY_STATE);
}

}  // namespace platform
