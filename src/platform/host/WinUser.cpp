// The platform's user interface calls, answered by the host the program runs on.
#include "platform/win/WinUser.h"

#include "platform/host/Host.h"

BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT /*fWinIni*/) {
  if (!host::HasCurrent()) return FALSE;
  switch (uiAction) {
    case SPI_GETSCREENSAVEACTIVE:
      if (!pvParam) return FALSE;
      *static_cast<BOOL*>(pvParam) = host::Current().ScreenSaverEnabled() ? TRUE : FALSE;
      return TRUE;
    case SPI_SETSCREENSAVEACTIVE:
      host::Current().SetScreenSaverEnabled(uiParam != 0);
      return TRUE;
    default:
      return FALSE;
  }
}

int MessageBoxA(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT /*uType*/) {
  if (!host::HasCurrent()) return 0;
  host::Current().ShowMessageBox(lpCaption ? lpCaption : "", lpText ? lpText : "");
  return IDOK;
}
