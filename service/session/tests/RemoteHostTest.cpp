#include "service/session/RemoteHost.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/base/Bstr.h"
#include "platform/base/StringTable.h"
#include "platform/com/ComPtr.h"

namespace {

using platform::ComPtr;
using platform::IidOf;

TEST(RemoteHost, AnyServiceAnswersTheRemotingInterfaceOfTheSameObject) {
  const ComPtr<CRemoteHost> host = platform::MakeObject<CRemoteHost>();
  const GUID kServices[] = {GUID{}, IidOf<IWMPRemoteMediaServices>, CLSID_PlayerControl};
  for (const GUID& service : kServices) {
    ComPtr<IWMPRemoteMediaServices> remoting;
    ASSERT_EQ(host->QueryService(service, IidOf<IWMPRemoteMediaServices>, remoting.put_void()),
              S_OK);
    EXPECT_TRUE(platform::IsSameObject(remoting.get(), host->Identity()));
  }
}

TEST(RemoteHost, QueryServiceFailsAsQueryInterfaceDoes) {
  const ComPtr<CRemoteHost> host = platform::MakeObject<CRemoteHost>();
  void* object = &object;
  EXPECT_EQ(host->QueryService(GUID{}, IidOf<IWMPPlayer4>, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(host->QueryService(GUID{}, IidOf<IWMPRemoteMediaServices>, nullptr), E_POINTER);
}

std::u16string Text(BSTR text) { return text == nullptr ? u"" : std::u16string(text); }

TEST(RemoteHost, AsksForTheRemoteModeUnderTheProgramsName) {
  static constexpr platform::StringResource kStrings[] = {
      {IDS_PROJNAME, platform::kLanguageEnglishUs, u"Ruvello"}};
  platform::DeclareProgramStrings(kStrings);
  const ComPtr<CRemoteHost> host = platform::MakeObject<CRemoteHost>();

  UniqueBstr type;
  ASSERT_EQ(host->GetServiceType(type.out()), S_OK);
  EXPECT_EQ(Text(type.get()), u"Remote");
  EXPECT_EQ(SysStringLen(type.get()), 6u);

  UniqueBstr name;
  ASSERT_EQ(host->GetApplicationName(name.out()), S_OK);
  EXPECT_EQ(Text(name.get()), u"Ruvello");
  platform::DeclareProgramStrings({});
}

TEST(RemoteHost, AProgramWithoutItsNameGivesNoApplicationName) {
  platform::DeclareProgramStrings({});
  const ComPtr<CRemoteHost> host = platform::MakeObject<CRemoteHost>();
  BSTR name = SysAllocString(u"stale");
  BSTR held = name;
  EXPECT_EQ(host->GetApplicationName(&name), E_POINTER);
  EXPECT_EQ(name, nullptr);
  SysFreeString(held);
}

TEST(RemoteHost, OffersNoScriptableObjectAndClearsWhatItWasGiven) {
  const ComPtr<CRemoteHost> host = platform::MakeObject<CRemoteHost>();
  BSTR name = reinterpret_cast<BSTR>(&name);
  IDispatch* object = reinterpret_cast<IDispatch*>(&object);
  EXPECT_EQ(host->GetScriptableObject(&name, &object), E_NOTIMPL);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(host->GetScriptableObject(nullptr, nullptr), E_NOTIMPL);
}

}  // namespace
