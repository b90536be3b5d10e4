#include "app/Settings.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/host/KeyMap.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// One setting: its name, its comment, how to read and write it.
struct TEntry {
  const char* name;
  const char* comment;
  std::function<void(TSettings&, const std::string&)> read;  // throws std::string (the reason)
  std::function<std::string(const TSettings&)> write;
};

bool Bool(const std::string& v) {
  if (v == "1" || v == "yes" || v == "true" || v == "on") return true;
  if (v == "0" || v == "no" || v == "false" || v == "off") return false;
  throw std::string("'" + v + "' is not 1 or 0");
}

TEntry Flag(const char* name, const char* comment, bool TSettings::*field) {
  return {name, comment, [field](TSettings& s, const std::string& v) { s.*field = Bool(v); },
          [field](const TSettings& s) { return std::string(s.*field ? "1" : "0"); }};
}

TEntry ComfortFlag(const char* name, const char* comment, bool host::ComfortSettings::*field) {
  return {name, comment, [field](TSettings& s, const std::string& v) { s.Comforts.*field = Bool(v); },
          [field](const TSettings& s) { return std::string(s.Comforts.*field ? "1" : "0"); }};
}

std::string KeyName(const std::string& v) {
  auto key = host::KeyByName(v);
  if (!key) throw std::string("unknown key '" + v + "'");
  return std::string(key->name);
}

std::string PadButton(const std::string& v) {
  for (const char* name : {"a",
                           "b",
                           "x",
                           "y",
                           "back",
                           "guide",
                           "start",
                           "leftstick",
                           "rightstick",
                           "leftshoulder",
                           "rightshoulder",
                           "dpup",
                           "dpdown",
                           "dpleft",
                           "dpright",
                           "misc1",
                           "paddle1",
                           "paddle2",
                           "paddle3",
                           "paddle4",
                           "touchpad"}) {
    if (v == name) return v;
  }
  throw std::string("unknown pad button '" + v + "'");
}

const std::vector<TEntry>& Entries() {
  static const std::vector<TEntry> entries = [] {
    std::vector<TEntry> e;
    e.push_back(
        Flag("fullscreen", "The start-up dialog's choices.\nFull screen (1) or a window (0)", &TSettings::FullScreen));
    e.push_back(Flag("no_hal", "Do not use the hardware device", &TSettings::NoHal));
    e.push_back(Flag("no_mmx", "Do not use the MMX software device", &TSettings::NoMmx));
    e.push_back(Flag("no_tnlhal", "Do not use the hardware transform-and-lighting device", &TSettings::NoTnlHal));
    e.push_back(Flag("flat_shading", "Flat shading (1) or Gouraud shading (0)", &TSettings::Flat));
    e.push_back(Flag("specular", "Specular light", &TSettings::Specular));
    e.push_back({"lives", "Lives: 1, 3, 5, 7, 9 or 100",
                 [](TSettings& s, const std::string& v) {
                   for (int n : {1, 3, 5, 7, 9, 100}) {
                     if (v == std::to_string(n)) {
                       s.Lives = n;
                       return;
                     }
                   }
                   throw std::string("lives must be 1, 3, 5, 7, 9 or 100, not '" + v + "'");
                 },
                 [](const TSettings& s) { return std::to_string(s.Lives); }});
    e.push_back(Flag("ask_at_start", "Show the dialog at start (1), or start straight away with the choices above (0)",
                     &TSettings::AskAtStart));
    e.push_back(
        {"language",
         "The port's own settings.\nLanguage of the dialog and the messages: ja, en, or empty (from the locale)",
         [](TSettings& s, const std::string& v) {
           if (!v.empty() && v != "ja" && v != "en") throw std::string("language must be ja, en or empty");
           s.Language = v;
         },
         [](const TSettings& s) { return s.Language; }});
    e.push_back(ComfortFlag("pause_on_focus_loss", "Pause when the window loses the focus or is minimised",
                            &host::ComfortSettings::pauseOnFocusLoss));
    e.push_back(ComfortFlag("window_frame",
                            "A window with a title bar that can be resized (1), or the original borderless one (0)",
                            &host::ComfortSettings::windowFrame));
    e.push_back(ComfortFlag("integer_scaling", "Scale the picture by whole multiples only",
                            &host::ComfortSettings::integerScaling));
    e.push_back(
        ComfortFlag("smooth_scaling", "Smooth (1) or sharp (0) scaling", &host::ComfortSettings::smoothScaling));
    e.push_back({"render_scale",
                 "Pixels drawn for each pixel of the game's 640 x 480 screen, in each direction:\n"
                 "1, 2, 3, 4, or auto (the largest that fits the screen)",
                 [](TSettings& s, const std::string& v) {
                   if (v == "auto") {
                     s.Comforts.renderScale = 0;
                     return;
                   }
                   for (int k = 1; k <= 4; ++k) {
                     if (v == std::to_string(k)) {
                       s.Comforts.renderScale = k;
                       return;
                     }
                   }
                   throw std::string("render_scale must be 1, 2, 3, 4 or auto, not '" + v + "'");
                 },
                 [](const TSettings& s) {
                   return s.Comforts.renderScale == 0 ? std::string("auto") : std::to_string(s.Comforts.renderScale);
                 }});
    e.push_back({"screenshot_dir", "Folder of the screenshots (F12); empty: $XDG_PICTURES_DIR/tavvyhop",
                 [](TSettings& s, const std::string& v) { s.Comforts.screenshotDir = v; },
                 [](const TSettings& s) { return s.Comforts.screenshotDir; }});
    static const char* const buttons[6] = {"key_fire",    "key_afterburner", "key_thrust",
                                           "key_missile", "key_blade",       "key_view"};
    for (size_t i = 0; i < 6; ++i) {
      e.push_back({buttons[i], i == 0 ? "Keys, by name (Z, Space, Up, KP8, F2, ...)" : "",
                   [i](TSettings& s, const std::string& v) { s.ButtonKeys[i] = KeyName(v); },
                   [i](const TSettings& s) { return s.ButtonKeys[i]; }});
    }
    static const char* const directions[4] = {"key_up", "key_down", "key_left", "key_right"};
    for (size_t i = 0; i < 4; ++i) {
      e.push_back({directions[i], "", [i](TSettings& s, const std::string& v) { s.DirectionKeys[i] = KeyName(v); },
                   [i](const TSettings& s) { return s.DirectionKeys[i]; }});
    }
    static const char* const pads[6] = {"pad_fire",    "pad_afterburner", "pad_thrust",
                                        "pad_missile", "pad_blade",       "pad_view"};
    for (size_t i = 0; i < 6; ++i) {
      e.push_back({pads[i],
                   i == 0 ? "Game-pad buttons: a, b, x, y, leftshoulder, rightshoulder, back, start,\n"
                            "leftstick, rightstick, dpup, dpdown, dpleft, dpright (A is the lower face button)"
                          : "",
                   [i](TSettings& s, const std::string& v) { s.Comforts.padButtons[i] = PadButton(v); },
                   [i](const TSettings& s) { return s.Comforts.padButtons[i]; }});
    }
    return e;
  }();
  return entries;
}

}  // namespace

std::string SettingsPath() {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') {
    const std::string home = Env("HOME");
    config = (home.empty() ? std::string(".") : home) + "/.config";
  }
  return config + "/tavvyhop/settings.conf";
}

TSettings ParseSettings(const std::string& text) {
  TSettings s;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) continue;
    const auto fail = [&](std::string why) {
      // A line of binary junk is quoted without its control characters.
      for (char& c : why) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
      }
      throw ESettings("line " + std::to_string(number) + ": " + why);
    };
    size_t eq = line.find('=');
    if (eq == std::string::npos) fail("'" + line + "' is not 'name = value'");
    const std::string name = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    const TEntry* entry = nullptr;
    for (const TEntry& e : Entries()) {
      if (name == e.name) entry = &e;
    }
    if (!entry) fail("unknown setting '" + name + "'");
    try {
      entry->read(s, value);
    } catch (const std::string& why) {
      fail(name + ": " + why);
    }
  }
  return s;
}

std::string FormatSettings(const TSettings& settings) {
  std::string out =
      "# Tavvyhop settings. Lines are \"name = value\"; '#' starts a comment.\n"
      "# The program rewrites this file when the start-up dialog is confirmed.\n";
  for (const TEntry& e : Entries()) {
    if (*e.comment) {
      out += "\n";
      std::istringstream comment(e.comment);
      std::string line;
      while (std::getline(comment, line)) out += "# " + line + "\n";
    }
    out += std::string(e.name) + " = " + e.write(settings) + "\n";
  }
  return out;
}

TSettingsLoad LoadSettings(const std::string& path) {
  TSettingsLoad load;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return load;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in && std::filesystem::is_regular_file(path, ec)) text << in.rdbuf();
  if (!in || in.bad() || !std::filesystem::is_regular_file(path, ec)) {
    load.Problem = "tavvyhop: cannot read the settings file " + path + "; using the defaults";
    return load;
  }
  try {
    load.Settings = ParseSettings(text.str());
  } catch (const ESettings& e) {
    load.Problem = "tavvyhop: settings file " + path + ", " + e.what() + "; using the defaults";
  }
  return load;
}

std::string SaveSettings(const std::string& path, const TSettings& settings) {
  std::error_code ec;
  const std::filesystem::path target(path);
  std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) return target.parent_path().string() + ": " + ec.message();
  const std::string partial = path + ".new";
  const std::string text = FormatSettings(settings);
  std::FILE* f = std::fopen(partial.c_str(), "wb");
  if (!f) return partial + ": " + std::strerror(errno);
  // The first failure is the one to tell.
  int err = 0;
  const auto check = [&err](bool done) {
    if (!done && !err) err = errno ? errno : EIO;
  };
  check(std::fwrite(text.data(), 1, text.size(), f) == text.size());
  check(std::fflush(f) == 0);
  // On the disk before the rename, so a crash leaves the old file or the new one.
  if (!err) check(fsync(fileno(f)) == 0);
  check(std::fclose(f) == 0);
  if (err) {
    std::filesystem::remove(partial, ec);
    return partial + ": " + std::strerror(err);
  }
  std::filesystem::rename(partial, target, ec);
  if (ec) {
    std::filesystem::remove(partial, ec);
    return path + ": " + ec.message();
  }
  return "";
}

std::string LanguageFromLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string v = Env(name);
    if (!v.empty()) return v.rfind("ja", 0) == 0 ? "ja" : "en";
  }
  return "en";
}
