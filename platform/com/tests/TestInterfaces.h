#pragma once

// Small interfaces and objects for the component tests.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/com/CallInterface.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Event.h"
#include "platform/com/Interface.h"
#include "platform/com/Object.h"

struct ICounter : IUnknown {
  virtual HRESULT Increment(std::int32_t by, std::int32_t* total) = 0;
};
struct INamed : IDispatch {
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT put_name(BSTR name) = 0;
};

template <>
struct platform::InterfaceDeclaration<ICounter> {
  static constexpr IID iid = GuidLiteral(u"{CA4BF6BE-6E2E-429F-BFD3-7C4946B6DACF}");
  static constexpr std::string_view name = "ICounter";
  using Base = IUnknown;
  using Methods = MethodList<COM_METHOD(ICounter, Increment)>;
};
template <>
struct platform::InterfaceDeclaration<INamed> {
  static constexpr IID iid = GuidLiteral(u"{6E963399-4DF8-4659-BB14-86F56AC2D093}");
  static constexpr std::string_view name = "INamed";
  using Base = IDispatch;
  using Methods = MethodList<COM_METHOD(INamed, get_name), COM_METHOD(INamed, put_name)>;
};

// An event interface with one event of each argument kind that events carry.
struct _ITestEvents {
  using Counted = platform::DispEvent<7, "Counted", std::int32_t, BSTR>;
  using Flagged = platform::DispEvent<8, "Flagged", VARIANT_BOOL, double>;
  using Listed = platform::DispEvent<9, "Listed", IUnknown*, SAFEARRAY*>;
  using Quiet = platform::DispEvent<10, "Quiet">;
};
template <>
struct platform::InterfaceDeclaration<_ITestEvents> {
  static constexpr IID iid = GuidLiteral(u"{1D8A3A5E-58D6-4F43-9E7B-2C1B9F3C6A01}");
  static constexpr std::string_view name = "_ITestEvents";
};

// A source of _ITestEvents whose connection point the test fires in its own thread.
class CEventSource final : public platform::ComObject<IConnectionPointContainer> {
 public:
  CEventSource() : m_events(m_points.Add(platform::IidOf<_ITestEvents>)) {}
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    return m_points.Find(iid, point);
  }
  platform::ConnectionPoint& Events() { return m_events; }

 private:
  platform::ConnectionPoints m_points;
  platform::ConnectionPoint& m_events;
};

// Counts its destructions into a flag that the test owns.
class CCounter : public platform::ComObject<ICounter, INamed> {
 public:
  explicit CCounter(bool* destroyed = nullptr) : m_destroyed(destroyed) {}
  ~CCounter() override {
    if (m_destroyed != nullptr) *m_destroyed = true;
  }
  HRESULT Increment(std::int32_t by, std::int32_t* total) override {
    m_total += by;
    *total = m_total;
    return S_OK;
  }
  HRESULT get_name(BSTR* name) override {
    *name = SysAllocString(u"counter");
    return S_OK;
  }
  HRESULT put_name(BSTR) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, std::uint16_t, DISPPARAMS*, VARIANT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  bool* m_destroyed;
  std::int32_t m_total = 0;
};

inline ULONG ReferenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// An interface with one method of each argument kind that crosses.
struct IKinds : IUnknown {
  virtual HRESULT Echo(std::int32_t number, double real, VARIANT_BOOL flag, BSTR text,
                       std::int32_t* numberOut, double* realOut, VARIANT_BOOL* flagOut,
                       BSTR* textOut) = 0;
  virtual HRESULT EchoVariant(const VARIANT* in, VARIANT* out) = 0;
  virtual HRESULT EchoArray(SAFEARRAY* in, SAFEARRAY** out) = 0;
  virtual HRESULT Keep(ICounter* counter, ICounter** same) = 0;
  virtual HRESULT Ask(REFIID iid, void** object) = 0;
};
template <>
struct platform::InterfaceDeclaration<IKinds> {
  static constexpr IID iid = GuidLiteral(u"{0B8F6C2D-3A4E-4B1F-9D2C-5E6F7A8B9C0D}");
  static constexpr std::string_view name = "IKinds";
  using Base = IUnknown;
  using Methods =
      MethodList<COM_METHOD(IKinds, Echo), COM_METHOD(IKinds, EchoVariant),
                 COM_METHOD(IKinds, EchoArray), COM_METHOD(IKinds, Keep), COM_METHOD(IKinds, Ask)>;
};

class CKindsProxy final : public platform::Proxy<IKinds> {
 public:
  using Proxy::Proxy;
  HRESULT Echo(std::int32_t number, double real, VARIANT_BOOL flag, BSTR text,
               std::int32_t* numberOut, double* realOut, VARIANT_BOOL* flagOut,
               BSTR* textOut) override {
    return Forward<&IKinds::Echo>(number, real, flag, text, numberOut, realOut, flagOut, textOut);
  }
  HRESULT EchoVariant(const VARIANT* in, VARIANT* out) override {
    return Forward<&IKinds::EchoVariant>(in, out);
  }
  HRESULT EchoArray(SAFEARRAY* in, SAFEARRAY** out) override {
    return Forward<&IKinds::EchoArray>(in, out);
  }
  HRESULT Keep(ICounter* counter, ICounter** same) override {
    return Forward<&IKinds::Keep>(counter, same);
  }
  HRESULT Ask(REFIID iid, void** object) override { return Forward<&IKinds::Ask>(iid, object); }
};

class CCounterProxy final : public platform::Proxy<ICounter> {
 public:
  using Proxy::Proxy;
  HRESULT Increment(std::int32_t by, std::int32_t* total) override {
    return Forward<&ICounter::Increment>(by, total);
  }
};

class CNamedProxy final : public platform::Proxy<INamed> {
 public:
  using Proxy::Proxy;
  HRESULT Invoke(DISPID dispid, REFIID iid, LCID locale, std::uint16_t flags,
                 DISPPARAMS* parameters, VARIANT* result) override {
    return Forward<&IDispatch::Invoke>(dispid, iid, locale, flags, parameters, result);
  }
  HRESULT get_name(BSTR* name) override { return Forward<&INamed::get_name>(name); }
  HRESULT put_name(BSTR name) override { return Forward<&INamed::put_name>(name); }
};

inline const bool kTestCallsRegistered =
    platform::RegisterCallInterface<INamed, CNamedProxy>() &&
    platform::RegisterCallInterface<IKinds, CKindsProxy>() &&
    platform::RegisterCallInterface<ICounter, CCounterProxy>() &&
    platform::RegisterEventInterface<_ITestEvents>();

class CKinds final : public platform::ComObject<IKinds> {
 public:
  HRESULT Echo(std::int32_t number, double real, VARIANT_BOOL flag, BSTR text,
               std::int32_t* numberOut, double* realOut, VARIANT_BOOL* flagOut,
               BSTR* textOut) override {
    *numberOut = number + 1;
    *realOut = real * 2;
    *flagOut = flag == VARIANT_TRUE ? VARIANT_FALSE : VARIANT_TRUE;
    *textOut = text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text));
    return number < 0 ? E_INVALIDARG : S_FALSE;
  }
  HRESULT EchoVariant(const VARIANT* in, VARIANT* out) override { return VariantCopy(out, in); }
  HRESULT EchoArray(SAFEARRAY* in, SAFEARRAY** out) override { return SafeArrayCopy(in, out); }
  // Keeps `counter` when one is given, and hands out what it keeps.
  HRESULT Keep(ICounter* counter, ICounter** same) override {
    if (counter != nullptr) kept = counter;
    return kept.CopyTo(same);
  }
  HRESULT Ask(REFIID iid, void** object) override { return QueryInterface(iid, object); }

  platform::ComPtr<ICounter> kept;
};

// An event source that fires _ITestEvents::Counted when asked. Any thread.
struct ITestSource : IUnknown {
  virtual HRESULT FireCounted(std::int32_t count, BSTR name) = 0;
  virtual HRESULT get_fired(std::int32_t* count) = 0;
};
template <>
struct platform::InterfaceDeclaration<ITestSource> {
  static constexpr IID iid = GuidLiteral(u"{5A1C9E3B-2D4F-4A6B-8C7D-9E0F1A2B3C4D}");
  static constexpr std::string_view name = "ITestSource";
  using Base = IUnknown;
  using Methods =
      MethodList<COM_METHOD(ITestSource, FireCounted), COM_METHOD(ITestSource, get_fired)>;
};
class CTestSourceProxy final : public platform::Proxy<ITestSource> {
 public:
  using Proxy::Proxy;
  HRESULT FireCounted(std::int32_t count, BSTR name) override {
    return Forward<&ITestSource::FireCounted>(count, name);
  }
  HRESULT get_fired(std::int32_t* count) override {
    return Forward<&ITestSource::get_fired>(count);
  }
};
inline const bool kTestSourceRegistered =
    platform::RegisterCallInterface<ITestSource, CTestSourceProxy>();

class CTestSource final : public platform::ComObject<ITestSource, IConnectionPointContainer> {
 public:
  CTestSource() : m_events(m_points.Add(platform::IidOf<_ITestEvents>)) {}
  HRESULT FireCounted(std::int32_t count, BSTR name) override {
    const std::scoped_lock lock(m_mutex);
    m_fired.fetch_add(1);
    return m_events.Fire<_ITestEvents::Counted>(count, name);
  }
  HRESULT get_fired(std::int32_t* count) override {
    *count = m_fired.load();
    return S_OK;
  }
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (iid != platform::IidOf<_ITestEvents>) return CONNECT_E_NOCONNECTION;
    *point = platform::MakeObject<CLockedPoint>(this).Detach();
    return S_OK;
  }
  std::size_t Connections() {
    const std::scoped_lock lock(m_mutex);
    return m_events.ConnectionCount();
  }

 private:
  // The connection point as callers on the layer's threads reach it: under the source's lock.
  class CLockedPoint final : public platform::ComObject<IConnectionPoint> {
   public:
    explicit CLockedPoint(CTestSource* source) : m_source(source) {}
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override {
      const std::scoped_lock lock(m_source->m_mutex);
      return m_source->m_events.Advise(sink, cookie);
    }
    HRESULT Unadvise(std::uint32_t cookie) override {
      const std::scoped_lock lock(m_source->m_mutex);
      return m_source->m_events.Unadvise(cookie);
    }

   private:
    platform::ComPtr<CTestSource> m_source;
  };

  // Calls arrive on several threads of the layer; the connection point is used under the lock,
  // which a sink's call back into get_fired does not need.
  std::recursive_mutex m_mutex;
  platform::ConnectionPoints m_points;
  platform::ConnectionPoint& m_events;
  std::atomic<std::int32_t> m_fired{0};
};

// The class that the call helper serves as a local server.
inline constexpr CLSID kServedCounterClass =
    platform::GuidLiteral(u"{52CA7E0B-0000-4290-994F-D028D89DEBAF}");
// The class that the call helper serves as the service "TestComService".
inline constexpr CLSID kServiceCounterClass =
    platform::GuidLiteral(u"{C9BB4D75-0000-4EC6-BD32-DA93E4EE47E7}");
