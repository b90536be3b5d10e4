#include "kiln/TKilnFormOwner.h"

TKilnFormOwner::TKilnFormOwner(forms::TForm& form) : form_(form), procedure_(std::make_shared<TKilnWndProc>()) {}

TKilnFormOwner::~TKilnFormOwner() {
  // The hook stays in the form's list; without a procedure it lets every event pass.
  *procedure_ = nullptr;
}

HWND TKilnFormOwner::Handle() {
  const HWND handle = form_.Handle();
  host::IWindow& window = form_.Window();
  if (!binding_) {
    target_ = std::make_unique<ddraw::HostWindowTarget>(window);
    binding_ = std::make_unique<ddraw::ScopedWindowBinding>(handle, target_.get());
  }
  return handle;
}

int TKilnFormOwner::Left() { return ClientToScreen(POINT{0, 0}).x; }

int TKilnFormOwner::Top() { return ClientToScreen(POINT{0, 0}).y; }

void TKilnFormOwner::SetBounds(int, int, int width, int height) {
  if (width > 0 && height > 0 && (width != form_.ClientWidth() || height != form_.ClientHeight()))
    form_.SetClientSize(width, height);
}

bool TKilnFormOwner::Active() { return form_.HandleAllocated() && form_.Window().Active(); }

POINT TKilnFormOwner::ClientToScreen(POINT point) {
  int x = 0, y = 0;
  if (form_.HandleAllocated()) form_.Window().ClientOrigin(x, y);
  return POINT{point.x + x, point.y + y};
}

int TKilnFormOwner::ScreenWidth() { return static_cast<int>(ddraw::CurrentDisplayMode().width); }

int TKilnFormOwner::ScreenHeight() { return static_cast<int>(ddraw::CurrentDisplayMode().height); }

TKilnWndProc TKilnFormOwner::SetWindowProc(HWND window, TKilnWndProc procedure) {
  if (!hooked_) {
    hooked_ = true;
    std::shared_ptr<TKilnWndProc> shared = procedure_;
    // Every message of the window reaches the component's procedure, which hands it on to
    // the previous one; the form then handles the event itself.
    form_.WindowHooks.push_back([shared, window](const forms::TMessage& m) {
      if (*shared) (*shared)(window, m.Msg, m.WParam, m.LParam);
      return false;
    });
  }
  TKilnWndProc previous = std::move(*procedure_);
  *procedure_ = std::move(procedure);
  return previous;
}
