// The three tunes: 44100 Hz, 16-bit stereo PCM with the plain 44-byte header, because
// the game streams the files raw from their first byte.
//
// A small step sequencer: each tune is a list of bars (a chord and a melody line written
// as notes with lengths in sixteenths), rendered voice by voice into a stereo buffer.
// The looping tunes are rendered twice over and the second pass is kept, so the tails of
// the notes (and the echo) at the end run on into the start as they would in a loop;
// drum noise is seeded by its place in the pattern so both passes are identical.
#include <cctype>
#include <string>
#include <vector>

#include "Common.h"
#include "Synth.h"

namespace assetgen {

namespace {

using namespace synth;

constexpr int kRate = 44100;

struct Note {
  int step;    // start, in sixteenths from the tune's start
  int length;  // in sixteenths
  int midi;
  double velocity;
};

// "E5:4 A5:2 r:2 G#4:8" -> notes with lengths in sixteenths, starting at `step`.
int ParseLine(const std::string& text, int step, double velocity, std::vector<Note>& out) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    const size_t colon = text.find(':', i);
    size_t end = text.find(' ', colon);
    if (end == std::string::npos) end = text.size();
    const std::string name = text.substr(i, colon - i);
    const int len = std::stoi(text.substr(colon + 1, end - colon - 1));
    if (name != "r") {
      static const int base[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
      int n = base[name[0] - 'A'];
      size_t k = 1;
      if (name[k] == '#')
        n += 1, ++k;
      else if (name[k] == 'b')
        n -= 1, ++k;
      const int octave = name[k] - '0';
      out.push_back({step, len, 12 * (octave + 1) + n, velocity});
    }
    step += len;
    i = end;
  }
  return step;
}

struct Bar {
  std::vector<int> chord;  // MIDI notes of the chord, root first
  std::string melody;
};

enum class Drum { Kick, Snare, Hat, OpenHat, Crash, Tom };
struct Hit {
  int step;
  Drum drum;
  double velocity;
  double pitch = 1.0;
};

struct Tune {
  int stepSamples = 5000;
  int steps = 0;
  std::vector<Note> lead, bass, pad, arp;
  std::vector<Hit> drums;
  double leadBright = 1.0;
};

// --- voices ------------------------------------------------------------------------------

class Mixer {
 public:
  explicit Mixer(size_t frames) : l_(frames, 0.0), r_(frames, 0.0), send_(frames, 0.0) {}
  void Add(size_t i, double v, double pan, double send = 0) {
    if (i >= l_.size()) return;
    l_[i] += v * (1.0 - pan) * 0.5 * 2;
    r_[i] += v * (1.0 + pan) * 0.5 * 2;
    send_[i] += v * send;
  }
  size_t Frames() const { return l_.size(); }
  // A ping-pong echo of the send bus, `delay` samples apart.
  void Echo(size_t delay, double feedback) {
    std::vector<double> dl(delay, 0.0), dr(delay, 0.0);
    size_t p = 0;
    OnePole damp;
    damp.SetCutoff(3000, kRate);
    for (size_t i = 0; i < l_.size(); ++i) {
      const double outL = dl[p], outR = dr[p];
      dl[p] = damp.Low(send_[i] + outR * feedback);
      dr[p] = outL;
      l_[i] += outL * 0.6;
      r_[i] += outR * 0.6;
      p = (p + 1) % delay;
    }
  }
  std::vector<double> Interleave(size_t from, size_t to) const {
    std::vector<double> out;
    out.reserve((to - from) * 2);
    for (size_t i = from; i < to; ++i) {
      out.push_back(l_[i]);
      out.push_back(r_[i]);
    }
    return out;
  }

 private:
  std::vector<double> l_, r_, send_;
};

void Lead(Mixer& mx, const Note& n, size_t start, double gateSec, double bright) {
  Osc a, b, vibrato;
  b.Reset(0.37);
  Svf f;
  Envelope env(0.006, 0.18, 0.65, 0.15, gateSec, kRate);
  Decay sweep(0.25, kRate);
  const double hz = NoteHz(n.midi);
  const size_t total = static_cast<size_t>((gateSec + 0.9) * kRate);
  const size_t vibFrom = static_cast<size_t>(0.15 * kRate), vibTo = static_cast<size_t>(0.4 * kRate);
  for (size_t i = 0; i < total && !env.Done(); ++i) {
    const double depth = i < vibFrom ? 0.0 : (i > vibTo ? 1.0 : static_cast<double>(i - vibFrom) / (vibTo - vibFrom));
    const double vib = 1.0 + 0.004 * depth * vibrato.Sine(5.5, kRate);
    const double osc = 0.5 * a.Saw(hz * vib * 1.003, kRate) + 0.5 * b.Square(hz * vib * 0.997, kRate);
    const double cut = (900 + 3200 * sweep.Next()) * bright + hz;
    const double v = f.Low(osc, cut, kRate, 0.9) * env.Next() * n.velocity * 0.30;
    mx.Add(start + i, v, 0.1, 0.35);
  }
}

void Bass(Mixer& mx, const Note& n, size_t start, double gateSec) {
  Osc a, sub;
  Svf f;
  Envelope env(0.003, 0.2, 0.55, 0.05, gateSec, kRate);
  Decay sweep(0.08, kRate);
  const double hz = NoteHz(n.midi);
  const size_t total = static_cast<size_t>((gateSec + 0.3) * kRate);
  for (size_t i = 0; i < total && !env.Done(); ++i) {
    const double osc = 0.7 * a.Saw(hz, kRate) + 0.5 * sub.Sine(hz * 0.5, kRate);
    const double v = f.Low(osc, 250 + 1400 * sweep.Next(), kRate, 1.1) * env.Next() * n.velocity * 0.42;
    mx.Add(start + i, v, -0.05);
  }
}

void Pad(Mixer& mx, const Note& n, size_t start, double gateSec, double pan) {
  Osc a, b;
  b.Reset(0.5);
  OnePole f;
  f.SetCutoff(1400, kRate);
  Envelope env(0.25, 0.6, 0.7, 0.35, gateSec, kRate);
  const double hz = NoteHz(n.midi);
  const size_t total = static_cast<size_t>((gateSec + 1.5) * kRate);
  for (size_t i = 0; i < total && !env.Done(); ++i) {
    const double osc = a.Saw(hz * 1.004, kRate) + b.Saw(hz * 0.996, kRate);
    mx.Add(start + i, f.Low(osc) * env.Next() * n.velocity * 0.06, pan);
  }
}

void Pluck(Mixer& mx, const Note& n, size_t start, double pan) {
  Osc a;
  Svf f;
  Decay sweep(0.04, kRate), amp(0.07, kRate);
  const double hz = NoteHz(n.midi);
  const size_t total = static_cast<size_t>(0.3 * kRate);
  for (size_t i = 0; i < total; ++i) {
    const double v = f.Low(a.Square(hz, kRate), 600 + 3000 * sweep.Next(), kRate, 0.8) * amp.Next();
    mx.Add(start + i, v * n.velocity * 0.12, pan, 0.2);
  }
}

void DrumHit(Mixer& mx, const Hit& h, size_t start, uint64_t seed) {
  Rng rng(seed);
  Osc o;
  OnePole hp;
  switch (h.drum) {
    case Drum::Kick: {
      Decay pitch(0.035, kRate), amp(0.22, kRate), click(0.002, kRate);
      const size_t total = static_cast<size_t>(0.45 * kRate);
      for (size_t i = 0; i < total; ++i) {
        const double v = o.Sine(44 + 120 * pitch.Next(), kRate) * amp.Next() + 0.3 * click.Next() * rng.Bipolar();
        mx.Add(start + i, v * h.velocity * 0.85, 0);
      }
      break;
    }
    case Drum::Snare: {
      hp.SetCutoff(900, kRate);
      Decay noiseAmp(0.075, kRate), toneAmp(0.05, kRate), bend(0.01, kRate);
      const size_t total = static_cast<size_t>(0.3 * kRate);
      for (size_t i = 0; i < total; ++i) {
        const double noise = hp.High(rng.Bipolar()) * noiseAmp.Next();
        const double tone = o.Sine(185 * (1 + 0.3 * bend.Next()), kRate) * toneAmp.Next();
        mx.Add(start + i, (noise * 0.55 + tone * 0.45) * h.velocity * 0.7, -0.1);
      }
      break;
    }
    case Drum::Hat:
    case Drum::OpenHat:
    case Drum::Crash: {
      const double decay = h.drum == Drum::Hat ? 0.025 : (h.drum == Drum::OpenHat ? 0.13 : 0.7);
      const double level = h.drum == Drum::Crash ? 0.35 : 0.22;
      hp.SetCutoff(h.drum == Drum::Crash ? 4000 : 7000, kRate);
      OnePole hp2 = hp;
      Decay amp(decay, kRate);
      const size_t total = static_cast<size_t>(decay * 7 * kRate);
      for (size_t i = 0; i < total; ++i) {
        const double v = hp2.High(hp.High(rng.Bipolar())) * amp.Next();
        mx.Add(start + i, v * h.velocity * level, 0.3);
      }
      break;
    }
    case Drum::Tom: {
      Decay pitch(0.05, kRate), amp(0.15, kRate), click(0.01, kRate);
      const size_t total = static_cast<size_t>(0.35 * kRate);
      for (size_t i = 0; i < total; ++i) {
        const double f = (90 + 60 * pitch.Next()) * h.pitch;
        const double v = o.Sine(f, kRate) * amp.Next() + 0.15 * rng.Bipolar() * click.Next();
        mx.Add(start + i, v * h.velocity * 0.6, (h.pitch - 1.2) * 0.8);
      }
      break;
    }
  }
}

// Renders `passes` copies of the tune back to back (plus a tail) and returns the mixer.
Mixer Render(const Tune& tune, int passes, double tailSec) {
  const size_t loop = static_cast<size_t>(tune.steps) * tune.stepSamples;
  Mixer mx(loop * passes + static_cast<size_t>(tailSec * kRate));
  const double stepSec = static_cast<double>(tune.stepSamples) / kRate;
  for (int p = 0; p < passes; ++p) {
    const size_t base = loop * p;
    auto at = [&](int step) { return base + static_cast<size_t>(step) * tune.stepSamples; };
    for (const Note& n : tune.lead) Lead(mx, n, at(n.step), n.length * stepSec * 0.9, tune.leadBright);
    for (const Note& n : tune.bass) Bass(mx, n, at(n.step), n.length * stepSec * 0.8);
    for (size_t k = 0; k < tune.pad.size(); ++k) {
      const Note& n = tune.pad[k];
      Pad(mx, n, at(n.step), n.length * stepSec * 0.95, (static_cast<int>(k % 3) - 1) * 0.5);
    }
    for (size_t k = 0; k < tune.arp.size(); ++k) {
      const Note& n = tune.arp[k];
      Pluck(mx, n, at(n.step), k % 2 ? 0.45 : -0.45);
    }
    for (size_t k = 0; k < tune.drums.size(); ++k) DrumHit(mx, tune.drums[k], at(tune.drums[k].step), 7000 + k);
  }
  mx.Echo(static_cast<size_t>(tune.stepSamples) * 3, 0.35);
  return mx;
}

// Fills the parts of a tune from its bars: melody, root-and-octave bass, held chords
// and an arpeggio, with the drum pattern given per bar by the caller.
Tune FromBars(const std::vector<Bar>& bars, int stepSamples, bool drivingBass) {
  Tune t;
  t.stepSamples = stepSamples;
  t.steps = static_cast<int>(bars.size()) * 16;
  for (size_t b = 0; b < bars.size(); ++b) {
    const int s0 = static_cast<int>(b) * 16;
    ParseLine(bars[b].melody, s0, 1.0, t.lead);
    const int root = bars[b].chord[0];
    for (int k = 0; k < 16; k += drivingBass ? 1 : 2) {
      const bool up = drivingBass ? (k % 4 == 2) : (k % 4 == 2);
      const double vel = drivingBass ? (k % 4 == 0 ? 1.0 : 0.7) : (k % 4 == 0 ? 1.0 : 0.85);
      t.bass.push_back({s0 + k, drivingBass ? 1 : 2, root - 24 + (up ? 12 : 0), vel});
    }
    for (int note : bars[b].chord) t.pad.push_back({s0, 16, note, 1.0});
    for (int k = 0; k < 16; k += 2) {
      const auto& c = bars[b].chord;
      const int note = c[(k / 2) % c.size()] + 12 * ((k / 2) / c.size() % 2);
      t.arp.push_back({s0 + k, 1, note, k % 4 == 0 ? 1.0 : 0.7});
    }
  }
  return t;
}

std::vector<int> Chord(int root, bool minor) { return {root, root + (minor ? 3 : 4), root + 7}; }

// The stage tune: A minor, about 132 beats a minute, sixteen bars (29 s).
Tune StageTune() {
  const int A = 57, C = 60, E = 64, F = 65, G = 67;
  const std::vector<Bar> bars = {
      {Chord(A, true), "E5:4 A5:2 G5:2 E5:4 C5:2 D5:2"},
      {Chord(F, false), "C5:2 A4:2 C5:2 F5:4 E5:2 D5:2 C5:2"},
      {Chord(C, false), "E5:6 G5:2 C6:4 B5:2 G5:2"},
      {Chord(G - 12, false), "D5:8 r:2 B4:2 D5:2 G5:2"},
      {Chord(A, true), "E5:4 A5:2 G5:2 E5:4 A5:2 B5:2"},
      {Chord(F, false), "C6:4 B5:2 A5:2 F5:4 A5:2 C6:2"},
      {Chord(C, false), "G5:4 E5:2 C5:2 E5:2 G5:2 E5:2 D5:2"},
      {Chord(G - 12, false), "B4:4 D5:4 G5:6 r:2"},
      {Chord(F, false), "A5:6 G5:2 F5:4 E5:4"},
      {Chord(G - 12, false), "D5:6 E5:2 G5:4 B5:4"},
      {Chord(E, true), "E5:4 G5:4 B5:4 E6:4"},
      {Chord(A, true), "C6:6 B5:2 A5:8"},
      {Chord(F, false), "A5:4 C6:4 A5:2 G5:2 F5:4"},
      {Chord(G - 12, false), "G5:4 B5:4 D6:4 B5:4"},
      {Chord(A, true), "C6:4 B5:2 A5:2 E5:4 A5:4"},
      {Chord(E, false), "G#5:8 B5:4 r:4"},
  };
  Tune t = FromBars(bars, 5000, false);
  for (int b = 0; b < 16; ++b) {
    const int s0 = b * 16;
    for (int k : {0, 8}) t.drums.push_back({s0 + k, Drum::Kick, 1.0});
    if (b % 2 == 1) t.drums.push_back({s0 + 10, Drum::Kick, 0.7});
    for (int k : {4, 12}) t.drums.push_back({s0 + k, Drum::Snare, 1.0});
    for (int k = 0; k < 16; k += 2)
      t.drums.push_back({s0 + k, k == 14 && b % 2 ? Drum::OpenHat : Drum::Hat, k % 4 ? 0.6 : 0.9});
    if (b % 8 == 0) t.drums.push_back({s0, Drum::Crash, 0.9});
  }
  // A tom run into the top of the loop.
  for (int k = 0; k < 4; ++k) t.drums.push_back({15 * 16 + 12 + k, Drum::Tom, 0.8, 1.6 - 0.2 * k});
  return t;
}

// The target tune: E minor with flat seconds, about 150 beats a minute, driving
// sixteenth-note bass and four-on-the-floor (25.5 s).
Tune TargetTune() {
  const int B = 59, C = 60, D = 62, E = 64, F = 65;
  const std::vector<Bar> bars = {
      {Chord(E, true), "B4:2 r:2 B4:2 C5:2 B4:4 G4:2 E4:2"},
      {Chord(F, false), "F4:2 r:2 A4:2 C5:2 F5:4 E5:2 C5:2"},
      {Chord(E, true), "B4:6 G4:2 E4:4 F4:2 G4:2"},
      {Chord(F, false), "A4:4 C5:4 F5:4 E5:4"},
      {Chord(C, false), "E5:6 G5:2 C5:4 E5:4"},
      {Chord(B, false), "D#5:6 F#5:2 B5:8"},
      {Chord(E, true), "E5:2 r:2 E5:2 G5:2 B5:4 A5:2 G5:2"},
      {Chord(E, true), "F#5:4 G5:2 F#5:2 E5:8"},
      {Chord(E, true), "B5:2 r:2 B5:2 C6:2 B5:4 G5:2 E5:2"},
      {Chord(F, false), "F5:2 r:2 A5:2 C6:2 F6:4 E6:2 C6:2"},
      {Chord(E, true), "B5:6 G5:2 E5:4 F5:2 G5:2"},
      {Chord(F, false), "A5:4 C6:4 F5:4 E5:4"},
      {Chord(C, false), "G5:4 E5:4 C5:4 E5:4"},
      {Chord(D, false), "F#5:4 A5:4 D6:4 A5:4"},
      {Chord(B, false), "D#6:8 B5:4 F#5:4"},
      {Chord(B, false), "A5:4 F#5:4 D#5:4 B4:4"},
  };
  Tune t = FromBars(bars, 4400, true);
  t.leadBright = 1.3;
  for (int b = 0; b < 16; ++b) {
    const int s0 = b * 16;
    for (int k = 0; k < 16; k += 4) t.drums.push_back({s0 + k, Drum::Kick, 1.0});
    for (int k : {4, 12}) t.drums.push_back({s0 + k, Drum::Snare, 0.9});
    for (int k = 0; k < 16; ++k) t.drums.push_back({s0 + k, Drum::Hat, k % 4 == 2 ? 0.9 : 0.45});
    if (b % 4 == 0) t.drums.push_back({s0, Drum::Crash, 0.8});
  }
  for (int k = 0; k < 8; ++k) t.drums.push_back({15 * 16 + 8 + k, Drum::Tom, 0.7 + 0.04 * k, 1.8 - 0.12 * k});
  return t;
}

// The stage-clear fanfare in C major: three bars and a held chord, then silence long
// enough that the stream's last two halves, which repeat once the file has ended, are quiet.
Tune ClearTune() {
  const int C = 60, F = 65, G = 67;
  const std::vector<Bar> bars = {
      {Chord(C, false), "G4:2 C5:2 E5:2 G5:6 E5:2 G5:2"},
      {Chord(F - 12, false), "A5:4 F5:2 A5:2 C6:8"},
      {Chord(G - 12, false), "B5:2 G5:2 B5:2 D6:2 C6:8"},
  };
  Tune t = FromBars(bars, 5512, false);
  t.leadBright = 1.4;
  for (int b = 0; b < 3; ++b) {
    const int s0 = b * 16;
    for (int k : {0, 8}) t.drums.push_back({s0 + k, Drum::Kick, 1.0});
    for (int k : {4, 12}) t.drums.push_back({s0 + k, Drum::Snare, 0.8});
    for (int k = 0; k < 16; k += 2) t.drums.push_back({s0 + k, Drum::Hat, 0.6});
  }
  t.drums.push_back({0, Drum::Crash, 1.0});
  // The closing chord, struck with the last melody note and held.
  t.drums.push_back({2 * 16 + 8, Drum::Crash, 1.0});
  t.drums.push_back({2 * 16 + 8, Drum::Kick, 1.0});
  for (int n : {48, 60, 64, 67, 72}) t.pad.push_back({2 * 16 + 8, 14, n, 1.6});
  return t;
}

// The three tunes share one loudness, so that no change of tune jumps out, and one peak,
// which is the music's share of the headroom budget (see Sounds.cpp): RMS -28 dBFS over
// the part that sounds, peaks limited to -15 dBFS.
constexpr double kMusicRmsDb = -28, kMusicPeakDb = -15;

// Sets `frames` to the music's loudness, measured over frames [from, to), and limits its peaks.
void Master(std::vector<double>& frames, size_t from, size_t to) {
  const std::vector<double> measured(frames.begin() + static_cast<std::ptrdiff_t>(2 * from),
                                     frames.begin() + static_cast<std::ptrdiff_t>(2 * to));
  const double k = FromDb(kMusicRmsDb) / RmsOf(measured);
  for (double& v : frames) v *= k;
  LimitPeaks(frames, 2, FromDb(kMusicPeakDb), 0.003, 0.12, kRate);
}

std::vector<uint8_t> Looping(const Tune& tune) {
  const Mixer mx = Render(tune, 2, 0.0);
  const size_t loop = static_cast<size_t>(tune.steps) * tune.stepSamples;
  // Mastered over both passes and the second one kept, so the limiter's gain at the
  // loop's start is the one it has at its end.
  std::vector<double> both = mx.Interleave(0, 2 * loop);
  Master(both, loop, 2 * loop);
  both.erase(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(2 * loop));
  return EncodeWav16(ToPcm16(both), 2, kRate);
}

std::vector<uint8_t> Once(const Tune& tune, double totalSec) {
  const Mixer mx = Render(tune, 1, 4.0);
  const size_t frames = static_cast<size_t>(totalSec * kRate);
  std::vector<double> out = mx.Interleave(0, frames < mx.Frames() ? frames : mx.Frames());
  out.resize(frames * 2, 0.0);
  // Fade the ring-out so the tune reaches true silence, then keep the rest zero.
  const size_t fadeFrom = static_cast<size_t>(6.0 * kRate), fadeTo = static_cast<size_t>(7.0 * kRate);
  for (size_t i = fadeFrom; i < frames; ++i) {
    const double k = i >= fadeTo ? 0.0 : 1.0 - static_cast<double>(i - fadeFrom) / (fadeTo - fadeFrom);
    out[2 * i] *= k * k;
    out[2 * i + 1] *= k * k;
  }
  // Loudness is measured over the fanfare itself, before its ring-out.
  const size_t sounding = static_cast<size_t>(tune.steps) * tune.stepSamples;
  Master(out, 0, sounding < fadeFrom ? sounding : fadeFrom);
  return EncodeWav16(ToPcm16(out), 2, kRate);
}

}  // namespace

void WriteMusic(const std::filesystem::path& dir) {
  WriteFile(dir / "bgm_b.wav", Looping(StageTune()));
  WriteFile(dir / "bgm_a.wav", Looping(TargetTune()));
  WriteFile(dir / "clear.wav", Once(ClearTune(), 9.6));
}

}  // namespace assetgen
