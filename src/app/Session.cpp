#include "app/Session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "SXView1/ComponentWords.h"
#include "SXView1/Help.h"
#include "SXView1/TForm1.h"
#include "app/Settings.h"
#include "common/DataReport.h"
#include "platform/d3d/Direct3D.h"
#include "platform/host/Hosts.h"
#include "platform/host/KeyMap.h"
#include "platform/host/demo/DemoHosts.h"
#include "platform/host/services/ImageCodecs.h"
#include "platform/rtl/Random.h"
#include "platform/win/ModulePath.h"

#ifndef TAVVYHOP_VERSION
#define TAVVYHOP_VERSION "unknown"
#endif

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

uint64_t FrameHash(TForm& form) {
  form.FlushCanvas();
  int w = 0, h = 0;
  const std::vector<uint32_t>& pixels = form.Window().LastPresented(w, h);
  uint64_t hash = 0xcbf29ce484222325ull;
  for (uint32_t p : pixels) {
    const uint8_t bytes[4] = {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)};
    hash = host::demo::Fnv1a64(bytes, hash);
  }
  return hash;
}

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
  c.RenderScale = s.Comforts.renderScale;
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
    t.soundLost = "サウンドデバイスがなくなりました。音なしで続けます";
    t.soundBack = "サウンドが戻りました";
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

// The demo options that cannot go together, or with the options a demo brings along.
std::string DemoOptionConflict(const TCommandLine& c) {
  const bool plays = !c.PlayDemo.empty() || !c.TimeDemoFile.empty();
  if (!c.PlayDemo.empty() && !c.TimeDemoFile.empty()) return "--playdemo and --timedemo=FILE exclude each other";
  if (plays && !c.Record.empty()) return "--record cannot record a demo being played";
  if (plays && c.TimeDemo) return "--timedemo=FILE plays a demo; --timedemo without a file times the live game";
  if (plays && (!c.Script.empty() || c.Seed || c.Autopilot || c.Ok)) {
    return "a demo brings its own input, seed and answers: --script, --seed, --autopilot, --ok and --cancel "
           "cannot be given with it";
  }
  return {};
}

// How a finished playback is reported; returns the exit code.
int ReportPlayback(host::demo::PlaybackHost& player, const std::string& file, bool stoppedByTicks, std::ostream& err) {
  using Outcome = host::demo::PlaybackHost::Outcome;
  if (stoppedByTicks) return 0;
  const Outcome outcome = player.Conclude();
  switch (outcome) {
    case Outcome::OutOfSync: {
      err << "demo out of sync at tick " << player.Tick() << '\n' << "tavvyhop: " << file << ": " << player.Why();
      const std::string& recordedBy = player.Played().header.programVersion;
      if (recordedBy != TAVVYHOP_VERSION) err << " (recorded by tavvyhop " << recordedBy << ")";
      err << '\n';
      return 4;
    }
    case Outcome::CutShort:
      err << "tavvyhop: demo " << file << " ends at tick " << player.Tick()
          << " without its end: the recording was cut short (" << player.Why() << "); it played up to there\n";
      return 5;
    case Outcome::Stopped:
      err << "tavvyhop: playback " << player.Why() << " at tick " << player.Tick() << '\n';
      return 0;
    case Outcome::Playing:
    case Outcome::Finished:
      break;
  }
  return 0;
}

std::string Percentiles(std::vector<double> ms) {
  if (ms.empty()) return "no frames";
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * double(ms.size() - 1) + 0.5))]; };
  // The game ticks 40 times a second: a frame longer than 25 ms would hold a tick up.
  const auto slow = std::count_if(ms.begin(), ms.end(), [](double t) { return t > 25.0; });
  char line[200];
  std::snprintf(line, sizeof line,
                "frame time median %.3f ms, 99th percentile %.3f ms, worst %.3f ms, %lld over 25 ms (a tick)", at(0.5),
                at(0.99), ms.back(), static_cast<long long>(slow));
  return line;
}

// How the sound output kept up: a late callback is one where the device waited for sound.
void ReportAudioCounts(const host::IAudioDevice& audio, std::ostream& err) {
  const host::AudioOutputCounts counts = audio.Counts();
  err << "audio: " << counts.callbacks << " callbacks, " << counts.late << " late\n";
}

}  // namespace

void KeepChoices(forms::TApplication& application, const TCommandLine& c, TSettings& settings, const std::string& path,
                 std::ostream& err) {
  auto showing = std::make_shared<bool>(false);
  application.ModalAnswer = [&application, &settings, &err, c, path, showing](TForm& dialog) -> std::optional<int> {
    auto* option = dynamic_cast<TOptionForm*>(&dialog);
    if (!option || *showing) return std::nullopt;
    if (auto answer = DialogAnswer::Apply(dialog, c)) return answer;
    const bool english = c.Language == "en";
    if (english) option->UseEnglish();
    if (c.NoDialog || !settings.AskAtStart) return mrOk;
    option->AddDontAskAgain(english ? "Don't ask again (start with these choices)"
                                    : "次回から聞かない（この設定で起動）");
    *showing = true;
    const int result = option->ShowModal();
    *showing = false;
    if (result == mrOk) {
      ReadChoices(*option, settings);
      const std::string problem = SaveSettings(path, settings);
      if (!problem.empty()) {
        err << "tavvyhop: the settings were not saved: " << problem << '\n';
        if (host::Comforts* comforts = application.Host().GetComforts())
          comforts->Say(english ? "Settings not saved" : "設定を保存できませんでした");
      }
    }
    return result;
  };
}

std::vector<std::string> DialogSettings(const TOptionForm& dialog, bool ok, bool autopilot) {
  std::vector<std::string> s;
  s.push_back(ok ? "--ok" : "--cancel");
  s.push_back(dialog.CheckBox1->Checked ? "--fullscreen=1" : "--fullscreen=0");
  if (dialog.CheckBox2->Checked) s.push_back("--no-mmx");
  if (dialog.CheckBox3->Checked) s.push_back("--no-hal");
  if (dialog.CheckBox4->Checked) s.push_back("--no-tnlhal");
  if (dialog.RadioButton1->Checked()) s.push_back("--flat");
  s.push_back(dialog.CheckBox5->Checked ? "--specular=1" : "--specular=0");
  const std::string lives = dialog.ComboBox1->Text();
  if (lives == "1" || lives == "3" || lives == "5" || lives == "7" || lives == "9" || lives == "100") {
    s.push_back("--lives=" + lives);
  }
  if (autopilot) s.push_back("--autopilot");
  return s;
}

uint32_t GameStateChecksum(const TForm1& f) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto add = [&](const void* p, size_t n) { h = host::demo::Fnv1a64(std::span(static_cast<const uint8_t*>(p), n), h); };
  const int32_t counters[] = {f.GameState,
                              f.Score,
                              f.Stage,
                              f.Stock,
                              f.EnemyTop,
                              f.Energy,
                              f.TargetEnergy,
                              f.ReadyTime,
                              f.StageTime,
                              f.DeathTime,
                              f.ClearCountdown,
                              f.Play.NextShot,
                              f.Play.NextMissile,
                              f.Play.NextExplosion};
  add(counters, sizeof counters);
  const uint32_t seed = rtl::RandSeed();
  add(&seed, sizeof seed);
  auto frame = [&](const TSXFrame* frame) {
    if (!frame || !f.RootFrame) return;
    const TMatrix4 m = frame->GetMatrix(f.RootFrame.get());
    add(&m, sizeof m);
  };
  frame(f.PlayerFrame);
  for (const TSXFrame* e : f.EnemyFrames) frame(e);
  frame(f.TargetFrame);
  return static_cast<uint32_t>(h ^ (h >> 32));
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
  if (!c.AudioOut.empty() && !c.Headless) {
    err << "tavvyhop: --audio-out needs --headless\n";
    return 2;
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
  // The render scale of this run (the settings file keeps its own, unless the dialog rewrites it).
  host::ComfortSettings runComforts = settings.Comforts;
  runComforts.renderScale = c.RenderScale;
  if (c.TimeDemo && (!c.Headless || !c.Ticks || *c.Ticks == 0)) {
    err << "tavvyhop: --timedemo needs --headless and --ticks=N (N at least 1)\n";
    return 2;
  }
  if (std::string conflict = DemoOptionConflict(c); !conflict.empty()) {
    err << "tavvyhop: " << conflict << '\n';
    return 2;
  }
  const std::string demoFile = !c.PlayDemo.empty() ? c.PlayDemo : c.TimeDemoFile;
  const bool timeDemoFile = !c.TimeDemoFile.empty();
  if (timeDemoFile) c.Headless = true;
  const std::string dataDir = c.Data.empty() ? win::ModuleDirectory() + "Data/" : c.Data;

  // A demo to play brings the seed, the dialog's answers and the game's switches.
  std::optional<host::demo::Demo> demo;
  TCommandLine answers = c;
  bool userTicks = false;
  if (!demoFile.empty()) {
    try {
      demo = host::demo::ReadDemoFile(demoFile);
      host::demo::CheckDataSet(demo->header, dataDir);
      try {
        answers = ParseCommandLine(demo->header.settings);
      } catch (const ECommandLine& e) {
        throw host::demo::DemoError("demo " + demoFile + ": damaged settings (" + e.what() + ")");
      }
      answers.Headless = true;  // answered, never shown
      if (!answers.Ok) answers.Ok = true;
      // A limit of the playback's own stops it early; the recording's limit ends it as it ended then.
      if (c.Ticks && (!answers.Ticks || *c.Ticks < *answers.Ticks)) {
        userTicks = true;
      } else {
        c.Ticks = answers.Ticks;
      }
    } catch (const host::demo::DemoError& e) {
      err << "tavvyhop: " << e.what() << '\n';
      return 2;
    }
  }
  uint32_t recordSeed = 0;
  if (!c.Record.empty()) {
    if (c.Seed) {
      recordSeed = *c.Seed;
    } else {
      rtl::Randomize();  // as the game itself would
      recordSeed = rtl::RandSeed();
    }
  }

  if (c.RenderThreads) d3d::SetRenderThreads(*c.RenderThreads);

  std::unique_ptr<host::IHost> machine;
  host::demo::RecordingHost* recorder = nullptr;
  host::demo::PlaybackHost* player = nullptr;
  try {
    if (c.Headless) {
      host::HeadlessOptions options;
      options.scriptPath = c.Script;
      options.audio.limiter = c.AudioLimiter;
      options.audioOutPath = c.AudioOut;
      host::ComfortSettings comforts;
      comforts.renderScale = c.RenderScale;
      machine = host::CreateHeadlessHost(options, comforts);
    } else {
      if (!c.Script.empty()) throw host::ScriptError("--script needs --headless");
      host::SdlOptions options;
      options.audio.limiter = c.AudioLimiter;
      options.audio.runAheadMs = c.AudioRunAheadMs;
      machine = host::CreateSdlHost(options, runComforts);
    }
    if (!c.Record.empty()) {
      auto r = std::make_unique<host::demo::RecordingHost>(
          std::move(machine), host::demo::RecordOptions{c.Record, TAVVYHOP_VERSION, recordSeed, dataDir});
      recorder = r.get();
      machine = std::move(r);
    } else if (demo) {
      auto p = std::make_unique<host::demo::PlaybackHost>(std::move(machine), std::move(*demo),
                                                          host::demo::PlayOptions{!c.Headless, dataDir});
      player = p.get();
      machine = std::move(p);
    }
  } catch (const std::exception& e) {
    err << "tavvyhop: " << e.what() << '\n';
    return 2;
  }
  struct CurrentHost {
    explicit CurrentHost(host::IHost* h) { host::SetCurrent(h); }
    ~CurrentHost() { host::SetCurrent(nullptr); }
  } current(machine.get());
  // The components speak Japanese; a player who chose English reads their boxes in English.
  if (c.Language == "en") machine->SetMessageWords(ComponentMessageInEnglish);

  // Problems of the data folder: each on the error stream, and all of a batch in one
  // message box when there is a window.
  struct DataSink {
    DataSink(std::ostream& err, host::IHost* window) {
      data::ForgetReports();
      data::SetDataSink([&err, window](const std::vector<data::TDataProblem>& problems) {
        std::string text;
        for (const data::TDataProblem& p : problems) {
          err << "tavvyhop: " << data::Describe(p) << '\n';
          text += data::Describe(p) + "\n";
        }
        err.flush();
        if (window) window->ShowMessageBox("Tavvyhop", text);
      });
    }
    ~DataSink() { data::SetDataSink(nullptr); }
  } dataSink(err, c.Headless ? nullptr : machine.get());

  int exitCode = 0;
  bool stoppedByTicks = false;
  try {
    std::unique_ptr<TickStats> stats;
    if (!c.Stats.empty()) stats = std::make_unique<TickStats>(c.Stats);
    std::ofstream hashes;
    if (!c.FrameHashes.empty()) {
      hashes.open(c.FrameHashes, std::ios::binary | std::ios::trunc);
      if (!hashes) throw rtl::EFCreateError("Cannot create file " + c.FrameHashes);
    }
    if (!c.Frames.empty()) std::filesystem::create_directories(c.Frames);

    std::unique_ptr<TApplication> app = CreateAnsweringApplication(*machine, answers);
    TApplication& application = *app;
    if (!c.Headless && !recorder && !player) KeepChoices(application, c, settings, settingsPath, err);
    if (recorder) {
      // The dialog's answers go into the demo's header; a dialog shown to the player is not
      // recorded itself (its playback is answered).
      auto inside = std::make_shared<bool>(false);
      application.ModalAnswer = [c, recorder, inside](TForm& dialog) -> std::optional<int> {
        if (*inside) return std::nullopt;
        std::optional<int> answer = DialogAnswer::Apply(dialog, c);
        auto* option = dynamic_cast<TOptionForm*>(&dialog);
        if (!option) return answer;
        if (!answer) {
          recorder->Suspend(true);
          *inside = true;
          answer = dialog.ShowModal();
          *inside = false;
          recorder->Suspend(false);
        }
        std::vector<std::string> settings = DialogSettings(*option, *answer == mrOk, c.Autopilot);
        // Where the run was told to end is part of the game: its playback ends there too.
        if (c.Ticks) settings.push_back("--ticks=" + std::to_string(*c.Ticks));
        // The message lines are read from the language's words file, which the demo fingerprints.
        if (!c.Language.empty()) settings.push_back("--lang=" + c.Language);
        recorder->SetSettings(std::move(settings));
        return answer;
      };
    }
    TForm1Options options;
    options.Seed = demo ? std::optional<uint32_t>(player->Played().header.seed)
                        : (recorder ? std::optional<uint32_t>(recordSeed) : c.Seed);
    options.DataDirOverride = c.Data.empty() ? InstalledDataDir() : c.Data;
    options.Autopilot = player ? answers.Autopilot : c.Autopilot;
    // English messages where the data set has them (a data set of the Windows version has not).
    const std::string wordsDir =
        options.DataDirOverride.empty() ? win::ModuleDirectory() + "Data/" : options.DataDirOverride + "/";
    const std::string& language = player ? answers.Language : c.Language;
    if (language == "en" && std::filesystem::exists(wordsDir + "words-en.dat")) options.WordsFile = "words-en.dat";
    options.CheckData = true;
    TForm1& form = application.CreateForm<TForm1>(options);
    // Demos are recorded and played with the game's own keys: a key table of the player's
    // settings would make the same key presses play another game.
    if (!c.Headless && !recorder && !player) ApplyKeys(form, settings);
    InstallTitleHelp(form,
                     HelpLines(c.Language.empty() ? "ja" : c.Language, settings.ButtonKeys, settings.DirectionKeys));
    std::vector<double> frameMs;
    auto lastTick = std::chrono::steady_clock::now();
    form.OnTickDone = [&] {
      uint64_t tick = form.TicksRun() - 1;
      if (stats) stats->Write(tick, form);
      if (tick % static_cast<uint64_t>(c.FrameEvery) == 0) {
        if (!c.Frames.empty()) WriteFrame(c.Frames, tick, form);
        if (hashes.is_open()) {
          char line[40];
          std::snprintf(line, sizeof line, "%llu %016llx\n", static_cast<unsigned long long>(tick),
                        static_cast<unsigned long long>(FrameHash(form)));
          hashes << line << std::flush;
        }
      }
      if (tick % kStateChecksumEvery == 0) {
        if (recorder) recorder->NoteState(GameStateChecksum(form));
        if (player) player->CheckState(GameStateChecksum(form));
      }
      machine->TickDone(form.TicksRun());
      if (timeDemoFile) {
        const auto now = std::chrono::steady_clock::now();
        frameMs.push_back(std::chrono::duration<double, std::milli>(now - lastTick).count());
        lastTick = now;
      }
      if (player && player->State() != host::demo::PlaybackHost::Outcome::Playing) application.Terminate();
      if (c.Ticks && form.TicksRun() >= *c.Ticks) {
        stoppedByTicks = userTicks;
        if (player && userTicks) player->Stop("ended by --ticks");
        application.Terminate();
      }
    };
    if (c.Ticks && *c.Ticks == 0) application.Terminate();
    const auto loopStart = std::chrono::steady_clock::now();
    lastTick = loopStart;
    application.Run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - loopStart).count();
    if (c.TimeDemo || timeDemoFile) out << TimeDemoLine(form.TicksRun(), seconds) << '\n';
    if (timeDemoFile) out << "timedemo: " << Percentiles(frameMs) << '\n';
    if (!c.Stats.empty()) ReportAudioCounts(machine->Audio(), err);
  } catch (const rtl::EHalt& halt) {
    exitCode = halt.ExitCode;
    if (!c.Stats.empty()) ReportAudioCounts(machine->Audio(), err);
  } catch (const std::exception& e) {
    err << "tavvyhop: " << e.what() << '\n';
    if (!c.Headless) machine->ShowMessageBox("Tavvyhop", e.what());
    exitCode = 1;
  }
  if (recorder && !recorder->Finish()) {
    err << "tavvyhop: demo " << c.Record << ": could not be written completely\n";
    if (exitCode == 0) exitCode = 1;
  }
  if (player) {
    const int playback = ReportPlayback(*player, demoFile, stoppedByTicks, err);
    if (playback != 0) exitCode = playback;
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
