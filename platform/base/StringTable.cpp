#include "platform/base/StringTable.h"

#include <mutex>

namespace platform {

const StringResource* StringTable::FindExact(std::uint32_t id, LanguageId language) const noexcept {
  for (const StringResource& resource : m_resources) {
    if (resource.id == id && resource.language == language) {
      return &resource;
    }
  }
  return nullptr;
}

const StringResource* StringTable::FindPrimary(std::uint32_t id,
                                               LanguageId language) const noexcept {
  for (const StringResource& resource : m_resources) {
    if (resource.id == id && PrimaryLanguage(resource.language) == PrimaryLanguage(language)) {
      return &resource;
    }
  }
  return nullptr;
}

std::u16string_view StringTable::Find(std::uint32_t id, LanguageId language) const noexcept {
  const StringResource* found = FindExact(id, language);
  if (found == nullptr && PrimaryLanguage(language) != 0) {
    found = FindPrimary(id, language);
  }
  for (const LanguageId fallback : {kLanguageNeutral, kLanguageSystemDefault, kLanguageEnglishUs}) {
    if (found == nullptr) {
      found = FindExact(id, fallback);
    }
  }
  return found == nullptr ? std::u16string_view() : found->text;
}

namespace {

struct ProgramStrings {
  std::mutex lock;
  std::span<const StringResource> resources;  // guarded by lock
};

ProgramStrings& TheProgramStrings() {
  static ProgramStrings strings;
  return strings;
}

}  // namespace

void DeclareProgramStrings(std::span<const StringResource> resources) {
  ProgramStrings& strings = TheProgramStrings();
  const std::lock_guard guard(strings.lock);
  strings.resources = resources;
}

std::u16string_view LoadString(std::uint32_t id, LanguageId language) {
  ProgramStrings& strings = TheProgramStrings();
  const std::lock_guard guard(strings.lock);
  return StringTable(strings.resources).Find(id, language);
}

}  // namespace platform
