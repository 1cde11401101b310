#pragma once

// IServiceProvider: how an object finds a service that its site (or any other object) offers.

#include "platform/com/Interface.h"

struct IServiceProvider : IUnknown {
  // The service's interface `iid` into `*object` (one reference for the caller).
  virtual HRESULT QueryService(REFGUID service, REFIID iid, void** object) = 0;
};

template <>
struct platform::InterfaceDeclaration<IServiceProvider> {
  static constexpr IID iid = GuidLiteral(u"{6D5140C1-7436-11CE-8034-00AA006009FA}");
  static constexpr std::string_view name = "IServiceProvider";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IServiceProvider, QueryService)>;
};
