#pragma once

// Proxies and stubs, generated from an interface's one declaration, and the table that finds
// them by interface id.
//
// A stub is wholly generated: Stub<I>::Invoke reads a call's values into holders of the declared
// argument types, calls the method and writes the out values into the reply. A proxy is a class
// whose overrides each forward to the method row they name:
//
//   class CCounterProxy final : public platform::Proxy<ICounter> {
//    public:
//     using Proxy::Proxy;
//     HRESULT Increment(std::int32_t by, std::int32_t* total) override {
//       return Forward<&ICounter::Increment>(by, total);
//     }
//   };
//   inline const bool kCounterCalls = platform::RegisterCallInterface<ICounter, CCounterProxy>();
//
// An event interface (Event.h) travels as IDispatch: RegisterEventInterface<E>() lets a sink in
// another process be advised on a connection point for E.

#include <cstdint>
#include <memory>
#include <span>
#include <tuple>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Interface.h"
#include "platform/com/Marshal.h"
#include "platform/com/Object.h"
#include "platform/com/Wire.h"

namespace platform {

inline constexpr HRESULT RPC_S_PROCNUM_OUT_OF_RANGE_HRESULT = HRESULT_FROM_WIN32(1745);

// One reference to an object in another process, as one proxy holds it: the call layer's
// connection to the object's exporter. Dropping it gives the reference back. Any thread may call,
// from several threads at once.
class RemoteObject {
 public:
  virtual ~RemoteObject() = default;
  // The interface the reference is for (the proxy's).
  virtual const IID& Iid() const noexcept = 0;
  // The reference as it is passed on to a third process (or thread); `anchor` is the connection
  // it travels over, which keeps a reference that this process grants until it is claimed.
  virtual HRESULT PassOn(REFIID iid, std::uint64_t anchor, wire::ObjectReference& reference) = 0;
  // One call: `in` values out, the reply's values into `out`; a failure of the call layer
  // (RPC_E_DISCONNECTED when the object's process is gone) or the method's HRESULT.
  virtual HRESULT Call(std::uint32_t method, std::vector<wire::Value> in,
                       std::vector<wire::Value>& out) = 0;
  // Asks the object for another interface: a new reference.
  virtual HRESULT QueryInterface(REFIID iid, std::unique_ptr<RemoteObject>& other) = 0;
  // The marshaller for interface pointers that cross with this object's calls.
  virtual ReferenceMarshaller& Marshaller() noexcept = 0;
};

// What every proxy answers, so that the call layer passes on the original reference.
struct IRemoteIdentity : IUnknown {
  virtual RemoteObject& Remote() = 0;
};
template <>
struct InterfaceDeclaration<IRemoteIdentity> {
  static constexpr IID iid = GuidLiteral(u"{3C1F2A0E-7B1D-4E55-9A3C-62C0D7E5B4F1}");
  static constexpr std::string_view name = "IRemoteIdentity";
  using Base = IUnknown;
  using Methods = MethodList<>;
};

namespace detail {

template <class Pointer>
struct Signature;
template <class C, class... Args>
struct Signature<HRESULT (C::*)(Args...)> {
  using Arguments = std::tuple<Args...>;
};
template <class Pointer>
using ArgumentsOf = typename Signature<std::remove_cv_t<Pointer>>::Arguments;

// A proxy of IUnknown is its identity interface alone: IUnknown must be a base only once.
template <class I>
using ProxyBase = std::conditional_t<std::is_same_v<I, IUnknown>, ComObject<IRemoteIdentity>,
                                     ComObject<I, IRemoteIdentity>>;

// Runs `step` on each element until one fails; the first failure or S_OK.
template <class Tuple, class Step>
HRESULT EachUntilFailure(Tuple& tuple, Step step) {
  return std::apply(
      [&](auto&... element) {
        HRESULT hr = S_OK;
        ((hr = SUCCEEDED(hr) ? step(element) : hr), ...);
        return hr;
      },
      tuple);
}

}  // namespace detail

// The base of a proxy for interface I. Any thread may call it; each call waits for its reply.
template <class I>
class Proxy : public detail::ProxyBase<I> {
 public:
  explicit Proxy(std::unique_ptr<RemoteObject> remote) : m_remote(std::move(remote)) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == m_remote->Iid()) {
      *object = static_cast<I*>(this);
      this->AddRef();
      return S_OK;
    }
    if (SUCCEEDED(detail::ProxyBase<I>::QueryInterface(iid, object))) return S_OK;
    return QueryRemote(iid, object);
  }
  RemoteObject& Remote() override { return *m_remote; }

 protected:
  template <auto Pointer, class... Given>
  HRESULT Forward(Given&&... given) {
    using Arguments = detail::ArgumentsOf<decltype(Pointer)>;
    return ForwardAs<Pointer>(static_cast<Arguments*>(nullptr), std::forward<Given>(given)...);
  }

 private:
  template <auto Pointer, class... Args, class... Given>
  HRESULT ForwardAs(std::tuple<Args...>*, Given&&... given) {
    std::tuple<Args...> arguments(std::forward<Given>(given)...);
    MarshalContext context{m_remote->Marshaller()};
    std::apply([](auto&... argument) { (ProxyArgument<Args>::Clear(argument), ...); }, arguments);
    std::vector<wire::Value> in;
    HRESULT hr = std::apply(
        [&](auto&... argument) {
          HRESULT step = S_OK;
          ((step = SUCCEEDED(step) ? ProxyArgument<Args>::Send(argument, in, context) : step), ...);
          return step;
        },
        arguments);
    if (FAILED(hr)) return hr;
    std::vector<wire::Value> out;
    const HRESULT result =
        m_remote->Call(static_cast<std::uint32_t>(MethodOf<Pointer>.index), std::move(in), out);
    ValueCursor cursor(out);
    hr = std::apply(
        [&](auto&... argument) {
          HRESULT step = S_OK;
          ((step =
                SUCCEEDED(step) ? ProxyArgument<Args>::Receive(argument, cursor, context) : step),
           ...);
          return step;
        },
        arguments);
    // A failed call may come without out values; its own HRESULT is the answer then.
    return FAILED(result) || SUCCEEDED(hr) ? result : hr;
  }

  HRESULT QueryRemote(REFIID iid, void** object);

  std::unique_ptr<RemoteObject> m_remote;
};

// Generated stub of interface I (and, by the declaration's Base chain, of its bases).
template <class I>
struct Stub {
  // `index` counts the bases' methods first; the method's HRESULT, or the failure of reading
  // its arguments or writing its results.
  static HRESULT Invoke(I& object, std::uint32_t index, std::span<const wire::Value> in,
                        std::vector<wire::Value>& out, ReferenceMarshaller& marshaller) {
    constexpr std::size_t inherited = detail::InheritedMethodCount<I>();
    if constexpr (requires { typename InterfaceDeclaration<I>::Base; }) {
      using Base = typename InterfaceDeclaration<I>::Base;
      if (index < inherited) return Stub<Base>::Invoke(object, index, in, out, marshaller);
    }
    using Methods = typename InterfaceDeclaration<I>::Methods;
    if (index < inherited || index - inherited >= Methods::count) {
      return RPC_S_PROCNUM_OUT_OF_RANGE_HRESULT;
    }
    return Rows(object, index - inherited, in, out, marshaller,
                std::make_index_sequence<Methods::count>{});
  }

 private:
  template <std::size_t... Row>
  static HRESULT Rows(I& object, std::size_t row, std::span<const wire::Value> in,
                      std::vector<wire::Value>& out, ReferenceMarshaller& marshaller,
                      std::index_sequence<Row...>) {
    HRESULT result = RPC_S_PROCNUM_OUT_OF_RANGE_HRESULT;
    const bool found =
        ((row == Row ? (result = Call<MethodAt<I, Row>>(object, in, out, marshaller), true)
                     : false) ||
         ...);
    static_cast<void>(found);
    return result;
  }

  template <class Row>
  static HRESULT Call(I& object, std::span<const wire::Value> in, std::vector<wire::Value>& out,
                      ReferenceMarshaller& marshaller) {
    using Arguments = detail::ArgumentsOf<decltype(Row::pointer)>;
    return CallWith<Row>(object, in, out, marshaller, static_cast<Arguments*>(nullptr));
  }

  template <class Row, class... Args>
  static HRESULT CallWith(I& object, std::span<const wire::Value> in, std::vector<wire::Value>& out,
                          ReferenceMarshaller& marshaller, std::tuple<Args...>*) {
    std::tuple<StubArgument<Args>...> slots;
    MarshalContext context{marshaller};
    ValueCursor cursor(in);
    if (const HRESULT hr =
            detail::EachUntilFailure(slots, [&](auto& slot) { return slot.Load(cursor, context); });
        FAILED(hr)) {
      return hr;
    }
    if (!cursor.AtEnd()) return DISP_E_BADPARAMCOUNT;
    const HRESULT result =
        std::apply([&](auto&... slot) { return (object.*Row::pointer)(slot.Pass()...); }, slots);
    if (const HRESULT hr =
            detail::EachUntilFailure(slots, [&](auto& slot) { return slot.Store(out, context); });
        FAILED(hr)) {
      out.clear();
      return hr;
    }
    return result;
  }
};

template <>
struct Stub<IUnknown> {
  static HRESULT Invoke(IUnknown&, std::uint32_t, std::span<const wire::Value>,
                        std::vector<wire::Value>&, ReferenceMarshaller&) {
    return RPC_S_PROCNUM_OUT_OF_RANGE_HRESULT;
  }
};

// How calls of one interface id cross: its stub over the interface pointer that QueryInterface
// gave for the id, and its proxy over a remote reference.
struct CallInterface {
  using StubFunction = HRESULT (*)(void* object, std::uint32_t method,
                                   std::span<const wire::Value> in, std::vector<wire::Value>& out,
                                   ReferenceMarshaller& marshaller);
  // A proxy as the interface of the reference (one reference for the caller).
  using ProxyFunction = void* (*)(std::unique_ptr<RemoteObject> remote);
  StubFunction stub;
  ProxyFunction proxy;
};

// The interfaces that can cross; filled at start-up, read by any thread afterwards.
const CallInterface* FindCallInterface(REFIID iid);
void AddCallInterface(REFIID iid, CallInterface entry);

template <class I, class P>
CallInterface MakeCallInterface() {
  return {[](void* object, std::uint32_t method, std::span<const wire::Value> in,
             std::vector<wire::Value>& out, ReferenceMarshaller& marshaller) {
            return Stub<I>::Invoke(*static_cast<I*>(object), method, in, out, marshaller);
          },
          [](std::unique_ptr<RemoteObject> remote) -> void* {
            ComPtr<P> proxy = MakeObject<P>(std::move(remote));
            return static_cast<I*>(proxy.Detach());
          }};
}

template <class I, class P>
bool RegisterCallInterface() {
  AddCallInterface(IidOf<I>, MakeCallInterface<I, P>());
  return true;
}

// An event interface travels as IDispatch under its own id.
void AddEventInterface(REFIID events);
template <class Events>
bool RegisterEventInterface() {
  AddEventInterface(IidOf<Events>);
  return true;
}

template <class I>
HRESULT Proxy<I>::QueryRemote(REFIID iid, void** object) {
  const CallInterface* entry = FindCallInterface(iid);
  if (entry == nullptr) return E_NOINTERFACE;
  std::unique_ptr<RemoteObject> other;
  if (const HRESULT hr = m_remote->QueryInterface(iid, other); FAILED(hr)) return hr;
  *object = entry->proxy(std::move(other));
  return S_OK;
}

}  // namespace platform
