// Type libraries declared in code: their registration, and the sinks they describe.

#include "platform/com/TypeLibrary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/Text.h"
#include "platform/com/DispatchSink.h"
#include "platform/com/tests/TestInterfaces.h"

namespace {

using platform::ComPtr;
using platform::IidOf;
using platform::MakeObject;
using platform::TypeDescription;
using platform::TypeKind;
using platform::TypeLibrary;

constexpr GUID kLibrary = platform::GuidLiteral(u"{36EA6C0F-53DF-4CEF-A766-C7FB9592DD2C}");
constexpr CLSID kSourceClass = platform::GuidLiteral(u"{A0543D5B-B203-4A1C-B089-FC1EFD35EEC1}");

TypeDescription TestEvents() {
  return platform::DispInterfaceType<_ITestEvents, _ITestEvents::Counted, _ITestEvents::Flagged,
                                     _ITestEvents::Listed>(
      u"_ITestEvents Interface", {u"method Counted", u"method Flagged", u"method Listed"});
}

const TypeLibrary kTestLibrary{
    kLibrary,
    u"TestLib",
    1,
    0,
    0x409,
    u"Test 1.0 Type Library, 100% declared",
    {TypeDescription{TypeKind::CoClass,
                     u"TestSource",
                     kSourceClass,
                     u"TestSource Class",
                     {},
                     {IidOf<ICounter>},
                     {IidOf<_ITestEvents>}},
     TypeDescription{TypeKind::DualInterface,
                     u"INamed",
                     IidOf<INamed>,
                     u"INamed Interface",
                     {platform::TypeMember{1, u"name", u"property name"}},
                     {},
                     {}},
     TestEvents()}};

// The same library without the event Listed.
const TypeLibrary kLibraryWithoutListed = [] {
  TypeLibrary library = kTestLibrary;
  library.types.back().members.pop_back();
  return library;
}();

// The same library that takes the event interface for a plain one.
const TypeLibrary kLibraryWithPlainEvents = [] {
  TypeLibrary library = kTestLibrary;
  library.types.back().kind = TypeKind::Interface;
  return library;
}();

std::u16string Text(std::u16string_view key, std::u16string_view name = u"") {
  return platform::RegistryGetValue(HKEY_CLASSES_ROOT, key, name).value_or(u"<none>");
}

TEST(TypeLibrary, RegistrationWritesTheLibraryAndItsInterfacesAndUnregistrationRemovesThem) {
  ASSERT_EQ(platform::RegisterTypeLib(kTestLibrary, u"/opt/test/TestServer"), S_OK);
  const std::u16string version = u"TypeLib\\" + platform::FormatGuid(kLibrary) + u"\\1.0";
  EXPECT_EQ(Text(version), u"Test 1.0 Type Library, 100% declared");
  EXPECT_EQ(Text(version + u"\\409\\win32"), u"/opt/test/TestServer");
  EXPECT_EQ(Text(version + u"\\FLAGS"), u"0");
  EXPECT_EQ(Text(version + u"\\HELPDIR"), u"/opt/test");
  for (const auto& [iid, name] :
       {std::pair{IidOf<INamed>, u"INamed"}, std::pair{IidOf<_ITestEvents>, u"_ITestEvents"}}) {
    const std::u16string key = u"Interface\\" + platform::FormatGuid(iid);
    EXPECT_EQ(Text(key), name);
    EXPECT_EQ(Text(key + u"\\TypeLib"), platform::FormatGuid(kLibrary));
    EXPECT_EQ(Text(key + u"\\TypeLib", u"Version"), u"1.0");
    EXPECT_EQ(Text(key + u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
  }
  // A class is no interface.
  EXPECT_EQ(Text(u"Interface\\" + platform::FormatGuid(kSourceClass)), u"<none>");

  ASSERT_TRUE(platform::RegistrySetValue(HKEY_CLASSES_ROOT, u"Interface\\{Other}", u"", u"o"));
  ASSERT_EQ(platform::UnRegisterTypeLib(kTestLibrary), S_OK);
  EXPECT_EQ(Text(version), u"<none>");
  EXPECT_EQ(Text(u"TypeLib\\" + platform::FormatGuid(kLibrary) + u"\\1.0\\FLAGS"), u"<none>");
  EXPECT_EQ(Text(u"Interface\\" + platform::FormatGuid(IidOf<INamed>)), u"<none>");
  EXPECT_EQ(Text(u"Interface\\{Other}"), u"o");
}

using CSource = CEventSource;

// A sink whose source the library describes.
template <const TypeLibrary* Library>
class CDescribedSink final
    : public platform::DispatchSink<CDescribedSink<Library>, _ITestEvents, Library> {
 public:
  HRESULT OnCounted(std::int32_t count, BSTR) {
    counted += count;
    return S_OK;
  }
  HRESULT OnListed(IUnknown*, SAFEARRAY*) { return S_OK; }
  using SinkMap =
      platform::SinkMap<platform::SinkEntry<_ITestEvents::Counted, &CDescribedSink::OnCounted>,
                        platform::SinkEntry<_ITestEvents::Listed, &CDescribedSink::OnListed>>;
  std::int32_t counted = 0;
};

TEST(TypeLibrary, ASinkAdvisesOnlyOverTheDispatchInterfaceItsLibraryDeclares) {
  const auto source = MakeObject<CSource>();
  const auto described = MakeObject<CDescribedSink<&kTestLibrary>>();
  ASSERT_EQ(described->DispEventAdvise(source->Identity()), S_OK);
  const UniqueBstr name(SysAllocString(u"x"));
  EXPECT_EQ(source->Events().Fire<_ITestEvents::Counted>(3, name.get()), S_OK);
  EXPECT_EQ(described->counted, 3);
  EXPECT_EQ(described->DispEventUnadvise(source->Identity()), S_OK);

  const auto withoutListed = MakeObject<CDescribedSink<&kLibraryWithoutListed>>();
  const auto withPlainEvents = MakeObject<CDescribedSink<&kLibraryWithPlainEvents>>();
  EXPECT_EQ(withoutListed->DispEventAdvise(source->Identity()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(withPlainEvents->DispEventAdvise(source->Identity()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(source->Events().ConnectionCount(), 0u);
}

}  // namespace
