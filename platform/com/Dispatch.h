#pragma once

// IDispatch as events use it: a call by dispatch id with positional arguments.

#include <cstdint>

#include "platform/com/Interface.h"
#include "platform/com/Variant.h"

using DISPID = std::int32_t;
using LCID = std::uint32_t;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
inline constexpr std::uint16_t DISPATCH_METHOD = 1;

// The arguments of one Invoke: rgvarg holds cArgs VARIANTs, the last argument first. Named
// arguments are not used by the system (cNamedArgs 0).
struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  std::uint32_t cArgs = 0;
  std::uint32_t cNamedArgs = 0;
};

struct IDispatch : IUnknown {
  // `iid` is IID_NULL; `result` may be null.
  virtual HRESULT Invoke(DISPID dispid, REFIID iid, LCID locale, std::uint16_t flags,
                         DISPPARAMS* parameters, VARIANT* result) = 0;
};

template <>
struct platform::InterfaceDeclaration<IDispatch> {
  static constexpr IID iid = GuidLiteral(u"{AA63101C-C9C9-4D27-9652-DC401A6657AE}");
  static constexpr std::string_view name = "IDispatch";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IDispatch, Invoke)>;
};
