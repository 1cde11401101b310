#pragma once

// The proxies of the layer's own interfaces; their registration lives in CallInterfaces.cpp.

#include "platform/com/CallInterface.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"

namespace platform {

class CUnknownProxy final : public Proxy<IUnknown> {
 public:
  using Proxy::Proxy;
};

class CDispatchProxy final : public Proxy<IDispatch> {
 public:
  using Proxy::Proxy;
  HRESULT Invoke(DISPID dispid, REFIID iid, LCID locale, std::uint16_t flags,
                 DISPPARAMS* parameters, VARIANT* result) override {
    return Forward<&IDispatch::Invoke>(dispid, iid, locale, flags, parameters, result);
  }
};

class CClassFactoryProxy final : public Proxy<IClassFactory> {
 public:
  using Proxy::Proxy;
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return Forward<&IClassFactory::CreateInstance>(outer, iid, object);
  }
};

class CConnectionPointProxy final : public Proxy<IConnectionPoint> {
 public:
  using Proxy::Proxy;
  HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override {
    return Forward<&IConnectionPoint::Advise>(sink, cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return Forward<&IConnectionPoint::Unadvise>(cookie);
  }
};

class CConnectionPointContainerProxy final : public Proxy<IConnectionPointContainer> {
 public:
  using Proxy::Proxy;
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    return Forward<&IConnectionPointContainer::FindConnectionPoint>(iid, point);
  }
};

}  // namespace platform
