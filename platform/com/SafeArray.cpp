#include "platform/com/SafeArray.h"

#include <vector>

struct SAFEARRAY {
  std::int32_t lowerBound = 0;
  std::vector<UniqueBstr> elements;
  std::uint32_t locks = 0;
};

namespace {

// The slot of `index`, or null when it lies outside the bounds.
UniqueBstr* Slot(SAFEARRAY* array, const std::int32_t* index) noexcept {
  if (array == nullptr || index == nullptr) return nullptr;
  const std::int64_t offset = std::int64_t{*index} - array->lowerBound;
  if (offset < 0 || offset >= static_cast<std::int64_t>(array->elements.size())) return nullptr;
  return &array->elements[static_cast<std::size_t>(offset)];
}

BSTR CopyText(BSTR text) {
  return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text));
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE type, std::int32_t lowerBound, std::uint32_t count) {
  if (type != VT_BSTR) return nullptr;
  auto* array = new SAFEARRAY{lowerBound, {}, 0};
  array->elements.resize(count);
  return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept {
  if (array == nullptr) return E_INVALIDARG;
  if (array->locks != 0) return DISP_E_ARRAYISLOCKED;
  delete array;
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
  if (copy == nullptr) return E_POINTER;
  *copy = nullptr;
  if (array == nullptr) return S_OK;
  platform::UniqueSafeArray result(SafeArrayCreateVector(
      VT_BSTR, array->lowerBound, static_cast<std::uint32_t>(array->elements.size())));
  for (std::size_t i = 0; i < array->elements.size(); ++i) {
    result.get()->elements[i].reset(CopyText(array->elements[i].get()));
  }
  *copy = result.release();
  return S_OK;
}

std::uint32_t SafeArrayGetDim(SAFEARRAY* array) noexcept { return array == nullptr ? 0 : 1; }

HRESULT SafeArrayGetLBound(SAFEARRAY* array, std::uint32_t dimension,
                           std::int32_t* bound) noexcept {
  if (array == nullptr) return E_INVALIDARG;
  if (bound == nullptr) return E_POINTER;
  if (dimension != 1) return DISP_E_BADINDEX;
  *bound = array->lowerBound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, std::uint32_t dimension,
                           std::int32_t* bound) noexcept {
  if (array == nullptr) return E_INVALIDARG;
  if (bound == nullptr) return E_POINTER;
  if (dimension != 1) return DISP_E_BADINDEX;
  *bound = static_cast<std::int32_t>(std::int64_t{array->lowerBound} +
                                     static_cast<std::int64_t>(array->elements.size()) - 1);
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const std::int32_t* index, BSTR* text) {
  if (text == nullptr) return E_POINTER;
  UniqueBstr* slot = Slot(array, index);
  if (slot == nullptr) return array == nullptr ? E_INVALIDARG : DISP_E_BADINDEX;
  *text = CopyText(slot->get());
  return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, const std::int32_t* index, BSTR text) {
  UniqueBstr* slot = Slot(array, index);
  if (slot == nullptr) return array == nullptr ? E_INVALIDARG : DISP_E_BADINDEX;
  slot->reset(CopyText(text));
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) noexcept {
  if (array == nullptr) return E_INVALIDARG;
  ++array->locks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) noexcept {
  if (array == nullptr) return E_INVALIDARG;
  if (array->locks == 0) return E_UNEXPECTED;
  --array->locks;
  return S_OK;
}
