#include "service/session/EventProcessing.h"

#include <optional>
#include <utility>

#include "common/Edition.h"
#include "common/MenuTexts.h"
#include "common/ProgramLogger.h"
#include "platform/base/Process.h"
#include "service/device/PageLists.h"
#include "service/device/ServiceEvents.h"
#include "service/menu/CurrentTrack.h"
#include "service/menu/NavigationPath.h"
#include "service/session/MediaPlayerEvents.h"

using platform::ComPtr;

std::atomic<std::int32_t> g_nSessionPlayState{0};

bool QueueDeviceOutput(const CDeviceData& p_Page) {
  const platform::Event l_hOutput = CreateAutoResetEvent(u"REMOTE_DEVICE_OUTPUT_DATA");
  if (!l_hOutput) {
    return false;
  }
  AppendDeviceOutput(p_Page);
  l_hOutput.Set();
  return true;
}

namespace {

constexpr std::int32_t kScreenPlayerStatus = 2;
constexpr std::int32_t kScreenLibraryChange = 1;
constexpr std::int32_t kScreenModeChange = 13;
constexpr std::int32_t kUpdateLibraryChange = 6;
constexpr std::int32_t kUpdateModeChange = 9;
// The first build marks a navigation page with no update mode; the second with the library
// change's.
constexpr std::int32_t kUpdateNavigation =
    kEdition == Edition::Second ? kUpdateLibraryChange : 0;
constexpr std::int32_t kNowPlayingLines = 3;

// Which list numbers a menu-change page carries besides its selected row.
enum class ListNumbers { None, Total, PositionAndTotal };

void QueueMenuChangePage(CMusicLibrary& p_Library, std::int32_t p_nScreenType,
                         std::int32_t p_nUpdateMode, ListNumbers p_Numbers) {
  _bstr_t l_bstrTitle;
  DisplayLines l_Lines;
  p_Library.GetDisplayLines(l_bstrTitle, l_Lines);
  CDeviceData l_Page;
  l_Page.SetTitle(l_bstrTitle);
  l_Page.SetLines(std::move(l_Lines));
  l_Page.SetScreenType(p_nScreenType);
  l_Page.SetUpdateMode(p_nUpdateMode);
  if (p_Numbers == ListNumbers::PositionAndTotal) {
    l_Page.SetPosition(p_Library.GetCurrentCategoryLine());
  }
  if (p_Numbers != ListNumbers::None) {
    l_Page.SetTotal(p_Library.GetCategoryMaxLines());
  }
  l_Page.SetSelectedLine(p_Library.GetCurrentScreenLine());
  QueueDeviceOutput(l_Page);
}

void QueuePlayerStatusPage(std::int32_t p_nPlayState) {
  CDeviceData l_Page;
  l_Page.SetScreenType(kScreenPlayerStatus);
  l_Page.SetPlayState(p_nPlayState);
  QueueDeviceOutput(l_Page);
}

// What a now-playing page shows of the current media.
struct MediaTexts {
  _bstr_t m_bstrName;
  _bstr_t m_bstrAuthor;
  _bstr_t m_bstrAlbum;
  _bstr_t m_bstrDuration;
};

// The current media's texts; nothing when there is no current media, or, when the name is
// required, when it cannot be read. Another failed read leaves its text empty.
std::optional<MediaTexts> ReadCurrentMedia(IWMPPlayer4& p_Player, bool p_bNameRequired) {
  ComPtr<IWMPMedia> l_spMedia;
  if (FAILED(p_Player.get_currentMedia(l_spMedia.put())) || !l_spMedia) {
    return std::nullopt;
  }
  MediaTexts l_Texts;
  if (FAILED(l_spMedia->get_name(l_Texts.m_bstrName.GetAddress())) && p_bNameRequired) {
    return std::nullopt;
  }
  const std::pair<const char16_t*, _bstr_t*> l_Attributes[] = {
      {u"Author", &l_Texts.m_bstrAuthor},
      {u"Album", &l_Texts.m_bstrAlbum},
      {u"Duration", &l_Texts.m_bstrDuration}};
  for (const auto& [l_szAttribute, l_pValue] : l_Attributes) {
    _bstr_t l_bstrValue;
    if (SUCCEEDED(l_spMedia->getItemInfo(_bstr_t(l_szAttribute).GetBSTR(),
                                         l_bstrValue.GetAddress()))) {
      *l_pValue = std::move(l_bstrValue);
    }
  }
  return l_Texts;
}

// Stores the player's position in whole seconds; a failed read keeps the stored value.
void ReadElapsedSeconds(IWMPPlayer4& p_Player) {
  ComPtr<IWMPControls> l_spControls;
  if (FAILED(p_Player.get_controls(l_spControls.put())) || !l_spControls) {
    return;
  }
  double l_dPosition = 0;
  if (SUCCEEDED(l_spControls->get_currentPosition(&l_dPosition))) {
    g_nElapsedSeconds = static_cast<std::int32_t>(l_dPosition);
  }
}

_bstr_t OrUnknown(const _bstr_t& p_bstrText) {
  return p_bstrText.length() == 0 ? Localized(g_UnknownEntryText) : p_bstrText;
}

void QueueNowPlayingPage(const MediaTexts& p_Texts, std::int32_t p_nPlayState,
                         bool p_bUnknownForEmpty) {
  CDeviceData l_Page;
  l_Page.SetTitle(Localized(g_CategoryTexts[kCategoryNowPlaying]));
  for (const _bstr_t* l_pLine : {&p_Texts.m_bstrName, &p_Texts.m_bstrAuthor, &p_Texts.m_bstrAlbum}) {
    l_Page.AddLine(p_bUnknownForEmpty ? OrUnknown(*l_pLine) : *l_pLine);
  }
  l_Page.SetDuration(p_Texts.m_bstrDuration);
  l_Page.SetScreenType(kScreenPlayerStatus);
  l_Page.SetPlayState(p_nPlayState);
  l_Page.SetTotal(kNowPlayingLines);
  l_Page.SetElapsedTime(g_nElapsedSeconds);
  QueueDeviceOutput(l_Page);
}

bool ProcessMediaPlayerPlayStateChange(IWMPPlayer4* p_pPlayer,
                                       const CMediaPlayerPlayStateChange& p_Record) {
  const std::int32_t l_nState = p_Record.GetNewState();
  g_Logger->Log(LOG_TO_FILE, u"ProcessMediaPlayerPlayStateChange to %d", l_nState);
  switch (l_nState) {
    case wmppsStopped:
    case wmppsReady:
      g_nSessionPlayState = l_nState;
      QueuePlayerStatusPage(l_nState);
      return true;
    case wmppsMediaEnded:
    case wmppsTransitioning:
      QueuePlayerStatusPage(l_nState);
      return true;
    case wmppsPaused:
    case wmppsPlaying: {
      const std::optional<MediaTexts> l_Texts =
          p_pPlayer != nullptr ? ReadCurrentMedia(*p_pPlayer, false) : std::nullopt;
      if (!l_Texts) {
        return false;
      }
      ReadElapsedSeconds(*p_pPlayer);
      g_nSessionPlayState = l_nState;
      g_bstrCurrentDuration.Set(l_Texts->m_bstrDuration);
      QueueNowPlayingPage(*l_Texts, l_nState, true);
      return true;
    }
    default:
      return true;
  }
}

bool ProcessIdleTimeout(IWMPPlayer4* p_pPlayer) {
  g_Logger->Log(LOG_TO_FILE, u"ProcessIdleTimeout");
  if (p_pPlayer == nullptr) {
    return false;
  }
  WMPPlayState l_nState = wmppsUndefined;
  if (const HRESULT l_hr = p_pPlayer->get_playState(&l_nState); FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"ProcessIdleTimeout CurrentPlayState fails with %x", l_hr);
    return false;
  }
  g_Logger->Log(LOG_TO_FILE, u"ProcessIdleTimeout CurrentPlayState is %d", l_nState);
  if (l_nState != wmppsPlaying && l_nState != wmppsPaused) {
    return true;
  }
  const std::optional<MediaTexts> l_Texts = ReadCurrentMedia(*p_pPlayer, true);
  if (!l_Texts) {
    return false;
  }
  ReadElapsedSeconds(*p_pPlayer);
  QueueNowPlayingPage(*l_Texts, l_nState, false);
  return true;
}

HRESULT ApplyDockedState(IWMPPlayer4* p_pPlayer, IWMPProxy* p_pProxy) {
  if (p_pPlayer == nullptr || p_pProxy == nullptr) {
    return E_POINTER;
  }
  ComPtr<IWMPPlayerApplication> l_spApplication;
  HRESULT l_hr = p_pPlayer->get_playerApplication(l_spApplication.put());
  if (FAILED(l_hr)) {
    return l_hr;
  }
  if (!l_spApplication) {
    return E_POINTER;
  }
  VARIANT_BOOL l_vbDocked = VARIANT_FALSE;
  if (l_hr = l_spApplication->get_playerDocked(&l_vbDocked); FAILED(l_hr)) {
    return l_hr;
  }
  if (l_vbDocked == VARIANT_FALSE) {
    return p_pProxy->LoadQuillombMonitor();
  }
  if (l_hr = p_pProxy->UnloadQuillombMonitor(); SUCCEEDED(l_hr)) {
    // The listener forwards the Stop to the console session.
    SetServiceEvent(ServiceEvent::ButtonStop);
  }
  return l_hr;
}

bool ProcessMediaPlayerDockedStateChanged(IWMPPlayer4* p_pPlayer, IWMPProxy* p_pProxy) {
  g_Logger->Log(LOG_TO_FILE, u"ProcessMediaPlayerDockedStateChanged on Thread %x",
                platform::CurrentThreadId());
  if (const HRESULT l_hr = ApplyDockedState(p_pPlayer, p_pProxy); FAILED(l_hr)) {
    g_Logger->Log(LOG_TO_FILE, u"ProcessMediaPlayerDockedStateChanged sees error %x", l_hr);
    return false;
  }
  return true;
}

// A library change that the tree takes or refuses; a change it takes redraws the list.
template <class Change>
bool ProcessLibraryChange(CMusicLibrary* p_pLibrary, const char16_t* p_szLog, Change p_Change,
                          std::int32_t p_nScreenType, std::int32_t p_nUpdateMode,
                          ListNumbers p_Numbers) {
  if (p_szLog != nullptr) {
    g_Logger->Log(LOG_TO_FILE, p_szLog);
  }
  if (p_pLibrary == nullptr || !p_Change(*p_pLibrary)) {
    return false;
  }
  QueueMenuChangePage(*p_pLibrary, p_nScreenType, p_nUpdateMode, p_Numbers);
  return true;
}

// The second build leaves the display alone while the player plays or is paused; the tree
// follows all the same.
bool ProcessWMPNavagationChanged(IWMPPlayer4* p_pPlayer, const CWMPNavagationChanged& p_Record,
                                 CMusicLibrary* p_pLibrary) {
  if (p_pLibrary == nullptr) {
    return true;
  }
  WMPPlayState l_nState = wmppsUndefined;
  if constexpr (kEdition == Edition::Second) {
    if (p_pPlayer == nullptr || FAILED(p_pPlayer->get_playState(&l_nState))) {
      return true;
    }
  }
  NavigationPath l_Path = LocalizeUnknownLines(p_Record.GetLines());
  if (!p_pLibrary->SetCurrentNavigation(l_Path)) {
    return true;
  }
  if constexpr (kEdition == Edition::Second) {
    if (l_nState == wmppsPlaying || l_nState == wmppsPaused) {
      g_Logger->Log(LOG_TO_FILE, u"ProcessWMPNavagationChanged device data ignored");
      return true;
    }
    g_Logger->Log(LOG_TO_FILE, u"ProcessWMPNavagationChanged sends device data");
  }
  QueueMenuChangePage(*p_pLibrary, kScreenLibraryChange, kUpdateNavigation, ListNumbers::None);
  return true;
}

void ProcessRecord(const CMediaPlayerEventData& p_Record, IWMPPlayer4* p_pPlayer,
                   CMusicLibrary* p_pLibrary, IWMPProxy* p_pProxy) {
  if (const auto* l_pState = dynamic_cast<const CMediaPlayerPlayStateChange*>(&p_Record)) {
    ProcessMediaPlayerPlayStateChange(p_pPlayer, *l_pState);
  } else if (dynamic_cast<const CPlayerDockedStateChanged*>(&p_Record) != nullptr) {
    ProcessMediaPlayerDockedStateChanged(p_pPlayer, p_pProxy);
  } else if (const auto* l_pAdded =
                 dynamic_cast<const CMediaCollectionAttributeStringAdded*>(&p_Record)) {
    ProcessLibraryChange(
        p_pLibrary, u"ProcessMediaCollectionAttributeStringAdded",
        [l_pAdded](CMusicLibrary& p_Library) {
          return p_Library.MediaCollectionAttributeStringAdded(l_pAdded->GetName(),
                                                               l_pAdded->GetAttributeValue());
        },
        kScreenLibraryChange, kUpdateLibraryChange, ListNumbers::None);
  } else if (dynamic_cast<const CMediaCollectionAttributeStringChanged*>(&p_Record) != nullptr) {
    g_Logger->Log(LOG_TO_FILE, u"MediaCollectionAttributeStringChanged Not Implemented");
  } else if (const auto* l_pRemoved =
                 dynamic_cast<const CMediaCollectionAttributeStringRemoved*>(&p_Record)) {
    ProcessLibraryChange(
        p_pLibrary, u"ProcessMediaCollectionAttributeStringRemoved",
        [l_pRemoved](CMusicLibrary& p_Library) {
          return p_Library.MediaCollectionAttributeStringRemoved(
              l_pRemoved->GetName(), l_pRemoved->GetAttributeValue());
        },
        kScreenLibraryChange, kUpdateLibraryChange, ListNumbers::None);
  } else if (const auto* l_pNavigation = dynamic_cast<const CWMPNavagationChanged*>(&p_Record)) {
    ProcessWMPNavagationChanged(p_pPlayer, *l_pNavigation, p_pLibrary);
  } else if (dynamic_cast<const CPlayerIdleTimeout*>(&p_Record) != nullptr) {
    ProcessIdleTimeout(p_pPlayer);
  } else if (const auto* l_pAdd = dynamic_cast<const CPlaylistCollectionAdd*>(&p_Record)) {
    ProcessLibraryChange(
        p_pLibrary, u"ProcessPlaylistCollectionAdd",
        [l_pAdd](CMusicLibrary& p_Library) {
          return p_Library.PlaylistCollectionPlaylistAdded(l_pAdd->GetName());
        },
        kScreenLibraryChange, kUpdateLibraryChange, ListNumbers::None);
  } else if (const auto* l_pDelete = dynamic_cast<const CPlaylistCollectionDelete*>(&p_Record)) {
    ProcessLibraryChange(
        p_pLibrary, u"ProcessPlaylistCollectionDelete",
        [l_pDelete](CMusicLibrary& p_Library) {
          return p_Library.PlaylistCollectionPlaylistRemoved(l_pDelete->GetName());
        },
        kScreenLibraryChange, kUpdateLibraryChange, ListNumbers::None);
  } else if (const auto* l_pMode = dynamic_cast<const CMediaPlayerModeChange*>(&p_Record)) {
    ProcessLibraryChange(
        p_pLibrary, nullptr,
        [l_pMode](CMusicLibrary& p_Library) {
          return p_Library.SetCurrentMediaPlayerMode(l_pMode->GetName(), l_pMode->GetModeValue());
        },
        kScreenModeChange, kUpdateModeChange, ListNumbers::Total);
  } else if (const auto* l_pEntry = dynamic_cast<const CPlaylistChanged*>(&p_Record)) {
    if (p_pLibrary != nullptr) {
      g_Logger->Log(LOG_TO_FILE, u"ProcessPlaylistEntryChange for %s type %d",
                    l_pEntry->GetName(), l_pEntry->GetChangeType());
    }
    // The page says where the cursor stands in the changed list, not only how long it is.
    ProcessLibraryChange(
        p_pLibrary, nullptr,
        [l_pEntry](CMusicLibrary& p_Library) {
          return p_Library.PlaylistChanged(l_pEntry->GetName(), l_pEntry->GetChangeType());
        },
        kScreenLibraryChange, kUpdateLibraryChange, ListNumbers::PositionAndTotal);
  } else {
    g_Logger->Log(LOG_TO_FILE, u"ProcessMediaPlayerEvent id = %d Not Processed!",
                  p_Record.GetEventId());
  }
}

}  // namespace

bool ProcessMediaPlayerEvent(const ComPtr<IWMPPlayer4>& p_spPlayer, CMusicLibrary* p_pLibrary,
                             const ComPtr<IWMPProxy>& p_pProxy, std::uint32_t p_dwSessionId) {
  while (const std::unique_ptr<CMediaPlayerEventData> l_pRecord =
             TakeFirstMediaPlayerEvent(p_dwSessionId)) {
    g_Logger->Log(LOG_TO_FILE, u"ProcessMediaPlayerEvent id = %d", l_pRecord->GetEventId());
    ProcessRecord(*l_pRecord, p_spPlayer.get(), p_pLibrary, p_pProxy.get());
  }
  return true;
}
