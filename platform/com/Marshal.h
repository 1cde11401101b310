#pragma once

// Marshalling: the arguments of a declared method turned into wire values and back, on the
// caller's side (a proxy) and on the object's side (a stub), for every argument kind that
// Interface.h lets cross a process.

#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Interface.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"
#include "platform/com/Wire.h"

namespace platform {

// Turns interface pointers into references to the implementing object and back. The call layer
// implements it for one message; used on the thread that marshals that message.
class ReferenceMarshaller {
 public:
  virtual ~ReferenceMarshaller() = default;
  // A reference to `object` as interface `iid` that carries one reference for its receiver.
  virtual HRESULT Export(IUnknown* object, REFIID iid, wire::ObjectReference& reference) = 0;
  // The interface `iid` (one reference for the caller, null for a null reference) for a received
  // reference, whose travelling reference it takes over.
  virtual HRESULT Import(const wire::ObjectReference& reference, REFIID iid, void** object) = 0;
};

// Conversions of the values that VARIANTs and arrays hold. Each answers a failure HRESULT (and
// leaves its output empty) for a value it cannot carry.
wire::Text ToWire(BSTR text);
UniqueBstr FromWire(const wire::Text& text);
HRESULT ToWire(SAFEARRAY* array, wire::TextArray& out);
UniqueSafeArray FromWire(const wire::TextArray& array);
HRESULT ToWire(const VARIANT& value, ReferenceMarshaller& marshaller, wire::VariantValue& out);
HRESULT FromWire(const wire::VariantValue& value, ReferenceMarshaller& marshaller, Variant& out);

// What one call's marshalling shares between its arguments: the marshaller and the interface id
// that a following void** argument is asked for.
struct MarshalContext {
  ReferenceMarshaller& marshaller;
  IID lastGuid{};
};

// The in values of a call, read in order; a missing value or one of another kind is a type
// mismatch.
class ValueCursor {
 public:
  explicit ValueCursor(std::span<const wire::Value> values) : m_values(values) {}
  template <class T>
  const T* Next() {
    if (m_at == m_values.size()) return nullptr;
    return std::get_if<T>(&m_values[m_at++]);
  }
  bool AtEnd() const noexcept { return m_at == m_values.size(); }

 private:
  std::span<const wire::Value> m_values;
  std::size_t m_at = 0;
};

inline constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;

// The proxy's side of one argument of C++ type T: an in argument is sent, an out argument is
// cleared before the call and filled from the reply.
template <class T>
struct ProxyArgument;

// The stub's side: an in argument is read from the call into a holder that lives for the call,
// an out argument gets a slot whose content goes into the reply.
template <class T>
struct StubArgument;

template <class T>
concept WirePlain = std::is_arithmetic_v<T> || std::is_enum_v<T>;

// The wire alternative of a plain value.
template <class T>
using PlainWire = std::conditional_t<std::is_enum_v<T>, std::int32_t, T>;

template <WirePlain T>
struct ProxyArgument<T> {
  static HRESULT Send(T value, std::vector<wire::Value>& values, MarshalContext&) {
    values.emplace_back(static_cast<PlainWire<T>>(value));
    return S_OK;
  }
  static void Clear(T) {}
  static HRESULT Receive(T, ValueCursor&, MarshalContext&) { return S_OK; }
};
template <WirePlain T>
struct ProxyArgument<T*> {
  static HRESULT Send(T*, std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
  static void Clear(T* out) {
    if (out != nullptr) *out = T{};
  }
  static HRESULT Receive(T* out, ValueCursor& cursor, MarshalContext&) {
    const auto* value = cursor.Next<PlainWire<T>>();
    if (value == nullptr) return kMismatch;
    if (out != nullptr) *out = static_cast<T>(*value);
    return S_OK;
  }
};
template <WirePlain T>
struct StubArgument<T> {
  T held{};
  HRESULT Load(ValueCursor& cursor, MarshalContext&) {
    const auto* value = cursor.Next<PlainWire<T>>();
    if (value == nullptr) return kMismatch;
    held = static_cast<T>(*value);
    return S_OK;
  }
  T Pass() { return held; }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
};
template <WirePlain T>
struct StubArgument<T*> {
  T held{};
  HRESULT Load(ValueCursor&, MarshalContext&) { return S_OK; }
  T* Pass() { return &held; }
  HRESULT Store(std::vector<wire::Value>& values, MarshalContext&) {
    values.emplace_back(static_cast<PlainWire<T>>(held));
    return S_OK;
  }
};

template <>
struct ProxyArgument<BSTR> {
  static HRESULT Send(BSTR text, std::vector<wire::Value>& values, MarshalContext&) {
    values.emplace_back(ToWire(text));
    return S_OK;
  }
  static void Clear(BSTR) {}
  static HRESULT Receive(BSTR, ValueCursor&, MarshalContext&) { return S_OK; }
};
template <>
struct ProxyArgument<BSTR*> {
  static HRESULT Send(BSTR*, std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
  static void Clear(BSTR* out) {
    if (out != nullptr) *out = nullptr;
  }
  static HRESULT Receive(BSTR* out, ValueCursor& cursor, MarshalContext&) {
    const auto* text = cursor.Next<wire::Text>();
    if (text == nullptr) return kMismatch;
    if (out != nullptr) *out = FromWire(*text).release();
    return S_OK;
  }
};
template <>
struct StubArgument<BSTR> {
  UniqueBstr held;
  HRESULT Load(ValueCursor& cursor, MarshalContext&) {
    const auto* text = cursor.Next<wire::Text>();
    if (text == nullptr) return kMismatch;
    held = FromWire(*text);
    return S_OK;
  }
  BSTR Pass() { return held.get(); }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
};
template <>
struct StubArgument<BSTR*> {
  UniqueBstr held;
  HRESULT Load(ValueCursor&, MarshalContext&) { return S_OK; }
  BSTR* Pass() { return held.out(); }
  HRESULT Store(std::vector<wire::Value>& values, MarshalContext&) {
    values.emplace_back(ToWire(held.get()));
    return S_OK;
  }
};

template <>
struct ProxyArgument<SAFEARRAY*> {
  static HRESULT Send(SAFEARRAY* array, std::vector<wire::Value>& values, MarshalContext&) {
    wire::TextArray out;
    if (const HRESULT hr = ToWire(array, out); FAILED(hr)) return hr;
    values.emplace_back(std::move(out));
    return S_OK;
  }
  static void Clear(SAFEARRAY*) {}
  static HRESULT Receive(SAFEARRAY*, ValueCursor&, MarshalContext&) { return S_OK; }
};
template <>
struct ProxyArgument<SAFEARRAY**> {
  static HRESULT Send(SAFEARRAY**, std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
  static void Clear(SAFEARRAY** out) {
    if (out != nullptr) *out = nullptr;
  }
  static HRESULT Receive(SAFEARRAY** out, ValueCursor& cursor, MarshalContext&) {
    const auto* array = cursor.Next<wire::TextArray>();
    if (array == nullptr) return kMismatch;
    if (out != nullptr) *out = FromWire(*array).release();
    return S_OK;
  }
};
template <>
struct StubArgument<SAFEARRAY*> {
  UniqueSafeArray held;
  HRESULT Load(ValueCursor& cursor, MarshalContext&) {
    const auto* array = cursor.Next<wire::TextArray>();
    if (array == nullptr) return kMismatch;
    held = FromWire(*array);
    return S_OK;
  }
  SAFEARRAY* Pass() { return held.get(); }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
};
template <>
struct StubArgument<SAFEARRAY**> {
  SAFEARRAY* slot = nullptr;
  UniqueSafeArray held;
  HRESULT Load(ValueCursor&, MarshalContext&) { return S_OK; }
  SAFEARRAY** Pass() { return &slot; }
  HRESULT Store(std::vector<wire::Value>& values, MarshalContext&) {
    held.reset(slot);
    wire::TextArray out;
    if (const HRESULT hr = ToWire(held.get(), out); FAILED(hr)) return hr;
    values.emplace_back(std::move(out));
    return S_OK;
  }
};

template <>
struct ProxyArgument<const VARIANT*> {
  static HRESULT Send(const VARIANT* value, std::vector<wire::Value>& values,
                      MarshalContext& context) {
    wire::VariantValue out;
    if (value != nullptr) {
      if (const HRESULT hr = ToWire(*value, context.marshaller, out); FAILED(hr)) return hr;
    }
    values.emplace_back(std::move(out));
    return S_OK;
  }
  static void Clear(const VARIANT*) {}
  static HRESULT Receive(const VARIANT*, ValueCursor&, MarshalContext&) { return S_OK; }
};
template <>
struct ProxyArgument<VARIANT*> {
  static HRESULT Send(VARIANT*, std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
  static void Clear(VARIANT* out) {
    if (out != nullptr) VariantInit(out);
  }
  static HRESULT Receive(VARIANT* out, ValueCursor& cursor, MarshalContext& context) {
    const auto* value = cursor.Next<wire::VariantValue>();
    if (value == nullptr) return kMismatch;
    Variant received;
    if (const HRESULT hr = FromWire(*value, context.marshaller, received); FAILED(hr)) return hr;
    if (out != nullptr) received.Detach(*out);
    return S_OK;
  }
};
template <>
struct StubArgument<const VARIANT*> {
  Variant held;
  HRESULT Load(ValueCursor& cursor, MarshalContext& context) {
    const auto* value = cursor.Next<wire::VariantValue>();
    if (value == nullptr) return kMismatch;
    return FromWire(*value, context.marshaller, held);
  }
  const VARIANT* Pass() { return &*held; }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
};
template <>
struct StubArgument<VARIANT*> {
  Variant held;
  HRESULT Load(ValueCursor&, MarshalContext&) { return S_OK; }
  VARIANT* Pass() { return held.put(); }
  HRESULT Store(std::vector<wire::Value>& values, MarshalContext& context) {
    wire::VariantValue out;
    if (const HRESULT hr = ToWire(*held, context.marshaller, out); FAILED(hr)) return hr;
    values.emplace_back(std::move(out));
    return S_OK;
  }
};

template <>
struct ProxyArgument<const GUID&> {
  static HRESULT Send(const GUID& guid, std::vector<wire::Value>& values, MarshalContext& context) {
    context.lastGuid = guid;
    values.emplace_back(guid);
    return S_OK;
  }
  static void Clear(const GUID&) {}
  static HRESULT Receive(const GUID& guid, ValueCursor&, MarshalContext& context) {
    context.lastGuid = guid;
    return S_OK;
  }
};
template <>
struct StubArgument<const GUID&> {
  GUID held{};
  HRESULT Load(ValueCursor& cursor, MarshalContext& context) {
    const auto* guid = cursor.Next<GUID>();
    if (guid == nullptr) return kMismatch;
    held = *guid;
    context.lastGuid = held;
    return S_OK;
  }
  const GUID& Pass() { return held; }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext& context) {
    context.lastGuid = held;
    return S_OK;
  }
};

// Sends or receives one interface pointer as interface `iid`.
HRESULT SendInterface(IUnknown* object, REFIID iid, std::vector<wire::Value>& values,
                      MarshalContext& context);
HRESULT ReceiveInterface(ValueCursor& cursor, REFIID iid, void** out, MarshalContext& context);

template <std::derived_from<IUnknown> I>
struct ProxyArgument<I*> {
  static HRESULT Send(I* object, std::vector<wire::Value>& values, MarshalContext& context) {
    return SendInterface(object, IidOf<I>, values, context);
  }
  static void Clear(I*) {}
  static HRESULT Receive(I*, ValueCursor&, MarshalContext&) { return S_OK; }
};
template <std::derived_from<IUnknown> I>
struct ProxyArgument<I**> {
  static HRESULT Send(I**, std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
  static void Clear(I** out) {
    if (out != nullptr) *out = nullptr;
  }
  static HRESULT Receive(I** out, ValueCursor& cursor, MarshalContext& context) {
    ComPtr<I> received;
    if (const HRESULT hr = ReceiveInterface(cursor, IidOf<I>, received.put_void(), context);
        FAILED(hr)) {
      return hr;
    }
    if (out != nullptr) *out = received.Detach();
    return S_OK;
  }
};
template <>
struct ProxyArgument<void**> {
  static HRESULT Send(void**, std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
  static void Clear(void** out) {
    if (out != nullptr) *out = nullptr;
  }
  static HRESULT Receive(void** out, ValueCursor& cursor, MarshalContext& context) {
    // Received as IUnknown of the asked interface: the pointer handed out is that interface's.
    ComPtr<IUnknown> received;
    if (const HRESULT hr = ReceiveInterface(cursor, context.lastGuid, received.put_void(), context);
        FAILED(hr)) {
      return hr;
    }
    if (out != nullptr) *out = received.Detach();
    return S_OK;
  }
};
template <std::derived_from<IUnknown> I>
struct StubArgument<I*> {
  ComPtr<I> held;
  HRESULT Load(ValueCursor& cursor, MarshalContext& context) {
    return ReceiveInterface(cursor, IidOf<I>, held.put_void(), context);
  }
  I* Pass() { return held.get(); }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
};
template <std::derived_from<IUnknown> I>
struct StubArgument<I**> {
  ComPtr<I> held;
  HRESULT Load(ValueCursor&, MarshalContext&) { return S_OK; }
  I** Pass() { return held.put(); }
  HRESULT Store(std::vector<wire::Value>& values, MarshalContext& context) {
    return SendInterface(held.get(), IidOf<I>, values, context);
  }
};
template <>
struct StubArgument<void**> {
  // The object hands out the interface asked for by the GUID before; its pointer is that
  // interface, which is an IUnknown by the identity rule of single inheritance.
  void* held = nullptr;
  ComPtr<IUnknown> owned;
  HRESULT Load(ValueCursor&, MarshalContext&) { return S_OK; }
  void** Pass() { return &held; }
  HRESULT Store(std::vector<wire::Value>& values, MarshalContext& context) {
    owned.Attach(static_cast<IUnknown*>(held));
    return SendInterface(owned.get(), context.lastGuid, values, context);
  }
};

template <>
struct ProxyArgument<DISPPARAMS*> {
  static HRESULT Send(DISPPARAMS* parameters, std::vector<wire::Value>& values,
                      MarshalContext& context);
  static void Clear(DISPPARAMS*) {}
  static HRESULT Receive(DISPPARAMS*, ValueCursor&, MarshalContext&) { return S_OK; }
};
template <>
struct StubArgument<DISPPARAMS*> {
  std::vector<Variant> held;
  std::vector<VARIANT> slots;
  DISPPARAMS parameters{};
  HRESULT Load(ValueCursor& cursor, MarshalContext& context);
  DISPPARAMS* Pass() { return &parameters; }
  HRESULT Store(std::vector<wire::Value>&, MarshalContext&) { return S_OK; }
};

}  // namespace platform
