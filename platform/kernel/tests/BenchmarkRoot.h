#pragma once

// A fresh platform root for a whole benchmark program, made before the layer first looks (a
// global of the program), and removed at its end.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace platform::testing {

class BenchmarkRoot {
 public:
  BenchmarkRoot() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "platform-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      root_ = pattern;
      setenv("PLATFORM_ROOT", pattern.c_str(), 1);
    }
  }
  BenchmarkRoot(const BenchmarkRoot&) = delete;
  BenchmarkRoot& operator=(const BenchmarkRoot&) = delete;
  ~BenchmarkRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  std::filesystem::path root_;
};

}  // namespace platform::testing
