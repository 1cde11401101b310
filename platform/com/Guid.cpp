#include "platform/com/Guid.h"

#include "platform/base/Text.h"

namespace platform {

namespace {

void AppendHex(std::u16string& out, std::uint32_t value, int digits) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out.push_back(kDigits[(value >> shift) & 0xFu]);
  }
}

}  // namespace

std::u16string FormatGuid(const GUID& guid) {
  std::u16string text;
  text.reserve(38);
  text.push_back(u'{');
  AppendHex(text, guid.Data1, 8);
  text.push_back(u'-');
  AppendHex(text, guid.Data2, 4);
  text.push_back(u'-');
  AppendHex(text, guid.Data3, 4);
  text.push_back(u'-');
  for (std::size_t i = 0; i < guid.Data4.size(); ++i) {
    if (i == 2) text.push_back(u'-');
    AppendHex(text, guid.Data4[i], 2);
  }
  text.push_back(u'}');
  return text;
}

}  // namespace platform

HRESULT IIDFromString(const OLECHAR* text, IID* result) noexcept {
  if (text == nullptr || result == nullptr) return E_POINTER;
  const auto guid = platform::ParseGuid(std::u16string_view(text, platform::TextLength(text)));
  if (!guid) return E_INVALIDARG;
  *result = *guid;
  return S_OK;
}

HRESULT CLSIDFromString(const OLECHAR* text, CLSID* result) noexcept {
  return IIDFromString(text, result);
}
