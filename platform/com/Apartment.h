#pragma once

// Apartments: how a thread takes part in component calls, and how an interface pointer moves
// to another thread of the process.
//
// CoInitialize and CoInitializeEx count per thread: the first call on a thread answers S_OK,
// later ones of the same kind S_FALSE, one of the other kind RPC_E_CHANGED_MODE (and counts
// nothing); each successful call is matched by one CoUninitialize.
//
// Calls that other processes make into a thread's objects run where the thread's apartment
// dispatcher puts them. A multithreaded apartment's calls run on threads of the call layer; a
// single-threaded apartment's calls are delivered to its thread by the dispatcher that the
// windows layer installs (until one is installed, they run on the layer's threads too).

#include <cstdint>
#include <functional>
#include <memory>

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

// Marshals `object` as `iid` for another thread of this process; the stream holds a reference
// until CoGetInterfaceAndReleaseStream takes the interface out and releases the stream.
HRESULT CoMarshalInterThreadInterfaceInStream(REFIID iid, IUnknown* object, IStream** stream);
HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, REFIID iid, void** object);

namespace platform {

// Where the incoming calls of one apartment run. Deliver may be called from any thread.
class CallDispatcher {
 public:
  virtual ~CallDispatcher() = default;
  virtual void Deliver(std::function<void()> call) = 0;
};

// Makes the dispatcher of a thread that enters a single-threaded apartment, on that thread.
using DispatcherFactory = std::function<std::shared_ptr<CallDispatcher>()>;
// Installed once by the windows layer, before threads enter apartments.
void SetSingleThreadedDispatcherFactory(DispatcherFactory factory);

// The calling thread's apartment dispatcher: its single-threaded apartment's when it has one
// with a dispatcher, null for the multithreaded apartment (the layer's threads).
std::shared_ptr<CallDispatcher> CurrentApartmentDispatcher();

}  // namespace platform
