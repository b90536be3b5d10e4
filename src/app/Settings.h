// The settings that stay between runs: the options dialog's choices and the port's own
// conveniences, in a small commented text file that a player can edit
// ($XDG_CONFIG_HOME/tavvyhop/settings.conf, or ~/.config/tavvyhop/settings.conf).
// Headless runs never read it, so that they play the same everywhere.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "app/CommandLine.h"
#include "platform/host/Comforts.h"

// The options dialog's choices, and the port's own settings.
struct TSettings : TDialogChoices {
  // false: start straight away with the choices above ("don't ask again").
  bool AskAtStart = true;
  // "ja", "en", or empty: from the locale.
  std::string Language;
  // Pause, window, scaling, screenshots.
  host::ComfortSettings Comforts;
  // The keys of the joystick buttons 0..5 (fire, afterburner, thrust, missiles, blade, view)
  // and of the four directions, by key name ("Z", "Up", "KP8", ...).
  std::array<std::string, 6> ButtonKeys{"Z", "X", "C", "A", "S", "Q"};
  std::array<std::string, 4> DirectionKeys{"Up", "Down", "Left", "Right"};
};

class ESettings : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The settings file of this user.
std::string SettingsPath();
// Reads "name = value" lines; throws ESettings naming the line of the first mistake.
TSettings ParseSettings(const std::string& text);
// The file's text: every setting with a comment saying what it does.
std::string FormatSettings(const TSettings& settings);

struct TSettingsLoad {
  TSettings Settings;
  std::string Problem;  // one line when the file was there but could not be used
};
// A missing file gives the defaults quietly; a broken or unreadable one the defaults and a line.
TSettingsLoad LoadSettings(const std::string& path);
// Writes a new file beside the old one and renames it over, so the old file stays whole
// when the disk is full or the folder read-only. Empty: written; otherwise the reason.
std::string SaveSettings(const std::string& path, const TSettings& settings);

// The language from the locale: LC_ALL, LC_MESSAGES, then LANG; "ja..." is Japanese.
std::string LanguageFromLocale();
