#pragma once

// The exception that carries a failed player call out of the menu tree; thrown by value.

#include <string>

class CWMPException {
 public:
  // Copies the text; a null pointer gives an empty text.
  explicit CWMPException(const char16_t* p_szText)
      : m_strText(p_szText == nullptr ? u"" : p_szText) {}
  CWMPException(const CWMPException&) = default;
  CWMPException& operator=(const CWMPException&) = default;
  virtual ~CWMPException() = default;

  // Valid while the exception lives.
  const char16_t* GetText() const noexcept { return m_strText.c_str(); }

 private:
  std::u16string m_strText;
};
