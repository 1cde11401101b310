#include "proxy/ProxyResources.h"

#include "platform/base/StringTable.h"
#include "platform/user/Dialog.h"
#include "platform/user/Resources.h"

namespace {

constexpr platform::StringResource kProxyStrings[] = {
    {IDS_APP_TITLE, platform::kLanguageEnglishUs, u"Drennick"},
    {IDC_DRENNICK, platform::kLanguageEnglishUs, u"DRENNICK"},
};

}  // namespace

void DeclareProxyResources() {
  platform::DeclareProgramStrings(kProxyStrings);
  platform::DeclareMenu(IDC_DRENNICK, platform::kLanguageEnglishUs,
                        {{0, u"&File",
                          {{IDM_EXIT, u"E&xit", {}},
                           {IDM_START, u"Start", {}},
                           {IDM_STOP, u"Stop", {}},
                           {IDM_RESTART, u"Restart", {}}}},
                         {0, u"&Help", {{IDM_ABOUT, u"&About ...", {}}}}});
  platform::DeclareAccelerators(IDC_DRENNICK, {{FALT, u'?', IDM_ABOUT}, {FALT, u'/', IDM_ABOUT}});
  platform::DeclareDialog(IDD_PROXY_ABOUTBOX,
                          {u"About",
                           {{-1, u"Drennick Version 1.48", false, false},
                            {-1, u"Copyright (C) Calvora. All rights reserved.", false, false},
                            {IDOK, u"OK", true, true}}});
}
