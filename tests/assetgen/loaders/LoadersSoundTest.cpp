// The generated sound effects through the sound component's WAV loader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ddsd/SoundFixture.h"
#include "support/TestSupport.h"

namespace {

std::string Data(const std::string& name) { return (std::filesystem::path(ASSETGEN_DATA_DIR) / name).string(); }

class GeneratedSounds : public SoundTest {};

TEST_F(GeneratedSounds, EffectsBecomeSoundBuffersOfTheirFormat) {
  auto dev = MakeDevice();
  for (const char* name : {"gunshot.wav", "rocket.wav", "exprosion.wav", "info.wav", "crash.wav", "gunshot2.wav",
                           "nata.wav", "exprosion_s.wav", "missile.wav"}) {
    const auto bytes = testsupport::ReadFileBytes(Data(name));
    TDDSDWaveData wave(dev.get(), Data(name));
    ASSERT_NE(wave.Buffer(), nullptr) << name;
    EXPECT_EQ(wave.Format().wFormatTag, 1) << name;
    EXPECT_EQ(wave.Format().nChannels, 1) << name;
    EXPECT_EQ(wave.Format().nSamplesPerSec, 22050u) << name;
    EXPECT_EQ(wave.Format().wBitsPerSample, 16) << name;
    EXPECT_EQ(wave.BufferBytes(), bytes.size() - 44) << name;
  }
  EXPECT_EQ(Log(), "");
}

}  // namespace
