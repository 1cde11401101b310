#include "platform/player/app/ApplicationControl.h"

#include <optional>
#include <string>
#include <vector>

namespace platform::player {

namespace {

std::u16string Text(BSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

// The array's texts in order; nothing for an array that is not one.
std::optional<std::vector<std::u16string>> Texts(SAFEARRAY* array) {
  std::int32_t lower = 0;
  std::int32_t upper = -1;
  if (array == nullptr || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return std::nullopt;
  }
  std::vector<std::u16string> texts;
  for (std::int32_t index = lower; index <= upper; ++index) {
    UniqueBstr text;
    if (FAILED(SafeArrayGetElement(array, &index, text.out()))) return std::nullopt;
    texts.push_back(Text(text.get()));
  }
  return texts;
}

}  // namespace

CApplicationControl::CApplicationControl(std::shared_ptr<Engine> engine)
    : m_engine(std::move(engine)) {}

Engine* CApplicationControl::Here() const {
  return m_engine->OnEngineThread() ? m_engine.get() : nullptr;
}

HRESULT CApplicationControl::SetDocked(VARIANT_BOOL docked) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  engine->SetDocked(docked != VARIANT_FALSE);
  return S_OK;
}

HRESULT CApplicationControl::AddTrack(SAFEARRAY* attributes) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  const std::optional<std::vector<std::u16string>> texts = Texts(attributes);
  if (!texts || texts->size() % 2 != 0) return E_INVALIDARG;
  Attributes pairs;
  for (std::size_t i = 0; i < texts->size(); i += 2) {
    if ((*texts)[i].empty()) return E_INVALIDARG;
    pairs.emplace_back((*texts)[i], (*texts)[i + 1]);
  }
  engine->AddTrack(pairs);
  return S_OK;
}

HRESULT CApplicationControl::RemoveTrack(BSTR name) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  return engine->RemoveTrack(engine->FindItem(u"Name", Text(name))) ? S_OK : E_INVALIDARG;
}

HRESULT CApplicationControl::AddPlaylist(BSTR name, BSTR playlistType, SAFEARRAY* tracks) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  const std::optional<std::vector<std::u16string>> names = Texts(tracks);
  if (!names || Text(name).empty()) return E_INVALIDARG;
  MediaList entries;
  for (const std::u16string& track : *names) {
    MediaRef item = engine->FindItem(u"Name", track);
    if (!item) return E_INVALIDARG;
    entries.push_back(std::move(item));
  }
  engine->AddPlaylist(Text(name), {{u"PlaylistType", Text(playlistType)}}, std::move(entries));
  return S_OK;
}

HRESULT CApplicationControl::RemovePlaylist(BSTR name) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  const std::vector<PlaylistRef> found = engine->FindPlaylists(Text(name));
  return !found.empty() && engine->RemovePlaylist(found.front()) ? S_OK : E_INVALIDARG;
}

HRESULT CApplicationControl::InsertEntry(BSTR playlist, std::int32_t index, BSTR track) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  const std::vector<PlaylistRef> found = engine->FindPlaylists(Text(playlist));
  const MediaRef item = engine->FindItem(u"Name", Text(track));
  return !found.empty() && item && index >= 0 &&
                 engine->InsertEntry(found.front(), static_cast<std::size_t>(index), item)
             ? S_OK
             : E_INVALIDARG;
}

HRESULT CApplicationControl::RemoveEntry(BSTR playlist, std::int32_t index) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  const std::vector<PlaylistRef> found = engine->FindPlaylists(Text(playlist));
  return !found.empty() && index >= 0 &&
                 engine->RemoveEntry(found.front(), static_cast<std::size_t>(index))
             ? S_OK
             : E_INVALIDARG;
}

HRESULT CApplicationControl::Transport(std::int32_t command) {
  Engine* engine = Here();
  if (engine == nullptr) return RPC_E_WRONG_THREAD;
  engine->Update();
  switch (command) {
    case kTransportPlay:
      engine->Play();
      return S_OK;
    case kTransportPause:
      engine->Pause();
      return S_OK;
    case kTransportStop:
      engine->Stop();
      return S_OK;
    case kTransportNext:
      engine->Next();
      return S_OK;
    case kTransportPrevious:
      engine->Previous();
      return S_OK;
    default:
      return E_INVALIDARG;
  }
}

CPlayerClassObject::CPlayerClassObject(ComPtr<IWMPPlayer4> player,
                                       ComPtr<IPlayerApplicationControl> control)
    : m_player(std::move(player)), m_control(std::move(control)) {}

HRESULT CPlayerClassObject::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return iid == IidOf<IPlayerApplicationControl> ? m_control->QueryInterface(iid, object)
                                                 : m_player->QueryInterface(iid, object);
}

}  // namespace platform::player
