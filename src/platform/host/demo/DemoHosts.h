// Recording and playing back demos at the host contract.
//
// A RecordingHost sits between the program and a real host (SDL or headless): it passes
// every call through and writes down every value the program reads from outside (clock
// readings, events, keyboard, mouse, joysticks, focus, audio device, desktop and window
// state), tick by tick. A PlaybackHost answers the same calls from a demo instead, so the
// program runs the recorded game again; its windows are those of a real host (a window,
// or the headless screen in memory), but what it reads comes from the demo.
// Only the thread that created the host is recorded or played back (the game's thread).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/Host.h"
#include "platform/host/demo/DemoFormat.h"
#include "platform/host/demo/Forwarding.h"

namespace host::demo {

struct RecordOptions {
  std::string path;
  std::string programVersion;
  uint32_t seed = 0;
  std::string dataDir;  // the files read below this folder are fingerprinted
};

class RecordingHost final : public ForwardingHost {
 public:
  // Throws DemoError when the file cannot be created.
  RecordingHost(std::unique_ptr<IHost> inner, RecordOptions options);
  ~RecordingHost() override;
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  // The settings the header keeps (the answers of the options dialog, the game's switches).
  void SetSettings(std::vector<std::string> settings) { header_.settings = std::move(settings); }
  // The checksum of the game state after the current tick (before TickDone).
  void NoteState(uint32_t checksum);
  // While suspended nothing is recorded (the options dialog shown to the player: its answers
  // go into the header instead). Windows created meanwhile are not numbered.
  void Suspend(bool suspended) { suspended_ = suspended; }
  // Ends the demo: the end record, the tick count in the header. Later calls do nothing.
  // False when the file could not be written.
  bool Finish();
  uint64_t Ticks() const { return ticks_; }

  std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc) override;
  bool PollEvent(Event& event) override;
  void WaitEvent(int timeoutMs) override { inner_->WaitEvent(timeoutMs); }
  win::IClock& Clock() override { return clock_; }
  const uint8_t* KeyboardState() override;
  void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) override;
  bool HasFocus() override;
  IJoysticks& Joysticks() override { return joysticks_; }
  IAudioDevice& Audio() override { return audio_; }
  void TickDone(uint64_t ticksRun) override;
  int DesktopBitDepth() override;
  void DesktopSize(int& width, int& height) override;
  bool ScreenSaverEnabled() override;

  // For the pieces in the .cpp file.
  bool Recording() const { return !suspended_ && std::this_thread::get_id() == owner_; }
  ByteWriter& Out() { return chunk_; }
  uint32_t NumberOf(const IWindow* wrapper) const;
  void WindowGone(const IWindow* inner);
  void FileOpened(const std::string& path);

 private:
  class RecClock final : public win::IClock {
   public:
    explicit RecClock(RecordingHost& host) : host_(host) {}
    DWORD Milliseconds() override;
    void SleepMilliseconds(DWORD ms) override { host_.inner_->Clock().SleepMilliseconds(ms); }

   private:
    RecordingHost& host_;
    DWORD last_ = 0;
  };
  class RecJoysticks final : public IJoysticks {
   public:
    explicit RecJoysticks(RecordingHost& host) : host_(host) {}
    int Count() override;
    JoystickInfo Info(int index) override;
    bool State(int index, JoystickState& state) override;

   private:
    RecordingHost& host_;
  };
  class RecAudio final : public IAudioDevice {
   public:
    explicit RecAudio(RecordingHost& host) : host_(host) {}
    bool Available() const override;
    bool Open(int rate, Callback callback) override;
    void Close() override { host_.inner_->Audio().Close(); }
    void Lock() override { host_.inner_->Audio().Lock(); }
    void Unlock() override { host_.inner_->Audio().Unlock(); }
    void SetPaused(bool paused) override { host_.inner_->Audio().SetPaused(paused); }
    AudioOutputCounts Counts() const override { return host_.inner_->Audio().Counts(); }
    bool Lost() const override { return host_.inner_->Audio().Lost(); }
    void Watch() override { host_.inner_->Audio().Watch(); }

   private:
    RecordingHost& host_;
  };
  struct Known {
    IWindow* wrapper;
    uint32_t number;
  };

  void WriteOut(bool force);
  bool WriteHeader();

  RecordOptions options_;
  std::thread::id owner_ = std::this_thread::get_id();
  RecClock clock_{*this};
  win::ScopedClock scopedClock_{clock_};
  RecJoysticks joysticks_{*this};
  RecAudio audio_{*this};
  Header header_;
  Header written_;  // as written at the first tick
  struct Closer {
    void operator()(std::FILE* f) const;
  };
  std::unique_ptr<std::FILE, Closer> file_;
  bool headerWritten_ = false;
  bool finished_ = false;
  bool failed_ = false;
  bool suspended_ = false;
  ByteWriter chunk_;
  uint32_t chunkTicks_ = 0;
  uint64_t ticks_ = 0;
  std::chrono::steady_clock::time_point lastFlush_ = std::chrono::steady_clock::now();
  uint8_t keys_[256] = {};
  std::map<const IWindow*, Known> windows_;  // by the inner window
  uint32_t nextWindow_ = 1;
  std::map<std::string, FileFingerprint> fingerprints_;  // by path
  std::string dataDir_;                                  // absolute, with a trailing '/'
};

struct PlayOptions {
  // Playing in a real window: keep the recorded pace, and let Escape stop the playback.
  bool live = false;
  std::string dataDir;  // the data files read below this folder are checked against the demo
};

class PlaybackHost final : public ForwardingHost {
 public:
  enum class Outcome {
    Playing,
    Finished,   // every record was played
    CutShort,   // the demo ended without its end record (the recording was killed)
    OutOfSync,  // the program read something else than the demo holds
    Stopped,    // Escape (or the window closed) during a live playback
  };

  PlaybackHost(std::unique_ptr<IHost> inner, Demo demo, PlayOptions options);
  ~PlaybackHost() override;
  PlaybackHost(const PlaybackHost&) = delete;
  PlaybackHost& operator=(const PlaybackHost&) = delete;

  // Compares the game state after the current tick with the demo's checksum when the demo
  // has one here. False (and out of sync) on a difference.
  bool CheckState(uint32_t checksum);
  // Stops the playback where it is: what the program reads from now on is not compared.
  void Stop(const std::string& why) {
    if (outcome_ != Outcome::Playing) return;
    outcome_ = Outcome::Stopped;
    why_ = why;
  }
  // After the program has ended: decides how the playback went.
  Outcome Conclude();
  Outcome State() const { return outcome_; }
  // The tick being played (ticks played so far).
  uint64_t Tick() const { return ticks_; }
  const std::string& Why() const { return why_; }
  const Demo& Played() const { return demo_; }

  std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc) override;
  bool PollEvent(Event& event) override;
  void WaitEvent(int) override {}
  win::IClock& Clock() override { return clock_; }
  const uint8_t* KeyboardState() override;
  void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) override;
  bool HasFocus() override;
  IJoysticks& Joysticks() override { return joysticks_; }
  IAudioDevice& Audio() override { return audio_; }
  void TickDone(uint64_t ticksRun) override;
  int DesktopBitDepth() override;
  void DesktopSize(int& width, int& height) override;
  bool ScreenSaverEnabled() override;

  // For the pieces in the .cpp file.
  bool Playing() const { return std::this_thread::get_id() == owner_; }
  // Takes the next record when it has the tag; otherwise the playback is out of sync.
  bool Take(uint8_t tag, const char* what);
  ByteReader& In() { return in_; }
  void Desync(const std::string& why);
  IWindow* WindowByNumber(uint32_t number) const;
  void WindowGone(uint32_t number);
  void FileOpened(const std::string& path);

 private:
  class PlayClock final : public win::IClock {
   public:
    explicit PlayClock(PlaybackHost& host) : host_(host) {}
    DWORD Milliseconds() override;
    void SleepMilliseconds(DWORD ms) override;

   private:
    PlaybackHost& host_;
    std::atomic<DWORD> last_{0};
    bool started_ = false;
    int64_t recordedMs_ = 0;
    std::chrono::steady_clock::time_point start_;
  };
  class PlayJoysticks final : public IJoysticks {
   public:
    explicit PlayJoysticks(PlaybackHost& host) : host_(host) {}
    int Count() override;
    JoystickInfo Info(int index) override;
    bool State(int index, JoystickState& state) override;

   private:
    PlaybackHost& host_;
  };
  class PlayAudio final : public IAudioDevice {
   public:
    explicit PlayAudio(PlaybackHost& host) : host_(host) {}
    bool Available() const override;
    bool Open(int rate, Callback callback) override;
    void Close() override;
    void Lock() override {
      if (innerOpen_) host_.inner_->Audio().Lock();
    }
    void Unlock() override {
      if (innerOpen_) host_.inner_->Audio().Unlock();
    }
    void SetPaused(bool paused) override {
      if (innerOpen_) host_.inner_->Audio().SetPaused(paused);
    }
    AudioOutputCounts Counts() const override {
      return innerOpen_ ? host_.inner_->Audio().Counts() : AudioOutputCounts{};
    }
    bool Lost() const override { return innerOpen_ && host_.inner_->Audio().Lost(); }
    void Watch() override {
      if (innerOpen_) host_.inner_->Audio().Watch();
    }

   private:
    PlaybackHost& host_;
    bool innerOpen_ = false;
  };

  void DrainLiveInput();

  Demo demo_;
  PlayOptions options_;
  std::thread::id owner_ = std::this_thread::get_id();
  ByteReader in_;
  PlayClock clock_{*this};
  win::ScopedClock scopedClock_{clock_};
  PlayJoysticks joysticks_{*this};
  PlayAudio audio_{*this};
  Outcome outcome_ = Outcome::Playing;
  std::string why_;
  uint64_t ticks_ = 0;
  uint8_t keys_[256] = {};
  std::vector<IWindow*> windows_{nullptr};               // by number; nullptr once gone
  std::map<std::string, FileFingerprint> fingerprints_;  // by path
  std::string dataDir_;
  bool headerFilesDone_ = false;  // the first tick has passed: later files are records
};

// Throws DemoError naming the first data file that is missing from `dataDir` or differs
// from the one the demo was recorded with.
void CheckDataSet(const Header& header, const std::string& dataDir);

// The name of a data file as a demo keeps it: the path below `dataDir` (absolute, with a
// trailing '/'); empty when the path is not below it.
std::string DataFileName(const std::string& path, const std::string& dataDir);
// `dir` made absolute and normal, with a trailing '/'.
std::string NormalDataDir(const std::string& dir);

}  // namespace host::demo
