#include <algorithm>
#include <filesystem>

#include "platform/host/demo/DemoHosts.h"
#include "platform/host/demo/Forwarding.h"
#include "platform/win/FileOpenHook.h"
#include "platform/win/ModulePath.h"

namespace host::demo {
namespace {

const char* TagName(uint8_t tag) {
  if (tag <= kClockBig) return "a clock reading";
  switch (tag) {
    case kTick:
      return "the end of a tick";
    case kState:
      return "a state checksum";
    case kPollNone:
    case kEvent:
      return "an event";
    case kKeys:
      return "the keyboard";
    case kMouse:
      return "the mouse";
    case kFocus:
      return "the input focus";
    case kJoyCount:
    case kJoyInfo:
    case kJoyState:
      return "a joystick";
    case kAudioAvailable:
    case kAudioOpen:
      return "the sound device";
    case kDesktopDepth:
    case kDesktopSize:
    case kScreenSaver:
      return "the desktop";
    case kWindowActive:
    case kWindowOrigin:
    case kWindowFullscreen:
      return "a window";
    case kFile:
      return "a data file";
    case kEnd:
      return "the end of the demo";
    default:
      return "something unknown";
  }
}

// A window of the real host whose state, as the program reads it, comes from the demo.
class PlayWindow final : public ForwardingWindow {
 public:
  PlayWindow(PlaybackHost& host, std::unique_ptr<IWindow> inner, uint32_t number)
      : ForwardingWindow(std::move(inner)), host_(host), number_(number) {}
  ~PlayWindow() override { host_.WindowGone(number_); }
  void ClientOrigin(int& x, int& y) const override {
    x = x_;
    y = y_;
    if (!host_.Playing()) return;
    if (!Window(kWindowOrigin, "a window's place")) return;
    const int64_t nx = host_.In().Zig(), ny = host_.In().Zig();
    x_ = x = static_cast<int>(std::clamp<int64_t>(nx, INT32_MIN, INT32_MAX));
    y_ = y = static_cast<int>(std::clamp<int64_t>(ny, INT32_MIN, INT32_MAX));
  }
  bool Fullscreen() const override { return Flag(kWindowFullscreen, "the full-screen state", fullscreen_); }
  bool Active() const override { return Flag(kWindowActive, "a window's activation", active_); }

 private:
  bool Window(uint8_t tag, const char* what) const {
    if (!host_.Take(tag, what)) return false;
    if (host_.In().Var() != number_) {
      host_.Desync(std::string("the program asked another window for ") + what + " than the demo did");
      return false;
    }
    return true;
  }
  bool Flag(uint8_t tag, const char* what, bool& last) const {
    if (host_.Playing() && Window(tag, what)) last = host_.In().U8() != 0;
    return last;
  }

  PlaybackHost& host_;
  uint32_t number_;
  mutable int x_ = 0, y_ = 0;
  mutable bool active_ = false, fullscreen_ = false;
};

}  // namespace

PlaybackHost::PlaybackHost(std::unique_ptr<IHost> inner, Demo demo, PlayOptions options)
    : ForwardingHost(std::move(inner)), demo_(std::move(demo)), options_(std::move(options)), in_(demo_.records) {
  dataDir_ = NormalDataDir(options_.dataDir);
  for (const FileFingerprint& f : demo_.header.files) fingerprints_[f.name] = f;
  win::SetFileOpenObserver([this](const std::string& path) { FileOpened(path); });
}

PlaybackHost::~PlaybackHost() { win::SetFileOpenObserver({}); }

void PlaybackHost::Desync(const std::string& why) {
  if (outcome_ != Outcome::Playing) return;
  outcome_ = Outcome::OutOfSync;
  why_ = why;
}

bool PlaybackHost::Take(uint8_t tag, const char* what) {
  if (outcome_ != Outcome::Playing) return false;
  if (in_.AtEnd()) {
    outcome_ = demo_.complete ? Outcome::Finished : Outcome::CutShort;
    return false;
  }
  ByteReader peek = in_;
  const uint8_t next = peek.U8();
  const bool clock = tag == kClockBig && next <= kClockBig;
  if (next == kEnd) {
    outcome_ = Outcome::Finished;
    return false;
  }
  if (next != tag && !clock) {
    Desync(std::string("the program read ") + what + " where the demo holds " + TagName(next));
    return false;
  }
  if (!clock) in_.U8();
  return true;
}

IWindow* PlaybackHost::WindowByNumber(uint32_t number) const {
  return number < windows_.size() ? windows_[number] : nullptr;
}

void PlaybackHost::WindowGone(uint32_t number) {
  if (number < windows_.size()) windows_[number] = nullptr;
}

std::unique_ptr<IWindow> PlaybackHost::CreateWindow(const WindowDesc& desc) {
  WindowDesc d = desc;
  if (auto* centre = dynamic_cast<PlayWindow*>(desc.centreOn)) d.centreOn = &centre->Inner();
  const auto number = static_cast<uint32_t>(windows_.size());
  auto window = std::make_unique<PlayWindow>(*this, inner_->CreateWindow(d), number);
  windows_.push_back(window.get());
  return window;
}

// Live input is not the game's: only Escape (or closing the window) counts, and stops
// the playback. The real host still has to be asked, so that its windows stay alive.
void PlaybackHost::DrainLiveInput() {
  Event live;
  while (inner_->PollEvent(live)) {
    const bool escape = live.type == EventType::KeyDown && live.vk == 27;
    if (escape || live.type == EventType::Close || live.type == EventType::Quit) {
      if (outcome_ == Outcome::Playing) {
        outcome_ = Outcome::Stopped;
        why_ = escape ? "stopped with Escape" : "the window was closed";
      }
    }
  }
}

bool PlaybackHost::PollEvent(Event& event) {
  if (!Playing()) return false;
  DrainLiveInput();
  if (outcome_ == Outcome::Playing && !in_.AtEnd()) {
    ByteReader peek = in_;
    if (peek.U8() == kPollNone) {
      in_.U8();
      return false;
    }
  }
  if (Take(kEvent, "an event")) {
    EventRecord r;
    if (ReadEvent(in_, r)) {
      event = Event{};
      event.type = static_cast<EventType>(r.type);
      event.window = WindowByNumber(r.window);
      event.vk = r.vk;
      event.scanCode = r.scanCode;
      event.repeat = r.repeat;
      event.x = r.x;
      event.y = r.y;
      event.button = r.button;
      event.shift = r.shift;
      return true;
    }
    Desync("a damaged event");
  }
  // The demo has ended, or cannot go on: the program is asked to quit.
  event = Event{};
  event.type = EventType::Quit;
  return true;
}

DWORD PlaybackHost::PlayClock::Milliseconds() {
  if (!host_.Playing()) return last_;
  if (!host_.Take(kClockBig, "the clock")) {
    // Past the end: time goes on, so that nothing waits for it in vain.
    last_ = last_ + 25;
    return last_;
  }
  const uint8_t tag = host_.in_.U8();
  const DWORD delta = tag < kClockSmallLimit ? tag : static_cast<DWORD>(host_.in_.Var());
  last_ = last_ + delta;
  if (auto* virtualClock = dynamic_cast<win::VirtualClock*>(&host_.inner_->Clock())) {
    // The headless machine's audio sink listens to its clock: it hears the recorded time.
    if (started_) virtualClock->Advance(delta);
  }
  if (!started_) {
    started_ = true;
    start_ = std::chrono::steady_clock::now();
  } else {
    recordedMs_ += delta;
  }
  if (host_.options_.live) {
    // Keep the recorded pace in a window (never more than a second's wait at a time).
    const auto due = start_ + std::chrono::milliseconds(recordedMs_);
    const auto now = std::chrono::steady_clock::now();
    if (due > now)
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(due - now, std::chrono::seconds(1)));
  }
  return last_;
}

// The recorded time is what the game reads; sleeping adds nothing to it. Other threads
// sleep on the real host's clock as they would without a demo.
void PlaybackHost::PlayClock::SleepMilliseconds(DWORD ms) {
  if (!host_.Playing()) host_.inner_->Clock().SleepMilliseconds(ms);
}

const uint8_t* PlaybackHost::KeyboardState() {
  if (Playing() && Take(kKeys, "the keyboard")) {
    const uint64_t n = in_.Var();
    for (uint64_t i = 0; i < n && i < 256; ++i) {
      const uint8_t key = in_.U8();
      keys_[key] = in_.U8();
    }
  }
  return keys_;
}

void PlaybackHost::MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) {
  dx = dy = dz = 0;
  std::fill(buttons, buttons + 4, uint8_t{0});
  if (!Playing() || !Take(kMouse, "the mouse")) return;
  auto int32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  dx = int32(in_.Zig());
  dy = int32(in_.Zig());
  dz = int32(in_.Zig());
  for (int i = 0; i < 4; ++i) buttons[i] = in_.U8();
}

bool PlaybackHost::HasFocus() {
  if (!Playing() || !Take(kFocus, "the input focus")) return false;
  return in_.U8() != 0;
}

int PlaybackHost::PlayJoysticks::Count() {
  if (!host_.Playing() || !host_.Take(kJoyCount, "the joystick count")) return 0;
  return static_cast<int>(std::min<uint64_t>(host_.in_.Var(), 64));
}

JoystickInfo PlaybackHost::PlayJoysticks::Info(int) {
  JoystickInfo info;
  if (!host_.Playing() || !host_.Take(kJoyInfo, "a joystick's description")) return info;
  ByteReader& in = host_.in_;
  info.productName = in.Str();
  info.instanceName = in.Str();
  info.axes = static_cast<int>(std::min<uint64_t>(in.Var(), 1024));
  info.buttons = static_cast<int>(std::min<uint64_t>(in.Var(), 1024));
  info.hats = static_cast<int>(std::min<uint64_t>(in.Var(), 1024));
  info.forceFeedback = in.U8() != 0;
  return info;
}

bool PlaybackHost::PlayJoysticks::State(int, JoystickState& state) {
  if (!host_.Playing() || !host_.Take(kJoyState, "a joystick")) return false;
  ByteReader& in = host_.in_;
  if (in.U8() == 0) return false;
  state = JoystickState{};
  auto int32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  for (int32_t& a : state.axes) a = int32(in.Zig());
  for (int32_t& h : state.hats) h = int32(in.Zig());
  for (uint8_t& b : state.buttons) b = in.U8();
  return true;
}

bool PlaybackHost::PlayAudio::Available() const {
  if (!host_.Playing() || !host_.Take(kAudioAvailable, "whether there is a sound device")) return false;
  return host_.in_.U8() != 0;
}

// A device that opened in the recording opens here too; where this machine has no sound,
// the game plays on unheard.
bool PlaybackHost::PlayAudio::Open(int rate, Callback callback) {
  if (!host_.Playing() || !host_.Take(kAudioOpen, "opening the sound device")) return false;
  const bool opened = host_.in_.U8() != 0;
  if (opened && !innerOpen_) innerOpen_ = host_.inner_->Audio().Open(rate, std::move(callback));
  return opened;
}

void PlaybackHost::PlayAudio::Close() {
  if (innerOpen_) host_.inner_->Audio().Close();
  innerOpen_ = false;
}

int PlaybackHost::DesktopBitDepth() {
  if (!Playing() || !Take(kDesktopDepth, "the desktop's colour depth")) return 32;
  return static_cast<int>(std::min<uint64_t>(in_.Var(), 64));
}

void PlaybackHost::DesktopSize(int& width, int& height) {
  width = 640;
  height = 480;
  if (!Playing() || !Take(kDesktopSize, "the desktop's size")) return;
  width = static_cast<int>(std::min<uint64_t>(in_.Var(), 1 << 16));
  height = static_cast<int>(std::min<uint64_t>(in_.Var(), 1 << 16));
}

bool PlaybackHost::ScreenSaverEnabled() {
  if (!Playing() || !Take(kScreenSaver, "the screen saver")) return true;
  return in_.U8() != 0;
}

bool PlaybackHost::CheckState(uint32_t checksum) {
  if (!Playing() || outcome_ != Outcome::Playing) return outcome_ != Outcome::OutOfSync;
  ByteReader peek = in_;
  if (peek.U8() != kState) return true;  // no checksum at this tick
  in_.U8();
  if (in_.U32() != checksum) Desync("the game state differs from the recorded one");
  return outcome_ != Outcome::OutOfSync;
}

void PlaybackHost::TickDone(uint64_t) {
  if (!Playing() || !Take(kTick, "the end of a tick")) return;
  ++ticks_;
  headerFilesDone_ = true;
}

void PlaybackHost::FileOpened(const std::string& path) {
  if (!Playing()) return;
  const std::string name = DataFileName(path, dataDir_);
  if (name.empty()) return;
  FileFingerprint now{name, 0, 0};
  if (!FingerprintFile(path, now.size, now.hash)) return;
  if (!headerFilesDone_) {
    auto it = fingerprints_.find(name);
    if (it == fingerprints_.end()) {
      Desync("the program read the data file " + name + ", which the demo never read");
    } else if (!(it->second == now)) {
      Desync("the data file " + name + " differs from the one the demo was recorded with");
    }
    return;
  }
  if (!Take(kFile, "a data file")) return;
  FileFingerprint then;
  then.name = in_.Str();
  then.size = in_.U64();
  then.hash = in_.U64();
  if (then.name != name) {
    Desync("the program read the data file " + name + " where the demo read " + then.name);
  } else if (!(then == now)) {
    Desync("the data file " + name + " differs from the one the demo was recorded with");
  }
}

PlaybackHost::Outcome PlaybackHost::Conclude() {
  if (outcome_ != Outcome::Playing) return outcome_;
  if (in_.AtEnd()) {
    outcome_ = demo_.complete ? Outcome::Finished : Outcome::CutShort;
  } else {
    ByteReader peek = in_;
    if (peek.U8() == kEnd) {
      outcome_ = Outcome::Finished;
    } else {
      Desync("the program ended where the demo goes on");
    }
  }
  if (outcome_ == Outcome::CutShort) why_ = demo_.cutShortWhy;
  return outcome_;
}

void CheckDataSet(const Header& header, const std::string& dataDir) {
  const std::string dir = NormalDataDir(dataDir);
  for (const FileFingerprint& f : header.files) {
    if (f.name.empty() || f.name.find("..") != std::string::npos) {
      throw DemoError("the demo names a data file outside the data folder: " + f.name);
    }
    const std::string path = win::ResolvePathCaseInsensitive(dir + f.name);
    uint64_t size = 0, hash = 0;
    if (!FingerprintFile(path, size, hash)) {
      throw DemoError("the demo was recorded with the data file " + f.name + ", which is missing from " + dir);
    }
    if (size != f.size || hash != f.hash) {
      throw DemoError("the data file " + f.name + " in " + dir +
                      " differs from the one the demo was recorded with (the demo was made with other data)");
    }
  }
}

}  // namespace host::demo
