#include "platform/com/ConnectionPoint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/DispatchSink.h"
#include "platform/com/tests/TestInterfaces.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::MakeObject;

using CSource = CEventSource;

// Writes what it receives, tagged with its name, into a log the test owns.
class CSink final : public platform::DispatchSink<CSink, _ITestEvents> {
 public:
  CSink(std::vector<std::u16string>* log, std::u16string tag) : m_log(log), m_tag(std::move(tag)) {}

  HRESULT OnCounted(std::int32_t count, BSTR name) {
    m_log->push_back(m_tag + u":" + std::u16string(1, static_cast<char16_t>(u'0' + count)) + u":" +
                     std::u16string(name, SysStringLen(name)));
    if (onEvent) onEvent();
    return S_OK;
  }
  HRESULT OnFlagged(VARIANT_BOOL flag, double value) {
    m_log->push_back(m_tag + (flag == VARIANT_TRUE ? u":true:" : u":false:") +
                     (value > 1.0 ? u"big" : u"small"));
    return S_OK;
  }
  HRESULT OnListed(IUnknown* object, SAFEARRAY* lines) {
    std::int32_t upper = -1;
    SafeArrayGetUBound(lines, 1, &upper);
    m_log->push_back(m_tag + (object != nullptr ? u":object:" : u":null:") +
                     std::u16string(1, static_cast<char16_t>(u'1' + upper)));
    return S_OK;
  }

  using SinkMap = platform::SinkMap<platform::SinkEntry<_ITestEvents::Counted, &CSink::OnCounted>,
                                    platform::SinkEntry<_ITestEvents::Flagged, &CSink::OnFlagged>,
                                    platform::SinkEntry<_ITestEvents::Listed, &CSink::OnListed>>;

  std::function<void()> onEvent;

 private:
  std::vector<std::u16string>* m_log;
  std::u16string m_tag;
};

TEST(ConnectionPoints, FindByInterfaceId) {
  const ComPtr<CSource> source = MakeObject<CSource>();
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(source->FindConnectionPoint(IidOf<_ITestEvents>, point.put()), S_OK);
  EXPECT_EQ(point.get(), &source->Events());
  EXPECT_EQ(source->FindConnectionPoint(IidOf<ICounter>, point.put()), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  std::uint32_t cookie = 1;
  const auto notASource = MakeObject<CCounter>();
  EXPECT_EQ(platform::Advise(notASource->Identity(), IidOf<_ITestEvents>, notASource->Identity(),
                             &cookie),
            E_NOINTERFACE);
}

TEST(ConnectionPoints, FireInConnectionOrderUntilUnadvised) {
  std::vector<std::u16string> log;
  const ComPtr<CSource> source = MakeObject<CSource>();
  const auto first = MakeObject<CSink>(&log, u"first");
  const auto second = MakeObject<CSink>(&log, u"second");
  const auto third = MakeObject<CSink>(&log, u"third");
  std::uint32_t cookies[3] = {};
  ASSERT_EQ(
      platform::Advise(source->Identity(), IidOf<_ITestEvents>, second->Identity(), &cookies[0]),
      S_OK);
  ASSERT_EQ(first->DispEventAdvise(source->Identity()), S_OK);
  ASSERT_EQ(
      platform::Advise(source->Identity(), IidOf<_ITestEvents>, third->Identity(), &cookies[2]),
      S_OK);
  EXPECT_NE(cookies[0], first->Cookie());
  EXPECT_NE(cookies[2], first->Cookie());
  EXPECT_EQ(first->DispEventAdvise(source->Identity()), CONNECT_E_ADVISELIMIT);

  UniqueBstr name(SysAllocString(u"Album"));
  EXPECT_EQ(source->Events().Fire<_ITestEvents::Counted>(std::int32_t{3}, name.get()), S_OK);
  EXPECT_EQ(log,
            (std::vector<std::u16string>{u"second:3:Album", u"first:3:Album", u"third:3:Album"}));

  log.clear();
  ASSERT_EQ(first->DispEventUnadvise(source->Identity()), S_OK);
  EXPECT_EQ(first->DispEventUnadvise(source->Identity()), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source->Events().Unadvise(cookies[0] + 100), CONNECT_E_NOCONNECTION);
  source->Events().Fire<_ITestEvents::Flagged>(VARIANT_TRUE, 2.5);
  EXPECT_EQ(log, (std::vector<std::u16string>{u"second:true:big", u"third:true:big"}));
}

TEST(ConnectionPoints, ASinkMayDisconnectAnotherWhileBeingCalled) {
  std::vector<std::u16string> log;
  const ComPtr<CSource> source = MakeObject<CSource>();
  const auto first = MakeObject<CSink>(&log, u"first");
  const auto second = MakeObject<CSink>(&log, u"second");
  ASSERT_EQ(first->DispEventAdvise(source->Identity()), S_OK);
  ASSERT_EQ(second->DispEventAdvise(source->Identity()), S_OK);
  first->onEvent = [&] { second->DispEventUnadvise(source->Identity()); };
  UniqueBstr name(SysAllocString(u"x"));
  source->Events().Fire<_ITestEvents::Counted>(std::int32_t{1}, name.get());
  EXPECT_EQ(log, std::vector<std::u16string>{u"first:1:x"});
  EXPECT_EQ(ReferenceCount(second->Identity()), 1u);
}

TEST(ConnectionPoints, SinksAreHeldUntilTheSourceEnds) {
  std::vector<std::u16string> log;
  const auto sink = MakeObject<CSink>(&log, u"sink");
  {
    const ComPtr<CSource> source = MakeObject<CSource>();
    ASSERT_EQ(sink->DispEventAdvise(source->Identity()), S_OK);
    EXPECT_EQ(ReferenceCount(sink->Identity()), 2u);
    ComPtr<IConnectionPoint> kept;
    ASSERT_EQ(source->FindConnectionPoint(IidOf<_ITestEvents>, kept.put()), S_OK);
    source->Events().Close();
    EXPECT_EQ(ReferenceCount(sink->Identity()), 1u);
    std::uint32_t cookie = 0;
    ASSERT_EQ(kept->Advise(sink->Identity(), &cookie), S_OK);
  }
  EXPECT_EQ(ReferenceCount(sink->Identity()), 1u);
}

TEST(ConnectionPoints, AdviseNeedsASinkOfTheEventInterface) {
  const ComPtr<CSource> source = MakeObject<CSource>();
  const auto notASink = MakeObject<CCounter>();
  std::uint32_t cookie = 5;
  EXPECT_EQ(source->Events().Advise(notASink->Identity(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(source->Events().Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(source->Events().ConnectionCount(), 0u);
}

TEST(DispatchSink, InvokeReadsArgumentsInReverseOrder) {
  std::vector<std::u16string> log;
  const auto sink = MakeObject<CSink>(&log, u"s");
  platform::ArgumentList arguments;  // as a caller builds them: the last argument first
  arguments.Push(platform::Variant::FromInt32(4));
  arguments.Push(platform::Variant::FromText(u"Genre"));
  DISPPARAMS parameters{arguments.data(), nullptr, arguments.size(), 0};
  ASSERT_EQ(arguments.data()[0].vt, VT_BSTR);
  EXPECT_EQ(sink->Invoke(7, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr),
            S_OK);
  EXPECT_EQ(log, std::vector<std::u16string>{u"s:4:Genre"});

  const platform::UniqueSafeArray lines(SafeArrayCreateVector(VT_BSTR, 0, 2));
  platform::ArgumentList listed;
  listed.Push(platform::Variant::FromUnknown(sink->Identity()));
  listed.Push(platform::Variant::FromTextArray(lines.get()));
  DISPPARAMS listedParameters{listed.data(), nullptr, listed.size(), 0};
  EXPECT_EQ(
      sink->Invoke(9, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &listedParameters, nullptr),
      S_OK);
  EXPECT_EQ(log.back(), u"s:object:2");
}

TEST(DispatchSink, RefusesMismatchedArgumentsAndIgnoresUnknownIds) {
  std::vector<std::u16string> log;
  const auto sink = MakeObject<CSink>(&log, u"s");
  platform::ArgumentList swapped;  // text first, number last: the wrong way round
  swapped.Push(platform::Variant::FromText(u"Genre"));
  swapped.Push(platform::Variant::FromInt32(4));
  DISPPARAMS wrongTypes{swapped.data(), nullptr, swapped.size(), 0};
  EXPECT_EQ(sink->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &wrongTypes, nullptr),
            DISP_E_TYPEMISMATCH);
  DISPPARAMS none{};
  EXPECT_EQ(sink->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(sink->Invoke(10, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr), S_OK);
  EXPECT_EQ(sink->Invoke(4711, IID_NULL, 0, DISPATCH_METHOD, &wrongTypes, nullptr), S_OK);
  EXPECT_TRUE(log.empty());
  ComPtr<IDispatch> asEvents;
  EXPECT_EQ(sink->QueryInterface(IidOf<_ITestEvents>, asEvents.put_void()), S_OK);
}

}  // namespace
