#include "service/session/RemoteHost.h"

#include "platform/base/StringTable.h"

HRESULT CRemoteHost::QueryService(REFGUID /*service*/, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  return QueryInterface(iid, object);
}

namespace {

// A new BSTR of `text` into `*out`; E_POINTER with a null out value when none can be made.
HRESULT CopyOut(std::u16string_view text, BSTR* out) {
  *out = text.empty() ? nullptr : SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  return *out == nullptr ? E_POINTER : S_OK;
}

}  // namespace

HRESULT CRemoteHost::GetServiceType(BSTR* type) {
  if (type == nullptr) return E_POINTER;
  return CopyOut(u"Remote", type);
}

HRESULT CRemoteHost::GetApplicationName(BSTR* name) {
  if (name == nullptr) return E_POINTER;
  return CopyOut(platform::LoadString(IDS_PROJNAME, platform::kLanguageNeutral), name);
}

HRESULT CRemoteHost::GetScriptableObject(BSTR* name, IDispatch** object) {
  if (name != nullptr) *name = nullptr;
  if (object != nullptr) *object = nullptr;
  return E_NOTIMPL;
}

HRESULT CRemoteHost::GetCustomUIMode(BSTR* /*file*/) { return E_NOTIMPL; }
