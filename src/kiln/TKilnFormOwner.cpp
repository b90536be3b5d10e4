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

bool TKilnFormOwner::Translate(const host::Event& event, HWND window, const TKilnWndProc& procedure) {
  if (!procedure) return false;
  switch (event.type) {
    case host::EventType::Move:
      procedure(window, WM_MOVE, 0, MAKELPARAM(event.x, event.y));
      return true;
    case host::EventType::Size:
      procedure(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(event.x, event.y));
      return true;
    case host::EventType::Activate:
      procedure(window, WM_QUERYNEWPALETTE, 0, 0);
      return true;
    default:
      return false;
  }
}

TKilnWndProc TKilnFormOwner::SetWindowProc(HWND window, TKilnWndProc procedure) {
  if (!hooked_) {
    hooked_ = true;
    std::shared_ptr<TKilnWndProc> shared = procedure_;
    form_.WindowHooks.push_back([shared, window](const host::Event& event) {
      Translate(event, window, *shared);
      return false;  // the form goes on to handle the event itself, as the previous procedure would
    });
  }
  TKilnWndProc previous = std::move(*procedure_);
  *procedure_ = std::move(procedure);
  return previous;
}
