// The form framework: the application object with its message loop and idle
// handler, forms (windows of the host) with their events, and the controls a form holds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/forms/Graphics.h"
#include "platform/host/Host.h"
#include "platform/host/KeyMap.h"
#include "platform/win/WinUser.h"
#include "platform/win/WinWindows.h"

namespace forms {

class TApplication;
class TForm;
class TControl;

class TObject {
 public:
  virtual ~TObject() = default;
};

// One window message, as a window procedure receives it.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  bool operator==(const TMessage&) const = default;
};

// The window messages one event of the host stands for, in the order the system sends them:
// a move is WM_MOVE, a size WM_SIZE, keys and mouse buttons their WM_KEY* and WM_*BUTTON*
// messages; an activation is WM_ACTIVATEAPP, WM_ACTIVATE and WM_QUERYNEWPALETTE (a window
// about to become active is asked to realise its palette), a deactivation WM_ACTIVATE then
// WM_ACTIVATEAPP. This is the one place where host events are turned into messages.
std::vector<TMessage> WindowMessages(const host::Event& event);

// Shift state of key and mouse events: bits of host::ShiftBits.
using TShiftState = uint32_t;
using host::ssAlt;
using host::ssCtrl;
using host::ssLeft;
using host::ssMiddle;
using host::ssRight;
using host::ssShift;

enum TMouseButton { mbLeft = host::mbLeft, mbRight = host::mbRight, mbMiddle = host::mbMiddle };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };
enum class TAlign { alNone, alClient };
enum class TFormBorderStyle { bsNone, bsDialog, bsSingle };

// Something with a name that a form owns.
class TComponent : public TObject {
 public:
  std::string Name;
};

// A control inside a form: a rectangle that paints itself and, if it can take the
// focus, answers keys and clicks.
class TControl : public TComponent {
 public:
  TControl(TForm& form, TControl* parent);
  ~TControl() override = default;

  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::string Caption;
  bool Enabled = true;
  bool TabStop = false;
  int TabOrder = 0;

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  TControl* Parent() const { return parent_; }
  TForm& Form() const { return form_; }
  void SetBounds(int left, int top, int width, int height);
  // Position in the form's client area.
  void ClientOrigin(int& x, int& y) const;
  RECT BoundsInForm() const;
  bool Focused() const;
  void Invalidate();

  // Paints the control at its place on the form's canvas.
  virtual void Paint(TCanvas& canvas) = 0;
  // Keys while the control has the focus; true when the key was used.
  virtual bool KeyDown(WORD key, TShiftState shift) {
    (void)key;
    (void)shift;
    return false;
  }
  // Mouse in form client coordinates; true when the control took the event.
  virtual bool MouseDown(TMouseButton button, int x, int y) {
    (void)button;
    (void)x;
    (void)y;
    return false;
  }
  virtual void MouseUp(TMouseButton button, int x, int y) {
    (void)button;
    (void)x;
    (void)y;
  }
  virtual void MouseMove(int x, int y) {
    (void)x;
    (void)y;
  }
  // Popups (an open drop-down list) reach past the control's own rectangle.
  virtual bool HitTest(int x, int y) const;
  // Paints what lies over the other controls (an open drop-down list).
  virtual void PaintOverlay(TCanvas& canvas) { (void)canvas; }
  virtual void FocusLost() {}
  // A press elsewhere closes what the control has open.
  virtual void ClosePopup() {}

 private:
  TForm& form_;
  TControl* parent_;
  bool visible_ = true;
};

// The deleter of forms: runs the form's OnDestroy while the whole form is still alive.
struct FormDeleter {
  void operator()(TForm* form) const;
};
template <typename T>
using TFormPtr = std::unique_ptr<T, FormDeleter>;

class TForm : public TComponent {
 public:
  explicit TForm(TApplication& application);
  ~TForm() override;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  TApplication& Application() const { return app_; }

  // Events: assignable and removable (set to nullptr) at any time.
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnPaint;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  // Window procedures in front of the form's own handling: each sees every message of the
  // form's window (the display component watches activation, moves and sizes this way).
  // True from any of them swallows the event the message came from.
  std::vector<std::function<bool(const TMessage&)>> WindowHooks;

  TColor Color = clBtnFace;
  TFont Font;
  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSingle;
  // Centre on the main form (dialogs) instead of the desktop.
  bool CentreOnMainForm = false;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  void SetClientSize(int width, int height);

  // The form's client area as a picture: what the window shows. The game's borderless window
  // at a render scale draws on a surface of that scale instead (see Window()).
  TCanvas& Canvas() { return fine_ ? fine_->canvas : surface_.Canvas(); }
  TBitmap& Surface() { return surface_; }
  // The host window (made on first use, hidden until the form is shown).
  host::IWindow& Window();
  bool HandleAllocated() const { return window_ != nullptr; }
  // The window's handle, as the platform interfaces take it (makes the window on first use).
  HWND Handle();

  void Show();
  void Hide();
  bool Visible() const { return visible_; }
  // Runs the form as a modal dialog until ModalResult is set; returns it. The
  // application may answer for the user instead (headless runs, --ok).
  int ShowModal();
  int ModalResult = mrNone;
  // A modal form closes with mrCancel; the main form ends the application; any other hides.
  void Close();

  // Asks for a repaint when the message queue is next empty.
  void Invalidate() { paintPending_ = true; }
  bool PaintPending() const { return paintPending_; }
  // Paints the background, OnPaint, then the controls, and shows the result.
  void PaintNow();
  // Shows what was drawn on the canvas since the last time.
  void FlushCanvas();

  // Controls: the form owns them.
  template <typename T, typename... Args>
  T& Add(Args&&... args) {
    auto c = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *c;
    controls_.push_back(std::move(c));
    Invalidate();
    return ref;
  }
  TControl* FindComponent(const std::string& name) const;
  const std::vector<std::unique_ptr<TControl>>& Controls() const { return controls_; }
  TControl* ActiveControl() const { return active_; }
  void SetActiveControl(TControl* control);
  // Moves the focus to the next (or previous) tab stop.
  void SelectNext(bool forward);
  // The buttons that Enter and Escape press.
  TControl* DefaultButton = nullptr;
  TControl* CancelButton = nullptr;

  // Runs OnCreate (the framework calls it once the form is fully made).
  void DoCreate();
  // Runs OnDestroy once.
  void DoDestroy();
  // Handles one event of the host for this form's window.
  void HandleEvent(const host::Event& event);

 private:
  void KeyDown(WORD key, TShiftState shift);
  void PresentSurface();
  void MakeFineSurface(int scale);
  std::vector<TControl*> TabOrderList() const;

  TApplication& app_;
  std::string caption_;
  int clientWidth_ = 640, clientHeight_ = 480;
  TBitmap surface_;
  // The client area at the host's render scale: drawn in the form's coordinates, shown dense.
  struct FineSurface {
    FineSurface(int width, int height, int scale);
    ~FineSurface();
    FineSurface(const FineSurface&) = delete;
    FineSurface& operator=(const FineSurface&) = delete;
    gdi::ScaledTarget target;
    HDC dc;
    TCanvas canvas;
  };
  std::unique_ptr<FineSurface> fine_;
  std::unique_ptr<host::IWindow> window_;
  std::unique_ptr<win::WindowRegistration> registration_;  // goes before the window does
  std::vector<std::unique_ptr<TControl>> controls_;
  TControl* active_ = nullptr;
  TControl* captured_ = nullptr;
  bool visible_ = false;
  bool modal_ = false;
  bool paintPending_ = true;
  bool surfaceDirty_ = false;
  bool destroyed_ = false;
};

// Makes a form that its maker owns (a dialog) and runs its OnCreate.
template <typename T, typename... Args>
TFormPtr<T> MakeForm(TApplication& application, Args&&... args) {
  TFormPtr<T> form(std::make_unique<T>(application, std::forward<Args>(args)...).release());
  form->DoCreate();
  return form;
}

// The application object: owns the forms made with CreateForm and runs the message loop.
class TApplication : public TComponent {
 public:
  explicit TApplication(host::IHost& host);
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  host::IHost& Host() const { return host_; }

  void Initialize() {}
  // Makes a form (the first one becomes the main form) and runs its OnCreate.
  template <typename T, typename... Args>
  T& CreateForm(Args&&... args) {
    TFormPtr<T> form(std::make_unique<T>(*this, std::forward<Args>(args)...).release());
    T& ref = *form;
    if (!MainForm) MainForm = &ref;
    ownedForms_.push_back(TFormPtr<TForm>(form.release()));
    ref.DoCreate();
    return ref;
  }
  // Shows the main form and handles messages until Terminate.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Handles every pending event, then returns.
  void ProcessMessages();
  // Handles one event, or runs the idle step when none is pending.
  void HandleMessage();
  // Runs OnIdle until Done; then, with nothing pending, waits for an event.
  void Idle();
  // Destroys the forms made with CreateForm, last made first (their OnDestroy runs).
  void DestroyForms();

  TIdleEvent OnIdle;
  TForm* MainForm = nullptr;
  // When set, modal dialogs are answered by this instead of being shown: it may set
  // the dialog's controls and returns the modal result (nullopt: show the dialog).
  std::function<std::optional<int>(TForm&)> ModalAnswer;

  // Bookkeeping of the forms (every form registers itself).
  void AddForm(TForm* form) { forms_.push_back(form); }
  void RemoveForm(TForm* form);
  void PushModal(TForm* form) { modal_.push_back(form); }
  void PopModal() {
    if (!modal_.empty()) modal_.pop_back();
  }

 private:
  bool ProcessMessage();
  void Dispatch(const host::Event& event);
  bool PaintPending();
  void FlushForms();

  host::IHost& host_;
  bool terminated_ = false;
  std::vector<TForm*> forms_;
  std::vector<TForm*> modal_;
  std::vector<TFormPtr<TForm>> ownedForms_;
};

}  // namespace forms
