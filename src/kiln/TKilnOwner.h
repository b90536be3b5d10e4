// What the display component needs from the form it sits on: the window, its
// place and size, its creation and paint handlers, and the window procedure that
// the component puts itself in front of. The game's form is reached through
// TKilnFormOwner; tests describe a form of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms/Forms.h"
#include "platform/win/WinTypes.h"
#include "platform/win/WinUser.h"

class TKiln;

// RedrawWindow
inline constexpr UINT RDW_FRAME = 0x0400;

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

using TKilnWndProc = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

class TKilnOwner {
 public:
  virtual ~TKilnOwner() = default;

  // The form itself: the Sender of its own events.
  virtual forms::TObject* Form() = 0;
  virtual HWND Handle() = 0;
  virtual std::string Caption() = 0;
  virtual void Show() = 0;

  virtual int Left() = 0;
  virtual int Top() = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  virtual void SetBounds(int left, int top, int width, int height) = 0;
  virtual TWindowState WindowState() = 0;
  virtual void SetWindowState(TWindowState state) = 0;
  virtual bool Active() = 0;
  virtual RECT ClientRect() = 0;
  virtual POINT ClientToScreen(POINT point) = 0;
  // Size of the screen as it is now (the display mode after a full-screen switch).
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;

  // The form's own handlers; the component takes their place and calls them itself.
  virtual forms::TNotifyEvent& OnCreate() = 0;
  virtual forms::TNotifyEvent& OnPaint() = 0;

  // Subclassing: puts `procedure` in charge of the window's messages and returns the
  // procedure it replaces (the form's own handling when nothing was installed).
  virtual TKilnWndProc SetWindowProc(HWND window, TKilnWndProc procedure) = 0;
  virtual void BringWindowToTop(HWND window) = 0;
  virtual void DrawMenuBar(HWND window) = 0;
  virtual void RedrawWindow(HWND window, UINT flags) = 0;
  // Asks the program to end.
  virtual void Terminate() = 0;

  // The display components placed on this form (at most one may be).
  std::vector<TKiln*> Kilns;
};
