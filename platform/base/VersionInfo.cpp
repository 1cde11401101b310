#include "platform/base/VersionInfo.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Process.h"
#include "platform/base/Status.h"
#include "platform/base/Text.h"

namespace platform {
namespace {

// The section that add_version_resource writes: lines "\StringFileInfo\040904e4\Name=value".
constexpr std::string_view kSectionName = ".calvora_version";

std::optional<std::filesystem::path> FindFile(std::u16string_view fileName) {
  std::filesystem::path path(ToUtf8(fileName));
  if (!path.has_parent_path()) {
    path = std::filesystem::path(ToUtf8(ModulePath())).parent_path() / path;
  }
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    return path;
  }
  std::string withoutExe = path.string();
  if (withoutExe.size() > 4 &&
      std::equal(withoutExe.end() - 4, withoutExe.end(), ".exe", [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
      })) {
    withoutExe.resize(withoutExe.size() - 4);
    if (std::filesystem::is_regular_file(withoutExe, error)) {
      return withoutExe;
    }
  }
  return std::nullopt;
}

// Reads pieces of one file; a piece past its end reads as nothing. One thread.
class FilePieces {
 public:
  explicit FilePieces(const std::filesystem::path& path)
      : file_(path, std::ios::binary), size_(std::filesystem::file_size(path, error_)) {}

  std::optional<std::string> Read(std::uint64_t offset, std::uint64_t length) {
    if (error_ || offset > size_ || size_ - offset < length) {
      return std::nullopt;
    }
    std::string bytes(length, '\0');
    file_.seekg(static_cast<std::streamoff>(offset));
    if (!file_.read(bytes.data(), static_cast<std::streamsize>(length))) {
      return std::nullopt;
    }
    return bytes;
  }
  template <class Record>
  std::optional<Record> ReadRecord(std::uint64_t offset) {
    const std::optional<std::string> bytes = Read(offset, sizeof(Record));
    if (!bytes) {
      return std::nullopt;
    }
    Record record;
    std::memcpy(&record, bytes->data(), sizeof record);
    return record;
  }

 private:
  std::ifstream file_;
  std::error_code error_;
  std::uint64_t size_;
};

// The text of the version section of a 64-bit ELF file; nothing when it has none. Every offset
// is checked against the file, so a damaged file reads as one without values.
std::optional<std::string> VersionSection(FilePieces& file) {
  const std::optional<Elf64_Ehdr> header = file.ReadRecord<Elf64_Ehdr>(0);
  if (!header || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
      header->e_ident[EI_CLASS] != ELFCLASS64 || header->e_shentsize != sizeof(Elf64_Shdr)) {
    return std::nullopt;
  }
  const auto section = [&](std::uint64_t index) {
    return file.ReadRecord<Elf64_Shdr>(header->e_shoff + index * sizeof(Elf64_Shdr));
  };
  const std::optional<Elf64_Shdr> names = section(header->e_shstrndx);
  const std::optional<std::string> nameTable =
      names ? file.Read(names->sh_offset, names->sh_size) : std::nullopt;
  if (!nameTable) {
    return std::nullopt;
  }
  for (std::uint64_t index = 0; index < header->e_shnum; ++index) {
    const std::optional<Elf64_Shdr> candidate = section(index);
    if (!candidate || candidate->sh_name >= nameTable->size()) {
      continue;
    }
    const std::string_view name = std::string_view(*nameTable).substr(candidate->sh_name);
    if (name.substr(0, name.find('\0')) == kSectionName && candidate->sh_type == SHT_PROGBITS) {
      return file.Read(candidate->sh_offset, candidate->sh_size);
    }
  }
  return std::nullopt;
}

// The block: for each value its name and its text, each zero-terminated, in UTF-16.
std::optional<std::u16string> BlockOf(std::u16string_view fileName, std::uint32_t& error) {
  const std::optional<std::filesystem::path> path = FindFile(fileName);
  if (!path) {
    error = ERROR_FILE_NOT_FOUND;
    return std::nullopt;
  }
  FilePieces file(*path);
  const std::optional<std::string> section = VersionSection(file);
  if (!section) {
    error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return std::nullopt;
  }
  std::u16string block;
  std::string_view lines(section->data(), section->find('\0') == std::string::npos
                                              ? section->size()
                                              : section->find('\0'));
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      block += FromUtf8(line.substr(0, equals)) + u'\0' + FromUtf8(line.substr(equals + 1)) + u'\0';
    }
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
  }
  return block;
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(std::u16string_view fileName, std::uint32_t* error) {
  std::uint32_t failure = ERROR_SUCCESS;
  const std::optional<std::u16string> block = BlockOf(fileName, failure);
  if (error != nullptr) {
    *error = failure;
  }
  return block ? static_cast<std::uint32_t>((block->size() + 1) * sizeof(char16_t)) : 0;
}

bool GetFileVersionInfo(std::u16string_view fileName, std::span<std::byte> block) {
  std::uint32_t error = ERROR_SUCCESS;
  const std::optional<std::u16string> values = BlockOf(fileName, error);
  const std::size_t bytes = values ? (values->size() + 1) * sizeof(char16_t) : 0;
  if (!values || block.size() < bytes) {
    return false;
  }
  std::memcpy(block.data(), values->c_str(), bytes);
  return true;
}

bool VerQueryValue(std::span<const std::byte> block, std::u16string_view subBlock,
                   const char16_t*& value, std::uint32_t& length) {
  const std::size_t characters = block.size() / sizeof(char16_t);
  // The block came from GetFileVersionInfo, which writes char16_t text.
  const auto* text = reinterpret_cast<const char16_t*>(block.data());
  const std::u16string_view all(text, characters);
  std::size_t at = 0;
  while (at < all.size() && all[at] != u'\0') {
    const std::size_t nameEnd = all.find(u'\0', at);
    const std::size_t valueEnd = nameEnd == std::u16string_view::npos
                                     ? std::u16string_view::npos
                                     : all.find(u'\0', nameEnd + 1);
    if (valueEnd == std::u16string_view::npos) {
      return false;
    }
    if (all.substr(at, nameEnd - at) == subBlock) {
      value = text + nameEnd + 1;
      length = static_cast<std::uint32_t>(valueEnd - nameEnd);
      return true;
    }
    at = valueEnd + 1;
  }
  return false;
}

}  // namespace platform
