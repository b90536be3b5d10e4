#include <algorithm>
#include <filesystem>

#include "platform/host/demo/DemoHosts.h"
#include "platform/host/demo/Forwarding.h"
#include "platform/win/FileOpenHook.h"

namespace host::demo {
namespace {

// The chunks are written once a second of real time, so that a killed recording keeps
// everything up to its last second.
constexpr auto kFlushEvery = std::chrono::seconds(1);

// A window of the real host that reports what the program reads of it.
class RecWindow final : public ForwardingWindow {
 public:
  RecWindow(RecordingHost& host, std::unique_ptr<IWindow> inner) : ForwardingWindow(std::move(inner)), host_(host) {}
  ~RecWindow() override { host_.WindowGone(inner_.get()); }
  void ClientOrigin(int& x, int& y) const override {
    inner_->ClientOrigin(x, y);
    if (!host_.Recording()) return;
    host_.Out().U8(kWindowOrigin);
    host_.Out().Var(host_.NumberOf(this));
    host_.Out().Zig(x);
    host_.Out().Zig(y);
  }
  bool Fullscreen() const override { return Flag(kWindowFullscreen, inner_->Fullscreen()); }
  bool Active() const override { return Flag(kWindowActive, inner_->Active()); }

 private:
  bool Flag(uint8_t tag, bool value) const {
    if (host_.Recording()) {
      host_.Out().U8(tag);
      host_.Out().Var(host_.NumberOf(this));
      host_.Out().U8(value ? 1 : 0);
    }
    return value;
  }

  RecordingHost& host_;
};

}  // namespace

void RecordingHost::Closer::operator()(std::FILE* f) const { std::fclose(f); }

RecordingHost::RecordingHost(std::unique_ptr<IHost> inner, RecordOptions options)
    : ForwardingHost(std::move(inner)), options_(std::move(options)) {
  file_.reset(std::fopen(options_.path.c_str(), "wb"));
  if (!file_) throw DemoError("demo " + options_.path + ": cannot create the file");
  header_.programVersion = options_.programVersion;
  header_.seed = options_.seed;
  dataDir_ = NormalDataDir(options_.dataDir);
  win::SetFileOpenObserver([this](const std::string& path) { FileOpened(path); });
}

RecordingHost::~RecordingHost() {
  Finish();
  win::SetFileOpenObserver({});
}

uint32_t RecordingHost::NumberOf(const IWindow* wrapper) const {
  for (const auto& [inner, known] : windows_) {
    if (known.wrapper == wrapper) return known.number;
  }
  return 0;
}

void RecordingHost::WindowGone(const IWindow* inner) { windows_.erase(inner); }

void RecordingHost::FileOpened(const std::string& path) {
  if (std::this_thread::get_id() != owner_) return;
  const std::string name = DataFileName(path, dataDir_);
  if (name.empty()) return;
  auto it = fingerprints_.find(path);
  if (it == fingerprints_.end()) {
    FileFingerprint f{name, 0, 0};
    if (!FingerprintFile(path, f.size, f.hash)) return;
    it = fingerprints_.emplace(path, f).first;
  }
  const FileFingerprint& f = it->second;
  if (!headerWritten_) {
    if (std::find(header_.files.begin(), header_.files.end(), f) == header_.files.end()) header_.files.push_back(f);
    return;
  }
  chunk_.U8(kFile);
  chunk_.Str(f.name);
  chunk_.U64(f.size);
  chunk_.U64(f.hash);
}

std::unique_ptr<IWindow> RecordingHost::CreateWindow(const WindowDesc& desc) {
  WindowDesc d = desc;
  if (auto* centre = dynamic_cast<RecWindow*>(desc.centreOn)) d.centreOn = &centre->Inner();
  auto window = std::make_unique<RecWindow>(*this, inner_->CreateWindow(d));
  windows_[&window->Inner()] = {window.get(), suspended_ ? 0u : nextWindow_++};
  return window;
}

bool RecordingHost::PollEvent(Event& event) {
  const bool got = inner_->PollEvent(event);
  if (got) {
    auto it = windows_.find(event.window);
    event.window = it == windows_.end() ? nullptr : it->second.wrapper;
  }
  if (!Recording()) return got;
  if (!got) {
    chunk_.U8(kPollNone);
    return false;
  }
  EventRecord r;
  r.type = static_cast<uint8_t>(event.type);
  r.window = event.window ? NumberOf(event.window) : 0;
  r.vk = event.vk;
  r.scanCode = event.scanCode;
  r.repeat = event.repeat;
  r.x = event.x;
  r.y = event.y;
  r.button = event.button;
  r.shift = event.shift;
  chunk_.U8(kEvent);
  WriteEvent(chunk_, r);
  return true;
}

DWORD RecordingHost::RecClock::Milliseconds() {
  const DWORD now = host_.inner_->Clock().Milliseconds();
  if (host_.Recording()) {
    const DWORD delta = now - last_;
    if (delta < kClockSmallLimit) {
      host_.chunk_.U8(static_cast<uint8_t>(delta));
    } else {
      host_.chunk_.U8(kClockBig);
      host_.chunk_.Var(delta);
    }
    last_ = now;
  }
  return now;
}

const uint8_t* RecordingHost::KeyboardState() {
  const uint8_t* keys = inner_->KeyboardState();
  if (!Recording()) return keys;
  uint8_t changed[256];
  int n = 0;
  for (int i = 0; i < 256; ++i) {
    if (keys[i] != keys_[i]) changed[n++] = static_cast<uint8_t>(i);
  }
  chunk_.U8(kKeys);
  chunk_.Var(static_cast<uint64_t>(n));
  for (int i = 0; i < n; ++i) {
    chunk_.U8(changed[i]);
    chunk_.U8(keys[changed[i]]);
    keys_[changed[i]] = keys[changed[i]];
  }
  return keys;
}

void RecordingHost::MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) {
  inner_->MouseState(dx, dy, dz, buttons);
  if (!Recording()) return;
  chunk_.U8(kMouse);
  chunk_.Zig(dx);
  chunk_.Zig(dy);
  chunk_.Zig(dz);
  for (int i = 0; i < 4; ++i) chunk_.U8(buttons[i]);
}

bool RecordingHost::HasFocus() {
  const bool focus = inner_->HasFocus();
  if (Recording()) {
    chunk_.U8(kFocus);
    chunk_.U8(focus ? 1 : 0);
  }
  return focus;
}

int RecordingHost::RecJoysticks::Count() {
  const int n = host_.inner_->Joysticks().Count();
  if (host_.Recording()) {
    host_.chunk_.U8(kJoyCount);
    host_.chunk_.Var(static_cast<uint64_t>(std::clamp(n, 0, 64)));
  }
  return std::clamp(n, 0, 64);
}

JoystickInfo RecordingHost::RecJoysticks::Info(int index) {
  JoystickInfo info = host_.inner_->Joysticks().Info(index);
  if (host_.Recording()) {
    ByteWriter& out = host_.chunk_;
    info.productName.resize(std::min<size_t>(info.productName.size(), kMaxStringBytes));
    info.instanceName.resize(std::min<size_t>(info.instanceName.size(), kMaxStringBytes));
    out.U8(kJoyInfo);
    out.Str(info.productName);
    out.Str(info.instanceName);
    out.Var(static_cast<uint64_t>(std::max(info.axes, 0)));
    out.Var(static_cast<uint64_t>(std::max(info.buttons, 0)));
    out.Var(static_cast<uint64_t>(std::max(info.hats, 0)));
    out.U8(info.forceFeedback ? 1 : 0);
  }
  return info;
}

bool RecordingHost::RecJoysticks::State(int index, JoystickState& state) {
  const bool delivered = host_.inner_->Joysticks().State(index, state);
  if (host_.Recording()) {
    ByteWriter& out = host_.chunk_;
    out.U8(kJoyState);
    out.U8(delivered ? 1 : 0);
    if (delivered) {
      for (int32_t a : state.axes) out.Zig(a);
      for (int32_t h : state.hats) out.Zig(h);
      for (uint8_t b : state.buttons) out.U8(b);
    }
  }
  return delivered;
}

bool RecordingHost::RecAudio::Available() const {
  const bool available = host_.inner_->Audio().Available();
  if (host_.Recording()) {
    host_.chunk_.U8(kAudioAvailable);
    host_.chunk_.U8(available ? 1 : 0);
  }
  return available;
}

bool RecordingHost::RecAudio::Open(int rate, Callback callback) {
  const bool opened = host_.inner_->Audio().Open(rate, std::move(callback));
  if (host_.Recording()) {
    host_.chunk_.U8(kAudioOpen);
    host_.chunk_.U8(opened ? 1 : 0);
  }
  return opened;
}

int RecordingHost::DesktopBitDepth() {
  const int bits = inner_->DesktopBitDepth();
  if (Recording()) {
    chunk_.U8(kDesktopDepth);
    chunk_.Var(static_cast<uint64_t>(std::max(bits, 0)));
  }
  return std::max(bits, 0);
}

void RecordingHost::DesktopSize(int& width, int& height) {
  inner_->DesktopSize(width, height);
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (Recording()) {
    chunk_.U8(kDesktopSize);
    chunk_.Var(static_cast<uint64_t>(width));
    chunk_.Var(static_cast<uint64_t>(height));
  }
}

bool RecordingHost::ScreenSaverEnabled() {
  const bool enabled = inner_->ScreenSaverEnabled();
  if (Recording()) {
    chunk_.U8(kScreenSaver);
    chunk_.U8(enabled ? 1 : 0);
  }
  return enabled;
}

void RecordingHost::NoteState(uint32_t checksum) {
  if (!Recording()) return;
  chunk_.U8(kState);
  chunk_.U32(checksum);
}

void RecordingHost::TickDone(uint64_t ticksRun) {
  inner_->TickDone(ticksRun);
  if (std::this_thread::get_id() != owner_ || finished_) return;
  chunk_.U8(kTick);
  ++chunkTicks_;
  ++ticks_;
  WriteOut(false);
}

bool RecordingHost::WriteHeader() {
  // Once written, the header only changes its tick count, so it keeps its size.
  if (!headerWritten_) written_ = header_;
  written_.ticks = header_.ticks;
  const std::vector<uint8_t> bytes = EncodeHeader(written_);
  if (std::fseek(file_.get(), 0, SEEK_SET) != 0) return false;
  return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

// The header goes out with the first tick: by then the options dialog has been answered
// and the start-up files have been read.
void RecordingHost::WriteOut(bool force) {
  if (failed_ || !file_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!headerWritten_) {
    if (!WriteHeader()) failed_ = true;
    headerWritten_ = true;
  } else if (!force && now - lastFlush_ < kFlushEvery) {
    return;
  }
  if (!chunk_.bytes.empty()) {
    const std::vector<uint8_t> bytes = EncodeChunk(chunk_.bytes, chunkTicks_);
    if (std::fseek(file_.get(), 0, SEEK_END) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
      failed_ = true;
    }
  }
  if (std::fflush(file_.get()) != 0) failed_ = true;
  chunk_.bytes.clear();
  chunkTicks_ = 0;
  lastFlush_ = now;
}

bool RecordingHost::Finish() {
  if (finished_) return !failed_;
  finished_ = true;
  win::SetFileOpenObserver({});
  chunk_.U8(kEnd);
  chunk_.Var(ticks_);
  WriteOut(true);
  header_.ticks = ticks_;
  if (!failed_ && (!WriteHeader() || std::fflush(file_.get()) != 0)) failed_ = true;
  if (std::fclose(file_.release()) != 0) failed_ = true;
  return !failed_;
}

// ---- data files ----

std::string NormalDataDir(const std::string& dir) {
  if (dir.empty()) return {};
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(dir, ec);
  if (ec) p = dir;
  std::string s = p.lexically_normal().string();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

std::string DataFileName(const std::string& path, const std::string& dataDir) {
  if (dataDir.empty()) return {};
  const std::string normal = NormalDataDir(path);  // with a '/' added, taken off again below
  const std::string file = normal.substr(0, normal.size() - 1);
  if (file.size() <= dataDir.size() || file.compare(0, dataDir.size(), dataDir) != 0) return {};
  return file.substr(dataDir.size());
}

}  // namespace host::demo
