#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Form1Fixture.h"
#include "app/Settings.h"

namespace {

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TSettings Unusual() {
  TSettings s;
  s.FullScreen = false;
  s.NoHal = true;
  s.NoMmx = true;
  s.NoTnlHal = true;
  s.Flat = true;
  s.Specular = false;
  s.Lives = 100;
  s.AskAtStart = false;
  s.Language = "en";
  s.Comforts.pauseOnFocusLoss = false;
  s.Comforts.windowFrame = false;
  s.Comforts.integerScaling = true;
  s.Comforts.smoothScaling = false;
  s.Comforts.screenshotDir = "/tmp/shots here";
  s.ButtonKeys[0] = "Space";
  s.DirectionKeys[3] = "KP6";
  return s;
}

TEST(Settings, EverySettingIsWrittenWithACommentAndReadBack) {
  const std::string text = FormatSettings(Unusual());
  const TSettings back = ParseSettings(text);
  EXPECT_EQ(FormatSettings(back), text);
  EXPECT_FALSE(back.FullScreen);
  EXPECT_TRUE(back.NoHal && back.NoMmx && back.NoTnlHal && back.Flat);
  EXPECT_FALSE(back.Specular);
  EXPECT_EQ(back.Lives, 100);
  EXPECT_FALSE(back.AskAtStart);
  EXPECT_EQ(back.Language, "en");
  EXPECT_FALSE(back.Comforts.pauseOnFocusLoss);
  EXPECT_FALSE(back.Comforts.windowFrame);
  EXPECT_TRUE(back.Comforts.integerScaling);
  EXPECT_FALSE(back.Comforts.smoothScaling);
  EXPECT_EQ(back.Comforts.screenshotDir, "/tmp/shots here");
  EXPECT_EQ(back.ButtonKeys[0], "Space");
  EXPECT_EQ(back.DirectionKeys[3], "KP6");
  // A human may write it differently: blanks, comments after values, other spellings of yes.
  const TSettings hand = ParseSettings("# mine\n  lives=7   # more\nspecular = no\r\nkey_view = space\n\n");
  EXPECT_EQ(hand.Lives, 7);
  EXPECT_FALSE(hand.Specular);
  EXPECT_EQ(hand.ButtonKeys[5], "Space");
  EXPECT_TRUE(hand.FullScreen);  // what the file does not say keeps its default
  // The file explains itself: a comment before the first setting of each group.
  EXPECT_NE(text.find("# Full screen (1) or a window (0)\nfullscreen = 0"), std::string::npos) << text;
  EXPECT_NE(text.find("# Pause when the window loses the focus"), std::string::npos);
}

TEST(Settings, MistakesNameTheLine) {
  auto mistake = [](const std::string& text) {
    try {
      ParseSettings(text);
    } catch (const ESettings& e) {
      return std::string(e.what());
    }
    return std::string("no mistake");
  };
  EXPECT_EQ(mistake("lives = 4"), "line 1: lives: lives must be 1, 3, 5, 7, 9 or 100, not '4'");
  EXPECT_EQ(mistake("\nfullscreen = maybe"), "line 2: fullscreen: 'maybe' is not 1 or 0");
  EXPECT_EQ(mistake("colour = red"), "line 1: unknown setting 'colour'");
  EXPECT_EQ(mistake("just words"), "line 1: 'just words' is not 'name = value'");
  EXPECT_EQ(mistake("key_fire = Nope"), "line 1: key_fire: unknown key 'Nope'");
  EXPECT_EQ(mistake("language = fr"), "line 1: language: language must be ja, en or empty");
  EXPECT_EQ(mistake(std::string("lives = 3\n\xff\xfe\x00garbage", 20)),
            "line 2: '\xff\xfe?garbage' is not 'name = value'");
}

TEST(Settings, ABrokenOrUnreadableFileGivesOneLineAndTheDefaults) {
  testsupport::TempDir dir;
  // No file: the defaults, quietly.
  TSettingsLoad load = LoadSettings(dir.File("none.conf"));
  EXPECT_EQ(load.Problem, "");
  EXPECT_EQ(FormatSettings(load.Settings), FormatSettings(TSettings{}));
  // A broken file: every setting back to its default, even those before the mistake.
  testsupport::WriteFileText(dir.File("broken.conf"), "lives = 5\nfullscreen = 2\n");
  load = LoadSettings(dir.File("broken.conf"));
  EXPECT_EQ(load.Problem, "tavvyhop: settings file " + dir.File("broken.conf") +
                              ", line 2: fullscreen: '2' is not 1 or 0; using the defaults");
  EXPECT_EQ(load.Problem.find('\n'), std::string::npos);
  EXPECT_EQ(load.Settings.Lives, 3);
  // A folder where the file should be cannot be read.
  std::filesystem::create_directories(dir.File("folder.conf"));
  load = LoadSettings(dir.File("folder.conf"));
  EXPECT_NE(load.Problem.find("cannot read the settings file"), std::string::npos) << load.Problem;
  EXPECT_EQ(load.Settings.Lives, 3);
}

TEST(Settings, SavingReplacesTheFileWholeAndAFailureLeavesTheOldOne) {
  testsupport::TempDir dir;
  const std::string path = dir.File("cfg/tavvyhop/settings.conf");
  EXPECT_EQ(SaveSettings(path, Unusual()), "");  // the folders are made
  EXPECT_EQ(LoadSettings(path).Settings.Lives, 100);
  TSettings five;
  five.Lives = 5;
  EXPECT_EQ(SaveSettings(path, five), "");
  EXPECT_EQ(testsupport::ReadFileText(path), FormatSettings(five));
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  // A full disk: the new file is written through a name that leads to /dev/full.
  if (std::filesystem::exists("/dev/full")) {
    std::filesystem::create_symlink("/dev/full", path + ".new");
    const std::string problem = SaveSettings(path, Unusual());
    EXPECT_NE(problem.find("No space left on device"), std::string::npos) << problem;
    EXPECT_EQ(testsupport::ReadFileText(path), FormatSettings(five));
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  }
  // A folder that cannot be made.
  testsupport::WriteFileText(dir.File("file"), "x");
  EXPECT_NE(SaveSettings(dir.File("file/settings.conf"), five), "");
}

TEST(Settings, PlaceAndLanguageComeFromTheEnvironment) {
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(SettingsPath(), "/cfg/tavvyhop/settings.conf");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/pilot");
    EXPECT_EQ(SettingsPath(), "/home/pilot/.config/tavvyhop/settings.conf");
  }
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv messages("LC_MESSAGES", nullptr);
  {
    ScopedEnv lang("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(LanguageFromLocale(), "ja");
    ScopedEnv msg("LC_MESSAGES", "en_GB.UTF-8");
    EXPECT_EQ(LanguageFromLocale(), "en");
  }
  ScopedEnv lang("LANG", nullptr);
  EXPECT_EQ(LanguageFromLocale(), "en");
}

TEST(Settings, TheCommandLineWinsOverTheSavedChoices) {
  TCommandLine base;
  base.Lives = 9;
  base.FullScreen = false;
  TCommandLine c = ParseCommandLine({"--lives=5", "--no-dialog", "--lang=en"}, base);
  EXPECT_EQ(c.Lives, 5);
  EXPECT_FALSE(c.FullScreen);
  EXPECT_TRUE(c.NoDialog);
  EXPECT_EQ(c.Language, "en");
  EXPECT_THROW(ParseCommandLine({"--lang=fr"}), ECommandLine);
  EXPECT_TRUE(ParseCommandLine({"--version"}).Version);
  std::ostringstream out, err;
  EXPECT_EQ(RunTavvyhop({"--version"}, out, err), 0);
  EXPECT_EQ(out.str().rfind("tavvyhop ", 0), 0u);
}

// The dialog of a real window, with the headless machine answering as a player would.
class KeptChoicesTest : public Form1Test {
 protected:
  RecordingForm1& StartWith(TSettings& settings, const TCommandLine& c, const std::string& script) {
    testsupport::WriteFileText(dir_.File("keys.txt"), script);
    app_.reset();
    host::HeadlessOptions options;
    options.scriptPath = dir_.File("keys.txt");
    host_ = host::CreateHeadlessHost(options);
    host::SetCurrent(host_.get());
    app_ = std::make_unique<forms::TApplication>(*host_);
    KeepChoices(*app_, c, settings, dir_.File("settings.conf"), err_);
    TForm1Options formOptions;
    formOptions.Seed = 1;
    formOptions.DataDirOverride = dir_.Dir() + "Data";
    return app_->CreateForm<RecordingForm1>(formOptions);
  }
  std::ostringstream err_;
};

TEST_F(KeptChoicesTest, TheDialogOpensPreselectedAndItsChoicesAreSaved) {
  WriteData(dir_);
  TSettings settings;
  settings.Lives = 5;
  settings.FullScreen = false;
  TCommandLine c;
  c.Lives = 5;
  c.FullScreen = false;
  c.Language = "en";
  // The player ticks the full-screen box (the first control), goes back round to the last one,
  // "don't ask again", ticks it too and confirms.
  RecordingForm1& f = StartWith(settings, c,
                                "0 down Space\n0 up Space\n0 down LShift\n0 down Tab\n0 up Tab\n0 up LShift\n"
                                "0 down Space\n0 up Space\n0 down Enter\n");
  EXPECT_EQ(f.StockSetting, 4);  // preselected from the saved choices
  EXPECT_TRUE(f.Called("KNSetFullScreenMode"));
  const TSettings saved = LoadSettings(dir_.File("settings.conf")).Settings;
  EXPECT_TRUE(saved.FullScreen);
  EXPECT_EQ(saved.Lives, 5);
  EXPECT_FALSE(saved.AskAtStart);
  EXPECT_EQ(err_.str(), "");
  // Cancel keeps the file as it was.
  const std::string before = testsupport::ReadFileText(dir_.File("settings.conf"));
  TSettings again;
  StartWith(again, TCommandLine{}, "0 down Escape\n");
  EXPECT_TRUE(app_->Terminated());
  EXPECT_EQ(testsupport::ReadFileText(dir_.File("settings.conf")), before);
}

TEST_F(KeptChoicesTest, DontAskAgainStartsStraightAwayWithTheSavedChoices) {
  WriteData(dir_);
  TSettings settings;
  settings.AskAtStart = false;
  TCommandLine c;
  c.Lives = 7;
  c.Flat = true;
  RecordingForm1& f = StartWith(settings, c, "");
  EXPECT_EQ(f.StockSetting, 6);
  EXPECT_TRUE(f.Called("KNSetRenderState 9 1"));                      // flat shading
  EXPECT_FALSE(std::filesystem::exists(dir_.File("settings.conf")));  // nothing changed, nothing written
  // --no-dialog does the same while the file still asks.
  TSettings asks;
  c.NoDialog = true;
  RecordingForm1& g = StartWith(asks, c, "");
  EXPECT_EQ(g.StockSetting, 6);
}

}  // namespace
