// The last step of the audio output: the mixed channels, summed at 16-bit scale but not
// yet clipped, become the 16-bit samples the device plays.
//
// With the limiter (the default) a crowded moment is turned down just before it would
// pass the ceiling and let up again over a short release, so the sum never reaches full
// scale and never crackles. It looks ahead a millisecond and a half, so everything comes
// out that much later; below the ceiling the samples pass unchanged. Without it each
// sample is clipped to 16 bits on its own, as the platform's mixer did.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/host/Host.h"

namespace host {

class AudioOutputStage {
 public:
  AudioOutputStage(int rate, const AudioOutputOptions& options);

  // Turns `frames` interleaved stereo frames of the mix into 16-bit samples.
  void Process(const int32_t* mix, int16_t* out, int frames);
  // How many frames later a sample comes out than it went in.
  int LatencyFrames() const { return limiter_ ? lookAhead_ : 0; }
  // The largest magnitude the limiter lets through.
  static constexpr int kCeiling = 32000;  // -0.2 dBFS

 private:
  struct Frame {
    int32_t left = 0, right = 0;
  };
  void Limit(const int32_t* mix, int16_t* out, int frames);

  bool limiter_;
  int lookAhead_;
  double release_;
  // The last lookAhead_ + 1 frames and the gain each one needs on its own.
  std::vector<Frame> delay_;
  std::vector<double> need_;
  uint64_t count_ = 0;
  // Indices (frame counts) of a falling run of needs: the minimum of the window in front.
  std::vector<uint64_t> minQueue_;
  size_t minFront_ = 0, minBack_ = 0;
  // The minimum after the release, over the last lookAhead_ + 1 frames, and their sum.
  std::vector<double> smooth_;
  double smoothSum_ = 0;
  double released_ = 1.0;
};

}  // namespace host
