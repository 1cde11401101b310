#include "common/Edition.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/base/Process.h"

namespace {

TEST(Edition, EachBuildSeesItsOwnEditionAndFolder) {
  const std::u16string path = platform::ModulePath();
  if constexpr (kEdition == Edition::Second) {
    EXPECT_NE(path.find(u"/second/common_edition_tests"), std::u16string::npos);
  } else {
    EXPECT_NE(path.find(u"/first/common_edition_tests"), std::u16string::npos);
  }
}

}  // namespace
