#pragma once

// Shared libraries loaded by the names the system's code gives them. A bare name such as
// "Quillomb.dll" (the extension in any letter case, or none) is the build's shared library
// "libQuillomb.so" (the name's own letter case counts): first the one beside the program, then
// the one the library path finds. A name with a '/' is a path, taken as it is. Each load counts
// one reference; the library leaves the process when its last reference is freed. Any thread may
// call these.

#include <cstdint>
#include <string_view>

namespace platform {

using HMODULE = void*;  // one reference to a loaded library; null is none
using FARPROC = void*;

// Null on failure, with ERROR_MOD_NOT_FOUND.
HMODULE LoadLibrary(std::string_view name);
// The exported symbol; null with ERROR_PROC_NOT_FOUND, or ERROR_INVALID_HANDLE for no library.
FARPROC GetProcAddress(HMODULE module, const char* name);
// Gives back one reference; false with ERROR_INVALID_HANDLE for no library.
bool FreeLibrary(HMODULE module);

// A new reference to the library whose code or data holds `address`, so that a library can keep
// itself loaded while its own thread runs; null with ERROR_MOD_NOT_FOUND for an address in the
// program or in no library.
HMODULE ReferenceLibraryAt(const void* address);

// The error of the calling thread's last failed call above.
std::uint32_t LastModuleError() noexcept;

// Owns one reference to a loaded library; move-only, one thread at a time.
class Module {
 public:
  Module() = default;
  explicit Module(HMODULE module) noexcept : module_(module) {}
  Module(Module&& other) noexcept : module_(other.Release()) {}
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  ~Module() { Reset(); }

  static Module Load(std::string_view name) { return Module(LoadLibrary(name)); }

  HMODULE Get() const noexcept { return module_; }
  explicit operator bool() const noexcept { return module_ != nullptr; }
  // The exported function or object of that name as `T` (a pointer type); null when missing.
  template <class T>
  T Find(const char* name) const {
    return reinterpret_cast<T>(GetProcAddress(module_, name));
  }
  // Hands the reference over; this object then owns none.
  HMODULE Release() noexcept {
    HMODULE module = module_;
    module_ = nullptr;
    return module;
  }
  void Reset() noexcept;

 private:
  HMODULE module_ = nullptr;
};

}  // namespace platform
