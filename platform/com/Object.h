#pragma once

// ComObject: the reference count and QueryInterface of an object that implements interfaces.

#include <atomic>
#include <utility>

#include "platform/com/ComPtr.h"
#include "platform/com/Interface.h"

namespace platform {

// Base of every object of ours: `class CFoo : public platform::ComObject<IFoo, IBar>`. It answers
// QueryInterface for each listed interface and every interface they extend (IUnknown through the
// first one), and for what QueryOther adds. The count starts at 0; MakeObject hands out the first
// reference, and the last Release deletes the object.
// The count is atomic, so references may be taken and dropped in any thread; the methods of the
// derived object are called on the thread its class names.
template <class... Interfaces>
class ComObject : public Interfaces... {
  static_assert(sizeof...(Interfaces) > 0);

 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = Find(iid);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return m_references.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // The object's identity: its first interface as IUnknown.
  IUnknown* Identity() noexcept { return static_cast<First*>(this); }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // Further identifiers the object answers (an event interface it sinks, an identity of its
  // own); returns the interface pointer without a reference, or null.
  virtual void* QueryOther(REFIID /*iid*/) { return nullptr; }

 private:
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  void* Find(REFIID iid) {
    if (iid == IidOf<IUnknown>) return Identity();
    void* found = nullptr;
    ((found == nullptr && IsOrExtends<Interfaces>(iid) ? found = static_cast<Interfaces*>(this)
                                                       : found),
     ...);
    return found != nullptr ? found : QueryOther(iid);
  }

  std::atomic<ULONG> m_references{0};
};

// Creates an object and hands out its first reference.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace platform
