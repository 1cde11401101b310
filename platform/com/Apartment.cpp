#include "platform/com/Apartment.h"

#include <string>
#include <utility>

#include "platform/base/NoDestructor.h"
#include "platform/com/CallInterface.h"
#include "platform/com/CallLayer.h"
#include "platform/com/Object.h"
#include "platform/com/SingleThreadedApartment.h"

namespace platform {

namespace {

enum class ApartmentKind { None, SingleThreaded, MultiThreaded };

// The apartment of one thread; used by that thread only. A thread that ends inside its
// single-threaded apartment leaves it.
struct ThreadApartment {
  ThreadApartment() = default;
  ThreadApartment(const ThreadApartment&) = delete;
  ThreadApartment& operator=(const ThreadApartment&) = delete;
  ~ThreadApartment() { Leave(); }
  void Leave() {
    if (apartment != nullptr) apartment->Leave();
    apartment = nullptr;
    kind = ApartmentKind::None;
    count = 0;
  }

  ApartmentKind kind = ApartmentKind::None;
  std::uint32_t count = 0;
  std::shared_ptr<detail::SingleThreadedApartment> apartment;
};

thread_local ThreadApartment t_apartment;

// The stream of one interface pointer between threads: it keeps the object alive until taken.
// An object that may be called from any thread travels itself; one of a single-threaded
// apartment travels as a reference that the taking thread turns into a proxy calling into it.
class CInterfaceStream final : public ComObject<IStream> {
 public:
  explicit CInterfaceStream(ComPtr<IUnknown> object) : m_object(std::move(object)) {}
  explicit CInterfaceStream(std::string reference) : m_reference(std::move(reference)) {}
  CInterfaceStream(const CInterfaceStream&) = delete;
  CInterfaceStream& operator=(const CInterfaceStream&) = delete;
  ~CInterfaceStream() override {
    if (!m_reference.empty()) RevokeReference(m_reference);
  }
  HRESULT Take(REFIID iid, void** object) {
    if (!m_reference.empty()) {
      const HRESULT hr = UnmarshalReference(m_reference, iid, object);
      RevokeReference(std::exchange(m_reference, {}));
      return hr;
    }
    if (m_object == nullptr) return E_UNEXPECTED;
    const ComPtr<IUnknown> taken = std::move(m_object);
    return taken->QueryInterface(iid, object);
  }

 private:
  ComPtr<IUnknown> m_object;
  std::string m_reference;
};

bool IsProxy(IUnknown* object) {
  ComPtr<IRemoteIdentity> proxy;
  return SUCCEEDED(object->QueryInterface(IidOf<IRemoteIdentity>, proxy.put_void()));
}

}  // namespace

std::shared_ptr<CallDispatcher> CurrentApartmentDispatcher() { return t_apartment.apartment; }

}  // namespace platform

HRESULT CoInitializeEx(void* /*reserved*/, std::uint32_t flags) {
  using platform::ApartmentKind;
  const ApartmentKind wanted = (flags & COINIT_APARTMENTTHREADED) != 0
                                   ? ApartmentKind::SingleThreaded
                                   : ApartmentKind::MultiThreaded;
  platform::ThreadApartment& apartment = platform::t_apartment;
  if (apartment.count > 0) {
    if (apartment.kind != wanted) return RPC_E_CHANGED_MODE;
    ++apartment.count;
    return S_FALSE;
  }
  if (wanted == ApartmentKind::SingleThreaded) {
    apartment.apartment = platform::detail::SingleThreadedApartment::Enter();
    if (apartment.apartment == nullptr) return E_OUTOFMEMORY;
  }
  apartment.kind = wanted;
  apartment.count = 1;
  return S_OK;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

namespace {

struct ProcessSecurityRecord {
  std::mutex mutex;
  std::optional<platform::ProcessCallSecurity> security;
};

ProcessSecurityRecord& TheProcessSecurity() {
  static NoDestructor<ProcessSecurityRecord> record;
  return *record;
}

}  // namespace

HRESULT CoInitializeSecurity(void* securityDescriptor, std::int32_t authenticationServiceCount,
                             void* authenticationServices, void* /*reserved1*/,
                             DWORD authenticationLevel, DWORD impersonationLevel, void* authList,
                             DWORD capabilities, void* /*reserved3*/) {
  if (securityDescriptor != nullptr || authenticationServiceCount > 0 ||
      authenticationServices != nullptr || authList != nullptr) {
    return E_INVALIDARG;
  }
  ProcessSecurityRecord& record = TheProcessSecurity();
  const std::lock_guard lock(record.mutex);
  if (record.security) {
    return RPC_E_TOO_LATE;
  }
  record.security = platform::ProcessCallSecurity{authenticationLevel, impersonationLevel,
                                                  capabilities};
  return S_OK;
}

std::optional<platform::ProcessCallSecurity> platform::ProcessSecurity() {
  ProcessSecurityRecord& record = TheProcessSecurity();
  const std::lock_guard lock(record.mutex);
  return record.security;
}

void CoUninitialize() {
  platform::ThreadApartment& apartment = platform::t_apartment;
  if (apartment.count == 0) return;
  if (--apartment.count == 0) apartment.Leave();
}

HRESULT CoMarshalInterThreadInterfaceInStream(REFIID iid, IUnknown* object, IStream** stream) {
  if (object == nullptr || stream == nullptr) return E_POINTER;
  *stream = nullptr;
  platform::ComPtr<IUnknown> asked;
  if (const HRESULT hr = object->QueryInterface(iid, asked.put_void()); FAILED(hr)) return hr;
  // Objects outside single-threaded apartments and proxies may be called from any thread.
  if (platform::CurrentApartmentDispatcher() == nullptr || platform::IsProxy(asked.get())) {
    *stream = platform::MakeObject<platform::CInterfaceStream>(std::move(asked)).Detach();
    return S_OK;
  }
  std::string reference;
  if (const HRESULT hr = platform::PublishReference(asked.get(), iid, reference); FAILED(hr)) {
    return hr;
  }
  *stream = platform::MakeObject<platform::CInterfaceStream>(std::move(reference)).Detach();
  return S_OK;
}

HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, REFIID iid, void** object) {
  if (stream == nullptr || object == nullptr) return E_POINTER;
  *object = nullptr;
  platform::ComPtr<IStream> owned;
  owned.Attach(stream);  // released whatever happens
  auto* ours = dynamic_cast<platform::CInterfaceStream*>(stream);
  if (ours == nullptr) return E_INVALIDARG;
  return ours->Take(iid, object);
}
