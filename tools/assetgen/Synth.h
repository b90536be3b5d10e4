// Small sound-making blocks shared by the effects and the music: oscillators with
// band-limited edges, a state-variable filter, one-pole filters and envelopes.
#pragma once

#include <cstdint>
#include <vector>

#include "Common.h"

namespace assetgen::synth {

// Correction of a naive saw or square edge (polyBLEP): t is the phase 0..1, dt the step.
inline double PolyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

// Sine of a phase in turns (0..1), from a table with linear interpolation: the music
// calls it for every sample of every voice.
inline double TableSin(double turns) {
  static const std::vector<double> table = [] {
    std::vector<double> t(4097);
    for (int i = 0; i <= 4096; ++i) t[i] = Sin(kTwoPi * i / 4096.0);
    return t;
  }();
  const double x = (turns - static_cast<double>(static_cast<int64_t>(turns < 0 ? turns - 1 : turns))) * 4096.0;
  const int i = static_cast<int>(x);
  const double f = x - i;
  return table[i] + (table[i + 1] - table[i]) * f;
}

// An exponential fall from 1 with time constant tau, one multiplication per sample.
class Decay {
 public:
  Decay(double tau, double rate) : k_(Exp(-1.0 / (tau * rate))) {}
  double Next() {
    const double v = v_;
    v_ *= k_;
    return v;
  }

 private:
  double k_, v_ = 1.0;
};

// Attack, decay to sustain, and release after the gate, stepped sample by sample.
class Envelope {
 public:
  Envelope(double a, double d, double s, double r, double gate, double rate)
      : attack_(static_cast<size_t>(a * rate)),
        gate_(static_cast<size_t>(gate * rate)),
        sustain_(s),
        kd_(Exp(-1.0 / (d * rate))),
        kr_(Exp(-1.0 / (r * rate))) {}
  double Next() {
    double v;
    if (n_ < gate_) {
      if (n_ < attack_)
        v = static_cast<double>(n_) / attack_;
      else {
        v = sustain_ + (1.0 - sustain_) * fall_;
        fall_ *= kd_;
      }
      held_ = v;
    } else {
      held_ *= kr_;
      v = held_;
    }
    ++n_;
    return v;
  }
  bool Done() const { return n_ > gate_ && held_ < 1e-4; }

 private:
  size_t attack_, gate_;
  double sustain_, kd_, kr_;
  size_t n_ = 0;
  double fall_ = 1.0, held_ = 0.0;
};

class Osc {
 public:
  // Advances by one sample at `freq` and returns the value for the wave asked for.
  double Saw(double freq, double rate) {
    const double dt = freq / rate;
    const double v = 2.0 * phase_ - 1.0 - PolyBlep(phase_, dt);
    Step(dt);
    return v;
  }
  double Square(double freq, double rate) {
    const double dt = freq / rate;
    double v = phase_ < 0.5 ? 1.0 : -1.0;
    v += PolyBlep(phase_, dt);
    double t2 = phase_ + 0.5;
    if (t2 >= 1.0) t2 -= 1.0;
    v -= PolyBlep(t2, dt);
    Step(dt);
    return v;
  }
  double Sine(double freq, double rate) {
    const double v = TableSin(phase_);
    Step(freq / rate);
    return v;
  }
  double Triangle(double freq, double rate) {
    const double v = phase_ < 0.5 ? 4.0 * phase_ - 1.0 : 3.0 - 4.0 * phase_;
    Step(freq / rate);
    return v;
  }
  void Reset(double phase = 0) { phase_ = phase; }

 private:
  void Step(double dt) {
    phase_ += dt;
    while (phase_ >= 1.0) phase_ -= 1.0;
  }
  double phase_ = 0;
};

// State-variable filter in its trapezoidal (zero-delay feedback) form: stable at every
// cut-off below half the sampling rate and for every q > 0, where the older two-integrator
// form blows up once the cut-off nears a sixth of the rate.
class Svf {
 public:
  // Returns the low-pass output; Band() and High() give the other two of the last step.
  double Low(double in, double cutoff, double rate, double q = 0.7) {
    if (cutoff != cutoff_ || rate != rate_ || q != q_) Tune(cutoff, rate, q);
    const double v3 = in - ic2_;
    const double v1 = a1_ * ic1_ + a2_ * v3;
    const double v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
    ic1_ = 2.0 * v1 - ic1_;
    ic2_ = 2.0 * v2 - ic2_;
    band_ = v1;
    low_ = v2;
    high_ = in - k_ * v1 - v2;
    return low_;
  }
  double Band() const { return band_; }
  double High() const { return high_; }

 private:
  void Tune(double cutoff, double rate, double q) {
    cutoff_ = cutoff;
    rate_ = rate;
    q_ = q;
    double c = cutoff;
    if (c > rate * 0.45) c = rate * 0.45;
    if (c < 10) c = 10;
    // tan(x) for 0 < x < 0.45 pi from the sine and cosine series, which are exact to
    // about 1e-10 there: the music retunes its filters at every sample.
    const double x = kPi * c / rate, x2 = x * x;
    // 1 / ((n + 1) n) and 1 / (n (n - 1)) for n = 16, 14, ..., 2.
    static constexpr double kSin[] = {1.0 / 272, 1.0 / 210, 1.0 / 156, 1.0 / 110,
                                      1.0 / 72,  1.0 / 42,  1.0 / 20,  1.0 / 6};
    static constexpr double kCos[] = {1.0 / 240, 1.0 / 182, 1.0 / 132, 1.0 / 90, 1.0 / 56, 1.0 / 30, 1.0 / 12, 1.0 / 2};
    double sn = 1, cs = 1;
    for (int i = 0; i < 8; ++i) {
      sn = 1.0 - sn * x2 * kSin[i];
      cs = 1.0 - cs * x2 * kCos[i];
    }
    const double g = x * sn / cs;
    k_ = 1.0 / (q > 0.05 ? q : 0.05);
    a1_ = 1.0 / (1.0 + g * (g + k_));
    a2_ = g * a1_;
    a3_ = g * a2_;
  }
  double cutoff_ = -1, rate_ = -1, q_ = -1;
  double k_ = 1, a1_ = 0, a2_ = 0, a3_ = 0;
  double ic1_ = 0, ic2_ = 0;
  double low_ = 0, band_ = 0, high_ = 0;
};

// One-pole low-pass (and the high-pass that is its complement).
class OnePole {
 public:
  void SetCutoff(double hz, double rate) { a_ = 1.0 - Exp(-kTwoPi * hz / rate); }
  double Low(double in) {
    z_ += a_ * (in - z_);
    return z_;
  }
  double High(double in) { return in - Low(in); }

 private:
  double a_ = 1, z_ = 0;
};

// Scales samples so that the loudest one sits at `peak` (full scale 1.0).
inline void Normalize(std::vector<double>& s, double peak) {
  double m = 0;
  for (double v : s) m = v < 0 ? (-v > m ? -v : m) : (v > m ? v : m);
  if (m <= 0) return;
  const double k = peak / m;
  for (double& v : s) v *= k;
}

// Largest magnitude of the samples (full scale 1.0).
inline double PeakOf(const std::vector<double>& s) {
  double m = 0;
  for (double v : s) m = v < 0 ? (-v > m ? -v : m) : (v > m ? v : m);
  return m;
}

// Root mean square of the samples.
inline double RmsOf(const std::vector<double>& s) {
  if (s.empty()) return 0;
  double sum = 0;
  for (double v : s) sum += v * v;
  return Sqrt(sum / static_cast<double>(s.size()));
}

// A look-ahead peak limiter for a finished sound: the gain falls ahead of each peak
// over `attackSec` (so no sample goes above `ceiling`) and recovers over `releaseSec`.
// Works on interleaved frames of `channels` samples, with one gain for all of them.
inline void LimitPeaks(std::vector<double>& s, int channels, double ceiling, double attackSec, double releaseSec,
                       double rate) {
  const size_t frames = s.size() / static_cast<size_t>(channels);
  if (frames == 0 || ceiling <= 0) return;
  std::vector<double> gain(frames, 1.0);
  for (size_t i = 0; i < frames; ++i) {
    double m = 0;
    for (int c = 0; c < channels; ++c) {
      const double v = s[i * channels + c];
      m = v < 0 ? (-v > m ? -v : m) : (v > m ? v : m);
    }
    if (m > ceiling) gain[i] = ceiling / m;
  }
  // Every frame that needs less than unity also lowers the frames before it, faded in
  // linearly over the attack, so the gain has reached its floor when the peak comes.
  const size_t attack = static_cast<size_t>(attackSec * rate) + 1;
  std::vector<double> need(gain);
  for (size_t j = 0; j < frames; ++j) {
    if (gain[j] >= 1.0) continue;
    for (size_t back = 1; back < attack && back <= j; ++back) {
      const double t = static_cast<double>(back) / static_cast<double>(attack);
      const double g = gain[j] + (1.0 - gain[j]) * t;
      if (g < need[j - back]) need[j - back] = g;
    }
  }
  // Forwards: the gain rises back no faster than the release allows.
  const double up = 1.0 - Exp(-1.0 / (releaseSec * rate));
  double g = 1.0;
  for (size_t i = 0; i < frames; ++i) {
    g = need[i] < g ? need[i] : g + (need[i] - g) * up;
    for (int c = 0; c < channels; ++c) s[i * channels + c] *= g;
  }
}

// Decibels relative to full scale, and back.
inline double FromDb(double db) { return Exp(db * 0.11512925464970229); }  // ln(10) / 20

// Frequency of a MIDI note number (69 = A4 = 440 Hz).
inline double NoteHz(int midi) { return 440.0 * Exp2((midi - 69) / 12.0); }

}  // namespace assetgen::synth
