#pragma once

// IUnknown and the one declaration of every component interface.
//
// An interface is a struct of pure virtual methods (each returns HRESULT) and, beside it, one
// specialisation of platform::InterfaceDeclaration that gives its identifier, its name, the
// interface it extends and its methods in table order:
//
//   struct IWMPMedia : IUnknown {
//     virtual HRESULT get_name(BSTR* name) = 0;
//     virtual HRESULT getItemInfo(BSTR attribute, BSTR* value) = 0;
//   };
//   template <>
//   struct platform::InterfaceDeclaration<IWMPMedia> {
//     static constexpr IID iid = platform::GuidLiteral(u"{...}");
//     static constexpr std::string_view name = "IWMPMedia";
//     using Base = IUnknown;
//     using Methods = platform::MethodList<COM_METHOD(IWMPMedia, get_name),
//                                          COM_METHOD(IWMPMedia, getItemInfo)>;
//   };
//
// Each method's arguments must be of the kinds that can cross a process (ArgumentTraits below; a
// parameter of any other type does not compile), in or out by its C++ type. A stub for the later
// call layer is generated from the table (the index of a method is its position after the base's
// methods), and a proxy's forwarder names its method by member pointer, which must be in the
// table: platform::MethodOf<&IWMPMedia::get_name> does not compile for a method the declaration
// leaves out. IUnknown's three methods are the call layer's own and are not in any table.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "platform/base/Bstr.h"
#include "platform/base/Status.h"
#include "platform/com/Guid.h"

using ULONG = std::uint32_t;

// The root of every interface. An object dies through its last Release, never through delete on
// an interface pointer; the destructor is virtual so that objects of several interfaces are
// destroyed whole by the one Release.
struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct VARIANT;
struct SAFEARRAY;
struct DISPPARAMS;

namespace platform {

template <class Interface>
struct InterfaceDeclaration;

template <class Interface>
inline constexpr const IID& IidOf = InterfaceDeclaration<Interface>::iid;

// What crosses a process, and in which direction.
enum class ArgumentKind {
  Int32,             // std::int32_t and 32-bit enumerations
  UInt32,            // cookies and counts
  Int16,             // VARIANT_BOOL
  UInt16,            // call flags
  Double,            //
  Bstr,              // BSTR: in borrowed, out owned by the caller
  Variant,           // VARIANT: in borrowed (const VARIANT*), out owned by the caller (VARIANT*)
  BstrArray,         // SAFEARRAY of BSTR: in borrowed, out owned by the caller
  Guid,              // const GUID&, in only
  Interface,         // I* in (borrowed), I** out (one reference for the caller)
  InterfaceById,     // void** out whose interface is the GUID argument just before it
  DispatchArguments  // DISPPARAMS*, in only: positional VARIANTs in reverse order
};
enum class Direction { In, Out };

struct ArgumentShape {
  ArgumentKind kind;
  Direction direction;
};

// Only the specialisations below exist, so a parameter of another type does not compile.
template <class T>
struct ArgumentTraits;

template <ArgumentKind K, Direction D>
struct ArgumentOf {
  static constexpr ArgumentShape shape{K, D};
};

template <class T>
concept Int32Like = std::same_as<T, std::int32_t> ||(std::is_enum_v<T> && sizeof(T) == 4);

template <Int32Like T>
struct ArgumentTraits<T> : ArgumentOf<ArgumentKind::Int32, Direction::In> {};
template <Int32Like T>
struct ArgumentTraits<T*> : ArgumentOf<ArgumentKind::Int32, Direction::Out> {};
template <>
struct ArgumentTraits<std::uint32_t> : ArgumentOf<ArgumentKind::UInt32, Direction::In> {};
template <>
struct ArgumentTraits<std::uint32_t*> : ArgumentOf<ArgumentKind::UInt32, Direction::Out> {};
template <>
struct ArgumentTraits<std::int16_t> : ArgumentOf<ArgumentKind::Int16, Direction::In> {};
template <>
struct ArgumentTraits<std::int16_t*> : ArgumentOf<ArgumentKind::Int16, Direction::Out> {};
template <>
struct ArgumentTraits<std::uint16_t> : ArgumentOf<ArgumentKind::UInt16, Direction::In> {};
template <>
struct ArgumentTraits<double> : ArgumentOf<ArgumentKind::Double, Direction::In> {};
template <>
struct ArgumentTraits<double*> : ArgumentOf<ArgumentKind::Double, Direction::Out> {};
template <>
struct ArgumentTraits<BSTR> : ArgumentOf<ArgumentKind::Bstr, Direction::In> {};
template <>
struct ArgumentTraits<BSTR*> : ArgumentOf<ArgumentKind::Bstr, Direction::Out> {};
template <>
struct ArgumentTraits<const VARIANT*> : ArgumentOf<ArgumentKind::Variant, Direction::In> {};
template <>
struct ArgumentTraits<VARIANT*> : ArgumentOf<ArgumentKind::Variant, Direction::Out> {};
template <>
struct ArgumentTraits<SAFEARRAY*> : ArgumentOf<ArgumentKind::BstrArray, Direction::In> {};
template <>
struct ArgumentTraits<SAFEARRAY**> : ArgumentOf<ArgumentKind::BstrArray, Direction::Out> {};
template <>
struct ArgumentTraits<const GUID&> : ArgumentOf<ArgumentKind::Guid, Direction::In> {};
template <std::derived_from<IUnknown> I>
struct ArgumentTraits<I*> : ArgumentOf<ArgumentKind::Interface, Direction::In> {};
template <std::derived_from<IUnknown> I>
struct ArgumentTraits<I**> : ArgumentOf<ArgumentKind::Interface, Direction::Out> {};
template <>
struct ArgumentTraits<void**> : ArgumentOf<ArgumentKind::InterfaceById, Direction::Out> {};
template <>
struct ArgumentTraits<DISPPARAMS*> : ArgumentOf<ArgumentKind::DispatchArguments, Direction::In> {};

// A method name as a template argument.
template <std::size_t N>
struct FixedString {
  char text[N]{};
  consteval FixedString(const char (&literal)[N]) {  // NOLINT(google-explicit-constructor)
    for (std::size_t i = 0; i < N; ++i) text[i] = literal[i];
  }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

template <class Pointer>
struct MemberFunction;
template <class C, class... Args>
struct MemberFunction<HRESULT (C::*)(Args...)> {
  using Class = C;
  static constexpr std::array<ArgumentShape, sizeof...(Args)> arguments{
      ArgumentTraits<Args>::shape...};
};

// One row of a method table: the member, its name and the shapes of its arguments.
template <auto Pointer, FixedString Name>
struct Method {
  static constexpr auto pointer = Pointer;
  static constexpr std::string_view name = Name.view();
  static constexpr auto arguments = MemberFunction<decltype(Pointer)>::arguments;
};

template <class... Methods>
struct MethodList {
  static constexpr std::size_t count = sizeof...(Methods);
};

template <>
struct InterfaceDeclaration<IUnknown> {
  static constexpr IID iid = GuidLiteral(u"{983F793D-27CF-4582-BF1F-97E94DAB7A44}");
  static constexpr std::string_view name = "IUnknown";
  using Methods = MethodList<>;
};

#define COM_METHOD(Interface, method) ::platform::Method<&Interface::method, #method>

// What a running program knows of one declared method: enough to name it in logs and tests and
// to find it in a stub. Each method has exactly one MethodInfo, so its address identifies it.
struct MethodInfo {
  std::string_view interfaceName;
  std::string_view methodName;
  std::size_t index;  // in the interface's table, after the methods of its bases
};

namespace detail {

template <auto Pointer>
struct MethodTag {};

template <class Interface>
constexpr std::size_t InheritedMethodCount() {
  if constexpr (requires { typename InterfaceDeclaration<Interface>::Base; }) {
    using Base = typename InterfaceDeclaration<Interface>::Base;
    return InheritedMethodCount<Base>() + InterfaceDeclaration<Base>::Methods::count;
  } else {
    return 0;
  }
}
template <auto Pointer, class List>
struct IndexIn;
template <auto Pointer, class... Methods>
struct IndexIn<Pointer, MethodList<Methods...>> {
  static constexpr std::size_t Find() {
    constexpr std::array<bool, sizeof...(Methods)> matches{
        std::is_same_v<MethodTag<Pointer>, MethodTag<Methods::pointer>>...};
    for (std::size_t i = 0; i < matches.size(); ++i) {
      if (matches[i]) return i;
    }
    return matches.size();
  }
  static constexpr std::size_t value = Find();
  static constexpr std::string_view Name() {
    constexpr std::array<std::string_view, sizeof...(Methods)> names{Methods::name...};
    return names[value];
  }
};

}  // namespace detail

template <auto Pointer>
struct MethodOfPointer {
  using Interface = typename MemberFunction<decltype(Pointer)>::Class;
  using Table = typename InterfaceDeclaration<Interface>::Methods;
  using Index = detail::IndexIn<Pointer, Table>;
  static_assert(Index::value < Table::count, "the method is not in its interface's declaration");
  static constexpr MethodInfo info{InterfaceDeclaration<Interface>::name, Index::Name(),
                                   detail::InheritedMethodCount<Interface>() + Index::value};
};

// The declared method behind a member pointer; does not compile for an undeclared method.
template <auto Pointer>
inline constexpr const MethodInfo& MethodOf = MethodOfPointer<Pointer>::info;

// Whether `Interface` is `Wanted` or extends it, by the declarations' Base chain.
template <class Interface>
constexpr bool IsOrExtends(REFIID wanted) {
  if (IidOf<Interface> == wanted) return true;
  if constexpr (requires { typename InterfaceDeclaration<Interface>::Base; }) {
    return IsOrExtends<typename InterfaceDeclaration<Interface>::Base>(wanted);
  } else {
    return false;
  }
}

}  // namespace platform
