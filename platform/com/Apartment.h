#pragma once

// Apartments: how a thread takes part in component calls, and how an interface pointer moves
// to another thread of the process.
//
// CoInitialize and CoInitializeEx count per thread: the first call on a thread answers S_OK,
// later ones of the same kind S_FALSE, one of the other kind RPC_E_CHANGED_MODE (and counts
// nothing); each successful call is matched by one CoUninitialize.
//
// A single-threaded apartment is its thread: calls that other threads and processes make into
// its objects arrive as messages of the thread's queue and run when the thread pumps it
// (GetMessage/DispatchMessage, or MsgWaitForMultipleObjects then PeekMessage/DispatchMessage).
// While such a thread waits for an outgoing call it keeps serving the calls into its apartment
// and its windows' messages, so a callback during the call runs. A multithreaded apartment's
// calls run on threads of the call layer.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/com/ComPtr.h"
#include "platform/com/Interface.h"

inline constexpr std::uint32_t COINIT_MULTITHREADED = 0x0;
inline constexpr std::uint32_t COINIT_APARTMENTTHREADED = 0x2;
inline constexpr HRESULT RPC_E_CHANGED_MODE = MakeHresult(0x80010106);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHresult(0x800401F0);

// A stream that carries one marshalled interface pointer to another thread.
struct IStream : IUnknown {};
template <>
struct platform::InterfaceDeclaration<IStream> {
  static constexpr IID iid = GuidLiteral(u"{2B0C9A61-6F0E-4F0B-8E25-3E1B07A4C3D2}");
  static constexpr std::string_view name = "IStream";
  using Base = IUnknown;
  using Methods = MethodList<>;
};

HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, std::uint32_t flags);
void CoUninitialize();

// The process's call security, set once before its objects are handed out. The call layer checks
// its callers by their user from the kernel whatever is set here; what the process chose is kept
// for it to read back. A second call answers RPC_E_TOO_LATE and changes nothing.
using DWORD = std::uint32_t;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_DEFAULT = 0;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_NONE = 1;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_CONNECT = 2;
inline constexpr DWORD RPC_C_IMP_LEVEL_DEFAULT = 0;
inline constexpr DWORD RPC_C_IMP_LEVEL_ANONYMOUS = 1;
inline constexpr DWORD RPC_C_IMP_LEVEL_IDENTIFY = 2;
inline constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
inline constexpr DWORD EOAC_NONE = 0;
inline constexpr HRESULT RPC_E_TOO_LATE = MakeHresult(0x80010119);

// The security descriptor and the authentication service lists must be null (default access, no
// services of their own); E_INVALIDARG otherwise. Any thread.
HRESULT CoInitializeSecurity(void* securityDescriptor, std::int32_t authenticationServiceCount,
                             void* authenticationServices, void* reserved1,
                             DWORD authenticationLevel, DWORD impersonationLevel, void* authList,
                             DWORD capabilities, void* reserved3);

namespace platform {
struct ProcessCallSecurity {
  DWORD authenticationLevel = RPC_C_AUTHN_LEVEL_DEFAULT;
  DWORD impersonationLevel = RPC_C_IMP_LEVEL_DEFAULT;
  DWORD capabilities = EOAC_NONE;
};
// What CoInitializeSecurity set; nothing before it.
std::optional<ProcessCallSecurity> ProcessSecurity();
}  // namespace platform

// Marshals `object` as `iid` for another thread of this process; the stream holds a reference
// until CoGetInterfaceAndReleaseStream takes the interface out and releases the stream.
HRESULT CoMarshalInterThreadInterfaceInStream(REFIID iid, IUnknown* object, IStream** stream);
HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, REFIID iid, void** object);

namespace platform {

// The apartment of a thread, as the call layer uses it.
class CallDispatcher {
 public:
  virtual ~CallDispatcher() = default;
  // Any thread: queues `call` to run on the apartment's thread when it pumps. A call that can
  // never run (the apartment has ended) is destroyed unrun, so its owner answers from there.
  virtual void Deliver(std::function<void()> call) = 0;
  // The apartment's thread: waits until `done` answers true, running the calls delivered and
  // dispatching the window messages that arrive meanwhile; `done` is asked again after each
  // Wake. False, at once, when the thread's queue cannot be waited on.
  virtual bool WaitServing(const std::function<bool()>& done) = 0;
  // Any thread: makes a waiting WaitServing ask its `done` again.
  virtual void Wake() = 0;
};

// The calling thread's single-threaded apartment; null in the multithreaded apartment (the
// layer's threads) and outside any.
std::shared_ptr<CallDispatcher> CurrentApartmentDispatcher();

}  // namespace platform
