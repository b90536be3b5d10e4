#include "platform/host/Comforts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/host/KeyMap.h"
#include "platform/host/services/FontRaster.h"
#include "platform/host/services/ImageCodecs.h"

namespace host {

// ---- The clock ---------------------------------------------------------------------

DWORD PausableClock::Milliseconds() {
  std::lock_guard lock(mutex_);
  if (paused_) return frozenAt_;
  return base_.Milliseconds() - offset_;
}

void PausableClock::Pause() {
  std::lock_guard lock(mutex_);
  if (paused_) return;
  frozenAt_ = base_.Milliseconds() - offset_;
  paused_ = true;
}

void PausableClock::Resume() {
  std::lock_guard lock(mutex_);
  if (!paused_) return;
  // The clock goes on from where it stopped: the paused time is never seen.
  offset_ = base_.Milliseconds() - frozenAt_;
  paused_ = false;
}

bool PausableClock::Paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

// ---- Render scale ------------------------------------------------------------------

int ResolveRenderScale(int setting, int desktopWidth, int desktopHeight) {
  if (setting >= 1) return std::min(setting, 4);
  int k = 1;
  while (k < 4 && 640 * (k + 1) <= desktopWidth && 480 * (k + 1) <= desktopHeight) ++k;
  return k;
}

void ScalePictureUp(const uint32_t* pixels, int width, int height, int pitch, int k, std::vector<uint32_t>& out) {
  out.clear();
  if (!pixels || width <= 0 || height <= 0 || pitch < width || k < 1) return;
  const int W = width * k, H = height * k;
  out.resize(size_t(W) * size_t(H));
  // Output pixel X has its centre at source coordinate (X + 0.5) / k - 0.5; weights in 1/256.
  struct Tap {
    int i0, i1, w1;
  };
  auto taps = [k](int n, int size) {
    std::vector<Tap> t(size_t(n) * size_t(k));
    for (int X = 0; X < n * k; ++X) {
      const int num = (2 * X + 1) * 256 - k * 256;  // 256 * 2k * source coordinate
      const int base = num >= 0 ? num / (2 * k * 256) : -1;
      int frac = num >= 0 ? (num - base * 2 * k * 256) / (2 * k) : 0;
      int i0 = std::clamp(base, 0, size - 1), i1 = std::clamp(base + 1, 0, size - 1);
      if (num < 0) i0 = i1 = 0, frac = 0;
      t[size_t(X)] = {i0, i1, frac};
    }
    return t;
  };
  const std::vector<Tap> tx = taps(width, width), ty = taps(height, height);
  auto mix = [](uint32_t a, uint32_t b, int w) {
    uint32_t r = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int ca = int((a >> shift) & 0xFF), cb = int((b >> shift) & 0xFF);
      r |= uint32_t((ca * (256 - w) + cb * w + 128) >> 8) << shift;
    }
    return r;
  };
  for (int Y = 0; Y < H; ++Y) {
    const Tap& v = ty[size_t(Y)];
    const uint32_t* r0 = pixels + size_t(v.i0) * size_t(pitch);
    const uint32_t* r1 = pixels + size_t(v.i1) * size_t(pitch);
    uint32_t* o = out.data() + size_t(Y) * size_t(W);
    for (int X = 0; X < W; ++X) {
      const Tap& h = tx[size_t(X)];
      o[X] = mix(mix(r0[h.i0], r0[h.i1], h.w1), mix(r1[h.i0], r1[h.i1], h.w1), v.w1);
    }
  }
}

void KeepPresented(const uint32_t* pixels, int width, int height, int pitch, int clientWidth, int clientHeight,
                   int scale, std::vector<uint32_t>& kept, int& keptWidth, int& keptHeight) {
  if (!pixels || width <= 0 || height <= 0 || pitch < width) return;
  if (scale > 1 && width == clientWidth && height == clientHeight) {
    ScalePictureUp(pixels, width, height, pitch, scale, kept);
    keptWidth = width * scale;
    keptHeight = height * scale;
    return;
  }
  keptWidth = width;
  keptHeight = height;
  kept.resize(size_t(width) * size_t(height));
  for (int row = 0; row < height; ++row)
    std::copy_n(pixels + size_t(row) * size_t(pitch), width, kept.begin() + ptrdiff_t(row) * width);
}

void KeepPresentedOwned(std::vector<uint32_t>& pixels, int width, int height, int clientWidth, int clientHeight,
                        int scale, std::vector<uint32_t>& kept, int& keptWidth, int& keptHeight) {
  if (width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height)) return;
  if (pixels.size() != size_t(width) * size_t(height) ||
      (scale > 1 && width == clientWidth && height == clientHeight)) {
    KeepPresented(pixels.data(), width, height, width, clientWidth, clientHeight, scale, kept, keptWidth, keptHeight);
    return;
  }
  kept.swap(pixels);
  keptWidth = width;
  keptHeight = height;
}

// ---- Notices -----------------------------------------------------------------------

void DrawNotice(std::vector<uint32_t>& pixels, int width, int height, const std::string& utf8, int scale) {
  scale = std::clamp(scale, 1, 4);
  if (utf8.empty() || width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height)) return;
  // One cache of opened fonts for the process, as the machine has one set of fonts.
  static services::FontLibrary fonts;
  services::FontRequest request;
  request.face = "Tahoma";
  request.charset = 128;  // Japanese notices fall back to a gothic
  request.height = -20 * scale;
  request.weight = 700;
  request.antialiased = true;
  std::shared_ptr<services::Font> font = fonts.Open(request);
  if (!font) return;
  services::TextBitmap text;
  font->Rasterize(utf8, text);
  const int cellH = font->Metrics().height;
  const int x0 = (width - text.advance) / 2;
  const int y0 = height - cellH - 24 * scale;
  // A dark band behind the text, so it reads over any picture.
  const int bandTop = std::max(0, y0 - 6 * scale), bandBottom = std::min(height, y0 + cellH + 6 * scale);
  const int bandLeft = std::max(0, x0 - 12 * scale), bandRight = std::min(width, x0 + text.advance + 12 * scale);
  for (int y = bandTop; y < bandBottom; ++y) {
    for (int x = bandLeft; x < bandRight; ++x) {
      uint32_t& p = pixels[size_t(y) * size_t(width) + size_t(x)];
      p = (p >> 2) & 0x3F3F3F;
    }
  }
  for (int j = 0; j < text.height; ++j) {
    const int y = y0 + text.top + j;
    if (y < 0 || y >= height) continue;
    for (int i = 0; i < text.width; ++i) {
      const int x = x0 + text.left + i;
      if (x < 0 || x >= width) continue;
      const uint32_t a = text.coverage[size_t(j) * size_t(text.width) + size_t(i)];
      if (!a) continue;
      uint32_t& p = pixels[size_t(y) * size_t(width) + size_t(x)];
      uint32_t out = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (p >> shift) & 0xFF;
        out |= ((c * (255 - a) + 255 * a) / 255) << shift;
      }
      p = out;
    }
  }
}

// ---- Screenshots -------------------------------------------------------------------

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// XDG_PICTURES_DIR="$HOME/Pictures" in the user's user-dirs.dirs.
std::string PicturesFromUserDirs(const std::string& home) {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = home + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_PICTURES_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value;
  }
  return "";
}

}  // namespace

std::string ScreenshotDirectory(const std::string& configured) {
  if (!configured.empty()) return configured;
  const std::string home = Env("HOME");
  std::string pictures = Env("XDG_PICTURES_DIR");
  if (pictures.empty()) pictures = PicturesFromUserDirs(home);
  if (pictures.empty()) pictures = (home.empty() ? std::string(".") : home) + "/Pictures";
  return pictures + "/tavvyhop";
}

ScreenshotResult SaveScreenshot(const std::string& dir, const std::vector<uint32_t>& pixels, int width, int height,
                                std::time_t when) {
  ScreenshotResult result;
  if (pixels.empty() || width <= 0 || height <= 0) {
    result.error = "nothing on the screen yet";
    return result;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    result.error = dir + ": " + ec.message();
    return result;
  }
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::filesystem::path path;
  for (int n = 1; n < 1000; ++n) {
    std::string name = std::string("tavvyhop-") + stamp + (n > 1 ? "-" + std::to_string(n) : "") + ".png";
    path = std::filesystem::path(dir) / name;
    if (!std::filesystem::exists(path, ec)) break;
  }
  // Written beside its place and renamed, so a full disk leaves no half picture behind.
  const std::string partial = path.string() + ".part";
  services::CodecResult written = services::WritePngXrgb(partial, pixels.data(), width, height, width);
  if (!written) {
    std::filesystem::remove(partial, ec);
    result.error = written.error;
    return result;
  }
  std::filesystem::rename(partial, path, ec);
  if (ec) {
    std::filesystem::remove(partial, ec);
    result.error = path.string() + ": " + ec.message();
    return result;
  }
  result.ok = true;
  result.path = path.string();
  return result;
}

// ---- The comforts ------------------------------------------------------------------

namespace {
constexpr int kVkPause = 0x13;
constexpr int kVkSnapshot = 0x2C;  // Print Screen
constexpr int kVkP = 'P';
constexpr int kVkF11 = 0x7A;
constexpr int kVkF12 = 0x7B;
// A lost sound device is said for longer: a player may first look up when the sound stops.
constexpr DWORD kSoundNoticeMs = 4000;
}  // namespace

Comforts::Comforts(ComfortSettings settings, PausableClock& clock, IAudioDevice& audio, std::function<DWORD()> realMs)
    : settings_(std::move(settings)), clock_(clock), audio_(audio), realMs_(std::move(realMs)) {}

void Comforts::SetTexts(const ComfortTexts& texts) {
  settings_.texts = texts;
  if (Paused()) Notice(settings_.texts.paused, false);
}

void Comforts::WindowCreated(IWindow* window, bool game) {
  if (game) games_.push_back(window);
}

void Comforts::WindowGone(IWindow* window) { std::erase(games_, window); }

bool Comforts::IsGameWindow(const IWindow* window) const {
  return window && std::find(games_.begin(), games_.end(), window) != games_.end();
}

bool Comforts::Filter(const Event& e) {
  if (!IsGameWindow(e.window)) return true;
  switch (e.type) {
    case EventType::Deactivate:
      if (settings_.pauseOnFocusLoss) {
        focusPaused_ = true;
        Apply();
      }
      return true;
    case EventType::Activate:
      focusPaused_ = false;
      Apply();
      return true;
    case EventType::KeyDown: {
      const bool alt = (e.shift & ssAlt) != 0;
      if ((e.vk == kVkP && !alt && !(e.shift & ssCtrl)) || e.vk == kVkPause) {
        if (!e.repeat) SetUserPaused(!userPaused_);
        return false;
      }
      if (e.vk == kVkF11 || (e.vk == VK_RETURN && alt)) {
        if (!e.repeat) ToggleFullscreen(*e.window);
        return false;
      }
      if (e.vk == kVkF12 || e.vk == kVkSnapshot) {
        if (!e.repeat) Screenshot(*e.window);
        return false;
      }
      return !Paused();
    }
    case EventType::KeyUp:
      if (e.vk == kVkP || e.vk == kVkPause || e.vk == kVkF11 || e.vk == kVkF12 || e.vk == kVkSnapshot) return false;
      if (e.vk == VK_RETURN && (e.shift & ssAlt)) return false;
      return !Paused();
    case EventType::MouseMove:
    case EventType::MouseDown:
    case EventType::MouseUp:
      // A frozen game does not move its camera.
      return !Paused();
    default:
      return true;
  }
}

void Comforts::SetUserPaused(bool paused) {
  userPaused_ = paused;
  Apply();
}

void Comforts::Apply() {
  const bool paused = Paused();
  if (paused == applied_) return;
  applied_ = paused;
  if (paused) {
    clock_.Pause();
    audio_.SetPaused(true);
  } else {
    clock_.Resume();
    audio_.SetPaused(false);
  }
  Notice(paused ? settings_.texts.paused : std::string(), false);
}

void Comforts::Notice(const std::string& text, bool timed, DWORD ms) {
  if (timed) {
    timedNotice_ = text;
    noticeUntil_ = realMs_() + ms;
  }
  // A timed notice shows over the pause caption until it runs out.
  const std::string shown = !timedNotice_.empty() ? timedNotice_ : (Paused() ? settings_.texts.paused : text);
  for (IWindow* w : games_) w->SetNotice(shown);
}

void Comforts::Update() {
  WatchAudio();
  if (!timedNotice_.empty() && static_cast<int32_t>(realMs_() - noticeUntil_) >= 0) {
    timedNotice_.clear();
    Notice(Paused() ? settings_.texts.paused : std::string(), false);
  }
}

void Comforts::WatchAudio() {
  audio_.Watch();
  const bool lost = audio_.Lost();
  if (lost == audioLost_) return;
  audioLost_ = lost;
  // The error stream is read by whoever looks after the machine: English, like the port's other lines.
  const ComfortTexts english;
  if (lost) {
    std::fprintf(stderr, "tavvyhop: %s\n", english.soundLost.c_str());
    Notice(settings_.texts.soundLost, true, kSoundNoticeMs);
  } else {
    std::fprintf(stderr, "tavvyhop: %s\n", english.soundBack.c_str());
    Notice(settings_.texts.soundBack, true);
  }
}

void Comforts::ToggleFullscreen(IWindow& window) { window.SetFullscreen(!window.Fullscreen()); }

ScreenshotResult Comforts::Screenshot(IWindow& window) {
  int w = 0, h = 0;
  const std::vector<uint32_t>& picture = window.LastPresented(w, h);
  ScreenshotResult r = SaveScreenshot(ScreenshotDirectory(settings_.screenshotDir), picture, w, h, std::time(nullptr));
  if (r.ok) {
    Notice(settings_.texts.screenshotSaved + std::filesystem::path(r.path).filename().string(), true);
  } else {
    Notice(settings_.texts.screenshotFailed + r.error, true);
    std::fprintf(stderr, "tavvyhop: screenshot failed: %s\n", r.error.c_str());
  }
  return r;
}

}  // namespace host
