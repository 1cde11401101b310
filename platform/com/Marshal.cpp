#include "platform/com/Marshal.h"

namespace platform {

wire::Text ToWire(BSTR text) {
  if (text == nullptr) return {};
  return {false, std::u16string(text, SysStringLen(text))};
}

UniqueBstr FromWire(const wire::Text& text) {
  if (text.isNull) return UniqueBstr();
  return UniqueBstr(SysAllocStringLen(text.characters.data(),
                                      static_cast<std::uint32_t>(text.characters.size())));
}

HRESULT ToWire(SAFEARRAY* array, wire::TextArray& out) {
  out = {};
  if (array == nullptr) return S_OK;
  std::int32_t lower = 0;
  std::int32_t upper = 0;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return E_INVALIDARG;
  }
  out.isNull = false;
  out.lowerBound = lower;
  for (std::int64_t index = lower; index <= upper; ++index) {
    const auto at = static_cast<std::int32_t>(index);
    UniqueBstr element;
    if (const HRESULT hr = SafeArrayGetElement(array, &at, element.out()); FAILED(hr)) return hr;
    out.elements.push_back(ToWire(element.get()));
  }
  return S_OK;
}

UniqueSafeArray FromWire(const wire::TextArray& array) {
  if (array.isNull) return UniqueSafeArray();
  UniqueSafeArray result(SafeArrayCreateVector(VT_BSTR, array.lowerBound,
                                               static_cast<std::uint32_t>(array.elements.size())));
  std::int64_t index = array.lowerBound;
  for (const wire::Text& text : array.elements) {
    const auto at = static_cast<std::int32_t>(index++);
    const UniqueBstr element = FromWire(text);
    SafeArrayPutElement(result.get(), &at, element.get());
  }
  return result;
}

HRESULT ToWire(const VARIANT& value, ReferenceMarshaller& marshaller, wire::VariantValue& out) {
  out = {};
  out.type = value.vt;
  switch (value.vt) {
    case VT_EMPTY:
      return S_OK;
    case VT_I4:
      out.value = value.lVal;
      return S_OK;
    case VT_BOOL:
      out.value = value.boolVal;
      return S_OK;
    case VT_R8:
      out.value = value.dblVal;
      return S_OK;
    case VT_BSTR:
      out.value = ToWire(value.bstrVal);
      return S_OK;
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      wire::ObjectReference reference;
      IUnknown* object = value.vt == VT_UNKNOWN ? value.punkVal : value.pdispVal;
      const IID& iid = value.vt == VT_UNKNOWN ? IidOf<IUnknown> : IidOf<IDispatch>;
      if (object != nullptr) {
        if (const HRESULT hr = marshaller.Export(object, iid, reference); FAILED(hr)) return hr;
      }
      out.value = std::move(reference);
      return S_OK;
    }
    case VT_ARRAY | VT_BSTR: {
      wire::TextArray array;
      if (const HRESULT hr = ToWire(value.parray, array); FAILED(hr)) return hr;
      out.value = std::move(array);
      return S_OK;
    }
    default:
      out = {};
      return DISP_E_BADVARTYPE;
  }
}

HRESULT FromWire(const wire::VariantValue& value, ReferenceMarshaller& marshaller, Variant& out) {
  out = Variant();
  // The decoder has checked that the alternative matches the type.
  switch (value.type) {
    case VT_EMPTY:
      return S_OK;
    case VT_I4:
      out = Variant::FromInt32(std::get<std::int32_t>(value.value));
      return S_OK;
    case VT_BOOL:
      out = Variant::FromBool(std::get<std::int16_t>(value.value));
      return S_OK;
    case VT_R8:
      out = Variant::FromDouble(std::get<double>(value.value));
      return S_OK;
    case VT_BSTR: {
      VARIANT slot;
      slot.vt = VT_BSTR;
      slot.bstrVal = FromWire(std::get<wire::Text>(value.value)).release();
      out = Variant::Adopt(slot);
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      const auto& reference = std::get<wire::ObjectReference>(value.value);
      const IID& iid = value.type == VT_UNKNOWN ? IidOf<IUnknown> : IidOf<IDispatch>;
      void* object = nullptr;
      if (const HRESULT hr = marshaller.Import(reference, iid, &object); FAILED(hr)) return hr;
      VARIANT slot;
      slot.vt = value.type;
      slot.punkVal = static_cast<IUnknown*>(object);
      out = Variant::Adopt(slot);
      return S_OK;
    }
    case VT_ARRAY | VT_BSTR: {
      VARIANT slot;
      slot.vt = value.type;
      slot.parray = FromWire(std::get<wire::TextArray>(value.value)).release();
      out = Variant::Adopt(slot);
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

HRESULT SendInterface(IUnknown* object, REFIID iid, std::vector<wire::Value>& values,
                      MarshalContext& context) {
  wire::ObjectReference reference;
  if (object != nullptr) {
    if (const HRESULT hr = context.marshaller.Export(object, iid, reference); FAILED(hr)) return hr;
  }
  values.emplace_back(std::move(reference));
  return S_OK;
}

HRESULT ReceiveInterface(ValueCursor& cursor, REFIID iid, void** out, MarshalContext& context) {
  *out = nullptr;
  const auto* reference = cursor.Next<wire::ObjectReference>();
  if (reference == nullptr) return kMismatch;
  return context.marshaller.Import(*reference, iid, out);
}

HRESULT ProxyArgument<DISPPARAMS*>::Send(DISPPARAMS* parameters, std::vector<wire::Value>& values,
                                         MarshalContext& context) {
  wire::DispatchArguments arguments;
  if (parameters != nullptr) {
    if (parameters->cNamedArgs != 0) return E_NOTIMPL;
    if (parameters->cArgs > 0 && parameters->rgvarg == nullptr) return E_INVALIDARG;
    arguments.values.resize(parameters->cArgs);
    for (std::uint32_t i = 0; i < parameters->cArgs; ++i) {
      if (const HRESULT hr = ToWire(parameters->rgvarg[i], context.marshaller, arguments.values[i]);
          FAILED(hr)) {
        return hr;
      }
    }
  }
  values.emplace_back(std::move(arguments));
  return S_OK;
}

HRESULT StubArgument<DISPPARAMS*>::Load(ValueCursor& cursor, MarshalContext& context) {
  const auto* arguments = cursor.Next<wire::DispatchArguments>();
  if (arguments == nullptr) return kMismatch;
  held.resize(arguments->values.size());
  for (std::size_t i = 0; i < held.size(); ++i) {
    if (const HRESULT hr = FromWire(arguments->values[i], context.marshaller, held[i]);
        FAILED(hr)) {
      return hr;
    }
  }
  // The callee reads the values in place; `held` keeps owning them.
  slots.reserve(held.size());
  for (const Variant& value : held) slots.push_back(*value);
  parameters = {slots.data(), nullptr, static_cast<std::uint32_t>(slots.size()), 0};
  return S_OK;
}

}  // namespace platform
