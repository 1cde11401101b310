#include "tools/run-system/PlayerLine.h"

#include <cstdio>
#include <optional>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/player/PlayerApplication.h"
#include "platform/sessions/RootProcesses.h"

namespace {

using platform::ComPtr;

std::optional<platform::detail::ProcessIdentity> ApplicationIn(std::uint32_t p_nSession) {
  for (const platform::detail::RootProcess& l_Process : platform::detail::ListRootProcesses()) {
    if (l_Process.imageName == u"wmplayer.exe" && l_Process.sessionId == p_nSession) {
      return l_Process.identity;
    }
  }
  return std::nullopt;
}

std::string Text(BSTR p_Text) {
  return p_Text ? platform::ToUtf8(std::u16string_view(p_Text, SysStringLen(p_Text))) : "";
}

std::string Minutes(double p_dSeconds) {
  const int l_nSeconds = p_dSeconds > 0 ? static_cast<int>(p_dSeconds) : 0;
  char l_Text[32];
  std::snprintf(l_Text, sizeof l_Text, "%d:%02d", l_nSeconds / 60, l_nSeconds % 60);
  return l_Text;
}

std::string StateName(WMPPlayState p_State) {
  switch (p_State) {
    case wmppsStopped: return "stopped";
    case wmppsPaused: return "paused";
    case wmppsPlaying: return "playing";
    case wmppsMediaEnded: return "ended";
    case wmppsTransitioning: return "changing";
    case wmppsReady: return "ready";
    default: return "idle";
  }
}

std::string Attribute(IWMPMedia& p_Media, const char16_t* p_pName) {
  UniqueBstr l_Name(SysAllocString(p_pName));
  UniqueBstr l_Value;
  return SUCCEEDED(p_Media.getItemInfo(l_Name.get(), l_Value.out())) ? Text(l_Value.get()) : "";
}

}  // namespace

bool PlayerLine::Attach(std::uint32_t p_nSession) {
  if (m_spPlayer && platform::detail::IsAlive(m_Application)) {
    return true;
  }
  m_spPlayer.Release();
  const std::optional<platform::detail::ProcessIdentity> l_Application = ApplicationIn(p_nSession);
  if (!l_Application) {
    return false;
  }
  // The application has registered its class before it shows its window, so this binds the
  // running one.
  ComPtr<IClassFactory> l_spFactory;
  if (FAILED(platform::BindClassObject(p_nSession, CLSID_PlayerApplication,
                                       platform::IidOf<IClassFactory>, l_spFactory.put_void())) ||
      FAILED(l_spFactory->CreateInstance(nullptr, platform::IidOf<IWMPPlayer4>,
                                         m_spPlayer.put_void()))) {
    m_spPlayer.Release();
    return false;
  }
  m_Application = *l_Application;
  return true;
}

std::string PlayerLine::Read(std::uint32_t p_nSession) {
  if (!Attach(p_nSession)) {
    return "player: not running";
  }
  WMPPlayState l_State = wmppsUndefined;
  if (FAILED(m_spPlayer->get_playState(&l_State))) {
    m_spPlayer.Release();
    return "player: not running";
  }
  // Built by appending: the optimised build's overlap check misreads a literal before a string.
  std::string l_Line = "player: ";
  l_Line.append(StateName(l_State));
  ComPtr<IWMPMedia> l_spMedia;
  if (SUCCEEDED(m_spPlayer->get_currentMedia(l_spMedia.put())) && l_spMedia) {
    UniqueBstr l_Name;
    l_spMedia->get_name(l_Name.out());
    l_Line.append(" \"").append(Text(l_Name.get())).append("\"");
    const std::string l_Author = Attribute(*l_spMedia, u"Author");
    if (!l_Author.empty()) {
      l_Line.append(" (").append(l_Author).append(")");
    }
    ComPtr<IWMPControls> l_spControls;
    double l_dPosition = 0;
    if (SUCCEEDED(m_spPlayer->get_controls(l_spControls.put())) && l_spControls &&
        SUCCEEDED(l_spControls->get_currentPosition(&l_dPosition))) {
      const std::string l_Duration = Attribute(*l_spMedia, u"Duration");
      l_Line.append(" ").append(Minutes(l_dPosition));
      if (!l_Duration.empty()) {
        l_Line.append(" of ").append(Minutes(std::strtod(l_Duration.c_str(), nullptr)));
      }
    }
  }
  return l_Line;
}
