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
      : attack_(static_cast<size_t>(a * rate)), gate_(static_cast<size_t>(gate * rate)), sustain_(s),
        kd_(Exp(-1.0 / (d * rate))), kr_(Exp(-1.0 / (r * rate))) {}
  double Next() {
    double v;
    if (n_ < gate_) {
      if (n_ < attack_) v = static_cast<double>(n_) / attack_;
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

// Chamberlin state-variable filter; good below about a sixth of the sampling rate.
class Svf {
 public:
  // Returns the low-pass output; Band() and High() give the other two of the last step.
  double Low(double in, double cutoff, double rate, double q = 0.7) {
    double c = cutoff;
    if (c > rate / 6.5) c = rate / 6.5;
    if (c < 10) c = 10;
    // 2 sin(pi c / rate) by its series: the argument stays below 0.49 here.
    const double x = kPi * c / rate, x2 = x * x;
    const double f = 2.0 * x * (1.0 - x2 / 6.0 * (1.0 - x2 / 20.0 * (1.0 - x2 / 42.0)));
    const double damp = 1.0 / q;
    low_ += f * band_;
    high_ = in - low_ - damp * band_;
    band_ += f * high_;
    return low_;
  }
  double Band() const { return band_; }
  double High() const { return high_; }

 private:
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

// Frequency of a MIDI note number (69 = A4 = 440 Hz).
inline double NoteHz(int midi) { return 440.0 * Exp2((midi - 69) / 12.0); }

}  // namespace assetgen::synth
