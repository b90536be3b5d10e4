// The nine sound effects: 22050 Hz, 16-bit mono PCM. Several channels play their wave at
// half rate (an octave lower and twice as long), so those effects are voiced higher and
// shorter here than they will sound in the game.
#include <vector>

#include "Common.h"
#include "Synth.h"

namespace assetgen {

namespace {

using namespace synth;

constexpr int kRate = 22050;

// The headroom budget, as each file's peak in dBFS. The game gives every effect its own
// channel and the channels add up, so the loudest moment it can make - both explosions,
// the volley, a missile, the engine on its two channels (-12 dB each) and the music at
// full channel volume - is budgeted peak on peak:
//   exprosion -13, exprosion_s -16, gunshot -18, missile -19, rocket -9 (twice at -12 dB),
//   music -15 (Music.cpp)  ->  0.224 + 0.158 + 0.126 + 0.112 + 2 * 0.355 * 0.251 + 0.178
//   = 0.976 of full scale. The other effects sit at the loudness of their neighbours.
constexpr double kGunshotDb = -18, kGunshot2Db = -17, kRocketDb = -9, kExplosionDb = -13, kExplosionSmallDb = -16,
                 kInfoDb = -16, kCrashDb = -15, kSwishDb = -17, kMissileDb = -19;

std::vector<double> Buffer(double seconds) { return std::vector<double>(static_cast<size_t>(seconds * kRate), 0.0); }

// Short fades at both ends so that no effect starts or stops with a click.
void Edges(std::vector<double>& s, double inMs = 1.5, double outMs = 8) {
  const size_t in = static_cast<size_t>(inMs * kRate / 1000), out = static_cast<size_t>(outMs * kRate / 1000);
  for (size_t i = 0; i < in && i < s.size(); ++i) s[i] *= static_cast<double>(i) / in;
  for (size_t i = 0; i < out && i < s.size(); ++i) s[s.size() - 1 - i] *= static_cast<double>(i) / out;
}

// Mastering of a one-shot effect: a four-pole low-pass (Butterworth pair) takes off the
// fizz above `toneHz` that turns into a whistle once several effects sound together,
// a look-ahead limiter takes `squashDb` off the first transients so the body of the
// sound is louder for its peak, and the result is set to the budgeted peak.
std::vector<uint8_t> Finish(std::vector<double> s, double peakDb, double toneHz = 6000, double squashDb = 4) {
  Svf a, b;
  for (double& v : s) v = b.Low(a.Low(v, toneHz, kRate, 0.5412), toneHz, kRate, 1.3066);
  Normalize(s, 1.0);
  LimitPeaks(s, 1, FromDb(-squashDb), 0.002, 0.08, kRate);
  Normalize(s, FromDb(peakDb));
  Edges(s);
  return EncodeWav16(ToPcm16(s), 1, kRate);
}

// The ship's volley (played at half rate): a falling square "pew" over a noise snap.
std::vector<uint8_t> Gunshot() {
  auto s = Buffer(0.22);
  Osc a, b;
  Rng rng(601);
  OnePole hp;
  hp.SetCutoff(2000, kRate);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double f = 350 + 2600 * Exp(-t / 0.035);
    const double env = Exp(-t / 0.06);
    const double tone = 0.6 * a.Square(f, kRate) + 0.4 * b.Saw(f * 1.503, kRate);
    const double snap = hp.High(rng.Bipolar()) * Exp(-t / 0.008);
    s[i] = tone * env * 0.7 + snap * 0.8;
  }
  return Finish(s, kGunshotDb);
}

// Enemy shots (played at half rate): a sine zap with a fast wobble, sliding down.
std::vector<uint8_t> Gunshot2() {
  auto s = Buffer(0.26);
  Osc car, mod;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double f = 700 + 1500 * Exp(-t / 0.06);
    const double fm = mod.Sine(f * 0.5, kRate) * f * 0.8 * Exp(-t / 0.05);
    s[i] = car.Sine(f + fm, kRate) * Exp(-t / 0.07);
  }
  return Finish(s, kGunshot2Db);
}

// The engine: two seconds of rumble that loop seamlessly. Tonal parts repeat a whole
// number of times in the loop; the noise is cross-faded from its own continuation.
std::vector<uint8_t> Rocket() {
  const size_t n = 2 * kRate, fade = kRate / 4;
  std::vector<double> noise(n + fade);
  Rng rng(602);
  Svf lp;
  OnePole lp2;
  lp2.SetCutoff(180, kRate);
  for (size_t i = 0; i < noise.size(); ++i) {
    const double w = rng.Bipolar();
    noise[i] = 0.7 * lp.Low(w, 900, kRate, 0.8) + 1.8 * lp2.Low(w);
  }
  std::vector<double> s(n);
  for (size_t i = 0; i < n; ++i) {
    double v = noise[i];
    if (i < fade) {
      // Equal-power cross-fade from the continuation past the end into the start.
      const double k = static_cast<double>(i) / fade;
      v = noise[i] * Sin(k * kPi / 2) + noise[n + i] * Cos(k * kPi / 2);
    }
    const double t = static_cast<double>(i) / kRate;
    // 110 Hz and 165 Hz make 220 and 330 whole cycles in two seconds; the throb 4 Hz, 8.
    const double throb = 0.75 + 0.25 * Sin(kTwoPi * 4 * t);
    v = v * throb + 0.35 * Sin(kTwoPi * 110 * t) + 0.18 * Sin(kTwoPi * 165 * t + 1.0);
    s[i] = v;
  }
  // A bed under everything else; not filtered or limited here, so the loop stays seamless.
  Normalize(s, FromDb(kRocketDb));
  return EncodeWav16(ToPcm16(s), 1, kRate);
}

// A blast: a noise burst closing down from bright to dull, a falling thump and crackle.
std::vector<double> Blast(double seconds, double bright, double decay, uint64_t seed) {
  auto s = Buffer(seconds);
  Rng rng(seed);
  Svf f1, f2;
  Osc thump;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double cut = 250 + bright * Exp(-t / (decay * 0.35));
    const double w = rng.Bipolar();
    const double body = f2.Low(f1.Low(w, cut, kRate, 0.6), cut * 1.5, kRate, 0.6);
    const double env = (1.0 - Exp(-t / 0.004)) * Exp(-t / decay);
    const double boom = thump.Sine(35 + 90 * Exp(-t / 0.05), kRate) * Exp(-t / (decay * 0.5));
    const double crackle = (rng.Uniform() < 0.004 * Exp(-t / decay) ? rng.Bipolar() : 0.0);
    s[i] = body * env * 2.2 + boom * 0.8 + crackle * 0.2;
  }
  // A soft saturation keeps the roar loud after the first crack sets the peak.
  for (double& v : s) {
    const double d = 3.0 * v;
    v = d / (1.0 + (d < 0 ? -d : d));
  }
  return s;
}

// The big one plays at half rate, so its tone is set an octave higher here.
std::vector<uint8_t> Explosion() { return Finish(Blast(1.5, 3500, 0.35, 603), kExplosionDb, 7000, 6); }
std::vector<uint8_t> ExplosionSmall() { return Finish(Blast(0.7, 5000, 0.12, 604), kExplosionSmallDb, 5000, 6); }

// The alert: two short double beeps, soft-edged.
std::vector<uint8_t> Info() {
  auto s = Buffer(0.42);
  Osc o;
  const double starts[] = {0.0, 0.1, 0.22, 0.32};
  const double freqs[] = {1318.5, 1760.0, 1318.5, 1760.0};
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (int k = 0; k < 4; ++k) {
      const double lt = t - starts[k];
      if (lt < 0 || lt > 0.085) continue;
      const double env = SmoothStep(0, 0.004, lt) * (1 - SmoothStep(0.06, 0.085, lt));
      v += env * (o.Triangle(freqs[k], kRate) * 0.8 + 0.2 * Sin(kTwoPi * freqs[k] * 2 * lt));
    }
    s[i] = v;
  }
  return Finish(s, kInfoDb);
}

// A collision (played at half rate): a metallic clang of inharmonic partials over a hit.
std::vector<uint8_t> Crash() {
  auto s = Buffer(0.6);
  Rng rng(605);
  Svf bp;
  const double partials[] = {410, 587, 883, 1247, 1630, 2205};
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double ring = 0;
    for (int k = 0; k < 6; ++k)
      ring += Sin(kTwoPi * partials[k] * t + k) * Exp(-t / (0.25 / (1 + 0.3 * k))) / (1 + k * 0.4);
    bp.Low(rng.Bipolar(), 1800, kRate, 1.5);
    const double hit = bp.Band() * Exp(-t / 0.03);
    s[i] = ring * 0.5 + hit * 1.5;
  }
  return Finish(s, kCrashDb);
}

// The blade's swish: band-passed noise sweeping up and back down as it swells and fades.
std::vector<uint8_t> Swish() {
  auto s = Buffer(0.5);
  Rng rng(606);
  Svf bp;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double x = t / 0.5;
    const double centre = 700 + 3000 * Sin(kPi * x) * Sin(kPi * x);
    bp.Low(rng.Bipolar(), centre, kRate, 3.0);
    const double env = Sin(kPi * x) * Sin(kPi * x) * (1.0 - 0.5 * x);
    s[i] = bp.Band() * env;
  }
  return Finish(s, kSwishDb);
}

// The missile launch: an ignition pop, then a hiss rising in pitch over a low roar.
std::vector<uint8_t> MissileLaunch() {
  auto s = Buffer(0.8);
  Rng rng(607);
  Svf hiss;
  OnePole roar;
  roar.SetCutoff(150, kRate);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double w = rng.Bipolar();
    hiss.Low(w, 1200 + 3500 * t, kRate, 1.2);
    const double env = SmoothStep(0, 0.03, t) * Exp(-t / 0.35);
    const double pop = Exp(-t / 0.01) * w;
    s[i] = hiss.Band() * env * 1.3 + roar.Low(w) * env * 3.0 + pop * 0.6;
  }
  return Finish(s, kMissileDb);
}

}  // namespace

void WriteSounds(const std::filesystem::path& dir) {
  WriteFile(dir / "gunshot.wav", Gunshot());
  WriteFile(dir / "gunshot2.wav", Gunshot2());
  WriteFile(dir / "rocket.wav", Rocket());
  WriteFile(dir / "exprosion.wav", Explosion());
  WriteFile(dir / "exprosion_s.wav", ExplosionSmall());
  WriteFile(dir / "info.wav", Info());
  WriteFile(dir / "crash.wav", Crash());
  WriteFile(dir / "nata.wav", Swish());
  WriteFile(dir / "missile.wav", MissileLaunch());
}

}  // namespace assetgen
