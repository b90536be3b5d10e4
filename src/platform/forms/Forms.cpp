#include "platform/forms/Forms.h"

#include <algorithm>

namespace forms {

// ---- TControl ------------------------------------------------------------------

TControl::TControl(TForm& form, TControl* parent) : form_(form), parent_(parent) {}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible && form_.ActiveControl() == this) form_.SelectNext(true);
  form_.Invalidate();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  form_.Invalidate();
}

void TControl::ClientOrigin(int& x, int& y) const {
  x = Left;
  y = Top;
  for (TControl* p = parent_; p; p = p->parent_) {
    x += p->Left;
    y += p->Top;
  }
}

RECT TControl::BoundsInForm() const {
  int x = 0, y = 0;
  ClientOrigin(x, y);
  return RECT{x, y, x + Width, y + Height};
}

bool TControl::HitTest(int x, int y) const {
  RECT r = BoundsInForm();
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool TControl::Focused() const { return form_.ActiveControl() == this; }

void TControl::Invalidate() { form_.Invalidate(); }

// ---- TForm ---------------------------------------------------------------------

void FormDeleter::operator()(TForm* form) const {
  if (!form) return;
  form->DoDestroy();
  std::default_delete<TForm>()(form);
}

TForm::TForm(TApplication& application) : app_(application), surface_(640, 480) {
  app_.AddForm(this);
  surface_.Canvas().OnChange = [this] { surfaceDirty_ = true; };
}

TForm::~TForm() {
  if (app_.MainForm == this) app_.MainForm = nullptr;
  app_.RemoveForm(this);
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (window_) window_->SetCaption(caption);
}

void TForm::SetClientSize(int width, int height) {
  clientWidth_ = std::max(width, 1);
  clientHeight_ = std::max(height, 1);
  surface_.SetSize(clientWidth_, clientHeight_);
  if (fine_) MakeFineSurface(fine_->target.Scale());
  Invalidate();
}

TForm::FineSurface::FineSurface(int width, int height, int scale)
    : target(width, height, scale), dc(gdi::CreateTargetDC(&target)), canvas(dc) {}

TForm::FineSurface::~FineSurface() {
  canvas.SetHandle(nullptr);
  if (dc) DeleteDC(dc);
}

void TForm::MakeFineSurface(int scale) {
  fine_.reset();
  fine_ = std::make_unique<FineSurface>(clientWidth_, clientHeight_, scale);
  fine_->canvas.OnChange = [this] { surfaceDirty_ = true; };
}

host::IWindow& TForm::Window() {
  if (!window_) {
    host::WindowDesc desc;
    desc.caption = caption_;
    desc.clientWidth = clientWidth_;
    desc.clientHeight = clientHeight_;
    desc.border = BorderStyle != TFormBorderStyle::bsNone;
    desc.centred = true;
    if (CentreOnMainForm && app_.MainForm && app_.MainForm != this) desc.centreOn = &app_.MainForm->Window();
    desc.visible = false;
    window_ = app_.Host().CreateWindow(desc);
    // The game's window shows pictures at the render scale: its own canvas draws at that scale.
    if (const int scale = app_.Host().RenderScale(); scale > 1 && !desc.border) {
      MakeFineSurface(scale);
      Invalidate();
    }
    registration_ = std::make_unique<win::WindowRegistration>(reinterpret_cast<HWND>(window_.get()));
  }
  return *window_;
}

HWND TForm::Handle() { return reinterpret_cast<HWND>(&Window()); }

void TForm::Show() {
  visible_ = true;
  Window().Show(true);
  Invalidate();
}

void TForm::Hide() {
  visible_ = false;
  if (window_) window_->Show(false);
}

int TForm::ShowModal() {
  ModalResult = mrNone;
  if (app_.ModalAnswer) {
    if (auto answer = app_.ModalAnswer(*this)) return ModalResult = *answer;
  }
  if (!active_) SelectNext(true);
  modal_ = true;
  app_.PushModal(this);
  Show();
  while (ModalResult == mrNone) {
    app_.HandleMessage();
    if (app_.Terminated()) ModalResult = mrCancel;
  }
  app_.PopModal();
  modal_ = false;
  Hide();
  return ModalResult;
}

void TForm::Close() {
  if (modal_) {
    ModalResult = mrCancel;
  } else if (app_.MainForm == this) {
    app_.Terminate();
  } else {
    Hide();
  }
}

void TForm::PaintNow() {
  paintPending_ = false;
  TCanvas& c = Canvas();
  c.Brush.Color = Color;
  c.Brush.Style = TBrushStyle::bsSolid;
  c.FillRect(RECT{0, 0, clientWidth_, clientHeight_});
  if (OnPaint) OnPaint(this);
  for (auto& control : controls_) {
    if (control->Visible() && (!control->Parent() || control->Parent()->Visible())) control->Paint(c);
  }
  for (auto& control : controls_) {
    if (control->Visible()) control->PaintOverlay(c);
  }
  surfaceDirty_ = true;
  FlushCanvas();
}

void TForm::FlushCanvas() {
  if (!surfaceDirty_ || !visible_) return;
  surfaceDirty_ = false;
  PresentSurface();
}

void TForm::PresentSurface() {
  if (fine_) {
    const int k = fine_->target.Scale();
    Window().Present(fine_->target.Pixels().data(), clientWidth_ * k, clientHeight_ * k, clientWidth_ * k);
    return;
  }
  gdi::MemoryTarget* t = surface_.Target();
  if (!t) return;
  // The surface is a 32-bit top-down bitmap: its rows are the window's pixels.
  Window().Present(reinterpret_cast<const uint32_t*>(t->Row(0)), surface_.Width(), surface_.Height(), t->Stride() / 4);
}

TControl* TForm::FindComponent(const std::string& name) const {
  for (auto& c : controls_) {
    if (c->Name == name) return c.get();
  }
  return nullptr;
}

void TForm::SetActiveControl(TControl* control) {
  if (control == active_) return;
  if (active_) active_->FocusLost();
  active_ = control;
  Invalidate();
}

std::vector<TControl*> TForm::TabOrderList() const {
  std::vector<TControl*> list;
  for (auto& c : controls_) {
    bool shown = c->Visible() && (!c->Parent() || c->Parent()->Visible());
    if (c->TabStop && c->Enabled && shown) list.push_back(c.get());
  }
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->TabOrder < b->TabOrder; });
  return list;
}

void TForm::SelectNext(bool forward) {
  auto list = TabOrderList();
  if (list.empty()) {
    SetActiveControl(nullptr);
    return;
  }
  auto it = std::find(list.begin(), list.end(), active_);
  if (it == list.end()) {
    SetActiveControl(forward ? list.front() : list.back());
    return;
  }
  size_t i = static_cast<size_t>(it - list.begin());
  i = forward ? (i + 1) % list.size() : (i + list.size() - 1) % list.size();
  SetActiveControl(list[i]);
}

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::DoDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (OnDestroy) OnDestroy(this);
}

void TForm::KeyDown(WORD key, TShiftState shift) {
  if (OnKeyDown) {
    OnKeyDown(this, key, shift);
    if (key == 0) return;
  }
  if (active_ && active_->KeyDown(key, shift)) return;
  switch (key) {
    case host::VK_TAB:
      if (!controls_.empty()) SelectNext((shift & ssShift) == 0);
      break;
    case host::VK_RETURN:
      if (DefaultButton && DefaultButton->Enabled) DefaultButton->KeyDown(host::VK_SPACE, 0);
      break;
    case host::VK_ESCAPE:
      if (CancelButton && CancelButton->Enabled) CancelButton->KeyDown(host::VK_SPACE, 0);
      break;
    default:
      break;
  }
}

std::vector<TMessage> WindowMessages(const host::Event& e) {
  const LPARAM position = MAKELPARAM(e.x, e.y);
  WPARAM buttons = 0;
  if (e.shift & ssLeft) buttons |= MK_LBUTTON;
  if (e.shift & ssRight) buttons |= MK_RBUTTON;
  if (e.shift & ssMiddle) buttons |= MK_MBUTTON;
  if (e.shift & ssShift) buttons |= MK_SHIFT;
  if (e.shift & ssCtrl) buttons |= MK_CONTROL;
  auto key = [&](UINT message) {
    // Repeat count 1, the scan code in bits 16..23, KF_REPEAT for a key already down.
    const auto high = static_cast<uint32_t>((e.scanCode & 0xFF) | (e.repeat ? KF_REPEAT : 0));
    return TMessage{message, static_cast<WPARAM>(e.vk & 0xFFFF), static_cast<LPARAM>((high << 16) | 1u)};
  };
  constexpr UINT kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  constexpr UINT kUp[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
  const int button = e.button >= 0 && e.button < 3 ? e.button : 0;
  switch (e.type) {
    case host::EventType::KeyDown:
      return {key(WM_KEYDOWN)};
    case host::EventType::KeyUp:
      return {key(WM_KEYUP)};
    case host::EventType::MouseMove:
      return {{WM_MOUSEMOVE, buttons, position}};
    case host::EventType::MouseDown:
      return {{kDown[button], buttons, position}};
    case host::EventType::MouseUp:
      return {{kUp[button], buttons, position}};
    case host::EventType::Paint:
      return {{WM_PAINT, 0, 0}};
    case host::EventType::Activate:
      return {{WM_ACTIVATEAPP, TRUE, 0}, {WM_ACTIVATE, WA_ACTIVE, 0}, {WM_QUERYNEWPALETTE, 0, 0}};
    case host::EventType::Deactivate:
      return {{WM_ACTIVATE, WA_INACTIVE, 0}, {WM_ACTIVATEAPP, FALSE, 0}};
    case host::EventType::Close:
      return {{WM_CLOSE, 0, 0}};
    case host::EventType::Move:
      return {{WM_MOVE, 0, position}};
    case host::EventType::Size:
      return {{WM_SIZE, SIZE_RESTORED, position}};
    case host::EventType::Quit:
      return {{WM_QUIT, 0, 0}};
  }
  return {};
}

void TForm::HandleEvent(const host::Event& e) {
  if (!WindowHooks.empty()) {
    // Indexed: a hook may add hooks.
    for (const TMessage& message : WindowMessages(e)) {
      for (size_t i = 0; i < WindowHooks.size(); ++i) {
        if (WindowHooks[i] && WindowHooks[i](message)) return;
      }
    }
  }
  switch (e.type) {
    case host::EventType::KeyDown:
      KeyDown(static_cast<WORD>(e.vk), e.shift);
      break;
    case host::EventType::KeyUp:
      if (OnKeyUp) {
        WORD key = static_cast<WORD>(e.vk);
        OnKeyUp(this, key, e.shift);
      }
      break;
    case host::EventType::MouseMove:
      if (captured_) {
        captured_->MouseMove(e.x, e.y);
      } else {
        for (auto& c : controls_) {
          if (c->Visible() && c->HitTest(e.x, e.y)) c->MouseMove(e.x, e.y);
        }
      }
      if (OnMouseMove) OnMouseMove(this, e.shift, e.x, e.y);
      break;
    case host::EventType::MouseDown: {
      auto button = static_cast<TMouseButton>(e.button);
      for (auto& c : controls_) {
        if (!c->HitTest(e.x, e.y)) c->ClosePopup();
      }
      // The topmost control under the pointer (an open list lies over the others).
      for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = it->get();
        if (c->Visible() && c->Enabled && c->HitTest(e.x, e.y) && c->MouseDown(button, e.x, e.y)) {
          captured_ = c;
          break;
        }
      }
      if (!captured_ && OnMouseDown) OnMouseDown(this, button, e.shift, e.x, e.y);
      break;
    }
    case host::EventType::MouseUp: {
      auto button = static_cast<TMouseButton>(e.button);
      if (captured_) {
        TControl* c = captured_;
        captured_ = nullptr;
        c->MouseUp(button, e.x, e.y);
      } else if (OnMouseUp) {
        OnMouseUp(this, button, e.shift, e.x, e.y);
      }
      break;
    }
    case host::EventType::Paint:
      Invalidate();
      break;
    case host::EventType::Activate:
      if (OnActivate) OnActivate(this);
      break;
    case host::EventType::Deactivate:
      if (OnDeactivate) OnDeactivate(this);
      break;
    case host::EventType::Close:
      Close();
      break;
    case host::EventType::Move:
    case host::EventType::Size:
    case host::EventType::Quit:
      break;
  }
}

// ---- TApplication ----------------------------------------------------------------

TApplication::TApplication(host::IHost& host) : host_(host) {}

TApplication::~TApplication() { DestroyForms(); }

void TApplication::DestroyForms() {
  while (!ownedForms_.empty()) {
    TFormPtr<TForm> last = std::move(ownedForms_.back());
    ownedForms_.pop_back();
    last.reset();
  }
}

void TApplication::RemoveForm(TForm* form) {
  std::erase(forms_, form);
  std::erase(modal_, form);
}

void TApplication::Run() {
  if (MainForm && !terminated_) MainForm->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
  FlushForms();
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) Idle();
  FlushForms();
}

bool TApplication::ProcessMessage() {
  host::Event e;
  if (!host_.PollEvent(e)) return false;
  Dispatch(e);
  return true;
}

void TApplication::Dispatch(const host::Event& e) {
  if (e.type == host::EventType::Quit) {
    Terminate();
    return;
  }
  TForm* target = nullptr;
  for (TForm* f : forms_) {
    if (f->HandleAllocated() && &f->Window() == e.window) target = f;
  }
  if (!target) return;
  // While a dialog is modal the other windows take no input.
  bool input = e.type == host::EventType::KeyDown || e.type == host::EventType::KeyUp ||
               e.type == host::EventType::MouseMove || e.type == host::EventType::MouseDown ||
               e.type == host::EventType::MouseUp || e.type == host::EventType::Close;
  if (input && !modal_.empty() && modal_.back() != target) return;
  target->HandleEvent(e);
}

bool TApplication::PaintPending() {
  bool any = false;
  for (TForm* f : std::vector<TForm*>(forms_)) {
    if (f->Visible() && f->PaintPending()) {
      f->PaintNow();
      any = true;
    }
  }
  return any;
}

void TApplication::FlushForms() {
  for (TForm* f : forms_) f->FlushCanvas();
}

void TApplication::Idle() {
  // Paint requests are served when the queue is empty, before the idle handler.
  if (PaintPending()) return;
  bool done = true;
  if (OnIdle) OnIdle(this, done);
  FlushForms();
  if (done && !terminated_) host_.WaitEvent(100);
}

}  // namespace forms
