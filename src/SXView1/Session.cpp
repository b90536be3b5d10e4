#include "SXView1/Session.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "SXView1/TForm1.h"
#include "common/DataReport.h"
#include "platform/host/Hosts.h"
#include "platform/host/services/ImageCodecs.h"

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

}  // namespace

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
      machine = host::CreateSdlHost();
    }
  } catch (const std::exception& e) {
    err << "tavvyhop: " << e.what() << '\n';
    return 2;
  }
  struct CurrentHost {
    explicit CurrentHost(host::IHost* h) { host::SetCurrent(h); }
    ~CurrentHost() { host::SetCurrent(nullptr); }
  } current(machine.get());

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
  try {
    std::unique_ptr<TickStats> stats;
    if (!c.Stats.empty()) stats = std::make_unique<TickStats>(c.Stats);
    if (!c.Frames.empty()) std::filesystem::create_directories(c.Frames);

    std::unique_ptr<TApplication> app = CreateAnsweringApplication(*machine, c);
    TApplication& application = *app;
    TForm1Options options;
    options.Seed = c.Seed;
    options.DataDirOverride = c.Data;
    options.Autopilot = c.Autopilot;
    options.CheckData = true;
    TForm1& form = application.CreateForm<TForm1>(options);
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
