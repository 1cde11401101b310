#pragma once

// A fresh temporary folder of the test's own, removed with everything in it.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class TempFolder {
 public:
  TempFolder() {
    std::string l_Template =
        (std::filesystem::temp_directory_path() / "device-test-XXXXXX").string();
    if (::mkdtemp(l_Template.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    m_Path = l_Template;
  }
  ~TempFolder() {
    std::error_code l_Error;
    std::filesystem::remove_all(m_Path, l_Error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return m_Path; }

 private:
  std::filesystem::path m_Path;
};
