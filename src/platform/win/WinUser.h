// The user interface calls of the platform that the components make directly: the
// screen-saver switch and a message box. The host library implements them (as the system
// implements them for a Windows program), on whatever machine the program runs.
#pragma once

#include "platform/win/WinTypes.h"

inline constexpr UINT SPI_GETSCREENSAVEACTIVE = 16;
inline constexpr UINT SPI_SETSCREENSAVEACTIVE = 17;

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr int IDOK = 1;

// SPI_GETSCREENSAVEACTIVE writes whether the screen saver may start into the BOOL at
// `pvParam`; SPI_SETSCREENSAVEACTIVE switches it with `uiParam`. Any other action, or a
// missing host, returns FALSE.
BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT fWinIni);

// A message box with an OK button; the text and caption are UTF-8 (the program's strings).
// Returns IDOK once the box is closed, 0 when there is no host to show it.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
