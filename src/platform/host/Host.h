// The host contract: the one place where the program meets the real machine.
//
// Two backends implement it: sdl/ (a real window, keyboard, mouse, audio device and
// joysticks through SDL2) and headless/ (a 640 x 480 screen in memory, a virtual
// clock, input from a script, an audio sink, PNG frames). The platform stand-ins
// (ddraw, dsound, dinput, forms) reach the machine only through this contract.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTime.h"

namespace host {

class IWindow;
class Comforts;

// The form framework's shift state, as bits.
enum ShiftBits : uint32_t {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
  ssDouble = 1u << 6,
};

enum class EventType {
  KeyDown,     // vk, scanCode, shift, repeat
  KeyUp,       // vk, scanCode, shift
  MouseMove,   // x, y (client), shift (with the held buttons)
  MouseDown,   // x, y, button, shift
  MouseUp,     // x, y, button, shift
  Paint,       // the window's client area needs drawing
  Activate,    // the window became the active one
  Deactivate,  // the window lost activation
  Move,        // x, y: new position of the client area on the desktop
  Size,        // x, y: new client width and height
  Close,       // the user asked to close the window
  Quit,        // the host is shutting down (end of a headless run, SIGTERM)
};

enum MouseButton : int { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

struct Event {
  EventType type = EventType::Paint;
  IWindow* window = nullptr;  // the window the event belongs to (nullptr: the application)
  int vk = 0;                 // Windows virtual-key code (VK_RETURN 13, VK_ESCAPE 27, VK_F1 112 ...)
  int scanCode = 0;           // DirectInput key code (DIK_*), 0 if the key has none
  bool repeat = false;        // key held down: an auto-repeat key-down
  int x = 0, y = 0;
  int button = 0;
  uint32_t shift = 0;
};

struct WindowDesc {
  std::string caption;  // UTF-8
  int clientWidth = 640;
  int clientHeight = 480;
  bool border = false;  // false: no frame (the game's form); true: a dialog frame
  bool centred = true;
  IWindow* centreOn = nullptr;  // centre on this window instead of the desktop
  bool visible = true;
};

class IWindow {
 public:
  virtual ~IWindow() = default;
  virtual void SetCaption(const std::string& utf8) = 0;
  virtual std::string Caption() const = 0;
  virtual void Show(bool visible) = 0;
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // Screen position of the client area's top-left corner.
  virtual void ClientOrigin(int& x, int& y) const = 0;
  // Desktop pixels to one client pixel: the render scale of the game window, 1 for others.
  virtual int PixelScale() const { return 1; }
  // Full screen on the host: the desktop-sized window, the picture scaled to fit with its aspect kept.
  virtual void SetFullscreen(bool fullscreen) = 0;
  virtual bool Fullscreen() const = 0;
  virtual bool Active() const = 0;
  // Shows a picture of the client area: rows of 0x00RRGGBB pixels, `pitch` pixels apart.
  virtual void Present(const uint32_t* pixels, int width, int height, int pitch) = 0;
  // The same for a tightly packed picture the window may keep instead of copying: `pixels`
  // may come back holding anything (of any size), for the caller to fill again.
  virtual void PresentOwned(std::vector<uint32_t>& pixels, int width, int height) {
    Present(pixels.data(), width, height, width);
  }
  // The last picture presented (headless frames, screenshots): width*height pixels, tightly packed.
  virtual const std::vector<uint32_t>& LastPresented(int& width, int& height) const = 0;
  // A line of the port's own over the picture (the pause caption, a screenshot's name);
  // empty: none. It is not part of the presented picture.
  virtual void SetNotice(const std::string& utf8) { (void)utf8; }
  virtual std::string Notice() const { return {}; }
};

// How the audio output brings the mix into 16 bits (see AudioOutputStage.h).
struct AudioOutputOptions {
  bool limiter = true;  // a look-ahead limiter; false: plain clipping, as the platform did
  // How far ahead of the sound card the mix runs, in milliseconds (a real output only);
  // 0: the mix runs in the card's own callback, as the platform's did. Off by default: on a
  // loaded two-core machine a 150 ms run-ahead left no fewer gaps (scripts/audio-check.sh),
  // which came from the card's thread and the sound server, and it delays every sound.
  int runAheadMs = 0;
};

// What the audio output has seen since it opened.
struct AudioOutputCounts {
  uint64_t callbacks = 0;
  uint64_t late = 0;  // callbacks that came more than one and a half periods after the last
};

// The audio output: 16-bit stereo at the given rate. The callback fills `frames`
// frames of interleaved samples with the mix at 16-bit scale, not yet clipped (the
// device's output stage makes 16-bit samples of it); it runs on the audio thread (SDL)
// or on the thread that advances the virtual clock (headless).
class IAudioDevice {
 public:
  using Callback = std::function<void(int32_t* interleaved, int frames)>;
  virtual ~IAudioDevice() = default;
  // False on a machine without a sound card.
  virtual bool Available() const = 0;
  virtual bool Open(int rate, Callback callback) = 0;
  virtual void Close() = 0;
  // Keeps the callback from running while the caller changes what it reads.
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  // Holds the output (the callback stops being called) while the game is paused.
  virtual void SetPaused(bool paused) { (void)paused; }
  virtual AudioOutputCounts Counts() const { return {}; }
  // True while the output device is gone (unplugged, the sound server stopped). The
  // callback goes on being called at the output's pace, so play cursors keep moving and
  // streams keep asking for data, but what it mixes is heard nowhere.
  virtual bool Lost() const { return false; }
  // Looks after a lost device: called now and then on the main thread, it notices a
  // device that went away and opens one again when one is there.
  virtual void Watch() {}
};

struct JoystickInfo {
  std::string productName;
  std::string instanceName;
  int axes = 0;
  int buttons = 0;
  int hats = 0;
  bool forceFeedback = false;
};

struct JoystickState {
  int32_t axes[8] = {};                // raw -32768..32767 (X, Y, Z, Rx, Ry, Rz, slider 0, slider 1)
  int32_t hats[4] = {-1, -1, -1, -1};  // hundredths of a degree clockwise from north, -1 centred
  uint8_t buttons[32] = {};            // bit 7 set while held
};

class IJoysticks {
 public:
  virtual ~IJoysticks() = default;
  virtual int Count() = 0;
  virtual JoystickInfo Info(int index) = 0;
  virtual bool State(int index, JoystickState& state) = 0;
};

class IHost {
 public:
  virtual ~IHost() = default;
  virtual std::string Name() const = 0;  // "sdl" or "headless"

  virtual std::unique_ptr<IWindow> CreateWindow(const WindowDesc& desc) = 0;
  // Takes the next pending event without blocking.
  virtual bool PollEvent(Event& event) = 0;
  // Blocks until an event is pending or the time-out passes.
  virtual void WaitEvent(int timeoutMs) = 0;

  virtual win::IClock& Clock() = 0;

  // 256 DirectInput key codes; 0x80 while the key is held.
  virtual const uint8_t* KeyboardState() = 0;
  // Relative mouse motion since the previous call, and the four buttons (0x80 held).
  virtual void MouseState(int32_t& dx, int32_t& dy, int32_t& dz, uint8_t buttons[4]) = 0;
  // True while one of the program's windows has the input focus.
  virtual bool HasFocus() = 0;

  virtual IJoysticks& Joysticks() = 0;
  virtual IAudioDevice& Audio() = 0;

  // The program has run one more game tick (`ticksRun` ticks so far). The headless
  // host releases the scripted events of the next tick here; the real machine ignores it.
  virtual void TickDone(uint64_t ticksRun) { (void)ticksRun; }

  // How many times another program has taken the screen away (a mode switch, a secure
  // desktop): each time, everything the display kept in video memory is gone.
  virtual uint64_t ScreenLosses() { return 0; }

  // A message box with one OK button (the platform's ShowMessage / an error report), its text
  // in the player's words (see SetMessageWords). Without a window system the text goes to the
  // standard error stream.
  void ShowMessageBox(const std::string& caption, const std::string& text) {
    PresentMessageBox(caption, messageWords_ ? messageWords_(text) : text);
  }
  // What the message boxes say instead of the text they are given (a translation); none:
  // the text as it is.
  using MessageWords = std::function<std::string(const std::string&)>;
  void SetMessageWords(MessageWords words) { messageWords_ = std::move(words); }

  // The port's conveniences (pause, full screen at a key, screenshots); none in a bare host.
  virtual Comforts* GetComforts() { return nullptr; }

  // Pixels of the game window's pictures per pixel the game sees, in each direction (1..4).
  virtual int RenderScale() const { return 1; }

  virtual int DesktopBitDepth() = 0;
  virtual void DesktopSize(int& width, int& height) = 0;
  virtual bool ScreenSaverEnabled() = 0;
  virtual void SetScreenSaverEnabled(bool enabled) = 0;

 protected:
  // Shows a message box with the final text.
  virtual void PresentMessageBox(const std::string& caption, const std::string& text);

 private:
  MessageWords messageWords_;
};

// The host the program runs on (process-wide, like the machine itself).
IHost& Current();
bool HasCurrent();
void SetCurrent(IHost* host);

}  // namespace host
