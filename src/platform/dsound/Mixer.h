// The software mixer behind the DirectSound stand-in. Every playing secondary
// buffer is resampled to the output rate, scaled by its volume and summed into stereo
// at 16-bit scale; the host's output stage makes 16-bit samples of the sum. Play cursors move by each buffer's own
// frequency; notification events are set when a cursor passes their offsets.
//
// One mutex guards every voice: the audio thread mixes under it, and every buffer
// call on any thread takes it. Sample memory handed out by Lock is a staging copy,
// so a writer never touches bytes the mixer is reading.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dsound/DSound.h"

namespace dsound {

inline constexpr int kMixRate = 44100;

// Sample memory shared by a buffer and its duplicates.
struct SampleData {
  std::vector<uint8_t> bytes;
};

struct Voice {
  std::shared_ptr<SampleData> samples;
  WAVEFORMATEX format{};
  DWORD bytes = 0;        // size of the buffer
  DWORD frames = 0;       // whole frames in it
  uint64_t position = 0;  // play cursor in frames, 32.32 fixed point
  DWORD frequency = 0;
  LONG volume = 0;
  int32_t gain = 65536;  // volume as a 16.16 factor
  bool playing = false;
  bool looping = false;
  std::vector<DSBPOSITIONNOTIFY> notifications;

  void SetVolume(LONG v);
  DWORD PlayCursor() const { return static_cast<DWORD>(position >> 32) * format.nBlockAlign; }
  // Stops the voice and sets its DSBPN_OFFSETSTOP events.
  void StopAndNotify();
};

class Mixer {
 public:
  std::mutex& Mutex() { return mutex_; }
  void Add(Voice* v);     // caller holds Mutex()
  void Remove(Voice* v);  // caller holds Mutex()
  // Fills `frames` interleaved stereo frames with the sum; takes the mutex.
  void Mix(int32_t* out, int frames);

 private:
  void MixLocked(int32_t* out, int frames);
  std::mutex mutex_;
  std::vector<Voice*> voices_;
};

}  // namespace dsound
