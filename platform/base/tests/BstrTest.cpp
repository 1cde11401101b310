#include "platform/base/Bstr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/base/Text.h"

namespace {

TEST(Bstr, AllocationCarriesTheLength) {
  UniqueBstr text(SysAllocString(u"Album"));
  EXPECT_EQ(SysStringLen(text.get()), 5u);
  EXPECT_EQ(SysStringByteLen(text.get()), 10u);
  EXPECT_EQ(text.get()[5], u'\0');
  UniqueBstr embedded(SysAllocStringLen(u"a\0b", 3));
  EXPECT_EQ(SysStringLen(embedded.get()), 3u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(BstrHolder, NullAndEmptyReadAsEmpty) {
  const _bstr_t never;
  const _bstr_t null(static_cast<const char16_t*>(nullptr));
  const _bstr_t empty(u"");
  for (const _bstr_t* text : {&never, &null, &empty}) {
    EXPECT_EQ(text->length(), 0u);
    EXPECT_STREQ(static_cast<const char*>(*text), "");
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(*text)), u"");
    EXPECT_TRUE(!*text);
  }
  EXPECT_EQ(never, empty);
  EXPECT_EQ(never.GetBSTR(), nullptr);
}

TEST(BstrHolder, OrdersByCodeUnitsWithPrefixFirst) {
  std::vector<_bstr_t> names{u"beta", u"Beta", u"", u"alpha", u"alp", u"\u00E9", u"z"};
  std::sort(names.begin(), names.end());
  const std::vector<_bstr_t> expected{u"", u"Beta", u"alp", u"alpha", u"beta", u"z", u"\u00E9"};
  EXPECT_EQ(names, expected);
}

TEST(BstrHolder, ConvertsThroughTheAnsiCodePage) {
  platform::SetAnsiCodePage(platform::AnsiCodePage::Western);
  const _bstr_t fromAnsi("Biblioth\xE8que");
  EXPECT_EQ(fromAnsi.view(), u"Bibliothèque");
  EXPECT_STREQ(static_cast<const char*>(fromAnsi), "Biblioth\xE8que");
  EXPECT_STREQ(static_cast<const char*>(_bstr_t(u"\u30A2")), "?");
}

TEST(BstrHolder, CopiesShareAndOutlastTheOriginal) {
  auto original = std::make_unique<_bstr_t>(u"shared");
  const _bstr_t copy(*original);
  EXPECT_EQ(copy.GetBSTR(), original->GetBSTR());
  original.reset();
  EXPECT_EQ(copy.view(), u"shared");

  _bstr_t joined = copy + _bstr_t(u" text");
  joined += u"!";
  EXPECT_EQ(joined.view(), u"shared text!");
  EXPECT_EQ(copy.view(), u"shared");
}

TEST(BstrHolder, AttachDetachAndOutParameters) {
  _bstr_t holder;
  *holder.GetAddress() = SysAllocString(u"filled by a callee");
  EXPECT_EQ(holder.view(), u"filled by a callee");

  const _bstr_t sharer(holder);
  UniqueBstr detached(holder.Detach());
  EXPECT_EQ(holder.length(), 0u);
  EXPECT_NE(detached.get(), sharer.GetBSTR());  // a shared text is copied out, not stolen
  EXPECT_EQ(sharer.view(), u"filled by a callee");

  holder.Attach(detached.release());
  UniqueBstr copied(holder.copy());
  EXPECT_NE(copied.get(), holder.GetBSTR());
  EXPECT_EQ(std::u16string_view(copied.get()), holder.view());
}

TEST(BstrHolder, CopiesAndConversionsAcrossThreads) {
  const _bstr_t text(u"K\u00FCnstler");
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([text] {
      for (int round = 0; round < 1000; ++round) {
        _bstr_t copy(text);
        ASSERT_STREQ(static_cast<const char*>(copy), "K\xFCnstler");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

}  // namespace
