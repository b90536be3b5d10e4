// The conveniences a player expects of a port, kept below the game: pause (the clock the
// game reads stops, sound stops), full screen at a key press, screenshots, and short
// notices over the picture. Both backends pass their events through one Comforts object,
// so a scripted headless run exercises the same code as the real window.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/Host.h"

namespace host {

// The texts the comforts show (English by default; the program passes the chosen language).
struct ComfortTexts {
  std::string paused = "PAUSED";
  std::string screenshotSaved = "Screenshot saved: ";    // followed by the file name
  std::string screenshotFailed = "Screenshot failed: ";  // followed by the reason
  std::string soundLost = "Sound device lost: the game goes on without sound";
  std::string soundBack = "Sound is back";
};

struct ComfortSettings {
  bool pauseOnFocusLoss = true;  // losing the focus (or being minimised) pauses the game
  bool windowFrame = true;       // the game window has a title bar and can be resized
  bool integerScaling = false;   // scale the picture by whole multiples only
  bool smoothScaling = true;     // smooth (linear) or sharp (nearest) scaling
  // The game window's pictures hold renderScale x renderScale pixels for each pixel the game
  // sees (1..4; 0: the largest that fits the desktop, see ResolveRenderScale).
  int renderScale = 1;
  std::string screenshotDir;  // empty: $XDG_PICTURES_DIR/tavvyhop or ~/Pictures/tavvyhop
  // Game-pad buttons (SDL's names) of fire, afterburner, thrust, missiles, blade and view.
  std::array<std::string, 6> padButtons{"a", "b", "x", "y", "rightshoulder", "leftshoulder"};
  ComfortTexts texts;
};

// The clock the game reads: it stands still while the game is paused. Sleeping still
// takes the time of the clock underneath, so a paused idle loop does not spin.
class PausableClock final : public win::IClock {
 public:
  explicit PausableClock(win::IClock& base) : base_(base) {}
  DWORD Milliseconds() override;
  void SleepMilliseconds(DWORD ms) override { base_.SleepMilliseconds(ms); }
  void Pause();
  void Resume();
  bool Paused() const;
  win::IClock& Base() { return base_; }

 private:
  win::IClock& base_;
  mutable std::mutex mutex_;
  bool paused_ = false;
  DWORD frozenAt_ = 0;  // the reading while paused
  DWORD offset_ = 0;    // time spent paused so far
};

// The render scale a setting asks for: 1..4 as given, 0 (auto) the largest k at most 4 whose
// 640k x 480k fits a desktop of the given size (at least 1).
int ResolveRenderScale(int setting, int desktopWidth, int desktopHeight);

// `k` times the picture (width x height pixels of 0x00RRGGBB, `pitch` apart) in each direction,
// filtered bilinearly with pixel centres kept (a 640 x 480 picture shown among pictures drawn
// at the render scale).
void ScalePictureUp(const uint32_t* pixels, int width, int height, int pitch, int k, std::vector<uint32_t>& out);

// What a game window keeps of a presented picture (`pitch` pixels a row) at render scale
// `scale`: a picture of the render size as it is, one of the client size (a form painted at
// 640 x 480) scaled up to the render size, so that every picture of the window has one size.
void KeepPresented(const uint32_t* pixels, int width, int height, int pitch, int clientWidth, int clientHeight,
                   int scale, std::vector<uint32_t>& kept, int& keptWidth, int& keptHeight);
// The same for a tightly packed picture the window may take: where it would be kept as it is,
// `pixels` and `kept` change places instead of being copied.
void KeepPresentedOwned(std::vector<uint32_t>& pixels, int width, int height, int clientWidth, int clientHeight,
                        int scale, std::vector<uint32_t>& kept, int& keptWidth, int& keptHeight);

// A picture with a one-line notice written over its lower middle on a dark band.
// `pixels` holds width*height 0x00RRGGBB pixels, tightly packed.
// A picture at a render scale gets the notice `scale` times as large.
void DrawNotice(std::vector<uint32_t>& pixels, int width, int height, const std::string& utf8, int scale = 1);

// Where screenshots go: `configured` when given, else $XDG_PICTURES_DIR (the environment,
// then ~/.config/user-dirs.dirs) or ~/Pictures, with "tavvyhop" below it.
std::string ScreenshotDirectory(const std::string& configured);

struct ScreenshotResult {
  bool ok = false;
  std::string path;   // the file written
  std::string error;  // why not
};
// Writes the picture as "tavvyhop-YYYYMMDD-HHMMSS.png" (a number added when that name
// is taken) into `dir`, creating it. The file appears whole or not at all.
ScreenshotResult SaveScreenshot(const std::string& dir, const std::vector<uint32_t>& pixels, int width, int height,
                                std::time_t when);

class Comforts {
 public:
  // `realMs` reads the host's own time (notices run out on it, not on the game's clock).
  Comforts(ComfortSettings settings, PausableClock& clock, IAudioDevice& audio, std::function<DWORD()> realMs);

  const ComfortSettings& Settings() const { return settings_; }
  void SetTexts(const ComfortTexts& texts);

  // The game's own windows (the form without a dialog frame) get the comforts.
  void WindowCreated(IWindow* window, bool game);
  void WindowGone(IWindow* window);
  bool IsGameWindow(const IWindow* window) const;

  // Looks at an event before the program does; false when the comforts used it up.
  bool Filter(const Event& event);
  // Time passes: a notice runs out, a lost sound device is noticed (and said once, on the
  // error stream and in a notice) or comes back.
  void Update();

  bool Paused() const { return focusPaused_ || userPaused_; }
  // The pause a player asks for (the P and Pause keys).
  void SetUserPaused(bool paused);
  void ToggleFullscreen(IWindow& window);
  // A notice over the game's picture for a second.
  void Say(const std::string& text) { Notice(text, true); }
  // A screenshot of the window's last picture, said in a notice for a second.
  ScreenshotResult Screenshot(IWindow& window);

 private:
  void Apply();
  static constexpr DWORD kNoticeMs = 1000;
  void Notice(const std::string& text, bool timed, DWORD ms = kNoticeMs);
  void WatchAudio();

  ComfortSettings settings_;
  PausableClock& clock_;
  IAudioDevice& audio_;
  std::function<DWORD()> realMs_;
  std::vector<IWindow*> games_;
  bool focusPaused_ = false;
  bool userPaused_ = false;
  bool applied_ = false;
  std::string timedNotice_;
  DWORD noticeUntil_ = 0;
  bool audioLost_ = false;
};

}  // namespace host
