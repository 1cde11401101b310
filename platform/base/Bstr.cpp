#include "platform/base/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/base/Format.h"
#include "platform/base/Text.h"

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(BSTR text) noexcept {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes);
}

BSTR AllocateBstr(std::u16string_view text) {
  const std::size_t bytes = text.size() * sizeof(OLECHAR);
  if (bytes > UINT32_MAX - kPrefixBytes - sizeof(OLECHAR)) {
    throw std::bad_alloc();
  }
  void* block = std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  const auto byteLength = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byteLength, kPrefixBytes);
  auto* characters = reinterpret_cast<OLECHAR*>(static_cast<char*>(block) + kPrefixBytes);
  if (!text.empty()) {
    std::memcpy(characters, text.data(), bytes);
  }
  characters[text.size()] = u'\0';
  return characters;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) { return text == nullptr ? nullptr : AllocateBstr(text); }

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length) {
  BSTR result = AllocateBstr(std::u16string(length, u'\0'));
  if (text != nullptr) {
    std::memcpy(result, text, length * sizeof(OLECHAR));
  }
  return result;
}

void SysFreeString(BSTR text) noexcept {
  if (text != nullptr) {
    std::free(PrefixOf(text));
  }
}

std::uint32_t SysStringByteLen(BSTR text) noexcept {
  if (text == nullptr) {
    return 0;
  }
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, PrefixOf(text), kPrefixBytes);
  return bytes;
}

std::uint32_t SysStringLen(BSTR text) noexcept {
  return SysStringByteLen(text) / static_cast<std::uint32_t>(sizeof(OLECHAR));
}

struct _bstr_t::Data {
  explicit Data(BSTR text) noexcept : wide(text) {}
  ~Data() {
    SysFreeString(wide);
    delete[] narrow.load(std::memory_order_acquire);
  }
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  std::atomic<std::uint32_t> references{1};
  BSTR wide;
  std::atomic<char*> narrow{nullptr};
};

_bstr_t::Data* _bstr_t::Adopt(UniqueBstr text) {
  auto* data = new Data(text.get());
  text.release();
  return data;
}

_bstr_t::_bstr_t(const char16_t* text)
    : _bstr_t(text == nullptr ? nullptr : Adopt(UniqueBstr(SysAllocString(text)))) {}

_bstr_t::_bstr_t(const char* ansiText)
    : _bstr_t(ansiText == nullptr ? nullptr
                                  : Adopt(UniqueBstr(AllocateBstr(platform::FromAnsi(ansiText))))) {
}

_bstr_t::_bstr_t(std::u16string_view text) : _bstr_t(Adopt(UniqueBstr(AllocateBstr(text)))) {}

_bstr_t::_bstr_t(BSTR text, bool copy)
    : _bstr_t(Adopt(UniqueBstr(copy ? SysAllocStringLen(text, SysStringLen(text)) : text))) {}

_bstr_t::_bstr_t(const _bstr_t& other) noexcept : m_data(other.m_data) {
  if (m_data != nullptr) {
    m_data->references.fetch_add(1, std::memory_order_relaxed);
  }
}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : m_data(std::exchange(other.m_data, nullptr)) {}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) noexcept {
  if (this != &other) {
    _bstr_t copy(other);
    std::swap(m_data, copy.m_data);
  }
  return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
  if (this != &other) {
    Release();
    m_data = std::exchange(other.m_data, nullptr);
  }
  return *this;
}

_bstr_t::~_bstr_t() { Release(); }

void _bstr_t::Release() noexcept {
  if (m_data != nullptr && m_data->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete m_data;
  }
  m_data = nullptr;
}

_bstr_t::operator const char16_t*() const noexcept {
  return m_data != nullptr && m_data->wide != nullptr ? m_data->wide : u"";
}

_bstr_t::operator const char*() const {
  if (m_data == nullptr) {
    return "";
  }
  char* narrow = m_data->narrow.load(std::memory_order_acquire);
  if (narrow != nullptr) {
    return narrow;
  }
  const std::string converted = platform::ToAnsi(view());
  auto fresh = std::make_unique<char[]>(converted.size() + 1);
  std::memcpy(fresh.get(), converted.c_str(), converted.size() + 1);
  // Two threads may convert at once; the first to publish wins and the other drops its copy.
  if (m_data->narrow.compare_exchange_strong(narrow, fresh.get(), std::memory_order_acq_rel)) {
    return fresh.release();
  }
  return narrow;
}

std::u16string_view _bstr_t::view() const noexcept {
  return m_data == nullptr ? std::u16string_view()
                           : std::u16string_view(m_data->wide, SysStringLen(m_data->wide));
}

BSTR _bstr_t::GetBSTR() const noexcept { return m_data == nullptr ? nullptr : m_data->wide; }

BSTR _bstr_t::copy() const {
  return m_data == nullptr || m_data->wide == nullptr ? nullptr : AllocateBstr(view());
}

std::uint32_t _bstr_t::length() const noexcept {
  return m_data == nullptr ? 0 : SysStringLen(m_data->wide);
}

void _bstr_t::Attach(BSTR text) { *this = _bstr_t(text, false); }

BSTR _bstr_t::Detach() {
  if (m_data == nullptr) {
    return nullptr;
  }
  BSTR text = m_data->references.load(std::memory_order_acquire) == 1
                  ? std::exchange(m_data->wide, nullptr)
                  : copy();
  Release();
  return text;
}

BSTR* _bstr_t::GetAddress() {
  *this = _bstr_t(Adopt(UniqueBstr()));
  return &m_data->wide;
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
  std::u16string joined(view());
  joined.append(other.view());
  *this = _bstr_t(std::u16string_view(joined));
  return *this;
}

_bstr_t operator+(const _bstr_t& left, const _bstr_t& right) {
  _bstr_t result(left);
  result += right;
  return result;
}

platform::FormatArg::FormatArg(const _bstr_t& text) noexcept
    : m_kind(Kind::Wide), m_wide(static_cast<const char16_t*>(text)) {}
