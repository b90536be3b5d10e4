#include "app/CommandLine.h"

#include <charconv>
#include <string_view>

namespace {

template <typename T>
T Number(std::string_view option, std::string_view value, T min, T max) {
  T v{};
  auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() || v < min || v > max) {
    throw ECommandLine("bad value '" + std::string(value) + "' for " + std::string(option));
  }
  return v;
}

bool Flag01(std::string_view option, std::string_view value, bool given) {
  if (!given) return true;
  if (value == "1") return true;
  if (value == "0") return false;
  throw ECommandLine("bad value '" + std::string(value) + "' for " + std::string(option) + " (0 or 1)");
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args, const TCommandLine& base) {
  TCommandLine c = base;
  for (const std::string& arg : args) {
    std::string_view a = arg;
    std::string_view name = a, value;
    bool hasValue = false;
    if (size_t eq = a.find('='); eq != std::string_view::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    auto needValue = [&] {
      if (!hasValue || value.empty())
        throw ECommandLine(std::string(name) + " needs a value (" + std::string(name) + "=...)");
    };
    auto noValue = [&] {
      if (hasValue) throw ECommandLine(std::string(name) + " takes no value");
    };
    if (name == "--headless") {
      noValue();
      c.Headless = true;
    } else if (name == "--ok") {
      noValue();
      c.Ok = true;
    } else if (name == "--cancel") {
      noValue();
      c.Ok = false;
    } else if (name == "--fullscreen") {
      c.FullScreen = Flag01(name, value, hasValue);
    } else if (name == "--no-hal") {
      noValue();
      c.NoHal = true;
    } else if (name == "--no-mmx") {
      noValue();
      c.NoMmx = true;
    } else if (name == "--no-tnlhal") {
      noValue();
      c.NoTnlHal = true;
    } else if (name == "--flat") {
      noValue();
      c.Flat = true;
    } else if (name == "--specular") {
      c.Specular = Flag01(name, value, hasValue);
    } else if (name == "--lives") {
      needValue();
      int lives = Number<int>(name, value, 1, 100);
      if (lives != 1 && lives != 3 && lives != 5 && lives != 7 && lives != 9 && lives != 100) {
        throw ECommandLine("--lives must be one of 1, 3, 5, 7, 9, 100");
      }
      c.Lives = lives;
    } else if (name == "--seed") {
      needValue();
      c.Seed = Number<uint32_t>(name, value, 0, UINT32_MAX);
    } else if (name == "--script") {
      needValue();
      c.Script = value;
    } else if (name == "--ticks") {
      needValue();
      c.Ticks = Number<uint64_t>(name, value, 0, UINT64_MAX);
    } else if (name == "--frames") {
      needValue();
      c.Frames = value;
    } else if (name == "--frame-every") {
      needValue();
      c.FrameEvery = Number<int>(name, value, 1, 1 << 30);
    } else if (name == "--frame-hashes") {
      needValue();
      c.FrameHashes = value;
    } else if (name == "--stats") {
      needValue();
      c.Stats = value;
    } else if (name == "--data") {
      needValue();
      c.Data = value;
    } else if (name == "--autopilot") {
      noValue();
      c.Autopilot = true;
    } else if (name == "--timedemo") {
      if (hasValue) {
        needValue();
        c.TimeDemoFile = value;
      } else {
        c.TimeDemo = true;
      }
    } else if (name == "--record") {
      needValue();
      c.Record = value;
    } else if (name == "--playdemo") {
      needValue();
      c.PlayDemo = value;
    } else if (name == "--audio-limiter") {
      c.AudioLimiter = Flag01(name, value, hasValue);
    } else if (name == "--audio-run-ahead") {
      needValue();
      c.AudioRunAheadMs = Number<int>(name, value, 0, 500);
    } else if (name == "--audio-out") {
      needValue();
      c.AudioOut = value;
    } else if (name == "--render-threads") {
      needValue();
      c.RenderThreads = Number<int>(name, value, 1, 4);
    } else if (name == "--render-scale") {
      needValue();
      c.RenderScale = value == "auto" ? 0 : Number<int>(name, value, 1, 4);
    } else if (name == "--no-dialog") {
      noValue();
      c.NoDialog = true;
    } else if (name == "--lang") {
      needValue();
      if (value != "ja" && value != "en") throw ECommandLine("--lang must be ja or en");
      c.Language = value;
    } else if (name == "--settings") {
      needValue();
      c.SettingsFile = value;
    } else if (name == "--version") {
      noValue();
      c.Version = true;
    } else if (name == "--help" || name == "-h") {
      c.Help = true;
    } else {
      throw ECommandLine("unknown option '" + arg + "'");
    }
  }
  return c;
}

std::string HelpText() {
  return R"(tavvyhop [options]
Without options the game starts as it always did: a window and the start-up options dialog.

  --headless               no window and no sound card: in-memory screen, virtual clock, audio sink
  --ok | --cancel          answer the options dialog without showing it (headless: --ok by default)
  --fullscreen=0|1         the dialog's full-screen box (default 1)
  --no-hal --no-mmx --no-tnlhal   the dialog's three device boxes
  --flat                   flat shading (default Gouraud)
  --specular=0|1           the specular box (default 1)
  --lives=1|3|5|7|9|100    the lives list (default 3)
  --seed=N                 fix the seed of the random generator
  --script=FILE            timed input, one event a line:
                             TICK down KEY | TICK up KEY | TICK mouse X Y [left] [right] [shift]
                             TICK blur MS (the focus goes away for MS milliseconds)
                             TICK audio lost | TICK audio back (the sound device goes, comes back)
                             TICK surfaces lost MS (another program takes the screen for MS ms:
                             the focus and the video memory go, the window is painted on return)
                           (TICK counts game ticks from the first; '#' starts a comment)
  --ticks=N                end the program after N game ticks
  --frames=DIR             write the presented frames as PNG files into DIR (frame-NNNNNN.png,
                           the tick number padded to six digits)
  --frame-every=N          only every N-th tick (default 1)
  --frame-hashes=FILE      one line per such tick: the tick and a hash of the presented picture
                           (64-bit FNV-1a of its 0x00RRGGBB pixels, hexadecimal)
  --stats=FILE             one line per tick: tick GameState Score Stage Stock Energy
                           TargetEnergy StageTime ReadyTime DeathTime ClearCountdown
                           MessageIndex MessageTime (space-separated integers); at the end,
                           the audio output's callbacks and late callbacks on standard error
  --data=DIR               read the data from DIR instead of Data/ beside the program
  --autopilot              the ship flies and fights by itself (for demos and soak runs)
  --timedemo               with --headless and --ticks: run the ticks back to back and report
                           the ticks per second of the whole program (logic, rendering, HUD)
  --record=FILE            write a demo of this run (window or headless): everything the game
                           reads from outside, tick by tick, flushed every second
  --playdemo=FILE          play a demo back (in a window, or with --headless); live input is
                           ignored but Escape, which stops the playback. Exit code 4 when the
                           game runs out of sync with the demo, 5 when the demo was cut short
  --timedemo=FILE          play a demo back headless as fast as possible and report the ticks
                           per second and the frame times (median, 99th percentile, worst, and
                           how many took longer than a tick)
  --audio-limiter=0|1      the audio output's look-ahead limiter (default 1; 0 clips every
                           sample on its own, as the platform did)
  --audio-run-ahead=MS     mix the sound this many milliseconds ahead of the sound card on a
                           thread of its own, 0 to 500 (default 0: in the card's own turn)
  --audio-out=FILE         with --headless: write what the audio sink plays, after the
                           limiter, as a 16-bit stereo WAV file
  --render-threads=N       threads of the software 3-D device, 1 to 4 (default: the cores, at
                           most 4); the pictures are the same for any number
  --render-scale=1|2|3|4|auto
                           draw the picture with k times the pixels in each direction (the
                           game still sees 640 x 480); auto: the largest k whose 640k x 480k
                           fits the screen (default 1)
  --no-dialog              start straight away with the saved choices (the dialog's
                           "don't ask again" does the same for every start)
  --lang=ja|en             language of the dialog (default: the settings, then the locale)
  --settings=FILE          read and write FILE instead of the settings file of this user
  --version                print the version
  --help

Settings that stay (not in headless runs): $XDG_CONFIG_HOME/tavvyhop/settings.conf (or
~/.config/tavvyhop/settings.conf), a commented text file that the confirmed dialog rewrites:
  fullscreen no_hal no_mmx no_tnlhal flat_shading specular lives   the dialog's choices
  ask_at_start          0: start without the dialog
  language              ja, en or empty (from LANG / LC_MESSAGES)
  pause_on_focus_loss   pause when the window loses the focus or is minimised (default 1)
  window_frame          a resizable window with a title bar (1), the original borderless one (0)
  integer_scaling       whole multiples only (default 0)
  smooth_scaling        smooth (1) or sharp (0) scaling
  render_scale          1, 2, 3, 4 or auto: pixels drawn per pixel of the game (default 1)
  screenshot_dir        where F12 writes its PNG pictures (default $XDG_PICTURES_DIR/tavvyhop)
  key_fire key_afterburner key_thrust key_missile key_blade key_view
  key_up key_down key_left key_right                               keys by name (Z, Space, KP8)
  pad_fire pad_afterburner pad_thrust pad_missile pad_blade pad_view
                        game-pad buttons (a b x y rightshoulder leftshoulder by default)

Keys of the window: P or Pause pauses, Alt+Enter or F11 switches between window and full
screen, F12 or Print Screen writes a screenshot.
)";
}
