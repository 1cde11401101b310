#pragma once

// A program's string resources: texts by string id and language id.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/base/Language.h"

namespace platform {

struct StringResource {
  std::uint32_t id;
  LanguageId language;
  std::u16string_view text;
};

// Looks texts up as the platform's resource loader does: the exact language first, then the same
// primary language, then the neutral language, the system default and English (United States).
class StringTable {
 public:
  constexpr explicit StringTable(std::span<const StringResource> resources) noexcept
      : m_resources(resources) {}

  // The text, or an empty view when the id has no text in any of those languages.
  std::u16string_view Find(std::uint32_t id, LanguageId language) const noexcept;

 private:
  const StringResource* FindExact(std::uint32_t id, LanguageId language) const noexcept;
  const StringResource* FindPrimary(std::uint32_t id, LanguageId language) const noexcept;

  std::span<const StringResource> m_resources;
};

// The running program's own string resources, declared at its start (the table must outlive every
// load; declaring again replaces it). LoadString finds a text as StringTable::Find does: empty when
// nothing was declared or the id has no text. Any thread.
void DeclareProgramStrings(std::span<const StringResource> resources);
std::u16string_view LoadString(std::uint32_t id, LanguageId language);

}  // namespace platform
