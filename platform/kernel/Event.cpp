#include "platform/kernel/Event.h"

#include "platform/kernel/ObjectTable.h"

namespace platform {

using detail::ObjectKind;

HandleResult<Event> Event::Create(EventReset reset, bool initiallySet, std::u16string_view name) {
  return FromHandle(
      detail::OpenObject({ObjectKind::Event, reset == EventReset::Manual, initiallySet, 0}, name,
                         detail::Disposition::CreateOrOpen));
}

HandleResult<Event> Event::Open(std::u16string_view name) {
  return FromHandle(detail::OpenObject({ObjectKind::Event}, name, detail::Disposition::OpenOnly));
}

HandleResult<Event> Event::FromHandle(HandleResult<KernelHandle> result) {
  return {Event(std::move(result.handle)), result.alreadyExisted, result.error};
}

bool Event::Set() const { return Set(Ref()); }

bool Event::Set(ObjectRef target) {
  const std::uint32_t slot = target.slot;
  return detail::WithObject(target, ObjectKind::Event,
                            [slot](detail::ObjectTable::Lock& lock, detail::SharedObject& event) {
                              event.signalled = true;
                              lock.NoteChange(slot);
                              detail::PassDeathPoint(detail::DeathPoint::EventSetUnwoken);
                            });
}

bool Event::Reset() const {
  return detail::WithObject(
      Ref(), ObjectKind::Event,
      [](detail::ObjectTable::Lock&, detail::SharedObject& event) { event.signalled = false; });
}

}  // namespace platform
