#include "server/ServerResources.h"

#include "platform/base/StringTable.h"
#include "platform/user/Resources.h"
#include "server/ServerTray.h"
#include "service/session/RemoteHost.h"

namespace {

constexpr platform::StringResource kServerStrings[] = {
    {IDS_PROJNAME, platform::kLanguageEnglishUs, u"Ruvello"},
    {IDS_TRAY_TIP, platform::kLanguageEnglishUs, u"Calvora remote control"},
    {IDS_ABOUT_TEXT, platform::kLanguageEnglishUs,
     u"Calvora remote control: drives the music player of this session from the USB remote."},
};

}  // namespace

void DeclareServerResources() {
  platform::DeclareProgramStrings(kServerStrings);
  platform::DeclareMenu(
      IDR_TRAY_MENU, 0,
      {{0, u"Service not running",
        {{ID_SERVICE_RESTART, u"Start the service", {}},
         {ID_HELP_SUPPORT, u"Support", {}},
         {ID_HELP_ABOUT, u"About", {}}}},
       {0, u"Service running",
        {{ID_SERVICE_RESTART, u"Restart the service", {}},
         {ID_SERVICE_STOP, u"Stop the service", {}},
         {ID_HELP_SUPPORT, u"Support", {}},
         {ID_HELP_ABOUT, u"About", {}}}}});
}
