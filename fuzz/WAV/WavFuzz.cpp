// Loads arbitrary bytes as a WAV file, and plays what loads through a channel.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ddsd/TDDSD.h"
#include "ddsd/TDDSDChannel.h"
#include "ddsd/TDDSDWaveData.h"
#include "platform/host/Host.h"
#include "platform/win/WinWindows.h"

namespace {

class PulledAudio final : public host::IAudioDevice {
 public:
  bool Available() const override { return true; }
  bool Open(int, Callback cb) override {
    callback = std::move(cb);
    return true;
  }
  void Close() override { callback = nullptr; }
  void Lock() override {}
  void Unlock() override {}
  void Pull(int frames) {
    std::vector<int32_t> out(size_t(frames) * 2);
    if (callback) callback(out.data(), frames);
  }
  Callback callback;
};

const std::string& FilePath() {
  // A file in memory when the machine offers it: a disk file per run costs more than the run.
  static const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm")
                                                  ? std::filesystem::path("/dev/shm")
                                                  : std::filesystem::temp_directory_path();
  static const std::string path = (folder / ("tavvy-fuzz-wav-" + std::to_string(getpid()) + ".wav")).string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static PulledAudio audio;
  static dsound::ScopedAudioDevice use(&audio);
  static const win::WindowRegistration window(reinterpret_cast<HWND>(0x1000));
  std::FILE* f = std::fopen(FilePath().c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  TDDSD sound(window.Handle());
  sound.SetDebugOption(0);  // no log file, no halt: failures only leave the wave empty
  sound.SetChannelCount(1);
  sound.Loaded();
  TDDSDWaveData wave(&sound, FilePath());
  if (wave.Buffer()) {
    TDDSDChannel* c = sound.GetChannel(0);
    c->setWaveData(&wave);
    c->SetFrequencyRatio(size % 2 ? 0.5 : 1.5);
    c->PlayLooped();
    audio.Pull(300);
    c->Play();
    audio.Pull(300);
  }
  return 0;
}
