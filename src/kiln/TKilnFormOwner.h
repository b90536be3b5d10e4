// The game's form as the display component sees it: its host window is bound to the
// DirectDraw machine (the primary surface shows in it; full screen is the host's
// desktop full-screen window with the picture scaled to fit), and the window's messages
// (which the form framework makes of the host's events) reach the component's procedure.
#pragma once

#include <memory>

#include "kiln/TKilnOwner.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/forms/Forms.h"

class TKilnFormOwner final : public TKilnOwner {
 public:
  // The form must outlive this object, and this object the component on it.
  explicit TKilnFormOwner(forms::TForm& form);
  ~TKilnFormOwner() override;
  TKilnFormOwner(const TKilnFormOwner&) = delete;
  TKilnFormOwner& operator=(const TKilnFormOwner&) = delete;

  forms::TObject* Form() override { return &form_; }
  HWND Handle() override;
  std::string Caption() override { return form_.Caption(); }
  void Show() override { form_.Show(); }
  int Left() override;
  int Top() override;
  int Width() override { return form_.ClientWidth(); }
  int Height() override { return form_.ClientHeight(); }
  // A borderless form: its bounds are its client area. The host places the window
  // itself, so only the size is taken.
  void SetBounds(int left, int top, int width, int height) override;
  // Host windows are never maximised by the user.
  TWindowState WindowState() override { return TWindowState::wsNormal; }
  void SetWindowState(TWindowState) override {}
  bool Active() override;
  RECT ClientRect() override { return RECT{0, 0, form_.ClientWidth(), form_.ClientHeight()}; }
  POINT ClientToScreen(POINT point) override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  forms::TNotifyEvent& OnCreate() override { return form_.OnCreate; }
  forms::TNotifyEvent& OnPaint() override { return form_.OnPaint; }
  TKilnWndProc SetWindowProc(HWND window, TKilnWndProc procedure) override;
  // Nothing to do on the host: its windows have no menu bar and no frame to redraw.
  void BringWindowToTop(HWND) override {}
  void DrawMenuBar(HWND) override {}
  void RedrawWindow(HWND, UINT) override {}
  void Terminate() override { form_.Application().Terminate(); }

 private:
  forms::TForm& form_;
  std::unique_ptr<ddraw::HostWindowTarget> target_;
  std::unique_ptr<ddraw::ScopedWindowBinding> binding_;
  // Shared with the hook in the form's WindowHooks, which may outlive this object.
  std::shared_ptr<TKilnWndProc> procedure_;
  bool hooked_ = false;
};
