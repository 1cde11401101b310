#include "server/tests/ServerFakes.h"

#include <algorithm>
#include <thread>

#include "common/DeviceData.h"
#include "common/ProgramLogger.h"
#include "platform/base/Time.h"

NoDestructor<ProgramLogger> g_Logger(0x152u);

namespace server_test {

HRESULT FakePlayer::QueryInterface(REFIID p_Iid, void** p_ppObject) {
  if (refuseOwnInterface && p_Iid == platform::IidOf<IWMPPlayer4>) {
    *p_ppObject = nullptr;
    return E_NOINTERFACE;
  }
  return ComObject::QueryInterface(p_Iid, p_ppObject);
}

HRESULT FakePlayer::getAttributeStringCollection(BSTR p_bstrAttribute, BSTR p_bstrType,
                                                 IWMPStringCollection** p_ppValues) {
  if (std::u16string_view(p_bstrAttribute) != u"Album" ||
      std::u16string_view(p_bstrType) != u"audio") {
    return E_INVALIDARG;
  }
  if (const int l_nDelay = countDelayMs.load(); l_nDelay > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(l_nDelay));
  }
  ++counts;
  lastCountTick = platform::TickCount();
  *p_ppValues = platform::MakeObject<CountedAlbums>(albums.load()).Detach();
  return S_OK;
}

void FakeQuillomb::SetSelection(const std::vector<std::u16string>& p_Lines) {
  CDeviceData l_Record;
  for (const std::u16string& l_Line : p_Lines) l_Record.AddLine(_bstr_t(l_Line));
  std::size_t l_nLength = 0;
  const auto l_Bytes = l_Record.Serialize(l_nLength);
  std::fill(selection.begin(), selection.end(), 0);
  std::copy_n(l_Bytes.get(), std::min(l_nLength, selection.size()), selection.begin());
}

namespace {

FakeQuillomb* g_pQuillomb = nullptr;

bool FakeLoadSnoop(HWND p_hWindow, UINT p_nMessage) {
  ++g_pQuillomb->entries;
  g_pQuillomb->window = p_hWindow;
  g_pQuillomb->message = p_nMessage;
  return true;
}
bool FakeGetSelection(std::uint8_t** p_ppSelection) {
  if (!g_pQuillomb->answers) return false;
  *p_ppSelection = g_pQuillomb->selection.data();
  return true;
}
bool FakeShutdown() {
  ++g_pQuillomb->shutdowns;
  return true;
}

class FakeLibrary final : public CLoadedLibrary {
 public:
  void* Find(std::string_view p_Name) override {
    if (p_Name == "LoadSnoopIntoMediaPlayer") return reinterpret_cast<void*>(&FakeLoadSnoop);
    if (p_Name == "GetTreeviewSelection") return reinterpret_cast<void*>(&FakeGetSelection);
    if (p_Name == "ShutdownSnooper" && g_pQuillomb->exportsShutdown) {
      return reinterpret_cast<void*>(&FakeShutdown);
    }
    return nullptr;
  }
  bool Free(std::uint32_t&) override {
    --g_pQuillomb->loads;
    return true;
  }
};

class FakeLoader final : public CLibraryLoader {
 public:
  std::unique_ptr<CLoadedLibrary> Load(std::string_view p_Name) override {
    if (p_Name != kQuillombLibraryName) return nullptr;
    ++g_pQuillomb->loads;
    return std::make_unique<FakeLibrary>();
  }
};

}  // namespace

std::shared_ptr<CLibraryLoader> MakeFakeLoader(FakeQuillomb& p_State) {
  g_pQuillomb = &p_State;
  return std::make_shared<FakeLoader>();
}

CProxyServices FakeServices(ComPtr<FakePlayer> p_spPlayer, FakeQuillomb* p_pQuillomb,
                            HRESULT p_hrHost) {
  CProxyServices l_Services;
  l_Services.makePlayerHost = [p_spPlayer, p_hrHost]() -> std::unique_ptr<CPlayerHost> {
    return std::make_unique<FakePlayerHost>(p_spPlayer, p_hrHost);
  };
  if (p_pQuillomb != nullptr) l_Services.libraryLoader = MakeFakeLoader(*p_pQuillomb);
  return l_Services;
}

}  // namespace server_test
