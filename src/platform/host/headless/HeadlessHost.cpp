// The headless machine: no window system, no sound card. Windows are pictures in
// memory, time is a virtual clock that moves only when the program sleeps or waits,
// and keyboard and mouse input comes from a script, released tick by tick.
#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

#include "platform/host/Backends.h"
#include "platform/host/Comforts.h"
#include "platform/host/Hosts.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "platform/host/headless/Script.h"
#include "platform/rtl/Classes.h"

namespace host {
namespace {

class HeadlessHost;

class HeadlessWindow final : public IWindow {
 public:
  HeadlessWindow(HeadlessHost& host, const WindowDesc& desc);
  ~HeadlessWindow() override;

  void SetCaption(const std::string& utf8) override { caption_ = utf8; }
  std::string Caption() const override { return caption_; }
  void Show(bool visible) override;
  int ClientWidth() const override { return width_; }
  int ClientHeight() const override { return height_; }
  void ClientOrigin(int& x, int& y) const override {
    x = x_;
    y = y_;
  }
  void SetFullscreen(bool fullscreen) override { fullscreen_ = fullscreen; }
  bool Fullscreen() const override { return fullscreen_; }
  bool Active() const override;
  void Present(const uint32_t* pixels, int width, int height, int pitch) override {
    KeepPresented(pixels, width, height, pitch, width_, height_, scale_, presented_, presentedW_, presentedH_);
  }
  void PresentOwned(std::vector<uint32_t>& pixels, int width, int height) override {
    KeepPresentedOwned(pixels, width, height, width_, height_, scale_, presented_, presentedW_, presentedH_);
  }
  const std::vector<uint32_t>& LastPresented(int& width, int& height) const override {
    width = presentedW_;
    height = presentedH_;
    return presented_;
  }
  bool Visible() const { return visible_; }
  void SetNotice(const std::string& utf8) override { notice_ = utf8; }
  std::string Notice() const override { return notice_; }

 private:
  HeadlessHost& host_;
  std::string caption_;
  std::string notice_;
  int width_, height_;
  int scale_ = 1;  // the game window's render scale; 1 for dialogs
  int x_ = 0, y_ = 0;
  bool visible_ = false;
  bool fullscreen_ = false;
  std::vector<uint32_t> presented_;
  int presentedW_ = 0, presentedH_ = 0;
};

class HeadlessHost final : public IHost {
 public:
  HeadlessHost(const HeadlessOptions& options, const ComfortSettings& comforts, std::vector<ScriptEvent> script)
      : options_(options),
        clock_(options.clockStart),
        gameClock_(clock_),
        scopedClock_(gameClock_),
        script_(std::move(script)),
        joysticks_(CreateHeadlessJoysticks()),
        audio_(MakeHeadlessAudio(clock_, options.audio, options.audioOutPath)),
        comforts_(comforts, gameClock_, *audio_, [this] { return clock_.Milliseconds(); }),
        renderScale_(ResolveRenderScale(comforts.renderScale, options.desktopWidth, options.desktopHeight)) {
    ReleaseScript(0);
  }

  std::string Name() const override { return "headless"; }

  std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc) override {
    auto window = std::make_unique<HeadlessWindow>(*this, desc);
    comforts_.WindowCreated(window.get(), !desc.border);
    return window;
  }

  bool PollEvent(Event& event) override {
    Refocus();
    comforts_.Update();
    while (!queue_.empty()) {
      event = queue_.front();
      queue_.pop_front();
      // Input released before any window existed goes to the one that has the focus now.
      if (!event.window) event.window = ActiveWindow();
      if (comforts_.Filter(event)) return true;
    }
    return false;
  }

  // Nothing outside the program can happen while it waits, so waiting is just time passing.
  void WaitEvent(int timeoutMs) override {
    if (queue_.empty() && timeoutMs > 0) clock_.Advance(static_cast<DWORD>(timeoutMs));
  }

  // The game's clock: the machine's virtual clock, stopped while the game is paused.
  win::IClock& Clock() override { return gameClock_; }
  Comforts* GetComforts() override { return &comforts_; }

  const uint8_t* KeyboardState() override { return keys_; }

  void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) override {
    dx = mouseDx_;
    dy = mouseDy_;
    dz = 0;
    mouseDx_ = mouseDy_ = 0;
    for (int i = 0; i < 4; ++i) buttons[i] = mouseButtons_[i];
  }

  bool HasFocus() override { return !blurred_ && ActiveWindow() != nullptr; }
  IJoysticks& Joysticks() override { return *joysticks_; }
  IAudioDevice& Audio() override { return *audio_; }

  // A tick's own work is charged one virtual millisecond, so that with the 4 ms sleeps
  // of the idle loop the ticks fall exactly 25 virtual milliseconds apart.
  void TickDone(uint64_t ticksRun) override {
    clock_.Advance(1);
    ReleaseScript(ticksRun);
  }

  uint64_t ScreenLosses() override { return screenLosses_.load(); }
  int RenderScale() const override { return renderScale_; }

  int DesktopBitDepth() override { return options_.desktopBitDepth; }
  void DesktopSize(int& width, int& height) override {
    width = options_.desktopWidth;
    height = options_.desktopHeight;
  }
  bool ScreenSaverEnabled() override { return screenSaver_; }
  void SetScreenSaverEnabled(bool enabled) override { screenSaver_ = enabled; }

  // Window bookkeeping: the most recently shown window has the focus.
  void WindowShown(HeadlessWindow* w, bool visible) {
    std::erase(shown_, w);
    if (visible) {
      shown_.push_back(w);
      Post({.type = EventType::Activate, .window = w});
      Post({.type = EventType::Paint, .window = w});
    }
  }
  void WindowGone(HeadlessWindow* w) {
    comforts_.WindowGone(w);
    if (blurred_ == w) blurred_ = nullptr;
    std::erase(shown_, w);
    std::erase_if(queue_, [w](const Event& e) { return e.window == w; });
  }
  HeadlessWindow* ActiveWindow() const { return shown_.empty() ? nullptr : shown_.back(); }
  void Post(const Event& e) { queue_.push_back(e); }

 private:
  uint32_t ShiftFromKeys() const {
    uint32_t s = 0;
    if (keys_[0x2A] || keys_[0x36]) s |= ssShift;
    if (keys_[0x1D] || keys_[0x9D]) s |= ssCtrl;
    if (keys_[0x38] || keys_[0xB8]) s |= ssAlt;
    if (mouseButtons_[0]) s |= ssLeft;
    if (mouseButtons_[1]) s |= ssRight;
    return s;
  }

  // Queues the scripted events of tick `tick` (and any earlier ones not yet released).
  void ReleaseScript(uint64_t tick) {
    while (next_ < script_.size() && script_[next_].tick <= tick) {
      const ScriptEvent& s = script_[next_++];
      Event e;
      e.window = ActiveWindow();
      switch (s.kind) {
        case ScriptEvent::Kind::Down:
          e.type = EventType::KeyDown;
          e.repeat = keys_[s.key.dik] != 0;
          keys_[s.key.dik] = 0x80;
          e.vk = s.key.vk;
          e.scanCode = s.key.dik;
          e.shift = ShiftFromKeys();
          break;
        case ScriptEvent::Kind::Up:
          e.type = EventType::KeyUp;
          keys_[s.key.dik] = 0;
          e.vk = s.key.vk;
          e.scanCode = s.key.dik;
          e.shift = ShiftFromKeys();
          break;
        case ScriptEvent::Kind::SurfacesLost:
          // Another program takes the whole screen: video memory goes with it, and the
          // window is drawn anew when it comes back to the front.
          screenLosses_.fetch_add(1);
          repaint_ = true;
          [[fallthrough]];
        case ScriptEvent::Kind::Blur:
          // Another program takes the focus for a while; the machine's clock measures it.
          if (!e.window) continue;
          blurred_ = static_cast<HeadlessWindow*>(e.window);
          refocusAt_ = clock_.Milliseconds() + static_cast<DWORD>(s.x);
          e.type = EventType::Deactivate;
          break;
        case ScriptEvent::Kind::AudioLost:
        case ScriptEvent::Kind::AudioBack:
          audio_->SetLost(s.kind == ScriptEvent::Kind::AudioLost);
          continue;
        case ScriptEvent::Kind::Mouse:
          e.type = EventType::MouseMove;
          mouseDx_ += s.x - mouseX_;
          mouseDy_ += s.y - mouseY_;
          mouseX_ = s.x;
          mouseY_ = s.y;
          mouseButtons_[0] = s.left ? 0x80 : 0;
          mouseButtons_[1] = s.right ? 0x80 : 0;
          e.x = s.x;
          e.y = s.y;
          e.shift = ShiftFromKeys() | (s.shift ? ssShift : 0u);
          break;
      }
      Post(e);
    }
  }

  // The focus comes back once the machine's clock has passed the time of a blur.
  void Refocus() {
    if (!blurred_ || static_cast<int32_t>(clock_.Milliseconds() - refocusAt_) < 0) return;
    Post({.type = EventType::Activate, .window = blurred_});
    if (repaint_) Post({.type = EventType::Paint, .window = blurred_});
    repaint_ = false;
    blurred_ = nullptr;
  }

  HeadlessOptions options_;
  win::VirtualClock clock_;
  PausableClock gameClock_;
  win::ScopedClock scopedClock_;
  std::vector<ScriptEvent> script_;
  size_t next_ = 0;
  std::unique_ptr<IJoysticks> joysticks_;
  std::unique_ptr<HeadlessAudio> audio_;
  Comforts comforts_;
  int renderScale_;
  std::deque<Event> queue_;
  std::vector<HeadlessWindow*> shown_;
  HeadlessWindow* blurred_ = nullptr;
  DWORD refocusAt_ = 0;
  bool repaint_ = false;  // the screen was taken: paint the window when the focus returns
  std::atomic<uint64_t> screenLosses_{0};
  uint8_t keys_[256] = {};
  uint8_t mouseButtons_[4] = {};
  int32_t mouseDx_ = 0, mouseDy_ = 0;
  int mouseX_ = 0, mouseY_ = 0;
  bool screenSaver_ = true;
};

HeadlessWindow::HeadlessWindow(HeadlessHost& host, const WindowDesc& desc)
    : host_(host),
      caption_(desc.caption),
      width_(desc.clientWidth),
      height_(desc.clientHeight),
      scale_(desc.border ? 1 : host.RenderScale()) {
  int dw = 0, dh = 0;
  host.DesktopSize(dw, dh);
  if (desc.centred) {
    int ox = 0, oy = 0, ow = dw, oh = dh;
    if (desc.centreOn) {
      desc.centreOn->ClientOrigin(ox, oy);
      ow = desc.centreOn->ClientWidth();
      oh = desc.centreOn->ClientHeight();
    }
    x_ = ox + (ow - width_) / 2;
    y_ = oy + (oh - height_) / 2;
  }
  if (desc.visible) Show(true);
}

HeadlessWindow::~HeadlessWindow() { host_.WindowGone(this); }

void HeadlessWindow::Show(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  host_.WindowShown(this, visible);
}

bool HeadlessWindow::Active() const { return host_.ActiveWindow() == this; }

}  // namespace

std::unique_ptr<IHost> CreateHeadlessHost(const HeadlessOptions& options, const ComfortSettings& comforts) {
  std::vector<ScriptEvent> script;
  if (!options.scriptPath.empty()) {
    std::vector<uint8_t> bytes;
    try {
      bytes = rtl::ReadWholeFile(options.scriptPath);
    } catch (const rtl::Exception& e) {
      throw ScriptError(e.what());
    }
    script =
        ParseScript(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), options.scriptPath);
  }
  return std::make_unique<HeadlessHost>(options, comforts, std::move(script));
}

}  // namespace host
