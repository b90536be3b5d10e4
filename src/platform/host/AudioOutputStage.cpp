#include "platform/host/AudioOutputStage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace host {

namespace {
constexpr double kLookAheadSeconds = 0.0015;
constexpr double kReleaseSeconds = 0.05;

int16_t Clip(double v) { return static_cast<int16_t>(std::clamp<long>(std::lround(v), -32768, 32767)); }
}  // namespace

AudioOutputStage::AudioOutputStage(int rate, const AudioOutputOptions& options)
    : limiter_(options.limiter),
      lookAhead_(std::max(1, static_cast<int>(kLookAheadSeconds * std::max(rate, 1)))),
      release_(1.0 - std::exp(-1.0 / (kReleaseSeconds * std::max(rate, 1)))) {
  const size_t window = size_t(lookAhead_) + 1;
  delay_.assign(window, Frame{});
  need_.assign(window, 1.0);
  minQueue_.assign(window + 1, 0);
  smooth_.assign(window, 1.0);
  smoothSum_ = double(window);
}

void AudioOutputStage::Process(const int32_t* mix, int16_t* out, int frames) {
  if (frames <= 0) return;
  if (limiter_) {
    Limit(mix, out, frames);
    return;
  }
  for (int i = 0; i < 2 * frames; ++i) out[i] = static_cast<int16_t>(std::clamp<int32_t>(mix[i], -32768, 32767));
}

// Each frame needs the gain that brings its louder side to the ceiling. The gain applied
// to a frame leaving the delay line is the mean, over the look-ahead, of a running
// minimum of those needs (taken over the look-ahead in front of each frame, then let up
// no faster than the release). Every value in that mean is at most the leaving frame's own
// need, so no frame ever passes the ceiling; the mean turns a sudden drop into a ramp.
void AudioOutputStage::Limit(const int32_t* mix, int16_t* out, int frames) {
  const size_t window = delay_.size();
  const size_t queueSize = minQueue_.size();
  for (int i = 0; i < frames; ++i) {
    const Frame f{mix[2 * i], mix[2 * i + 1]};
    const int64_t peak = std::max(std::llabs(f.left), std::llabs(f.right));
    const size_t slot = size_t(count_ % window);
    delay_[slot] = f;
    need_[slot] = peak > kCeiling ? double(kCeiling) / double(peak) : 1.0;

    // Sliding minimum of the needs of frames count_ - lookAhead_ .. count_: drop the
    // frame that left the window, then the ones the new frame outdoes.
    while (minFront_ != minBack_ && minQueue_[minFront_] + uint64_t(lookAhead_) < count_)
      minFront_ = (minFront_ + 1) % queueSize;
    while (minBack_ != minFront_) {
      const size_t last = (minBack_ + queueSize - 1) % queueSize;
      if (need_[size_t(minQueue_[last] % window)] < need_[slot]) break;
      minBack_ = last;
    }
    minQueue_[minBack_] = count_;
    minBack_ = (minBack_ + 1) % queueSize;
    const double ahead = need_[size_t(minQueue_[minFront_] % window)];

    released_ = std::min(ahead, released_ + (1.0 - released_) * release_);
    smoothSum_ += released_ - smooth_[slot];
    smooth_[slot] = released_;
    if (slot == 0) {  // keep rounding from creeping into the running sum
      smoothSum_ = 0;
      for (double v : smooth_) smoothSum_ += v;
    }
    const double gain = std::min(1.0, smoothSum_ / double(window));

    const Frame& leaving = delay_[size_t((count_ + 1) % window)];
    out[2 * i] = Clip(leaving.left * gain);
    out[2 * i + 1] = Clip(leaving.right * gain);
    ++count_;
  }
}

}  // namespace host
