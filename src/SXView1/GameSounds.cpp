#include "SXView1/GameSounds.h"

#include <utility>
#include <vector>

#include "SXView1/Channels.h"
#include "common/DataReport.h"
#include "ddsd/TDDSDChannel.h"
#include "platform/rtl/SysUtils.h"

namespace {

// A sound that did not load would stop the program at the channel set-up without a
// word: the player hears of every broken file first, then the program ends in order.
// A sound cut short plays what it holds and is said once.
void ReportBrokenEffects(const std::string& dataDir, const TGameSounds& s) {
  const std::pair<const TDDSDWaveData*, const char*> waves[] = {
      {s.GunShot.get(), "gunshot.wav"},     {s.Rocket.get(), "rocket.wav"},
      {s.Exprosion.get(), "exprosion.wav"}, {s.Info.get(), "info.wav"},
      {s.Crash.get(), "crash.wav"},         {s.GunShot2.get(), "gunshot2.wav"},
      {s.Nata.get(), "nata.wav"},           {s.ExprosionS.get(), "exprosion_s.wav"},
      {s.Missile.get(), "missile.wav"},
  };
  std::vector<data::TDataProblem> problems;
  bool stop = false;
  for (const auto& [wave, name] : waves) {
    if (!wave || wave->LoadProblem().empty()) continue;
    const bool plays = wave->LoadedPart();
    stop = stop || !plays;
    problems.push_back({dataDir + name, wave->LoadProblem(),
                        plays ? data::TDataEffect::GoesOn : data::TDataEffect::Stops,
                        plays ? "the game plays what it holds" : ""});
  }
  data::Report(problems);
  if (stop) rtl::Halt(data::kDataProblemExitCode);
}

}  // namespace

void SetUpGameSounds(TDDSD& sound, const std::string& dataDir, TGameSounds& s) {
  CreateGameMusicBuffer(sound, s);
  LoadGameSoundEffects(sound, dataDir, s);
}

void CreateGameMusicBuffer(TDDSD& sound, TGameSounds& s) {
  // Music first: 2.5 seconds of 44100 Hz 16-bit stereo, refilled in halves.
  s.MusicBuffer = std::make_unique<TDDSDWaveData>(&sound, 44100, 16, true, 441000);
  if (TDDSDChannel* music = sound.GetChannel(game::channel::Music)) {
    music->setWaveData(s.MusicBuffer.get());
    music->SetVolume(-500);
  }
}

void LoadGameSoundEffects(TDDSD& sound, const std::string& dataDir, TGameSounds& s) {
  auto load = [&](const char* name) { return std::make_unique<TDDSDWaveData>(&sound, dataDir + name); };
  s.GunShot = load("gunshot.wav");
  s.Rocket = load("rocket.wav");
  s.Exprosion = load("exprosion.wav");
  s.Info = load("info.wav");
  s.Crash = load("crash.wav");
  s.GunShot2 = load("gunshot2.wav");
  s.Nata = load("nata.wav");
  s.ExprosionS = load("exprosion_s.wav");
  s.Missile = load("missile.wav");
  ReportBrokenEffects(dataDir, s);

  // channel, wave, rate factor (0: the wave's own), volume (1: left as it is)
  struct Setting {
    int channel;
    TDDSDWaveData* wave;
    double rate;
    LONG volume;
  };
  const Setting table[] = {
      {game::channel::Gunshot, s.GunShot.get(), 0.5, 1},
      {game::channel::EnemyShot, s.GunShot2.get(), 0.5, 1},
      {game::channel::Thruster, s.Rocket.get(), 0.5, -1200},
      {game::channel::Afterburner, s.Rocket.get(), 0, -1200},  // the same rocket wave again, at its own rate
      {game::channel::Explosion, s.Exprosion.get(), 0.5, 1},
      {game::channel::Info, s.Info.get(), 0, -900},
      {game::channel::Crash, s.Crash.get(), 0.5, -400},
      {game::channel::Blade, s.Nata.get(), 0, 1},
      {game::channel::ExplosionSmall, s.ExprosionS.get(), 0, 1},
      {game::channel::Missile, s.Missile.get(), 0, 1},
  };
  for (const Setting& t : table) {
    TDDSDChannel* c = sound.GetChannel(static_cast<DWORD>(t.channel));
    if (!c) continue;  // reported by GetChannel
    c->setWaveData(t.wave);
    if (t.rate != 0) c->SetFrequencyRatio(t.rate);
    if (t.volume != 1) c->SetVolume(t.volume);
  }
}

void FreeGameSoundEffects(TGameSounds& s) {
  s.GunShot.reset();
  s.Rocket.reset();
  s.Exprosion.reset();
  s.Info.reset();
  s.Crash.reset();
  s.GunShot2.reset();
  s.Nata.reset();
  s.ExprosionS.reset();
  s.Missile.reset();
}
