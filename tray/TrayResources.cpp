#include "tray/TrayResources.h"

#include "platform/base/StringTable.h"
#include "platform/user/Dialog.h"
#include "platform/user/Shell.h"

namespace {

using platform::StringResource;

constexpr platform::LanguageId kNeutral = 0;
constexpr platform::LanguageId kGerman = 7;
constexpr platform::LanguageId kEnglish = 9;
constexpr platform::LanguageId kSpanish = 10;
constexpr platform::LanguageId kFrench = 12;
constexpr platform::LanguageId kJapanese = 17;

constexpr char16_t kEnglishAbout[] =
    u"Calvora Remote Control\rVersion %s\rCopyright (C) Calvora. All rights reserved.";
constexpr char16_t kHelpAddress[] = u"https://support.calvora.example/remote";

constexpr StringResource kTrayStrings[] = {
    {IDS_PRODUCT, kNeutral, u"Calvora Remote Control"},
    {IDS_ABOUT_TEXT, kNeutral, kEnglishAbout},
    {IDS_HELP_ADDRESS, kNeutral, kHelpAddress},
    {IDS_MENU_ABOUT, kNeutral, u"About..."},
    {IDS_MENU_HELP, kNeutral, u"Help..."},
    {IDS_MENU_START, kNeutral, u"Start"},
    {IDS_MENU_STOP, kNeutral, u"Stop"},
    {IDS_MENU_RESTART, kNeutral, u"Restart"},

    {IDS_PRODUCT, kEnglish, u"Calvora Remote Control"},
    {IDS_ABOUT_TEXT, kEnglish, kEnglishAbout},
    {IDS_HELP_ADDRESS, kEnglish, kHelpAddress},
    {IDS_MENU_ABOUT, kEnglish, u"About..."},
    {IDS_MENU_HELP, kEnglish, u"Help..."},
    {IDS_MENU_START, kEnglish, u"Start"},
    {IDS_MENU_STOP, kEnglish, u"Stop"},
    {IDS_MENU_RESTART, kEnglish, u"Restart"},

    {IDS_PRODUCT, kGerman, u"Calvora Fernsteuerung"},
    {IDS_ABOUT_TEXT, kGerman,
     u"Calvora Fernsteuerung\rVersion %s\rCopyright (C) Calvora. Alle Rechte vorbehalten."},
    {IDS_HELP_ADDRESS, kGerman, kHelpAddress},
    {IDS_MENU_ABOUT, kGerman, u"Info..."},
    {IDS_MENU_HELP, kGerman, u"Hilfe..."},
    {IDS_MENU_START, kGerman, u"Starten"},
    {IDS_MENU_STOP, kGerman, u"Stoppen"},
    {IDS_MENU_RESTART, kGerman, u"Neu starten"},

    {IDS_PRODUCT, kSpanish, u"Control remoto Calvora"},
    {IDS_ABOUT_TEXT, kSpanish,
     u"Control remoto Calvora\rVersi\u00f3n %s\rCopyright (C) Calvora. Reservados todos los "
     u"derechos."},
    {IDS_HELP_ADDRESS, kSpanish, kHelpAddress},
    {IDS_MENU_ABOUT, kSpanish, u"Acerca de..."},
    {IDS_MENU_HELP, kSpanish, u"Ayuda..."},
    {IDS_MENU_START, kSpanish, u"Iniciar"},
    {IDS_MENU_STOP, kSpanish, u"Detener"},
    {IDS_MENU_RESTART, kSpanish, u"Reiniciar"},

    {IDS_PRODUCT, kFrench, u"T\u00e9l\u00e9commande Calvora"},
    {IDS_ABOUT_TEXT, kFrench,
     u"Calvora Remote Control\rVersion %s\rCopyright (C) Calvora. Tous droits r\u00e9serv\u00e9s."},
    {IDS_HELP_ADDRESS, kFrench, kHelpAddress},
    {IDS_MENU_ABOUT, kFrench, u"\u00c0 propos..."},
    {IDS_MENU_HELP, kFrench, u"Aide..."},
    {IDS_MENU_START, kFrench, u"D\u00e9marrer"},
    {IDS_MENU_STOP, kFrench, u"Stop"},
    {IDS_MENU_RESTART, kFrench, u"Red\u00e9marrer"},

    {IDS_PRODUCT, kJapanese, u"Calvora\u30ea\u30e2\u30fc\u30c8\u30b3\u30f3\u30c8\u30ed\u30fc\u30eb"},
    {IDS_ABOUT_TEXT, kJapanese,
     u"Calvora\u30ea\u30e2\u30fc\u30c8\u30b3\u30f3\u30c8\u30ed\u30fc\u30eb\rVersion %s\r"
     u"Copyright (C) Calvora."},
    {IDS_HELP_ADDRESS, kJapanese, kHelpAddress},
    {IDS_MENU_ABOUT, kJapanese, u"\u30d0\u30fc\u30b8\u30e7\u30f3\u60c5\u5831"},
    {IDS_MENU_HELP, kJapanese, u"\u30d8\u30eb\u30d7"},
    {IDS_MENU_START, kJapanese, u"\u30b9\u30bf\u30fc\u30c8"},
    {IDS_MENU_STOP, kJapanese, u"\u505c\u6b62"},
    {IDS_MENU_RESTART, kJapanese, u"\u518d\u30b9\u30bf\u30fc\u30c8"},
};

}  // namespace

platform::LanguageId TrayLanguage(platform::LanguageId p_nUserLanguage) {
  const platform::LanguageId l_nPrimary = platform::PrimaryLanguage(p_nUserLanguage);
  switch (l_nPrimary) {
    case kGerman:
    case kEnglish:
    case kSpanish:
    case kFrench:
    case kJapanese:
      return l_nPrimary;
    default:
      return kNeutral;
  }
}

void DeclareTrayResources() {
  platform::DeclareProgramStrings(kTrayStrings);
  platform::DeclareDialog(IDD_MAINDLG, {u"Peskarin",
                                        {{IDCANCEL, u"Cancel", true, false},
                                         {static_cast<std::int32_t>(ID_APP_ABOUT), u"&About...",
                                          true, false}}});
  platform::DeclareDialog(
      IDD_ABOUTBOX,
      {u"About",
       {{-1, u"Peskarin Application v1.48\n\nCopyright (C) Calvora. All rights reserved.", false,
         false},
        {IDOK, u"OK", true, true}}});
}
