#pragma once

// Events: the methods of an outgoing dispatch interface, declared once with their dispatch ids
// and argument types, so that the firing side and the sinks are checked against one declaration.
//
//   struct _IFooEvents {
//     using Changed = platform::DispEvent<1, "Changed", std::int32_t, BSTR>;
//   };
//   template <> struct platform::InterfaceDeclaration<_IFooEvents> { iid, name };
//
// Argument types are those that a VARIANT carries: std::int32_t (VT_I4), VARIANT_BOOL (VT_BOOL),
// double (VT_R8), BSTR (VT_BSTR), IUnknown* (VT_UNKNOWN, also accepted from VT_DISPATCH),
// IDispatch* (VT_DISPATCH) and SAFEARRAY* (VT_ARRAY | VT_BSTR). A sink receives them borrowed.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "platform/com/Dispatch.h"
#include "platform/com/Interface.h"
#include "platform/com/Variant.h"

namespace platform {

// Named apart from the kernel's Event, so that one source can use both.
template <DISPID Id, FixedString Name, class... Args>
struct DispEvent {
  static constexpr DISPID dispid = Id;
  static constexpr std::string_view name = Name.view();
  using Arguments = std::tuple<Args...>;
};

// The VARIANT form of one event argument (a copy that the VARIANT owns).
inline Variant ToVariant(std::int32_t value) { return Variant::FromInt32(value); }
inline Variant ToVariant(VARIANT_BOOL value) { return Variant::FromBool(value); }
inline Variant ToVariant(double value) { return Variant::FromDouble(value); }
inline Variant ToVariant(BSTR value) {
  return Variant::FromText(std::u16string_view(value, SysStringLen(value)));
}
inline Variant ToVariant(IUnknown* value) { return Variant::FromUnknown(value); }
inline Variant ToVariant(IDispatch* value) { return Variant::FromDispatch(value); }
inline Variant ToVariant(SAFEARRAY* value) { return Variant::FromTextArray(value); }

// An event argument read back from its VARIANT, borrowed; nullopt for a VARIANT of another type.
template <class T>
std::optional<T> FromVariant(const VARIANT& value);

template <>
inline std::optional<std::int32_t> FromVariant(const VARIANT& value) {
  return value.vt == VT_I4 ? std::optional(value.lVal) : std::nullopt;
}
template <>
inline std::optional<VARIANT_BOOL> FromVariant(const VARIANT& value) {
  return value.vt == VT_BOOL ? std::optional(value.boolVal) : std::nullopt;
}
template <>
inline std::optional<double> FromVariant(const VARIANT& value) {
  return value.vt == VT_R8 ? std::optional(value.dblVal) : std::nullopt;
}
template <>
inline std::optional<BSTR> FromVariant(const VARIANT& value) {
  return value.vt == VT_BSTR ? std::optional(value.bstrVal) : std::nullopt;
}
template <>
inline std::optional<IUnknown*> FromVariant(const VARIANT& value) {
  if (value.vt == VT_UNKNOWN) return value.punkVal;
  if (value.vt == VT_DISPATCH) return static_cast<IUnknown*>(value.pdispVal);
  return std::nullopt;
}
template <>
inline std::optional<IDispatch*> FromVariant(const VARIANT& value) {
  return value.vt == VT_DISPATCH ? std::optional(value.pdispVal) : std::nullopt;
}
template <>
inline std::optional<SAFEARRAY*> FromVariant(const VARIANT& value) {
  return value.vt == (VT_ARRAY | VT_BSTR) ? std::optional(value.parray) : std::nullopt;
}

// The positional arguments of event E, in the reverse order that Invoke expects.
template <class E, class... Values>
void BuildArguments(ArgumentList& list, Values&&... values) {
  static_assert(sizeof...(Values) == std::tuple_size_v<typename E::Arguments>,
                "wrong number of event arguments");
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (list.Push(ToVariant(static_cast<std::tuple_element_t<I, typename E::Arguments>>(values))),
     ...);
  }
  (std::index_sequence_for<Values...>{});
}

}  // namespace platform
