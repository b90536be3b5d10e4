#include "platform/dsound/Mixer.h"

#include <algorithm>
#include <cmath>

namespace dsound {
namespace {

struct Frame {
  int32_t left;
  int32_t right;
};

template <int Bits, int Channels>
inline Frame ReadFrame(const uint8_t* data, uint32_t index) {
  if constexpr (Bits == 8) {
    const uint8_t* p = data + size_t(index) * Channels;
    const int32_t l = (int32_t(p[0]) - 128) << 8;
    return {l, Channels == 2 ? (int32_t(p[1]) - 128) << 8 : l};
  } else {
    const uint8_t* p = data + size_t(index) * 2 * Channels;
    const int32_t l = int16_t(uint16_t(p[0] | (p[1] << 8)));
    return {l, Channels == 2 ? int32_t(int16_t(uint16_t(p[2] | (p[3] << 8)))) : l};
  }
}

// Mixes one voice into the accumulator with linear interpolation between frames.
// Returns the frames the cursor moved, counting whole laps for the notifications.
template <int Bits, int Channels>
uint64_t MixVoice(Voice& v, int32_t* acc, int frames) {
  const uint8_t* data = v.samples->bytes.data();
  const uint64_t step = (uint64_t(v.frequency) << 32) / kMixRate;
  const uint64_t end = uint64_t(v.frames) << 32;
  const int64_t gain = v.gain;
  uint64_t pos = v.position;
  uint64_t moved = 0;
  for (int i = 0; i < frames; ++i) {
    const uint32_t index = uint32_t(pos >> 32);
    uint32_t next = index + 1;
    if (next >= v.frames) next = v.looping ? 0 : index;
    const int32_t frac = int32_t((pos >> 16) & 0xFFFF);
    const Frame a = ReadFrame<Bits, Channels>(data, index);
    const Frame b = ReadFrame<Bits, Channels>(data, next);
    const int32_t l = a.left + int32_t((int64_t(b.left - a.left) * frac) >> 16);
    const int32_t r = a.right + int32_t((int64_t(b.right - a.right) * frac) >> 16);
    acc[2 * i] += int32_t((l * gain) >> 16);
    acc[2 * i + 1] += int32_t((r * gain) >> 16);
    pos += step;
    if (pos >= end) {
      if (!v.looping) {
        // The cursor stops on the last frame: it never comes round to offset 0 again.
        const uint64_t wholeFrames = ((moved + end) >> 32) - 1 - (v.position >> 32);
        v.position = 0;
        v.playing = false;
        return wholeFrames;
      }
      while (pos >= end) {
        pos -= end;
        moved += end;
      }
    }
  }
  // Frames moved = laps * frames + new index - old index (in whole frames).
  const uint64_t wholeFrames = ((moved + pos) >> 32) - (v.position >> 32);
  v.position = pos;
  return wholeFrames;
}

using MixFn = uint64_t (*)(Voice&, int32_t*, int);

MixFn MixFunction(const WAVEFORMATEX& f) {
  if (f.wBitsPerSample == 8) return f.nChannels == 2 ? MixVoice<8, 2> : MixVoice<8, 1>;
  return f.nChannels == 2 ? MixVoice<16, 2> : MixVoice<16, 1>;
}

// Sets every event whose offset the cursor passed while moving from oldByte
// forward by movedBytes (laps included): oldByte < offset + k * size <= newByte.
void SignalPassed(const Voice& v, uint64_t oldByte, uint64_t movedBytes) {
  const uint64_t size = uint64_t(v.frames) * v.format.nBlockAlign;
  if (size == 0 || movedBytes == 0) return;
  const uint64_t newByte = oldByte + movedBytes;
  for (const DSBPOSITIONNOTIFY& n : v.notifications) {
    if (n.dwOffset == DSBPN_OFFSETSTOP) continue;
    const uint64_t off = n.dwOffset;
    // First lap position of this offset after oldByte.
    const uint64_t first = off > oldByte ? off : off + ((oldByte - off) / size + 1) * size;
    if (first <= newByte) SetEvent(n.hEventNotify);
  }
}

}  // namespace

void Voice::SetVolume(LONG v) {
  volume = v;
  if (v <= DSBVOLUME_MIN) {
    gain = 0;
  } else {
    gain = static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, double(v) / 2000.0)));
  }
}

void Voice::StopAndNotify() {
  playing = false;
  looping = false;
  for (const DSBPOSITIONNOTIFY& n : notifications)
    if (n.dwOffset == DSBPN_OFFSETSTOP) SetEvent(n.hEventNotify);
}

void Mixer::Add(Voice* v) { voices_.push_back(v); }

void Mixer::Remove(Voice* v) { voices_.erase(std::remove(voices_.begin(), voices_.end(), v), voices_.end()); }

void Mixer::Mix(int32_t* out, int frames) {
  std::lock_guard lock(mutex_);
  MixLocked(out, frames);
}

void Mixer::MixLocked(int32_t* out, int frames) {
  if (frames <= 0) return;
  std::fill(out, out + size_t(frames) * 2, 0);
  for (Voice* v : voices_) {
    if (!v->playing || v->frames == 0 || v->frequency == 0) continue;
    const uint64_t oldByte = uint64_t(v->position >> 32) * v->format.nBlockAlign;
    const uint64_t moved = MixFunction(v->format)(*v, out, frames);
    SignalPassed(*v, oldByte, moved * v->format.nBlockAlign);
    if (!v->playing) v->StopAndNotify();  // a buffer played once has reached its end
  }
}

}  // namespace dsound
