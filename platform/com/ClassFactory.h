#pragma once

// Class factories: the object that makes instances of one class.

#include "platform/com/ComPtr.h"
#include "platform/com/Interface.h"
#include "platform/com/Object.h"

struct IClassFactory : IUnknown {
  // A new instance asked for interface `iid`; `outer` must be null (no aggregation).
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
};

template <>
struct platform::InterfaceDeclaration<IClassFactory> {
  static constexpr IID iid = GuidLiteral(u"{910EE73C-4F5D-4303-A586-EE350A5D1744}");
  static constexpr std::string_view name = "IClassFactory";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(IClassFactory, CreateInstance)>;
};

namespace platform {

// Makes instances of T (default-constructed, created with MakeObject). Any thread; T's own rules
// apply to the instances.
template <class T>
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const ComPtr<T> instance = MakeObject<T>();
    return instance->QueryInterface(iid, object);
  }
};

}  // namespace platform
