#include "server/QuillombLibrary.h"

#include <string>

#include "platform/base/Module.h"

namespace {

class CLoadedModule final : public CLoadedLibrary {
 public:
  explicit CLoadedModule(platform::Module p_Module) : m_Module(std::move(p_Module)) {}

  void* Find(std::string_view p_Name) override {
    return m_Module.Find<void*>(std::string(p_Name).c_str());
  }
  bool Free(std::uint32_t& p_nError) override {
    const bool l_bFreed = platform::FreeLibrary(m_Module.Release());
    p_nError = l_bFreed ? 0 : platform::LastModuleError();
    return l_bFreed;
  }

 private:
  platform::Module m_Module;
};

}  // namespace

std::unique_ptr<CLoadedLibrary> CModuleLoader::Load(std::string_view p_Name) {
  platform::Module l_Module = platform::Module::Load(p_Name);
  if (!l_Module) return nullptr;
  return std::make_unique<CLoadedModule>(std::move(l_Module));
}
