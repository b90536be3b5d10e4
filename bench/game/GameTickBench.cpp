// The cost of one play tick on the generated data set, the busiest way a stage can be:
// twelve enemies, all 101 shots, all 31 missiles and all 11 explosions under way.
// BM_GameLogicTick is the gameplay alone (ship, enemies, shots with their hit tests,
// missiles, explosions, the stage target); BM_RenderedPlayTick the whole play tick with
// the 3-D scene on the fast software device, the head-up display and the present, at the
// render scale of its argument (1: the game's 640 x 480; 2 and 3: four and nine times the pixels).
#include <benchmark/benchmark.h>

#include <memory>

#include "SXView1/TForm1.h"
#include "app/Session.h"
#include "platform/host/Hosts.h"

namespace {

// The play tick is the form's own business; the benchmark reaches it as a test would.
class BenchForm : public TForm1 {
 public:
  using TForm1::PlayFrame;
  using TForm1::TForm1;
};

class BusyStage {
 public:
  explicit BusyStage(int renderScale = 1) {
    host::ComfortSettings comforts;
    comforts.renderScale = renderScale;
    host_ = host::CreateHeadlessHost({}, comforts);
    host::SetCurrent(host_.get());
    TCommandLine answer;
    answer.Headless = true;
    answer.FullScreen = false;
    app_ = CreateAnsweringApplication(*host_, answer);
    TForm1Options options;
    options.Seed = 1;
    options.DataDirOverride = TAVVY_DATA_DIR;
    form_ = &app_->CreateForm<BenchForm>(options);
    WORD enter = 13;
    form_->FormKeyDown(form_, enter, 0);
    form_->EnemyTop = 11;
    form_->StartStage();
    form_->ReadyTime = 0;
    form_->TargetSpawn();
    Rearm();
  }
  ~BusyStage() {
    app_.reset();
    host::SetCurrent(nullptr);
  }
  bool Ready() const { return form_ && form_->PlayerFrame && form_->MeshBody; }
  BenchForm& Form() { return *form_; }

  // Puts everything back in flight, so every tick measured is a full one.
  void Rearm() {
    TForm1& f = *form_;
    f.DeathTime = 0;
    f.ClearCountdown = 0;
    f.Energy = 20;
    f.StageTime = 5000;
    f.PlayerFrame->Mesh = f.MeshBody.get();
    for (int i = 0; i <= f.EnemyTop; ++i) {
      if (!f.EnemyFrames[static_cast<size_t>(i)]->Mesh) f.RespawnEnemy(i);
    }
    if (!f.TargetFrame->Mesh) {
      f.TargetFrame->Mesh = f.MeshTarget.get();
      f.TargetEnergy = 55;
    }
    for (int s = 0; s < TForm1::kShotSlots; ++s) {
      if (f.Play.ShotAge[static_cast<size_t>(s)] > 40 || !f.ShotSprites[static_cast<size_t>(s)]->Mesh) {
        f.Play.ShotAge[static_cast<size_t>(s)] = 0;
        f.ShotSprites[static_cast<size_t>(s)]->Mesh = f.MeshBeam.get();
        f.Lights->GetLight(static_cast<uint32_t>(s + 5))->SetEnabled(1);
      }
    }
    for (int m = 0; m < TForm1::kMissileSlots; ++m) {
      if (f.Play.MissileAge[static_cast<size_t>(m)] > 250 || !f.MissileFrames[static_cast<size_t>(m)]->Mesh) {
        f.Play.MissileAge[static_cast<size_t>(m)] = 0;
        f.MissileFrames[static_cast<size_t>(m)]->Mesh = f.MeshMissile.get();
      }
    }
    for (int e = 0; e < TForm1::kExplosionSlots; ++e) {
      if (f.Play.ExplosionAge[static_cast<size_t>(e)] == 0 || f.Play.ExplosionAge[static_cast<size_t>(e)] > 70) {
        f.SpawnExplosion(f.ExplosionFrames[static_cast<size_t>(e)]->GetPosition(f.RootFrame.get()),
                         e % 2 ? TForm1::TExplosionSize::Big : TForm1::TExplosionSize::Small);
      }
    }
  }

 private:
  std::unique_ptr<host::IHost> host_;
  std::unique_ptr<forms::TApplication> app_;
  BenchForm* form_ = nullptr;
};

void BM_GameLogicTick(benchmark::State& state) {
  BusyStage stage;
  if (!stage.Ready()) {
    state.SkipWithError("the scene was not built");
    return;
  }
  TForm1& f = stage.Form();
  for (auto _ : state) {
    f.PlayerStep();
    f.EnemyStep();
    f.ShotStep();
    f.MissileStep();
    f.ExplosionStep();
    f.TargetStep();
    state.PauseTiming();
    stage.Rearm();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_GameLogicTick)->Unit(benchmark::kMicrosecond);

void BM_RenderedPlayTick(benchmark::State& state) {
  BusyStage stage(static_cast<int>(state.range(0)));
  if (!stage.Ready()) {
    state.SkipWithError("the scene was not built");
    return;
  }
  BenchForm& f = stage.Form();
  for (auto _ : state) {
    f.PlayFrame();
    state.PauseTiming();
    stage.Rearm();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RenderedPlayTick)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
