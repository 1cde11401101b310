#pragma once

// BSTR, the length-prefixed UTF-16 text of component interfaces, and _bstr_t, its shared holder.

#include <atomic>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

using OLECHAR = char16_t;
// Points at the first character; the byte length stands in the four bytes before it and a zero
// character follows the text. A null BSTR is the empty text.
using BSTR = OLECHAR*;

// Allocation as the component interfaces expect it: the receiver of a BSTR frees it with
// SysFreeString. Each returns null only for a null input (SysAllocString) and throws
// std::bad_alloc when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length);
void SysFreeString(BSTR text) noexcept;
std::uint32_t SysStringLen(BSTR text) noexcept;
std::uint32_t SysStringByteLen(BSTR text) noexcept;

// Owns one BSTR; frees it on destruction.
class UniqueBstr {
 public:
  UniqueBstr() noexcept = default;
  explicit UniqueBstr(BSTR text) noexcept : m_text(text) {}
  UniqueBstr(UniqueBstr&& other) noexcept : m_text(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueBstr() { SysFreeString(m_text); }

  BSTR get() const noexcept { return m_text; }
  BSTR release() noexcept { return std::exchange(m_text, nullptr); }
  void reset(BSTR text = nullptr) noexcept { SysFreeString(std::exchange(m_text, text)); }
  // For out-parameters: frees the current text and hands out the slot.
  BSTR* out() noexcept {
    reset();
    return &m_text;
  }

 private:
  BSTR m_text = nullptr;
};

// A reference-counted, immutable UTF-16 text: copies share one BSTR, the count is atomic so that
// copies can live in several threads. A null and an empty text both read as empty. Conversion to
// 8-bit text uses the process's ANSI code page and is kept with the shared text.
class _bstr_t {
 public:
  _bstr_t() noexcept = default;
  _bstr_t(const char16_t* text);      // NOLINT(google-explicit-constructor): texts convert freely
  _bstr_t(const char* ansiText);      // NOLINT(google-explicit-constructor)
  _bstr_t(std::u16string_view text);  // NOLINT(google-explicit-constructor)
  // Takes the BSTR over (copy false) or copies it (copy true).
  _bstr_t(BSTR text, bool copy);
  _bstr_t(const _bstr_t& other) noexcept;
  _bstr_t(_bstr_t&& other) noexcept;
  _bstr_t& operator=(const _bstr_t& other) noexcept;
  _bstr_t& operator=(_bstr_t&& other) noexcept;
  ~_bstr_t();

  // The text; never null (an empty text reads as "").
  operator const char16_t*() const noexcept;  // NOLINT(google-explicit-constructor)
  // The text in the ANSI code page, valid while this text lives; never null.
  operator const char*() const;  // NOLINT(google-explicit-constructor)
  std::u16string_view view() const noexcept;
  // The BSTR itself: null for a text that was never set.
  BSTR GetBSTR() const noexcept;
  // A new BSTR with the same text, for the caller to free.
  BSTR copy() const;
  std::uint32_t length() const noexcept;
  bool operator!() const noexcept { return length() == 0; }

  // Takes over `text`, releasing the current one; Detach hands the BSTR out and empties this.
  void Attach(BSTR text);
  BSTR Detach();
  // For out-parameters: releases the current text and hands out a fresh, empty slot.
  BSTR* GetAddress();

  _bstr_t& operator+=(const _bstr_t& other);
  friend _bstr_t operator+(const _bstr_t& left, const _bstr_t& right);

  // Ordering by UTF-16 code units, a prefix before the longer text, no locale.
  friend bool operator==(const _bstr_t& left, const _bstr_t& right) noexcept {
    return left.view() == right.view();
  }
  friend std::strong_ordering operator<=>(const _bstr_t& left, const _bstr_t& right) noexcept {
    return left.view() <=> right.view();
  }

 private:
  struct Data;
  explicit _bstr_t(Data* data) noexcept : m_data(data) {}
  // A new shared text that owns `text`.
  static Data* Adopt(UniqueBstr text);
  void Release() noexcept;

  Data* m_data = nullptr;
};
