#pragma once

// The hook library as the server uses it: loaded by its bare name, its exports found by name.

#include <cstdint>
#include <memory>
#include <string_view>

#include "hook/Quillomb.h"

inline constexpr std::string_view kQuillombLibraryName = "Quillomb.dll";

// One loaded library. The owning thread only.
class CLoadedLibrary {
 public:
  virtual ~CLoadedLibrary() = default;
  // The export's address, null when the library has none of that name.
  virtual void* Find(std::string_view p_Name) = 0;
  // Unloads it; false (with the system's error code) when it could not be.
  virtual bool Free(std::uint32_t& p_nError) = 0;
};

// Loads libraries by name. Any thread.
class CLibraryLoader {
 public:
  virtual ~CLibraryLoader() = default;
  // The library, or null when it cannot be loaded.
  virtual std::unique_ptr<CLoadedLibrary> Load(std::string_view p_Name) = 0;
};

// Libraries as the platform loads them.
class CModuleLoader final : public CLibraryLoader {
 public:
  std::unique_ptr<CLoadedLibrary> Load(std::string_view p_Name) override;
};
