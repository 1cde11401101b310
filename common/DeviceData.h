#pragma once

// One display page, or one navigation selection of the player's library tree, and its flat byte
// format, the only form in which a page crosses a process boundary.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "platform/base/Bstr.h"

// The display's rows: AddLine and InsertLine stop there.
extern const int g_nDeviceDataMaxLines;

// A value: filled by one thread, then copied whole into a list under that list's lock.
class CDeviceData {
 public:
  CDeviceData() = default;
  // Reads a flat record from bytes that may come from another process: it never reads past the
  // buffer, and a record that runs out before its terminator ends there (an unterminated text is
  // dropped). Title, lines and selected row as read; every other field 0.
  explicit CDeviceData(std::span<const std::uint8_t> p_Buffer);
  CDeviceData(const CDeviceData&) = default;
  CDeviceData& operator=(const CDeviceData&) = default;
  CDeviceData(CDeviceData&&) noexcept = default;
  CDeviceData& operator=(CDeviceData&&) noexcept = default;
  virtual ~CDeviceData() = default;

  void SetTitle(_bstr_t p_bstrTitle) { m_bstrTitle = std::move(p_bstrTitle); }
  _bstr_t& GetTitle() { return m_bstrTitle; }
  const _bstr_t& GetTitle() const { return m_bstrTitle; }

  // Both drop the line silently once the page holds g_nDeviceDataMaxLines lines.
  void AddLine(_bstr_t p_bstrLine);
  void InsertLine(_bstr_t p_bstrLine);
  // Replaces the lines with the whole list, with no limit.
  void SetLines(std::vector<_bstr_t> p_Lines) { m_Lines = std::move(p_Lines); }
  int GetLineCount() const { return static_cast<int>(m_Lines.size()); }
  std::vector<_bstr_t> GetLines() const { return m_Lines; }

  void SetSelectedLine(std::int32_t p_nRow) { m_nSelectedLine = p_nRow; }
  std::int32_t GetSelectedLine() const { return m_nSelectedLine; }
  void SetPosition(std::int32_t p_nPosition) { m_nPosition = p_nPosition; }
  std::int32_t GetPosition() const { return m_nPosition; }
  void SetTotal(std::int32_t p_nTotal) { m_nTotal = p_nTotal; }
  std::int32_t GetTotal() const { return m_nTotal; }
  // Reads the leading decimal integer of the text ("215.6" gives 215; empty or not a number, 0).
  void SetDuration(_bstr_t p_bstrDuration);
  std::int32_t GetDuration() const { return m_nDuration; }
  void SetElapsedTime(std::int32_t p_nSeconds) { m_nElapsed = p_nSeconds; }
  std::int32_t GetElapsedTime() const { return m_nElapsed; }
  void SetScreenType(std::int32_t p_nScreenType) { m_nScreenType = p_nScreenType; }
  std::int32_t GetScreenType() const { return m_nScreenType; }
  void SetUpdateMode(std::int32_t p_nUpdateMode) { m_nUpdateMode = p_nUpdateMode; }
  std::int32_t GetUpdateMode() const { return m_nUpdateMode; }
  void SetPlayState(std::int32_t p_nPlayState) { m_nPlayState = p_nPlayState; }
  std::int32_t GetPlayState() const { return m_nPlayState; }

  // The flat record: the selected row as 4 bytes little-endian, then the title and each line as
  // zero-terminated text in the ANSI code page, then one more zero byte.
  std::unique_ptr<std::uint8_t[]> Serialize(std::size_t& p_nLength) const;

 private:
  _bstr_t m_bstrTitle;
  std::vector<_bstr_t> m_Lines;
  std::int32_t m_nSelectedLine = 0;
  std::int32_t m_nPosition = 0;
  std::int32_t m_nTotal = 0;
  std::int32_t m_nDuration = 0;
  std::int32_t m_nElapsed = 0;
  std::int32_t m_nScreenType = 0;
  std::int32_t m_nUpdateMode = 0;
  std::int32_t m_nPlayState = 0;
};
