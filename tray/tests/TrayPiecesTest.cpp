// The tray's pieces that need no system: the icon record and the choice of language.

#include <gtest/gtest.h>

#include <string>

#include "tray/TrayIcon.h"
#include "tray/TrayResources.h"

namespace {

TEST(TrayIconRecord, TheTipIsCutToWhatTheRecordHolds) {
  struct Case {
    std::size_t m_nLength;
    std::size_t m_nKept;
  };
  for (const Case& l_Case : {Case{0, 0}, Case{22, 22}, Case{63, 63}, Case{64, 63}, Case{127, 63},
                             Case{200, 63}}) {
    const std::u16string l_Tip(l_Case.m_nLength, u'x');
    const NOTIFYICONDATAW l_Record = MakeTrayIconRecord(7, IDI_SERVICE_RUNNING, l_Tip);
    EXPECT_EQ(std::u16string(l_Record.szTip), std::u16string(l_Case.m_nKept, u'x'))
        << l_Case.m_nLength;
  }
  const NOTIFYICONDATAW l_Record = MakeTrayIconRecord(7, IDI_SERVICE_STOPPED, u"tip");
  EXPECT_EQ(l_Record.cbSize, 152u);
  EXPECT_EQ(l_Record.hWnd, 7u);
  EXPECT_EQ(l_Record.uID, kTrayIconId);
  EXPECT_EQ(l_Record.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  EXPECT_EQ(l_Record.uCallbackMessage, WM_TRAY_NOTIFY);
  EXPECT_EQ(l_Record.hIcon, IDI_SERVICE_STOPPED);
}

TEST(TrayLanguage, ThePrimaryLanguageWhenTheTrayHasItsTextsElseTheNeutralOne) {
  struct Case {
    platform::LanguageId m_nUser;
    platform::LanguageId m_nTray;
  };
  for (const Case& l_Case : {Case{0x0407, 7}, Case{0x0807, 7}, Case{0x0409, 9}, Case{0x0809, 9},
                             Case{0x0C0A, 10}, Case{0x040C, 12}, Case{0x0C0C, 12},
                             Case{0x0411, 17}, Case{0x0410, 0}, Case{0x0413, 0}, Case{0, 0}}) {
    EXPECT_EQ(TrayLanguage(l_Case.m_nUser), l_Case.m_nTray) << std::hex << l_Case.m_nUser;
  }
}

}  // namespace
