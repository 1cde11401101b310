#include <gtest/gtest.h>

#include "platform/com/ClassFactory.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Object.h"
#include "platform/com/tests/TestInterfaces.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::MakeObject;

TEST(ComObject, LastReleaseDestroysTheObject) {
  bool destroyed = false;
  auto* raw = new CCounter(&destroyed);
  EXPECT_EQ(raw->AddRef(), 1u);
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_TRUE(destroyed);
}

TEST(ComObject, AnswersItsInterfacesAndTheirBasesWithAReference) {
  const ComPtr<CCounter> object = MakeObject<CCounter>();
  for (const IID& iid : {IidOf<IUnknown>, IidOf<ICounter>, IidOf<INamed>, IidOf<IDispatch>}) {
    void* found = nullptr;
    ASSERT_EQ(object->QueryInterface(iid, &found), S_OK) << platform::FormatGuid(iid).size();
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(ReferenceCount(object->Identity()), 2u);
    static_cast<IUnknown*>(object->Identity())->Release();
  }
  void* missing = &missing;
  EXPECT_EQ(object->QueryInterface(IidOf<_ITestEvents>, &missing), E_NOINTERFACE);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(object->QueryInterface(IidOf<ICounter>, nullptr), E_POINTER);
  EXPECT_EQ(ReferenceCount(object->Identity()), 1u);
}

TEST(ComObject, EveryInterfaceLeadsToOneIdentity) {
  const ComPtr<CCounter> object = MakeObject<CCounter>();
  ComPtr<ICounter> counter;
  ComPtr<INamed> named;
  ASSERT_EQ(object.QueryInterface(counter), S_OK);
  ASSERT_EQ(counter.QueryInterface(named), S_OK);
  EXPECT_NE(static_cast<void*>(counter.get()), static_cast<void*>(named.get()));
  EXPECT_TRUE(platform::IsSameObject(counter.get(), named.get()));
  EXPECT_FALSE(platform::IsSameObject(counter.get(), MakeObject<CCounter>()->Identity()));
  ComPtr<ICounter> back;
  ASSERT_EQ(named.QueryInterface(back), S_OK);
  EXPECT_EQ(back, counter);
}

TEST(ComPtr, CopiesMovesAndOutParametersKeepTheCount) {
  bool destroyed = false;
  ComPtr<CCounter> first = MakeObject<CCounter>(&destroyed);
  IUnknown* identity = first->Identity();
  {
    const ComPtr<CCounter> copy = first;
    EXPECT_EQ(ReferenceCount(identity), 2u);
    const ComPtr<CCounter> moved = std::move(first);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(ReferenceCount(identity), 2u);
    ComPtr<ICounter> slot;
    ASSERT_EQ(moved->QueryInterface(IidOf<ICounter>, slot.put_void()), S_OK);
    EXPECT_EQ(ReferenceCount(identity), 3u);
    ICounter* handedOut = nullptr;
    ASSERT_EQ(slot.CopyTo(&handedOut), S_OK);
    EXPECT_EQ(ReferenceCount(identity), 4u);
    slot.Attach(handedOut);  // the previous reference of `slot` is given back
    EXPECT_EQ(ReferenceCount(identity), 3u);
    slot.Release();
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(ReferenceCount(identity), 2u);
  }
  EXPECT_TRUE(destroyed);
}

TEST(ClassFactory, CreatesInstancesAndRefusesAggregation) {
  const ComPtr<platform::ClassFactory<CCounter>> factory =
      MakeObject<platform::ClassFactory<CCounter>>();
  ComPtr<ICounter> counter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IidOf<ICounter>, counter.put_void()), S_OK);
  std::int32_t total = 0;
  EXPECT_EQ(counter->Increment(3, &total), S_OK);
  EXPECT_EQ(total, 3);
  EXPECT_EQ(ReferenceCount(counter.get()), 1u);

  void* object = &object;
  EXPECT_EQ(factory->CreateInstance(counter.get(), IidOf<ICounter>, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IidOf<_ITestEvents>, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST(InterfaceDeclaration, NamesAndNumbersMethodsAfterTheirBases) {
  constexpr const platform::MethodInfo& invoke = platform::MethodOf<&IDispatch::Invoke>;
  constexpr const platform::MethodInfo& putName = platform::MethodOf<&INamed::put_name>;
  static_assert(invoke.index == 0 && putName.index == 2);
  EXPECT_NE(&platform::MethodOf<&INamed::get_name>, &putName);
  EXPECT_EQ(putName.interfaceName, "INamed");
  EXPECT_EQ(putName.methodName, "put_name");

  using platform::ArgumentKind;
  using platform::Direction;
  using IncrementRow = platform::Method<&ICounter::Increment, "Increment">;
  static_assert(IncrementRow::arguments.size() == 2);
  static_assert(IncrementRow::arguments[0].kind == ArgumentKind::Int32 &&
                IncrementRow::arguments[0].direction == Direction::In);
  static_assert(IncrementRow::arguments[1].kind == ArgumentKind::Int32 &&
                IncrementRow::arguments[1].direction == Direction::Out);
  using InvokeRow = platform::Method<&IDispatch::Invoke, "Invoke">;
  static_assert(InvokeRow::arguments[1].kind == ArgumentKind::Guid);
  static_assert(InvokeRow::arguments[4].kind == ArgumentKind::DispatchArguments);
  static_assert(InvokeRow::arguments[5].kind == ArgumentKind::Variant &&
                InvokeRow::arguments[5].direction == Direction::Out);
}

}  // namespace
