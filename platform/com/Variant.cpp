#include "platform/com/Variant.h"

#include <algorithm>
#include <utility>

#include "platform/com/Dispatch.h"

namespace {

constexpr VARTYPE kTextArray = VT_ARRAY | VT_BSTR;

bool IsKnownType(VARTYPE type) noexcept {
  switch (type) {
    case VT_EMPTY:
    case VT_I4:
    case VT_R8:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_BOOL:
    case VT_UNKNOWN:
    case kTextArray:
      return true;
    default:
      return false;
  }
}

}  // namespace

void VariantInit(VARIANT* value) noexcept {
  value->vt = VT_EMPTY;
  value->lVal = 0;
}

HRESULT VariantClear(VARIANT* value) noexcept {
  if (value == nullptr) return E_POINTER;
  if (!IsKnownType(value->vt)) return DISP_E_BADVARTYPE;
  switch (value->vt) {
    case VT_BSTR:
      SysFreeString(value->bstrVal);
      break;
    case VT_UNKNOWN:
      if (value->punkVal != nullptr) value->punkVal->Release();
      break;
    case VT_DISPATCH:
      if (value->pdispVal != nullptr) value->pdispVal->Release();
      break;
    case kTextArray:
      if (const HRESULT hr = SafeArrayDestroy(value->parray); hr == DISP_E_ARRAYISLOCKED) return hr;
      break;
    default:
      break;
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source) {
  if (target == nullptr || source == nullptr) return E_POINTER;
  if (!IsKnownType(source->vt)) return DISP_E_BADVARTYPE;
  if (const HRESULT hr = VariantClear(target); FAILED(hr)) return hr;
  VARIANT copy = *source;
  switch (source->vt) {
    case VT_BSTR:
      copy.bstrVal = source->bstrVal == nullptr
                         ? nullptr
                         : SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      break;
    case VT_UNKNOWN:
      if (copy.punkVal != nullptr) copy.punkVal->AddRef();
      break;
    case VT_DISPATCH:
      if (copy.pdispVal != nullptr) copy.pdispVal->AddRef();
      break;
    case kTextArray:
      if (const HRESULT hr = SafeArrayCopy(source->parray, &copy.parray); FAILED(hr)) return hr;
      break;
    default:
      break;
  }
  *target = copy;
  return S_OK;
}

namespace platform {

Variant::Variant(const Variant& other) { VariantCopy(&m_value, &other.m_value); }

Variant::Variant(Variant&& other) noexcept : m_value(std::exchange(other.m_value, VARIANT{})) {}

Variant& Variant::operator=(Variant other) noexcept {
  std::swap(m_value, other.m_value);
  return *this;
}

Variant::~Variant() { VariantClear(&m_value); }

Variant Variant::FromInt32(std::int32_t value) noexcept {
  Variant result;
  result.m_value.vt = VT_I4;
  result.m_value.lVal = value;
  return result;
}

Variant Variant::FromBool(VARIANT_BOOL value) noexcept {
  Variant result;
  result.m_value.vt = VT_BOOL;
  result.m_value.boolVal = value;
  return result;
}

Variant Variant::FromDouble(double value) noexcept {
  Variant result;
  result.m_value.vt = VT_R8;
  result.m_value.dblVal = value;
  return result;
}

Variant Variant::FromText(std::u16string_view text) {
  Variant result;
  result.m_value.bstrVal = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  result.m_value.vt = VT_BSTR;
  return result;
}

Variant Variant::FromUnknown(IUnknown* object) noexcept {
  Variant result;
  if (object != nullptr) object->AddRef();
  result.m_value.vt = VT_UNKNOWN;
  result.m_value.punkVal = object;
  return result;
}

Variant Variant::FromDispatch(IDispatch* object) noexcept {
  Variant result;
  if (object != nullptr) object->AddRef();
  result.m_value.vt = VT_DISPATCH;
  result.m_value.pdispVal = object;
  return result;
}

Variant Variant::FromTextArray(SAFEARRAY* array) {
  Variant result;
  SAFEARRAY* copy = nullptr;
  SafeArrayCopy(array, &copy);
  result.m_value.vt = kTextArray;
  result.m_value.parray = copy;
  return result;
}

Variant Variant::Adopt(VARIANT& value) noexcept {
  Variant result;
  result.m_value = std::exchange(value, VARIANT{});
  return result;
}

VARIANT* Variant::put() noexcept {
  VariantClear(&m_value);
  return &m_value;
}

void Variant::Detach(VARIANT& target) noexcept { target = std::exchange(m_value, VARIANT{}); }

ArgumentList::~ArgumentList() {
  for (VARIANT& value : m_values) VariantClear(&value);
}

void ArgumentList::Push(Variant value) {
  m_values.reserve(m_values.size() + 1);  // so that the insert below cannot throw
  VARIANT slot;
  value.Detach(slot);
  m_values.insert(m_values.begin(), slot);
}

}  // namespace platform
