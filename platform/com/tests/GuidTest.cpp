#include "platform/com/Guid.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr GUID kSample = platform::GuidLiteral(u"{6C497D62-8919-413C-82DB-E935FB3EC584}");

TEST(Guid, ParsesEveryField) {
  static_assert(kSample.Data1 == 0x6C497D62u && kSample.Data2 == 0x8919u &&
                kSample.Data3 == 0x413Cu);
  EXPECT_EQ(kSample.Data4[0], 0x82u);
  EXPECT_EQ(kSample.Data4[1], 0xDBu);
  EXPECT_EQ(kSample.Data4[7], 0x84u);
}

TEST(Guid, TextRoundTripsInUpperCaseAndParsesEitherCase) {
  EXPECT_EQ(platform::FormatGuid(kSample), u"{6C497D62-8919-413C-82DB-E935FB3EC584}");
  EXPECT_EQ(platform::ParseGuid(u"{6c497d62-8919-413c-82db-e935fb3ec584}"), kSample);
  EXPECT_EQ(platform::FormatGuid(IID_NULL), u"{00000000-0000-0000-0000-000000000000}");
}

TEST(Guid, RejectsMalformedTexts) {
  for (const char16_t* text :
       {u"", u"6C497D62-8919-413C-82DB-E935FB3EC584", u"{6C497D62-8919-413C-82DB-E935FB3EC58}",
        u"{6C497D62-8919-413C-82DB-E935FB3EC5845}", u"{6C497D62-8919-413C-82DBE-935FB3EC584}",
        u"{6C497D62-8919-413C-82DB-E935FB3EC58G}", u"(6C497D62-8919-413C-82DB-E935FB3EC584)"}) {
    EXPECT_FALSE(platform::ParseGuid(text)) << std::u16string(text).size();
  }
}

TEST(Guid, StringConversionReportsErrors) {
  IID iid{};
  EXPECT_EQ(IIDFromString(u"{6C497D62-8919-413C-82DB-E935FB3EC584}", &iid), S_OK);
  EXPECT_EQ(iid, kSample);
  IID untouched = kSample;
  EXPECT_EQ(IIDFromString(u"{nonsense}", &untouched), E_INVALIDARG);
  EXPECT_EQ(untouched, kSample);
  EXPECT_EQ(IIDFromString(nullptr, &iid), E_POINTER);
  EXPECT_EQ(CLSIDFromString(u"{6C497D62-8919-413C-82DB-E935FB3EC584}", nullptr), E_POINTER);
}

TEST(Guid, ComparesByValue) {
  GUID other = kSample;
  EXPECT_EQ(other, kSample);
  other.Data4[7] = 0x85;
  EXPECT_NE(other, kSample);
  EXPECT_LT(kSample, other);
}

}  // namespace
