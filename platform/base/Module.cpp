#include "platform/base/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

#include "platform/base/Process.h"
#include "platform/base/Status.h"
#include "platform/base/Text.h"

namespace platform {
namespace {

thread_local std::uint32_t t_lastError = ERROR_SUCCESS;

template <class T>
T Failure(std::uint32_t error, T result) {
  t_lastError = error;
  return result;
}

// "Name.dll" (or "Name") as the build's file name "libName.so".
std::string SharedLibraryFileName(std::string_view name) {
  constexpr std::string_view kExtension = ".dll";
  if (name.size() > kExtension.size()) {
    std::string tail(name.substr(name.size() - kExtension.size()));
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (tail == kExtension) {
      name.remove_suffix(kExtension.size());
    }
  }
  return "lib" + std::string(name) + ".so";
}

void* Open(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

}  // namespace

HMODULE LoadLibrary(std::string_view name) {
  if (name.empty()) {
    return Failure<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
  }
  if (name.find('/') != std::string_view::npos) {
    HMODULE module = Open(std::string(name));
    return module != nullptr ? module : Failure<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
  }
  const std::string fileName = SharedLibraryFileName(name);
  const std::filesystem::path beside =
      std::filesystem::path(ToUtf8(ModulePath())).parent_path() / fileName;
  std::error_code ignored;
  if (std::filesystem::exists(beside, ignored)) {
    if (HMODULE module = Open(beside.string())) {
      return module;
    }
  }
  HMODULE module = Open(fileName);
  return module != nullptr ? module : Failure<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (module == nullptr) {
    return Failure<FARPROC>(ERROR_INVALID_HANDLE, nullptr);
  }
  FARPROC procedure = name == nullptr ? nullptr : ::dlsym(module, name);
  return procedure != nullptr ? procedure : Failure<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
}

bool FreeLibrary(HMODULE module) {
  if (module == nullptr || ::dlclose(module) != 0) {
    return Failure(ERROR_INVALID_HANDLE, false);
  }
  return true;
}

HMODULE ReferenceLibraryAt(const void* address) {
  Dl_info where{};
  if (address == nullptr || ::dladdr(address, &where) == 0 || where.dli_fname == nullptr) {
    return Failure<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
  }
  HMODULE module = ::dlopen(where.dli_fname, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (module == nullptr) {
    return Failure<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
  }
  // The program's own handle is no library to hold.
  void* program = ::dlopen(nullptr, RTLD_NOW);
  const bool inProgram = module == program;
  ::dlclose(program);
  if (inProgram) {
    ::dlclose(module);
    return Failure<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
  }
  return module;
}

std::uint32_t LastModuleError() noexcept { return t_lastError; }

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Reset();
    module_ = other.Release();
  }
  return *this;
}

void Module::Reset() noexcept {
  if (module_ != nullptr) {
    FreeLibrary(module_);
    module_ = nullptr;
  }
}

}  // namespace platform
