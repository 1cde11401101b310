#include "tools/platformctl/PlayerCommands.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <thread>

#include "platform/base/Text.h"
#include "platform/com/Activation.h"
#include "platform/kernel/Session.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/PlayerApplicationControl.h"

namespace platformctl {

const char kPlayerUsage[] =
    "commands on the player application of this session (started when none runs):\n"
    "  player dock | undock             dock or undock the player\n"
    "  player add-track <attribute>=<value>...\n"
    "                                   add a track with those attributes\n"
    "  player remove-track <name>       remove the first track of that name\n"
    "  player add-playlist <name> <type> [<track>...]\n"
    "                                   add a playlist (type Auto: an automatic one) of the\n"
    "                                   tracks named\n"
    "  player remove-playlist <name>    remove the first playlist of that name\n"
    "  player add-entry <playlist> <index> <track>\n"
    "                                   insert a track into a playlist at the index\n"
    "  player remove-entry <playlist> <index>\n"
    "                                   remove a playlist's entry at the index\n"
    "  player play | pause | stop | next | previous\n"
    "                                   drive playback\n"
    "  (a tree item is selected with tree-click on the window class WMPlayerApp, id 1007)\n";

namespace {

using platform::ComPtr;
using Words = std::vector<std::string>;

// How long the tool waits for an application that is starting.
constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kRetryPause = std::chrono::milliseconds(50);

UniqueBstr Bstr(const std::string& text) {
  const std::u16string wide = platform::FromUtf8(text);
  return UniqueBstr(SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size())));
}

platform::UniqueSafeArray TextArray(const Words& texts) {
  platform::UniqueSafeArray array(
      SafeArrayCreateVector(VT_BSTR, 0, static_cast<std::uint32_t>(texts.size())));
  for (std::int32_t index = 0; index < static_cast<std::int32_t>(texts.size()); ++index) {
    SafeArrayPutElement(array.get(), &index,
                        Bstr(texts[static_cast<std::size_t>(index)]).get());
  }
  return array;
}

std::optional<std::int32_t> Index(const std::string& text) {
  try {
    std::size_t used = 0;
    const int value = std::stoi(text, &used);
    return used == text.size() ? std::optional(value) : std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The control of this session's application, waiting while it starts; the failure otherwise.
HRESULT Bind(ComPtr<IPlayerApplicationControl>& control) {
  static_cast<void>(platform::player::kPlayerApplicationControlRegistered);
  ComPtr<IClassFactory> factory;
  const auto limit = std::chrono::steady_clock::now() + kStartLimit;
  HRESULT hr = S_OK;
  while ((hr = platform::BindClassObject(platform::ProcessSessionId(), CLSID_PlayerApplication,
                                         platform::IidOf<IClassFactory>, factory.put_void())) ==
             kServerStarting &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(kRetryPause);
  }
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, platform::IidOf<IPlayerApplicationControl>,
                                 control.put_void());
}

struct Command {
  std::size_t least;  // words after the command's name
  std::size_t most;
  const char* shape;
  std::function<HRESULT(IPlayerApplicationControl&, const Words&)> run;
};

HRESULT Transport(IPlayerApplicationControl& control, PlayerTransport command) {
  return control.Transport(command);
}

const std::map<std::string, Command>& Commands() {
  constexpr std::size_t kAny = ~std::size_t{0};
  static const std::map<std::string, Command> commands{
      {"dock", {0, 0, "dock", [](auto& c, const Words&) { return c.SetDocked(VARIANT_TRUE); }}},
      {"undock",
       {0, 0, "undock", [](auto& c, const Words&) { return c.SetDocked(VARIANT_FALSE); }}},
      {"add-track",
       {1, kAny, "add-track <attribute>=<value>...",
        [](auto& c, const Words& w) -> HRESULT {
          Words pairs;
          for (const std::string& word : w) {
            const std::size_t equals = word.find('=');
            if (equals == std::string::npos || equals == 0) return E_INVALIDARG;
            pairs.push_back(word.substr(0, equals));
            pairs.push_back(word.substr(equals + 1));
          }
          return c.AddTrack(TextArray(pairs).get());
        }}},
      {"remove-track",
       {1, 1, "remove-track <name>",
        [](auto& c, const Words& w) { return c.RemoveTrack(Bstr(w[0]).get()); }}},
      {"add-playlist",
       {2, kAny, "add-playlist <name> <type> [<track>...]",
        [](auto& c, const Words& w) {
          return c.AddPlaylist(Bstr(w[0]).get(), Bstr(w[1]).get(),
                               TextArray(Words(w.begin() + 2, w.end())).get());
        }}},
      {"remove-playlist",
       {1, 1, "remove-playlist <name>",
        [](auto& c, const Words& w) { return c.RemovePlaylist(Bstr(w[0]).get()); }}},
      {"add-entry",
       {3, 3, "add-entry <playlist> <index> <track>",
        [](auto& c, const Words& w) {
          const std::optional<std::int32_t> index = Index(w[1]);
          return index ? c.InsertEntry(Bstr(w[0]).get(), *index, Bstr(w[2]).get())
                       : E_INVALIDARG;
        }}},
      {"remove-entry",
       {2, 2, "remove-entry <playlist> <index>",
        [](auto& c, const Words& w) {
          const std::optional<std::int32_t> index = Index(w[1]);
          return index ? c.RemoveEntry(Bstr(w[0]).get(), *index) : E_INVALIDARG;
        }}},
      {"play", {0, 0, "play", [](auto& c, const Words&) { return Transport(c, kTransportPlay); }}},
      {"pause",
       {0, 0, "pause", [](auto& c, const Words&) { return Transport(c, kTransportPause); }}},
      {"stop", {0, 0, "stop", [](auto& c, const Words&) { return Transport(c, kTransportStop); }}},
      {"next", {0, 0, "next", [](auto& c, const Words&) { return Transport(c, kTransportNext); }}},
      {"previous",
       {0, 0, "previous", [](auto& c, const Words&) { return Transport(c, kTransportPrevious); }}},
  };
  return commands;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace

int RunPlayerCommand(const std::vector<std::string>& words, std::ostream& /*out*/,
                     std::ostream& errors) {
  const auto found = words.empty() ? Commands().end() : Commands().find(words[0]);
  const Words rest = words.empty() ? Words() : Words(words.begin() + 1, words.end());
  if (found == Commands().end() || rest.size() < found->second.least ||
      rest.size() > found->second.most) {
    errors << "platformctl: "
           << (found == Commands().end() ? std::string("unknown player command")
                                         : std::string("usage: player ") + found->second.shape)
           << "\n"
           << kPlayerUsage;
    return 2;
  }
  ComPtr<IPlayerApplicationControl> control;
  if (const HRESULT hr = Bind(control); FAILED(hr)) {
    errors << "platformctl: the player application cannot be reached (hr " << Hex(hr)
           << "; is it registered?)\n";
    return 1;
  }
  if (const HRESULT hr = found->second.run(*control, rest); FAILED(hr)) {
    errors << "platformctl: player " << words[0] << " failed (hr " << Hex(hr)
           << (hr == E_INVALIDARG ? ": no such track, playlist or entry" : "") << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace platformctl
