#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/com/SafeArray.h"
#include "platform/com/tests/TestInterfaces.h"

namespace {

using platform::UniqueSafeArray;
using platform::Variant;

std::u16string Text(BSTR text) { return std::u16string(text, SysStringLen(text)); }

UniqueSafeArray MakeArray(std::int32_t lowerBound, std::initializer_list<const char16_t*> texts) {
  UniqueSafeArray array(
      SafeArrayCreateVector(VT_BSTR, lowerBound, static_cast<std::uint32_t>(texts.size())));
  std::int32_t index = lowerBound;
  for (const char16_t* text : texts) {
    UniqueBstr value(SysAllocString(text));
    EXPECT_EQ(SafeArrayPutElement(array.get(), &index, value.get()), S_OK);
    ++index;
  }
  return array;
}

TEST(SafeArray, BoundsAndElements) {
  const UniqueSafeArray array = MakeArray(1, {u"All Music", u"Album", u""});
  std::int32_t lower = 0;
  std::int32_t upper = 0;
  ASSERT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  EXPECT_EQ(SafeArrayGetDim(array.get()), 1u);
  EXPECT_EQ(SafeArrayGetUBound(array.get(), 2, &upper), DISP_E_BADINDEX);

  for (const auto& [index, expected] :
       {std::pair{1, u"All Music"}, std::pair{2, u"Album"}, std::pair{3, u""}}) {
    UniqueBstr text;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &index, text.out()), S_OK);
    EXPECT_EQ(Text(text.get()), expected);
  }
  for (const std::int32_t outside : {0, 4, -1}) {
    UniqueBstr text;
    EXPECT_EQ(SafeArrayGetElement(array.get(), &outside, text.out()), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayPutElement(array.get(), &outside, nullptr), DISP_E_BADINDEX);
  }
}

TEST(SafeArray, AnEmptyArrayHasUpperBoundBelowLower) {
  const UniqueSafeArray array = MakeArray(0, {});
  std::int32_t upper = 0;
  ASSERT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 1), nullptr);
}

TEST(SafeArray, ALockedArrayCannotBeDestroyed) {
  UniqueSafeArray array = MakeArray(0, {u"a"});
  {
    const platform::SafeArrayLockGuard outer(array.get());
    const platform::SafeArrayLockGuard inner(array.get());
    EXPECT_TRUE(outer.locked() && inner.locked());
    EXPECT_EQ(SafeArrayDestroy(array.get()), DISP_E_ARRAYISLOCKED);
  }
  EXPECT_EQ(SafeArrayUnlock(array.get()), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(array.release()), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), E_INVALIDARG);
}

TEST(Variant, CopiesOwnTheirValues) {
  const Variant text = Variant::FromText(u"Road Trip");
  const Variant copy = text;
  ASSERT_EQ(copy->vt, VT_BSTR);
  EXPECT_NE(copy->bstrVal, text->bstrVal);
  EXPECT_EQ(Text(copy->bstrVal), u"Road Trip");

  const UniqueSafeArray lines = MakeArray(0, {u"My Playlists", u"Road Trip"});
  const Variant array = Variant::FromTextArray(lines.get());
  const Variant arrayCopy = array;
  ASSERT_EQ(arrayCopy->vt, VT_ARRAY | VT_BSTR);
  EXPECT_NE(arrayCopy->parray, array->parray);
  EXPECT_NE(arrayCopy->parray, lines.get());
  const std::int32_t second = 1;
  UniqueBstr element;
  ASSERT_EQ(SafeArrayGetElement(arrayCopy->parray, &second, element.out()), S_OK);
  EXPECT_EQ(Text(element.get()), u"Road Trip");

  EXPECT_EQ(Variant::FromInt32(-7)->lVal, -7);
  EXPECT_EQ(Variant::FromBool(VARIANT_TRUE)->vt, VT_BOOL);
  EXPECT_DOUBLE_EQ(Variant::FromDouble(215.6)->dblVal, 215.6);
}

TEST(Variant, HoldsOneReferenceToAnInterface) {
  const auto object = platform::MakeObject<CCounter>();
  {
    Variant held = Variant::FromUnknown(object->Identity());
    EXPECT_EQ(ReferenceCount(object->Identity()), 2u);
    const Variant copy = held;
    EXPECT_EQ(ReferenceCount(object->Identity()), 3u);
    VariantClear(held.put());
    EXPECT_EQ(held->vt, VT_EMPTY);
    EXPECT_EQ(ReferenceCount(object->Identity()), 2u);
  }
  EXPECT_EQ(ReferenceCount(object->Identity()), 1u);
}

TEST(Variant, UnknownTypesAreRefusedUntouched) {
  VARIANT odd;
  odd.vt = 0x4003;  // by-reference, not used by the system
  EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
  EXPECT_EQ(odd.vt, 0x4003);
  VARIANT target;
  EXPECT_EQ(VariantCopy(&target, &odd), DISP_E_BADVARTYPE);
  EXPECT_EQ(target.vt, VT_EMPTY);
}

TEST(ArgumentList, KeepsArgumentsInReverseOrder) {
  platform::ArgumentList arguments;
  arguments.Push(Variant::FromInt32(0));
  arguments.Push(Variant::FromText(u"second"));
  ASSERT_EQ(arguments.size(), 2u);
  EXPECT_EQ(arguments.data()[0].vt, VT_BSTR);
  EXPECT_EQ(arguments.data()[1].vt, VT_I4);
}

}  // namespace
