#include "SXView1/Session.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "SXView1/Help.h"
#include "SXView1/Settings.h"
#include "SXView1/TForm1.h"
#include "platform/host/Hosts.h"
#include "platform/host/KeyMap.h"
#include "platform/host/services/ImageCodecs.h"
#include "platform/win/ModulePath.h"

using namespace forms;

std::optional<int> DialogAnswer::Apply(TForm& dialog, const TCommandLine& c) {
  auto* option = dynamic_cast<TOptionForm*>(&dialog);
  if (!option) return std::nullopt;
  option->CheckBox1->Checked = c.FullScreen;
  option->CheckBox2->Checked = c.NoMmx;
  option->CheckBox3->Checked = c.NoHal;
  option->CheckBox4->Checked = c.NoTnlHal;
  (c.Flat ? option->RadioButton1 : option->RadioButton2)->SetChecked(true);
  option->CheckBox5->Checked = c.Specular;
  const auto& items = option->ComboBox1->Items;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i] == std::to_string(c.Lives)) option->ComboBox1->SetItemIndex(static_cast<int>(i));
  }
  bool ok = c.Ok.value_or(c.Headless);
  if (!c.Ok && !c.Headless) return std::nullopt;
  return ok ? mrOk : mrCancel;
}

namespace {

// The per-tick statistics file.
class TickStats {
 public:
  explicit TickStats(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {
    if (!out_) throw rtl::EFCreateError("Cannot create file " + path);
  }
  void Write(uint64_t tick, const TForm1& f) {
    out_ << tick << ' ' << f.GameState << ' ' << f.Score << ' ' << f.Stage << ' ' << f.Stock << ' ' << f.Energy << ' '
         << f.TargetEnergy << ' ' << f.StageTime << ' ' << f.ReadyTime << ' ' << f.DeathTime << ' ' << f.ClearCountdown
         << ' ' << f.MessageIndex << ' ' << f.MessageTime << '\n';
    // Line by line, so that whoever watches a live run (a test driving the real window) sees
    // each tick as it ends.
    out_.flush();
  }

 private:
  std::ofstream out_;
};

void WriteFrame(const std::string& dir, uint64_t tick, TForm& form) {
  form.FlushCanvas();
  int w = 0, h = 0;
  const std::vector<uint32_t>& pixels = form.Window().LastPresented(w, h);
  if (pixels.empty() || w <= 0 || h <= 0) return;
  char name[40];
  std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(tick));
  std::string path = (std::filesystem::path(dir) / name).string();
  auto result = host::services::WritePngXrgb(path, pixels.data(), w, h, w);
  if (!result) throw rtl::EFCreateError("Cannot write frame " + path + ": " + result.error);
}

// The dialog's choices and the saved settings, both ways.
TCommandLine CommandLineFrom(const TSettings& s) {
  TCommandLine c;
  static_cast<TDialogChoices&>(c) = s;
  return c;
}

void ReadChoices(const TOptionForm& dialog, TSettings& s) {
  s.FullScreen = dialog.CheckBox1->Checked;
  s.NoMmx = dialog.CheckBox2->Checked;
  s.NoHal = dialog.CheckBox3->Checked;
  s.NoTnlHal = dialog.CheckBox4->Checked;
  s.Flat = dialog.RadioButton1->Checked();
  s.Specular = dialog.CheckBox5->Checked;
  s.Lives = rtl::StrToIntDef(dialog.ComboBox1->Text(), 3);
  if (dialog.DontAskCheckBox) s.AskAtStart = !dialog.DontAskCheckBox->Checked;
}

host::ComfortTexts ComfortTextsIn(const std::string& language) {
  host::ComfortTexts t;
  if (language == "ja") {
    t.screenshotSaved = "スクリーンショットを保存しました: ";
    t.screenshotFailed = "スクリーンショットを保存できません: ";
  }
  return t;
}

// The keys of the settings where they differ from the game's own.
void ApplyKeys(TForm1& form, const TSettings& s) {
  if (!form.Joy) return;
  const TSettings defaults;
  for (size_t i = 0; i < s.ButtonKeys.size(); ++i) {
    if (s.ButtonKeys[i] == defaults.ButtonKeys[i]) continue;
    if (auto key = host::KeyByName(s.ButtonKeys[i])) form.Joy->SetKeyMap(0, static_cast<int>(i), key->dik);
  }
  for (size_t i = 0; i < s.DirectionKeys.size(); ++i) {
    if (s.DirectionKeys[i] == defaults.DirectionKeys[i]) continue;
    if (auto key = host::KeyByName(s.DirectionKeys[i])) form.Joy->SetKeyMap(0, 32 + static_cast<int>(i), key->dik);
  }
}

// An installed program (<prefix>/bin/tavvyhop) without a Data/ folder beside it reads
// <prefix>/share/tavvyhop/; empty: the folder beside the program, as always.
std::string InstalledDataDir() {
  const std::string here = win::ModuleDirectory();
  std::error_code ec;
  if (std::filesystem::exists(here + "Data", ec)) return "";
  const std::filesystem::path shared = std::filesystem::path(here) / ".." / "share" / "tavvyhop";
  if (!std::filesystem::is_directory(shared, ec)) return "";
  return std::filesystem::weakly_canonical(shared, ec).string() + "/";
}

}  // namespace

void KeepChoices(forms::TApplication& application, const TCommandLine& c, TSettings& settings,
                 const std::string& path, std::ostream& err) {
  auto showing = std::make_shared<bool>(false);
  application.ModalAnswer = [&application, &settings, &err, c, path, showing](TForm& dialog) -> std::optional<int> {
    auto* option = dynamic_cast<TOptionForm*>(&dialog);
    if (!option || *showing) return std::nullopt;
    if (auto answer = DialogAnswer::Apply(dialog, c)) return answer;
    const bool english = c.Language == "en";
    if (english) option->UseEnglish();
    if (c.NoDialog || !settings.AskAtStart) return mrOk;
    option->AddDontAskAgain(english ? "Don't ask again (start with these choices)" : "次回から聞かない（この設定で起動）");
    *showing = true;
    const int result = option->ShowModal();
    *showing = false;
    if (result == mrOk) {
      ReadChoices(*option, settings);
      const std::string problem = SaveSettings(path, settings);
      if (!problem.empty()) {
        err << "tavvyhop: the settings were not saved: " << problem << '\n';
        if (host::Comforts* comforts = application.Host().GetComforts()) comforts->Say(english ? "Settings not saved" : "設定を保存できませんでした");
      }
    }
    return result;
  };
}

int RunTavvyhop(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TCommandLine c;
  try {
    c = ParseCommandLine(args);
  } catch (const ECommandLine& e) {
    err << "tavvyhop: " << e.what() << "\n(tavvyhop --help lists the options)\n";
    return 2;
  }
  if (c.Help) {
    out << HelpText();
    return 0;
  }
  if (c.Version) {
    out << "tavvyhop " << TAVVYHOP_VERSION << '\n';
    return 0;
  }
  // Settings stay between runs of the real window; headless runs play the same everywhere.
  TSettings settings;
  std::string settingsPath;
  if (!c.Headless) {
    settingsPath = c.SettingsFile.empty() ? SettingsPath() : c.SettingsFile;
    TSettingsLoad load = LoadSettings(settingsPath);
    if (!load.Problem.empty()) err << load.Problem << '\n';
    settings = load.Settings;
    c = ParseCommandLine(args, CommandLineFrom(settings));  // the command line wins
    if (c.Language.empty()) c.Language = settings.Language.empty() ? LanguageFromLocale() : settings.Language;
    settings.Comforts.texts = ComfortTextsIn(c.Language);
  }
  if (c.TimeDemo && (!c.Headless || !c.Ticks || *c.Ticks == 0)) {
    err << "tavvyhop: --timedemo needs --headless and --ticks=N (N at least 1)\n";
    return 2;
  }

  std::unique_ptr<host::IHost> machine;
  try {
    if (c.Headless) {
      host::HeadlessOptions options;
      options.scriptPath = c.Script;
      machine = host::CreateHeadlessHost(options);
    } else {
      if (!c.Script.empty()) throw host::ScriptError("--script needs --headless");
      machine = host::CreateSdlHost(settings.Comforts);
    }
  } catch (const std::exception& e) {
    err << "tavvyhop: " << e.what() << '\n';
    return 2;
  }
  struct CurrentHost {
    explicit CurrentHost(host::IHost* h) { host::SetCurrent(h); }
    ~CurrentHost() { host::SetCurrent(nullptr); }
  } current(machine.get());

  int exitCode = 0;
  try {
    std::unique_ptr<TickStats> stats;
    if (!c.Stats.empty()) stats = std::make_unique<TickStats>(c.Stats);
    if (!c.Frames.empty()) std::filesystem::create_directories(c.Frames);

    std::unique_ptr<TApplication> app = CreateAnsweringApplication(*machine, c);
    TApplication& application = *app;
    if (!c.Headless) KeepChoices(application, c, settings, settingsPath, err);
    TForm1Options options;
    options.Seed = c.Seed;
    options.DataDirOverride = c.Data.empty() ? InstalledDataDir() : c.Data;
    options.Autopilot = c.Autopilot;
    // English messages where the data set has them (a data set of the Windows version has not).
    const std::string dataDir = options.DataDirOverride.empty() ? win::ModuleDirectory() + "Data/"
                                                                : options.DataDirOverride + "/";
    if (c.Language == "en" && std::filesystem::exists(dataDir + "words-en.dat")) options.WordsFile = "words-en.dat";
    TForm1& form = application.CreateForm<TForm1>(options);
    if (!c.Headless) ApplyKeys(form, settings);
    InstallTitleHelp(form, HelpLines(c.Language.empty() ? "ja" : c.Language, settings.ButtonKeys, settings.DirectionKeys));
    form.OnTickDone = [&] {
      uint64_t tick = form.TicksRun() - 1;
      if (stats) stats->Write(tick, form);
      if (!c.Frames.empty() && tick % static_cast<uint64_t>(c.FrameEvery) == 0) WriteFrame(c.Frames, tick, form);
      machine->TickDone(form.TicksRun());
      if (c.Ticks && form.TicksRun() >= *c.Ticks) application.Terminate();
    };
    if (c.Ticks && *c.Ticks == 0) application.Terminate();
    const auto loopStart = std::chrono::steady_clock::now();
    application.Run();
    if (c.TimeDemo) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - loopStart).count();
      out << TimeDemoLine(form.TicksRun(), seconds) << '\n';
    }
  } catch (const rtl::EHalt& halt) {
    exitCode = halt.ExitCode;
  } catch (const std::exception& e) {
    err << "tavvyhop: " << e.what() << '\n';
    if (!c.Headless) machine->ShowMessageBox("Tavvyhop", e.what());
    exitCode = 1;
  }
  return exitCode;
}

std::unique_ptr<TApplication> CreateAnsweringApplication(host::IHost& machine, const TCommandLine& answer) {
  auto application = std::make_unique<TApplication>(machine);
  application->Initialize();
  application->ModalAnswer = [answer](TForm& dialog) { return DialogAnswer::Apply(dialog, answer); };
  return application;
}

std::string TimeDemoLine(uint64_t ticks, double seconds) {
  char line[160];
  const double perSecond = seconds > 0 ? static_cast<double>(ticks) / seconds : 0.0;
  const double msPerTick = ticks > 0 ? seconds * 1000.0 / static_cast<double>(ticks) : 0.0;
  std::snprintf(line, sizeof line, "timedemo: %llu ticks in %.3f s: %.1f ticks per second, %.3f ms a tick",
                static_cast<unsigned long long>(ticks), seconds, perSecond, msPerTick);
  return line;
}
