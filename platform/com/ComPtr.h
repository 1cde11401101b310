#pragma once

// ComPtr: owns one reference to a component object.

#include <cstddef>
#include <utility>

#include "platform/com/Interface.h"

namespace platform {

// Holds one reference to an interface; copies add one, destruction and Release give it back.
// Any thread may use its own ComPtr; the object it points at states its own thread rules.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  // Adds a reference to `object`: the caller keeps its own.
  ComPtr(T* object) noexcept : m_object(object) {  // NOLINT(google-explicit-constructor)
    if (m_object != nullptr) m_object->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_object) {}
  ComPtr(ComPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  template <class U>
  requires std::convertible_to<U*, T*> ComPtr(const ComPtr<U>& other)
  noexcept : ComPtr(other.get()) {}  // NOLINT
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ~ComPtr() { Release(); }

  T* get() const noexcept { return m_object; }
  T* operator->() const noexcept { return m_object; }
  T& operator*() const noexcept { return *m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

  // Gives the reference back; the pointer becomes null.
  void Release() noexcept {
    if (T* object = std::exchange(m_object, nullptr)) object->Release();
  }
  // For out-parameters: releases what is held and hands out the empty slot, which the callee
  // fills with one reference.
  T** put() noexcept {
    Release();
    return &m_object;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  // Takes over a reference the caller owns / hands the reference to the caller.
  void Attach(T* object) noexcept {
    Release();
    m_object = object;
  }
  [[nodiscard]] T* Detach() noexcept { return std::exchange(m_object, nullptr); }
  // Fills an out-parameter with a new reference.
  HRESULT CopyTo(T** out) const noexcept {
    if (out == nullptr) return E_POINTER;
    *out = m_object;
    if (m_object != nullptr) m_object->AddRef();
    return S_OK;
  }
  // Asks the object for another of its interfaces.
  template <class U>
  HRESULT QueryInterface(ComPtr<U>& out) const noexcept {
    if (m_object == nullptr) return E_POINTER;
    return m_object->QueryInterface(IidOf<U>, out.put_void());
  }

  friend bool operator==(const ComPtr& left, const ComPtr& right) noexcept {
    return left.m_object == right.m_object;
  }
  friend bool operator==(const ComPtr& left, std::nullptr_t) noexcept {
    return left.m_object == nullptr;
  }

 private:
  T* m_object = nullptr;
};

// Whether two interface pointers belong to one object: the identity rule compares their
// IUnknown.
bool IsSameObject(IUnknown* left, IUnknown* right) noexcept;

}  // namespace platform
