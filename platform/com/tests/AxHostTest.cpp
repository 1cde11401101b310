// Hosting a control: the host window and its host object, the class table, the site chain from
// the control through the host to the hosting program's site, and what the window's end lets go.

#include "platform/com/AxHost.h"

#include <gtest/gtest.h>

#include "platform/base/Text.h"
#include "platform/com/Object.h"
#include "platform/user/Window.h"

namespace platform {
namespace {

constexpr CLSID kSitedControl = GuidLiteral(u"{5D0C1E7A-2B43-4F1D-9A6E-0C3B7D1F2E48}");
constexpr CLSID kRefusingControl = GuidLiteral(u"{5D0C1E7A-2B43-4F1D-9A6E-0C3B7D1F2E49}");
constexpr GUID kService = GuidLiteral(u"{5D0C1E7A-2B43-4F1D-9A6E-0C3B7D1F2E4A}");

// What the test controls saw; the test thread only.
struct ControlRecord {
  int alive = 0;
  int sitesTaken = 0;
  int sitesDropped = 0;
  HRESULT serviceAnswer = E_UNEXPECTED;
};
ControlRecord g_record;

// Takes its site and asks it for kService as it does; refuses the site when told to.
class CTestControl final : public ComObject<IObjectWithSite> {
 public:
  explicit CTestControl(bool refuse) : m_refuse(refuse) { ++g_record.alive; }
  ~CTestControl() override { --g_record.alive; }
  HRESULT SetSite(IUnknown* site) override {
    if (site == nullptr) {
      ++g_record.sitesDropped;
      m_site.Release();
      return S_OK;
    }
    ++g_record.sitesTaken;
    m_site = site;
    ComPtr<IServiceProvider> provider;
    ComPtr<IUnknown> service;
    g_record.serviceAnswer = m_site.QueryInterface(provider);
    if (SUCCEEDED(g_record.serviceAnswer)) {
      g_record.serviceAnswer =
          provider->QueryService(kService, IidOf<IUnknown>, service.put_void());
    }
    return m_refuse ? E_ACCESSDENIED : S_OK;
  }
  HRESULT GetSite(REFIID iid, void** site) override {
    if (!m_site) return E_FAIL;
    return m_site->QueryInterface(iid, site);
  }

 private:
  bool m_refuse;
  ComPtr<IUnknown> m_site;
};

HRESULT MakeSitedControl(IUnknown** control) {
  *control = MakeObject<CTestControl>(false).Detach()->Identity();
  return S_OK;
}
HRESULT MakeRefusingControl(IUnknown** control) {
  *control = MakeObject<CTestControl>(true).Detach()->Identity();
  return S_OK;
}

// The hosting program's site: answers kService with itself, counts its references' end.
class CTestSite final : public ComObject<IServiceProvider> {
 public:
  explicit CTestSite(bool* destroyed) : m_destroyed(destroyed) {}
  ~CTestSite() override { *m_destroyed = true; }
  HRESULT QueryService(REFGUID service, REFIID iid, void** object) override {
    if (service != kService) return E_NOINTERFACE;
    return QueryInterface(iid, object);
  }

 private:
  bool* m_destroyed;
};

class AxHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AtlAxWinInit());
    ASSERT_TRUE(AtlAxWinInit());  // again: the class is there already
    RegisterControlClass(kSitedControl, MakeSitedControl);
    RegisterControlClass(kRefusingControl, MakeRefusingControl);
  }
  void SetUp() override {
    g_record = {};
    ASSERT_NE(view.Create(0, u"", WS_POPUP), 0u);
    EXPECT_EQ(GetClassName(view.m_hWnd), kAxHostWindowClass);
    ASSERT_EQ(view.QueryHost(host), S_OK);
  }
  void SetSite() {
    ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(view.QueryHost(withSite), S_OK);
    ASSERT_EQ(withSite->SetSite(MakeObject<CTestSite>(&siteDestroyed)->Identity()), S_OK);
  }
  static std::u16string Text(const CLSID& clsid) { return FormatGuid(clsid); }

  CAxWindow view;
  ComPtr<IAxWinHostWindow> host;
  bool siteDestroyed = false;
};

TEST_F(AxHostTest, ControlsAreCreatedByTheirClassIdTextOnly) {
  const std::u16string lowerCase = [] {
    std::u16string text = FormatGuid(kSitedControl);
    for (char16_t& c : text) c = c >= u'A' && c <= u'F' ? c + (u'a' - u'A') : c;
    return text;
  }();
  const std::u16string unknown = FormatGuid(kService);
  struct Case {
    const char16_t* text;
    bool window;
    HRESULT expected;
  };
  for (const Case& c : {Case{nullptr, true, E_POINTER},
                        Case{u"", true, CO_E_CLASSSTRING},
                        Case{u"Player.Control", true, CO_E_CLASSSTRING},
                        Case{u"5D0C1E7A-2B43-4F1D-9A6E-0C3B7D1F2E48", true, CO_E_CLASSSTRING},
                        Case{unknown.c_str(), true, REGDB_E_CLASSNOTREG},
                        Case{lowerCase.c_str(), false, E_INVALIDARG},
                        Case{lowerCase.c_str(), true, S_OK}}) {
    SCOPED_TRACE(c.text == nullptr ? "null" : std::string(c.text, c.text + TextLength(c.text)));
    EXPECT_EQ(host->CreateControl(c.text, c.window ? view.m_hWnd : 0, nullptr), c.expected);
  }
  EXPECT_EQ(g_record.alive, 1);
}

TEST_F(AxHostTest, TheControlsServiceRequestsReachTheHostsSite) {
  ComPtr<IObjectWithSite> control;
  EXPECT_EQ(view.QueryControl(control), E_NOINTERFACE);
  SetSite();
  ASSERT_EQ(host->CreateControl(Text(kSitedControl).c_str(), view.m_hWnd, nullptr), S_OK);
  EXPECT_EQ(g_record.serviceAnswer, S_OK);
  ASSERT_EQ(view.QueryControl(control), S_OK);
  ComPtr<IAxWinHostWindow> controlSite;
  EXPECT_EQ(control->GetSite(IidOf<IAxWinHostWindow>, controlSite.put_void()), S_OK);
  EXPECT_TRUE(IsSameObject(controlSite.get(), host.get()));
}

TEST_F(AxHostTest, WithoutASiteTheControlsServiceRequestsFail) {
  ASSERT_EQ(host->CreateControl(Text(kSitedControl).c_str(), view.m_hWnd, nullptr), S_OK);
  EXPECT_EQ(g_record.serviceAnswer, E_NOINTERFACE);
}

TEST_F(AxHostTest, AControlThatRefusesItsSiteIsNotHosted) {
  SetSite();
  ASSERT_EQ(host->CreateControl(Text(kSitedControl).c_str(), view.m_hWnd, nullptr), S_OK);
  EXPECT_EQ(host->CreateControl(Text(kRefusingControl).c_str(), view.m_hWnd, nullptr),
            E_ACCESSDENIED);
  EXPECT_EQ(g_record.sitesTaken, 2);
  EXPECT_EQ(g_record.sitesDropped, 2);  // the replaced control's and the refusing one's
  EXPECT_EQ(g_record.alive, 0);
  ComPtr<IObjectWithSite> control;
  EXPECT_EQ(view.QueryControl(control), E_NOINTERFACE);
}

TEST_F(AxHostTest, TheWindowsEndReleasesTheControlAndTheSite) {
  SetSite();
  ASSERT_EQ(host->CreateControl(Text(kSitedControl).c_str(), view.m_hWnd, nullptr), S_OK);
  ASSERT_TRUE(view.DestroyWindow());
  EXPECT_EQ(view.m_hWnd, 0u);
  EXPECT_EQ(g_record.sitesDropped, 1);
  EXPECT_EQ(g_record.alive, 0);
  EXPECT_TRUE(siteDestroyed);
  ComPtr<IObjectWithSite> control;
  EXPECT_EQ(view.QueryControl(control), E_FAIL);
  EXPECT_EQ(host->QueryControl(IidOf<IObjectWithSite>, control.put_void()), E_NOINTERFACE);
}

}  // namespace
}  // namespace platform
