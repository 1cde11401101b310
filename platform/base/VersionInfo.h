#pragma once

// Version resources of the programs' own files. A program declares its values at build time
// (add_version_resource in cmake/VersionResource.cmake puts them into a section of its file), and
// any program reads them from the file by name: a name without a folder is looked for in the
// folder of the running program, and "Name.exe" also as "Name".

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// The bytes that GetFileVersionInfo needs for the file's values; 0 when the file has none
// (`error`: ERROR_FILE_NOT_FOUND or ERROR_RESOURCE_TYPE_NOT_FOUND).
std::uint32_t GetFileVersionInfoSize(std::u16string_view fileName, std::uint32_t* error = nullptr);
// Copies the values into `block`, which must hold GetFileVersionInfoSize bytes.
bool GetFileVersionInfo(std::u16string_view fileName, std::span<std::byte> block);
// Finds a value such as "\StringFileInfo\040904e4\ProductVersion" in a block: points `value`
// into the block at the zero-terminated text and gives its length in characters with the zero.
bool VerQueryValue(std::span<const std::byte> block, std::u16string_view subBlock,
                   const char16_t*& value, std::uint32_t& length);

inline constexpr std::uint32_t ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;

}  // namespace platform
