#include "tray/TrayIcon.h"

#include <algorithm>

#include "tray/TrayResources.h"

NOTIFYICONDATAW MakeTrayIconRecord(HWND p_hOwner, std::uint32_t p_nIcon,
                                   std::u16string_view p_Tip) {
  NOTIFYICONDATAW l_Data;
  l_Data.cbSize = kTrayIconRecordSize;
  l_Data.hWnd = p_hOwner;
  l_Data.uID = kTrayIconId;
  l_Data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  l_Data.uCallbackMessage = WM_TRAY_NOTIFY;
  l_Data.hIcon = p_nIcon;
  const std::size_t l_nLength = std::min(p_Tip.size(), kTrayTipCharacters);
  std::copy_n(p_Tip.begin(), l_nLength, l_Data.szTip);
  l_Data.szTip[l_nLength] = u'\0';
  return l_Data;
}
