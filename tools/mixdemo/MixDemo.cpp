// mixdemo OUT.wav [DATA_DIR]
//
// Sets up the game's eleven channels as the game does at start-up, streams a tune
// through the music channel and fires the effects one after another, on the
// headless audio sink driven by a virtual clock in 25 ms ticks. The mix is written
// to OUT.wav. Without DATA_DIR (or when it lacks the effect files) the effects are
// synthesized into a temporary folder first.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SXView1/GameSounds.h"
#include "ddsd/TDDSDChannel.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "platform/rtl/SysUtils.h"
#include "platform/win/WinWindows.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const char* const kEffects[] = {"gunshot.wav",  "rocket.wav", "exprosion.wav",   "info.wav",   "crash.wav",
                                "gunshot2.wav", "nata.wav",   "exprosion_s.wav", "missile.wav"};

// Writes one synthesized effect: a decaying tone with some noise, in the given format.
bool WriteEffect(const std::string& path, int index, int rate, int bits, int channels) {
  const double seconds = 0.25 + 0.05 * index;
  const size_t frames = size_t(seconds * rate);
  std::vector<int16_t> pcm(frames * size_t(channels));
  uint32_t noise = 12345u + uint32_t(index);
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    noise = noise * 1664525u + 1013904223u;
    const double n = (double(noise >> 8) / double(1u << 24)) * 2 - 1;
    const double tone = std::sin(2 * kPi * (220.0 * (index + 1)) * t * (1.0 - 0.5 * t / seconds));
    const double env = std::exp(-4.0 * t / seconds);
    const double s = env * (0.6 * tone + 0.3 * n * (index % 3 == 2 ? 1.0 : 0.2));
    for (int c = 0; c < channels; ++c) pcm[i * size_t(channels) + size_t(c)] = int16_t(s * 20000 * (c ? 0.8 : 1.0));
  }
  if (bits == 16) return host::WriteWavFile(path, pcm.data(), frames, channels, rate);
  // 8-bit: unsigned samples, written by hand.
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const uint32_t dataBytes = uint32_t(pcm.size());
  auto put32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };  // little-endian host
  auto put16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
  std::fwrite("RIFF", 1, 4, f);
  put32(36 + dataBytes + (dataBytes & 1));
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(16);
  put16(1);
  put16(uint16_t(channels));
  put32(uint32_t(rate));
  put32(uint32_t(rate * channels));
  put16(uint16_t(channels));
  put16(8);
  std::fwrite("data", 1, 4, f);
  put32(dataBytes);
  for (int16_t s : pcm) std::fputc(128 + (s >> 8), f);
  if (dataBytes & 1) std::fputc(0, f);
  return std::fclose(f) == 0;
}

// A looping tune of a few chords, 44100 Hz 16-bit stereo, as the music files hold it.
std::vector<uint8_t> MakeTune() {
  const int rate = 44100;
  const double chords[4][3] = {
      {261.6, 329.6, 392.0}, {220.0, 261.6, 329.6}, {174.6, 220.0, 261.6}, {196.0, 246.9, 293.7}};
  const size_t perChord = rate / 2;
  std::vector<uint8_t> bytes;
  bytes.reserve(perChord * 4 * 4);
  for (int c = 0; c < 4; ++c) {
    for (size_t i = 0; i < perChord; ++i) {
      const double t = double(i) / rate;
      double s = 0;
      for (double f : chords[c]) s += std::sin(2 * kPi * f * t);
      const double env = std::min(1.0, t * 50) * std::min(1.0, (0.5 - t) * 50);
      const auto l = int16_t(s * env * 5000), r = int16_t(s * env * 4000);
      for (int16_t v : {l, r}) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(uint16_t(v) >> 8));
      }
    }
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mixdemo OUT.wav [DATA_DIR]\n");
    return 2;
  }
  const std::string out = argv[1];
  std::string dataDir = argc > 2 ? std::string(argv[2]) + "/" : std::string();
  std::filesystem::path temp;
  bool haveData = !dataDir.empty();
  for (const char* e : kEffects) haveData = haveData && std::filesystem::exists(dataDir + e);
  if (!haveData) {
    temp = std::filesystem::temp_directory_path() / ("tavvy-mixdemo-" + std::to_string(getpid()));
    std::filesystem::create_directories(temp);
    dataDir = temp.string() + "/";
    // The formats vary on purpose: 8- and 16-bit, mono and stereo, several rates.
    const int formats[9][3] = {{22050, 16, 1}, {11025, 8, 1},  {22050, 16, 2}, {44100, 16, 1}, {11025, 16, 1},
                               {22050, 8, 1},  {32000, 16, 1}, {44100, 16, 2}, {8000, 8, 1}};
    for (int i = 0; i < 9; ++i)
      if (!WriteEffect(dataDir + kEffects[i], i, formats[i][0], formats[i][1], formats[i][2])) {
        std::fprintf(stderr, "mixdemo: cannot write %s\n", (dataDir + kEffects[i]).c_str());
        return 1;
      }
  }

  win::VirtualClock clock(0);
  win::ScopedClock useClock(clock);
  host::HeadlessAudio audio(clock);
  dsound::ScopedAudioDevice useAudio(&audio);
  int status = 0;
  try {
    // No window is shown, but the sound component sets its cooperative level with one.
    const win::WindowRegistration window(reinterpret_cast<HWND>(0x1000));
    TDDSD sound(window.Handle());
    sound.SetChannelCount(11);
    sound.SetStickyFocus(false);
    sound.SetDebugOption(dsoHaltOnError);
    sound.Loaded();
    if (!sound.Initialized()) {
      std::fprintf(stderr, "mixdemo: no audio device\n");
      return 1;
    }
    TGameSounds sounds;
    SetUpGameSounds(sound, dataDir, sounds);

    // The music: loops the tune block by block, as the game's stage music does.
    const std::vector<uint8_t> tune = MakeTune();
    size_t tunePos = 0;
    std::vector<uint8_t> block(220500);
    auto fill = [&](size_t length) {
      for (size_t i = 0; i < length; ++i) {
        block[i] = tune[tunePos];
        tunePos = (tunePos + 1) % tune.size();
      }
    };
    {
      std::lock_guard lock(sounds.MusicBuffer->NotifyLock());
      fill(block.size());
      sounds.MusicBuffer->WriteData(0, block.data(), DWORD(block.size()));
      sounds.MusicBuffer->SetOnNotify([&](TDDSDGenWave* w, TDDSDChannel*, DWORD offset, DWORD length) {
        fill(length);
        w->WriteData(offset, block.data(), length);
      });
    }
    audio.StartCapture();
    sound.GetChannel(5)->PlayLooped();

    struct Cue {
      int tick;
      DWORD channel;
    };
    std::vector<Cue> cues;
    for (int t = 8; t < 48; t += 6) cues.push_back({t, 0});  // a burst of gunfire
    const Cue rest[] = {{60, 4},  {80, 1},  {82, 2},   {100, 6}, {120, 7},
                        {140, 8}, {160, 9}, {180, 10}, {200, 3}, {204, 3}};
    cues.insert(cues.end(), std::begin(rest), std::end(rest));
    const int ticks = 240;  // 6 seconds
    for (int tick = 0; tick < ticks; ++tick) {
      for (const Cue& c : cues)
        if (c.tick == tick) sound.GetChannel(c.channel)->Play();
      clock.Advance(25);
      // Let the notification thread refill in real time; it has 50 ticks of margin.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    sound.GetChannel(5)->Stop();
    sounds.MusicBuffer->SetOnNotify(nullptr);
    if (!audio.WriteCapturedWav(out)) {
      std::fprintf(stderr, "mixdemo: cannot write %s\n", out.c_str());
      status = 1;
    } else {
      std::printf("mixdemo: %llu frames written to %s\n", static_cast<unsigned long long>(audio.FramesConsumed()),
                  out.c_str());
    }
    FreeGameSoundEffects(sounds);
  } catch (const rtl::EHalt& h) {
    std::fprintf(stderr, "mixdemo: the sound component ended the program (see ddsd.debug)\n");
    status = h.ExitCode ? h.ExitCode : 1;
  }
  if (!temp.empty()) std::filesystem::remove_all(temp);
  return status;
}
