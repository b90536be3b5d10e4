// The real machine through SDL2: windows with a streaming texture for the picture,
// keyboard and mouse turned into the form framework's events, the real clock.
#include <SDL.h>

#include <algorithm>
#include <iostream>
#include <map>

#include "platform/host/Backends.h"
#include "platform/host/Comforts.h"
#include "platform/host/Hosts.h"
#include "platform/host/KeyMap.h"

namespace host {
namespace {

static_assert(SDL_SCANCODE_A == 4 && SDL_SCANCODE_RETURN == 40 && SDL_SCANCODE_KP_8 == 96 && SDL_SCANCODE_UP == 82 &&
                  SDL_SCANCODE_LCTRL == 224,
              "the key table is written in USB usage numbers, which SDL's scancodes are");

class SdlHost;

class SdlWindow final : public IWindow {
 public:
  SdlWindow(SdlHost& host, SDL_Window* window, SDL_Renderer* renderer, int w, int h, int scale,
            const ComfortSettings& look)
      : host_(host), window_(window), renderer_(renderer), width_(w), height_(h), scale_(scale), look_(look) {}
  ~SdlWindow() override;

  uint32_t Id() const { return SDL_GetWindowID(window_); }
  void SetCaption(const std::string& utf8) override { SDL_SetWindowTitle(window_, utf8.c_str()); }
  std::string Caption() const override {
    const char* t = SDL_GetWindowTitle(window_);
    return t ? t : "";
  }
  void Show(bool visible) override {
    if (visible) {
      SDL_ShowWindow(window_);
      SDL_RaiseWindow(window_);
    } else {
      SDL_HideWindow(window_);
    }
  }
  int ClientWidth() const override { return width_; }
  int ClientHeight() const override { return height_; }
  int PixelScale() const override { return scale_; }
  // Where the client area lies on the emulated desktop. A window that is scaled up or moved
  // partly off the screen still shows all of its picture: the place is kept inside the desktop.
  void ClientOrigin(int& x, int& y) const override;
  void SetFullscreen(bool fullscreen) override {
    if (SDL_SetWindowFullscreen(window_, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0) {
      fullscreen_ = fullscreen;
    }
    Redraw();
  }
  bool Fullscreen() const override { return fullscreen_; }
  bool Active() const override { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0; }

  void SetNotice(const std::string& utf8) override {
    if (utf8 == notice_) return;
    notice_ = utf8;
    Redraw();
  }
  std::string Notice() const override { return notice_; }

  void Present(const uint32_t* pixels, int width, int height, int pitch) override {
    if (!pixels || width <= 0 || height <= 0 || pitch < width) return;
    KeepPresented(pixels, width, height, pitch, width_, height_, scale_, presented_, presentedW_, presentedH_);
    Redraw();
  }
  void PresentOwned(std::vector<uint32_t>& pixels, int width, int height) override {
    if (width <= 0 || height <= 0) return;
    KeepPresentedOwned(pixels, width, height, width_, height_, scale_, presented_, presentedW_, presentedH_);
    Redraw();
  }
  const std::vector<uint32_t>& LastPresented(int& width, int& height) const override {
    width = presentedW_;
    height = presentedH_;
    return presented_;
  }

  // Puts the last picture on the screen again (after an expose or a mode switch).
  void Redraw() {
    if (presented_.empty()) return;
    if (!texture_ || textureW_ != presentedW_ || textureH_ != presentedH_) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ =
          SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, presentedW_, presentedH_);
      textureW_ = presentedW_;
      textureH_ = presentedH_;
      // Full screen scales the picture to fit with its aspect kept (black bars). A picture at
      // the render scale keeps the client size as the logical size, so that the mouse still
      // reports the game's coordinates and whole-multiple scaling counts the game's pixels.
      const bool dense = scale_ > 1 && presentedW_ == width_ * scale_ && presentedH_ == height_ * scale_;
      SDL_RenderSetLogicalSize(renderer_, dense ? width_ : presentedW_, dense ? height_ : presentedH_);
      SDL_RenderSetIntegerScale(renderer_, look_.integerScaling ? SDL_TRUE : SDL_FALSE);
      if (texture_) SDL_SetTextureScaleMode(texture_, look_.smoothScaling ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
    }
    if (!texture_) return;
    if (notice_.empty()) {
      SDL_UpdateTexture(texture_, nullptr, presented_.data(), presentedW_ * 4);
    } else {
      composed_ = presented_;
      DrawNotice(composed_, presentedW_, presentedH_, notice_, std::max(1, presentedW_ / std::max(1, width_)));
      SDL_UpdateTexture(texture_, nullptr, composed_.data(), presentedW_ * 4);
    }
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
  }

 private:
  SdlHost& host_;
  SDL_Window* window_;
  SDL_Renderer* renderer_;
  SDL_Texture* texture_ = nullptr;
  int textureW_ = 0, textureH_ = 0;
  int width_, height_;
  int scale_;  // the render scale of the game window; 1 for dialogs
  bool fullscreen_ = false;
  std::vector<uint32_t> presented_;
  int presentedW_ = 0, presentedH_ = 0;
  ComfortSettings look_;
  std::string notice_;
  std::vector<uint32_t> composed_;  // the picture with the notice over it
};

class SdlHost final : public IHost {
 public:
  SdlHost(const SdlOptions& options, const ComfortSettings& settings)
      : settings_(settings), gameClock_(win::RealClock()) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
      throw HostStartError(std::string("cannot start the window system: ") + SDL_GetError());
    }
    int dw = 0, dh = 0;
    DesktopSize(dw, dh);
    renderScale_ = ResolveRenderScale(settings.renderScale, dw, dh);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, settings.smoothScaling ? "linear" : "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    audio_ = CreateSdlAudio(options.audio);
    joysticks_ = CreateSdlJoysticks(settings.padButtons);
    comforts_ = std::make_unique<Comforts>(settings_, gameClock_, *audio_, [] { return DWORD(SDL_GetTicks()); });
  }
  ~SdlHost() override {
    audio_.reset();
    joysticks_.reset();
    SDL_Quit();
  }

  std::string Name() const override { return "sdl"; }

  std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc) override {
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    if (desc.centred && desc.centreOn) {
      int ox = 0, oy = 0;
      desc.centreOn->ClientOrigin(ox, oy);
      // Over the middle of the window as it shows on the desktop (a game window at a render
      // scale is that many times its client size).
      const int k = desc.centreOn->PixelScale();
      x = ox + (desc.centreOn->ClientWidth() * k - desc.clientWidth) / 2;
      y = oy + (desc.centreOn->ClientHeight() * k - desc.clientHeight) / 2;
    } else if (!desc.centred) {
      x = y = SDL_WINDOWPOS_UNDEFINED;
    }
    uint32_t flags = SDL_WINDOW_HIDDEN;
    // The game's own form: a normal, resizable window unless the original borderless one is asked for.
    const bool game = !desc.border;
    if (game) flags |= settings_.windowFrame ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_BORDERLESS;
    // The game window shows its pictures pixel for pixel: render-scale times its client size.
    const int scale = game ? renderScale_ : 1;
    if (scale > 1 && desc.centred && !desc.centreOn) x = y = SDL_WINDOWPOS_CENTERED;
    SDL_Window* w =
        SDL_CreateWindow(desc.caption.c_str(), x, y, desc.clientWidth * scale, desc.clientHeight * scale, flags);
    if (!w) throw HostStartError(std::string("cannot create a window: ") + SDL_GetError());
    SDL_Renderer* r = SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED);
    if (!r) r = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
    if (!r) {
      std::string why = SDL_GetError();
      SDL_DestroyWindow(w);
      throw HostStartError("cannot draw into a window: " + why);
    }
    auto window = std::make_unique<SdlWindow>(*this, w, r, desc.clientWidth, desc.clientHeight, scale, settings_);
    windows_[window->Id()] = window.get();
    comforts_->WindowCreated(window.get(), game);
    if (game) SDL_SetWindowMinimumSize(w, desc.clientWidth / 4, desc.clientHeight / 4);
    if (desc.visible) window->Show(true);
    return window;
  }

  void Forget(uint32_t id) {
    if (IWindow* w = WindowOf(id)) comforts_->WindowGone(w);
    windows_.erase(id);
  }

  bool PollEvent(Event& event) override {
    comforts_->Update();
    UpdatePointer();
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (Translate(e, event) && comforts_->Filter(event)) return true;
    }
    return false;
  }

  // Waits by polling. SDL's own blocking wait wakes itself with an event sent to a window over
  // a second X connection; when that window has just been destroyed (the options dialog closing)
  // the X server answers BadWindow, and Xlib's default handler ends the whole program.
  void WaitEvent(int timeoutMs) override {
    const Uint32 start = SDL_GetTicks();
    for (;;) {
      SDL_PumpEvents();
      if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return;
      if (timeoutMs >= 0 && SDL_GetTicks() - start >= static_cast<Uint32>(timeoutMs)) return;
      SDL_Delay(1);
    }
  }

  // The game's clock: the real one, stopped while the game is paused.
  win::IClock& Clock() override { return gameClock_; }
  Comforts* GetComforts() override { return comforts_.get(); }

  const uint8_t* KeyboardState() override { return keys_; }

  void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) override {
    dx = mouseDx_;
    dy = mouseDy_;
    dz = mouseDz_;
    mouseDx_ = mouseDy_ = mouseDz_ = 0;
    uint32_t b = SDL_GetMouseState(nullptr, nullptr);
    buttons[0] = (b & SDL_BUTTON_LMASK) ? 0x80 : 0;
    buttons[1] = (b & SDL_BUTTON_RMASK) ? 0x80 : 0;
    buttons[2] = (b & SDL_BUTTON_MMASK) ? 0x80 : 0;
    buttons[3] = (b & SDL_BUTTON_X1MASK) ? 0x80 : 0;
  }

  bool HasFocus() override {
    SDL_Window* focus = SDL_GetKeyboardFocus();
    return focus && windows_.count(SDL_GetWindowID(focus)) != 0;
  }

  IJoysticks& Joysticks() override { return *joysticks_; }
  IAudioDevice& Audio() override { return *audio_; }

  void PresentMessageBox(const std::string& caption, const std::string& text) override {
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(), nullptr) != 0) {
      std::cerr << caption << ": " << text << std::endl;
    }
  }

  int RenderScale() const override { return renderScale_; }
  int DesktopBitDepth() override {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 32;
    int bits = SDL_BITSPERPIXEL(mode.format);
    // A 24-bit visual keeps its pixels in 32 bits, as a 32-bit Windows desktop does.
    return bits == 24 ? 32 : bits;
  }
  void DesktopSize(int& width, int& height) override {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
      width = 640;
      height = 480;
      return;
    }
    width = mode.w;
    height = mode.h;
  }
  bool ScreenSaverEnabled() override { return SDL_IsScreenSaverEnabled() == SDL_TRUE; }
  void SetScreenSaverEnabled(bool enabled) override {
    if (enabled) {
      SDL_EnableScreenSaver();
    } else {
      SDL_DisableScreenSaver();
    }
  }

 private:
  IWindow* WindowOf(uint32_t id) {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second;
  }

  // `mod`: the modifiers of a key event itself; the global state may already be further on
  // (a quick Alt+Enter arrives with Alt let go before its Enter is handled).
  uint32_t Shift(uint32_t buttons, uint16_t mod = SDL_GetModState()) const {
    uint32_t s = 0;
    if (mod & KMOD_SHIFT) s |= ssShift;
    if (mod & KMOD_CTRL) s |= ssCtrl;
    if (mod & KMOD_ALT) s |= ssAlt;
    if (buttons & SDL_BUTTON_LMASK) s |= ssLeft;
    if (buttons & SDL_BUTTON_RMASK) s |= ssRight;
    if (buttons & SDL_BUTTON_MMASK) s |= ssMiddle;
    return s;
  }

  bool Translate(const SDL_Event& e, Event& out) {
    out = Event{};
    switch (e.type) {
      case SDL_QUIT:
        out.type = EventType::Quit;
        return true;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        auto key = KeyByUsage(e.key.keysym.scancode);
        if (!key) return false;
        bool down = e.type == SDL_KEYDOWN;
        keys_[key->dik] = down ? 0x80 : 0;
        out.type = down ? EventType::KeyDown : EventType::KeyUp;
        out.window = WindowOf(e.key.windowID);
        out.vk = key->vk;
        out.scanCode = key->dik;
        out.repeat = e.key.repeat != 0;
        out.shift = Shift(SDL_GetMouseState(nullptr, nullptr), e.key.keysym.mod);
        return true;
      }
      case SDL_MOUSEMOTION:
        lastMotion_ = SDL_GetTicks();
        if (pointerHidden_ && comforts_->IsGameWindow(WindowOf(e.motion.windowID))) {
          SDL_Window* w = SDL_GetWindowFromID(e.motion.windowID);
          if (w && !(SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP)) ShowPointer(true);
        }
        mouseDx_ += e.motion.xrel;
        mouseDy_ += e.motion.yrel;
        out.type = EventType::MouseMove;
        out.window = WindowOf(e.motion.windowID);
        out.x = e.motion.x;
        out.y = e.motion.y;
        out.shift = Shift(e.motion.state);
        return true;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        int button = e.button.button == SDL_BUTTON_LEFT     ? mbLeft
                     : e.button.button == SDL_BUTTON_RIGHT  ? mbRight
                     : e.button.button == SDL_BUTTON_MIDDLE ? mbMiddle
                                                            : -1;
        if (button < 0) return false;
        out.type = e.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseDown : EventType::MouseUp;
        out.window = WindowOf(e.button.windowID);
        out.x = e.button.x;
        out.y = e.button.y;
        out.button = button;
        out.shift = Shift(SDL_GetMouseState(nullptr, nullptr));
        return true;
      }
      case SDL_MOUSEWHEEL:
        mouseDz_ += e.wheel.y * 120;
        return false;
      case SDL_WINDOWEVENT: {
        out.window = WindowOf(e.window.windowID);
        if (!out.window) return false;
        switch (e.window.event) {
          case SDL_WINDOWEVENT_EXPOSED:
            static_cast<SdlWindow*>(out.window)->Redraw();
            out.type = EventType::Paint;
            return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            out.type = EventType::Activate;
            return true;
          case SDL_WINDOWEVENT_MINIMIZED:
          case SDL_WINDOWEVENT_FOCUS_LOST:
            // Keys released while another window had the focus would otherwise stay down.
            std::fill(std::begin(keys_), std::end(keys_), uint8_t{0});
            out.type = EventType::Deactivate;
            return true;
          case SDL_WINDOWEVENT_MOVED:
            out.type = EventType::Move;
            out.x = e.window.data1;
            out.y = e.window.data2;
            return true;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            out.type = EventType::Size;
            out.x = e.window.data1;
            out.y = e.window.data2;
            return true;
          case SDL_WINDOWEVENT_CLOSE:
            out.type = EventType::Close;
            return true;
          default:
            return false;
        }
      }
      default:
        return false;
    }
  }

  // The pointer is hidden over the game's picture: always in full screen, and in a window
  // once it has been still for two seconds; over a dialog it shows.
  void UpdatePointer() {
    SDL_Window* over = SDL_GetMouseFocus();
    IWindow* window = over ? WindowOf(SDL_GetWindowID(over)) : nullptr;
    bool hide = false;
    if (comforts_->IsGameWindow(window)) {
      const bool full = (SDL_GetWindowFlags(over) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
      hide = full || SDL_GetTicks() - lastMotion_ >= 2000;
    }
    if (hide == pointerHidden_) return;
    ShowPointer(!hide);
  }
  void ShowPointer(bool show) {
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    pointerHidden_ = !show;
  }

  ComfortSettings settings_;
  int renderScale_ = 1;
  PausableClock gameClock_;
  win::ScopedClock scopedClock_{gameClock_};
  std::unique_ptr<Comforts> comforts_;
  bool pointerHidden_ = false;
  Uint32 lastMotion_ = 0;
  std::map<uint32_t, SdlWindow*> windows_;
  std::unique_ptr<IAudioDevice> audio_;
  std::unique_ptr<IJoysticks> joysticks_;
  uint8_t keys_[256] = {};
  int32_t mouseDx_ = 0, mouseDy_ = 0, mouseDz_ = 0;
};

void SdlWindow::ClientOrigin(int& x, int& y) const {
  SDL_GetWindowPosition(window_, &x, &y);
  int dw = 0, dh = 0;
  host_.DesktopSize(dw, dh);
  x = std::clamp(x, 0, std::max(0, dw - width_ * scale_));
  y = std::clamp(y, 0, std::max(0, dh - height_ * scale_));
}

SdlWindow::~SdlWindow() {
  host_.Forget(Id());
  if (texture_) SDL_DestroyTexture(texture_);
  SDL_DestroyRenderer(renderer_);
  SDL_DestroyWindow(window_);
}

}  // namespace

std::unique_ptr<IHost> CreateSdlHost(const SdlOptions& options, const ComfortSettings& comforts) {
  return std::make_unique<SdlHost>(options, comforts);
}

}  // namespace host
