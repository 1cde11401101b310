#pragma once

// DispatchSink: the base of an event sink that maps dispatch ids to member handlers.
//
//   class CFooSink : public platform::DispatchSink<CFooSink, _IFooEvents> {
//    public:
//     HRESULT OnChanged(std::int32_t kind, BSTR name);
//     using SinkMap = platform::SinkMap<
//         platform::SinkEntry<_IFooEvents::Changed, &CFooSink::OnChanged>>;
//   };
//
// Invoke looks the dispatch id up from the top of the map and calls the first entry's handler
// with the arguments converted back from their VARIANTs (which arrive in reverse order); an id
// without an entry is accepted and ignored (S_OK). A wrong argument count answers
// DISP_E_BADPARAMCOUNT, a VARIANT of the wrong type DISP_E_TYPEMISMATCH. The handler's parameter
// types must be the event's declared ones, checked at compile time.
// A sink may name the type library that describes its source (a pointer to a library of static
// storage): DispEventAdvise then connects only when the library declares the event interface as
// a dispatch interface with every dispatch id of the sink map, TYPE_E_ELEMENTNOTFOUND otherwise.
// A sink is called on the thread of the source it is connected to (in-process: the thread that
// fires); its own methods are for that thread only.

#include <cstdint>
#include <optional>
#include <tuple>
#include <type_traits>

#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Event.h"
#include "platform/com/Object.h"
#include "platform/com/TypeLibrary.h"

namespace platform {

template <class Pointer>
struct HandlerOf;
template <class C, class... Args>
struct HandlerOf<HRESULT (C::*)(Args...)> {
  using Class = C;
  using Arguments = std::tuple<Args...>;
};

template <class E, auto Handler>
struct SinkEntry {
  using Event = E;
  static_assert(
      std::is_same_v<typename HandlerOf<decltype(Handler)>::Arguments, typename E::Arguments>,
      "the handler's parameters differ from the event's declaration");

  template <class Sink>
  static HRESULT Call(Sink& sink, const DISPPARAMS& parameters) {
    using Arguments = typename E::Arguments;
    constexpr std::size_t count = std::tuple_size_v<Arguments>;
    if (parameters.cArgs != count || (count > 0 && parameters.rgvarg == nullptr)) {
      return DISP_E_BADPARAMCOUNT;
    }
    return [&]<std::size_t... I>(std::index_sequence<I...>)->HRESULT {
      std::tuple<std::optional<std::tuple_element_t<I, Arguments>>...> values{
          FromVariant<std::tuple_element_t<I, Arguments>>(parameters.rgvarg[count - 1 - I])...};
      if (!(std::get<I>(values).has_value() && ...)) return DISP_E_TYPEMISMATCH;
      return (sink.*Handler)(*std::get<I>(values)...);
    }
    (std::make_index_sequence<count>{});
  }
};

template <class... Entries>
struct SinkMap {
  template <class Sink>
  static HRESULT Dispatch(Sink& sink, DISPID dispid, const DISPPARAMS& parameters) {
    HRESULT result = S_OK;
    const bool handled =
        ((Entries::Event::dispid == dispid ? (result = Entries::Call(sink, parameters), true)
                                           : false) ||
         ...);
    static_cast<void>(handled);
    return result;
  }
  static bool DeclaredIn(const TypeLibrary& library, REFIID iid) {
    return library.DeclaresDispatchInterface(iid) &&
           (library.DeclaresDispatchMember(iid, Entries::Event::dispid) && ...);
  }
};

template <class Derived, class Events, const TypeLibrary* Library = nullptr>
class DispatchSink : public ComObject<IDispatch> {
 public:
  HRESULT Invoke(DISPID dispid, REFIID /*iid*/, LCID /*locale*/, std::uint16_t /*flags*/,
                 DISPPARAMS* parameters, VARIANT* /*result*/) override {
    static const DISPPARAMS kNone{};
    return Derived::SinkMap::Dispatch(static_cast<Derived&>(*this), dispid,
                                      parameters != nullptr ? *parameters : kNone);
  }

  // Connects this sink to `source`'s connection point for the event interface, once.
  HRESULT DispEventAdvise(IUnknown* source) {
    if (m_cookie != 0) return CONNECT_E_ADVISELIMIT;
    if constexpr (Library != nullptr) {
      if (!Derived::SinkMap::DeclaredIn(*Library, IidOf<Events>)) return TYPE_E_ELEMENTNOTFOUND;
    }
    return Advise(source, IidOf<Events>, Identity(), &m_cookie);
  }
  HRESULT DispEventUnadvise(IUnknown* source) {
    if (m_cookie == 0) return CONNECT_E_NOCONNECTION;
    const HRESULT hr = Unadvise(source, IidOf<Events>, m_cookie);
    if (SUCCEEDED(hr)) m_cookie = 0;
    return hr;
  }
  std::uint32_t Cookie() const noexcept { return m_cookie; }

 protected:
  void* QueryOther(REFIID iid) override {
    return iid == IidOf<Events> ? static_cast<IDispatch*>(this) : nullptr;
  }

 private:
  std::uint32_t m_cookie = 0;
};

}  // namespace platform
