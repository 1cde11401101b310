// Proxies and stubs over a loopback: every call is encoded, decoded, run by the generated stub
// on the real object and answered through the same bytes, without a second process.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/CallInterfaces.h"
#include "platform/com/DispatchSink.h"
#include "platform/com/tests/TestInterfaces.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::MakeObject;
namespace wire = platform::wire;

// Hands objects out as numbered references and makes loopback proxies of them.
class LoopbackMarshaller final : public platform::ReferenceMarshaller {
 public:
  HRESULT Export(IUnknown* object, REFIID iid, wire::ObjectReference& reference) override {
    if (ComPtr<platform::IRemoteIdentity> proxy;
        SUCCEEDED(object->QueryInterface(IidOf<platform::IRemoteIdentity>, proxy.put_void()))) {
      return proxy->Remote().PassOn(iid, 0, reference);
    }
    m_objects.emplace_back(object);
    reference = {"loop", m_objects.size() - 1, iid, 0};
    return S_OK;
  }
  HRESULT Import(const wire::ObjectReference& reference, REFIID iid, void** object) override;

  std::vector<ComPtr<IUnknown>> m_objects;
};

class LoopbackObject final : public platform::RemoteObject {
 public:
  LoopbackObject(LoopbackMarshaller& marshaller, std::uint64_t object, const IID& iid)
      : m_marshaller(marshaller), m_object(object), m_iid(iid) {}

  const IID& Iid() const noexcept override { return m_iid; }
  HRESULT PassOn(REFIID iid, std::uint64_t, wire::ObjectReference& reference) override {
    reference = {"loop", m_object, iid, 0};
    return S_OK;
  }
  HRESULT Call(std::uint32_t method, std::vector<wire::Value> in,
               std::vector<wire::Value>& out) override {
    wire::Message call;
    call.object = m_object;
    call.iid = m_iid;
    call.method = method;
    call.values = std::move(in);
    const auto request = Through(call);
    const platform::CallInterface* entry = platform::FindCallInterface(request.iid);
    if (entry == nullptr) return E_NOINTERFACE;
    void* target = nullptr;
    IUnknown* object = m_marshaller.m_objects.at(request.object).get();
    if (const HRESULT hr = object->QueryInterface(request.iid, &target); FAILED(hr)) return hr;
    wire::Message reply;
    reply.kind = wire::MessageKind::Reply;
    reply.result = entry->stub(target, request.method, request.values, reply.values, m_marshaller);
    static_cast<IUnknown*>(target)->Release();
    wire::Message answer = Through(reply);
    out = std::move(answer.values);
    return answer.result;
  }
  HRESULT QueryInterface(REFIID iid, std::unique_ptr<platform::RemoteObject>& other) override {
    void* found = nullptr;
    if (const HRESULT hr = m_marshaller.m_objects.at(m_object)->QueryInterface(iid, &found);
        FAILED(hr)) {
      return hr;
    }
    static_cast<IUnknown*>(found)->Release();
    other = std::make_unique<LoopbackObject>(m_marshaller, m_object, iid);
    return S_OK;
  }
  platform::ReferenceMarshaller& Marshaller() noexcept override { return m_marshaller; }

 private:
  static wire::Message Through(const wire::Message& message) {
    const auto frame = wire::EncodeFrame(message);
    return wire::DecodeBody(std::span(frame).subspan(4)).value();
  }

  LoopbackMarshaller& m_marshaller;
  std::uint64_t m_object;
  IID m_iid;
};

HRESULT LoopbackMarshaller::Import(const wire::ObjectReference& reference, REFIID iid,
                                   void** object) {
  *object = nullptr;
  if (reference.IsNull()) return S_OK;
  const platform::CallInterface* entry = platform::FindCallInterface(iid);
  if (entry == nullptr) return E_NOINTERFACE;
  *object = entry->proxy(std::make_unique<LoopbackObject>(*this, reference.object, iid));
  return S_OK;
}

class Loopback : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kTestCallsRegistered);
    m_object = MakeObject<CKinds>();
    wire::ObjectReference reference;
    ASSERT_EQ(m_marshaller.Export(m_object->Identity(), IidOf<IKinds>, reference), S_OK);
    ASSERT_EQ(m_marshaller.Import(reference, IidOf<IKinds>, m_proxy.put_void()), S_OK);
  }

  LoopbackMarshaller m_marshaller;
  ComPtr<CKinds> m_object;
  ComPtr<IKinds> m_proxy;
};

std::u16string Text(BSTR text) { return std::u16string(text, SysStringLen(text)); }

TEST_F(Loopback, PlainValuesAndTextsCrossBothWays) {
  std::int32_t number = 0;
  double real = 0;
  VARIANT_BOOL flag = VARIANT_FALSE;
  UniqueBstr text;
  const UniqueBstr name(SysAllocString(u"Genre \u00e9"));
  EXPECT_EQ(m_proxy->Echo(41, 1.25, VARIANT_TRUE, name.get(), &number, &real, &flag, text.out()),
            S_FALSE);
  EXPECT_EQ(number, 42);
  EXPECT_DOUBLE_EQ(real, 2.5);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(Text(text.get()), u"Genre \u00e9");

  // A null text stays null; the method's failure comes back with its results.
  EXPECT_EQ(m_proxy->Echo(-3, 0, VARIANT_FALSE, nullptr, &number, &real, &flag, text.out()),
            E_INVALIDARG);
  EXPECT_EQ(text.get(), nullptr);
  EXPECT_EQ(number, -2);
}

TEST_F(Loopback, VariantsAndArraysAreCopiedAcross) {
  const platform::UniqueSafeArray lines(SafeArrayCreateVector(VT_BSTR, 1, 2));
  const std::int32_t second = 2;
  const UniqueBstr line(SysAllocString(u"Road Trip"));
  SafeArrayPutElement(lines.get(), &second, line.get());
  platform::UniqueSafeArray back;
  SAFEARRAY* received = nullptr;
  ASSERT_EQ(m_proxy->EchoArray(lines.get(), &received), S_OK);
  back.reset(received);
  std::int32_t lower = 0;
  std::int32_t upper = 0;
  SafeArrayGetLBound(back.get(), 1, &lower);
  SafeArrayGetUBound(back.get(), 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 2);
  UniqueBstr element;
  ASSERT_EQ(SafeArrayGetElement(back.get(), &second, element.out()), S_OK);
  EXPECT_EQ(Text(element.get()), u"Road Trip");

  for (const platform::Variant& value :
       {platform::Variant(), platform::Variant::FromInt32(-9), platform::Variant::FromBool(-1),
        platform::Variant::FromDouble(0.5), platform::Variant::FromText(u"x"),
        platform::Variant::FromTextArray(lines.get())}) {
    platform::Variant out;
    ASSERT_EQ(m_proxy->EchoVariant(&*value, out.put()), S_OK);
    wire::VariantValue sent;
    wire::VariantValue returned;
    ASSERT_EQ(platform::ToWire(*value, m_marshaller, sent), S_OK);
    ASSERT_EQ(platform::ToWire(*out, m_marshaller, returned), S_OK);
    EXPECT_EQ(sent, returned) << value->vt;
  }
}

TEST_F(Loopback, InterfacePointersCrossAsProxiesAndComeBackToTheirObject) {
  bool destroyed = false;
  {
    const ComPtr<CCounter> counter = MakeObject<CCounter>(&destroyed);
    ComPtr<ICounter> same;
    ASSERT_EQ(m_proxy->Keep(counter.get(), same.put()), S_OK);
    ASSERT_NE(m_object->kept, nullptr);
    // The object got a proxy; what it handed back was passed on as the original reference.
    EXPECT_NE(static_cast<void*>(m_object->kept.get()), static_cast<void*>(counter.get()));
    std::int32_t total = 0;
    EXPECT_EQ(m_object->kept->Increment(5, &total), S_OK);
    EXPECT_EQ(same->Increment(1, &total), S_OK);
    EXPECT_EQ(total, 6);

    ComPtr<IUnknown> asUnknown;
    ASSERT_EQ(m_proxy->Ask(IidOf<IUnknown>, asUnknown.put_void()), S_OK);
    ComPtr<IKinds> back;
    ASSERT_EQ(asUnknown.QueryInterface(back), S_OK);
    same.Release();
    EXPECT_EQ(back->Keep(nullptr, same.put()), S_OK);
    EXPECT_EQ(same->Increment(1, &total), S_OK);
    EXPECT_EQ(total, 7);
    EXPECT_EQ(m_proxy->Ask(IidOf<INamed>, asUnknown.put_void()), E_NOINTERFACE);
    EXPECT_EQ(asUnknown, nullptr);
  }
  m_marshaller.m_objects.clear();
  EXPECT_TRUE(destroyed);
}

// Writes what it receives into a log that the test owns.
class CLogSink final : public platform::DispatchSink<CLogSink, _ITestEvents> {
 public:
  explicit CLogSink(std::vector<std::u16string>* log) : m_log(log) {}
  HRESULT OnCounted(std::int32_t count, BSTR name) {
    m_log->push_back(std::to_string(count).size() == 1 ? Text(name) : u"?");
    return S_OK;
  }
  HRESULT OnListed(IUnknown* object, SAFEARRAY* lines) {
    std::int32_t upper = -2;
    SafeArrayGetUBound(lines, 1, &upper);
    m_log->push_back(object != nullptr && upper == 0 ? u"listed" : u"?");
    return S_OK;
  }
  using SinkMap =
      platform::SinkMap<platform::SinkEntry<_ITestEvents::Counted, &CLogSink::OnCounted>,
                        platform::SinkEntry<_ITestEvents::Listed, &CLogSink::OnListed>>;

 private:
  std::vector<std::u16string>* m_log;
};

TEST_F(Loopback, EventsReachASinkThroughItsDispatchProxy) {
  std::vector<std::u16string> log;
  const auto sink = MakeObject<CLogSink>(&log);
  wire::ObjectReference reference;
  ASSERT_EQ(m_marshaller.Export(sink->Identity(), IidOf<_ITestEvents>, reference), S_OK);
  ComPtr<IDispatch> remoteSink;
  ASSERT_EQ(m_marshaller.Import(reference, IidOf<_ITestEvents>, remoteSink.put_void()), S_OK);

  const auto point = MakeObject<platform::ConnectionPoint>(IidOf<_ITestEvents>);
  std::uint32_t cookie = 0;
  ASSERT_EQ(point->Advise(remoteSink.get(), &cookie), S_OK);
  const UniqueBstr name(SysAllocString(u"Album"));
  EXPECT_EQ(point->Fire<_ITestEvents::Counted>(std::int32_t{3}, name.get()), S_OK);
  const platform::UniqueSafeArray lines(SafeArrayCreateVector(VT_BSTR, 0, 1));
  EXPECT_EQ(point->Fire<_ITestEvents::Listed>(m_object->Identity(), lines.get()), S_OK);
  EXPECT_EQ(log, (std::vector<std::u16string>{u"Album", u"listed"}));
}

TEST_F(Loopback, AMethodNumberOutsideTheTableIsRefused) {
  const ComPtr<platform::IRemoteIdentity> identity = [&] {
    ComPtr<platform::IRemoteIdentity> found;
    EXPECT_EQ(m_proxy.QueryInterface(found), S_OK);
    return found;
  }();
  std::vector<wire::Value> out;
  EXPECT_EQ(identity->Remote().Call(5, {}, out), platform::RPC_S_PROCNUM_OUT_OF_RANGE_HRESULT);
  EXPECT_EQ(identity->Remote().Call(0, {wire::Value(std::int32_t{1})}, out), DISP_E_TYPEMISMATCH);
}

}  // namespace
