// The layout of a RIFF WAVE file as the wave loader walks it (the RIFF chunk, its
// "fmt " and "data" chunks), shared by the loader and by the check of the data folder.
#pragma once

#include <string>

#include "platform/dsound/DSound.h"
#include "platform/mmio/MMSystem.h"

enum class TWaveStep { Found, NotWave, NoFmt, BadFmt, NoData };

struct TWaveLayout {
  WAVEFORMATEX format{};  // the first 18 bytes of the fmt chunk at most
  DWORD claimed = 0;      // the data chunk's own size
  DWORD bytes = 0;        // as much of it as the file holds
};

// Descends into the RIFF WAVE chunk, reads the format and leaves the file at the start
// of the sound data. Each step that fails is named by the result.
TWaveStep DescendWave(HMMIO file, TWaveLayout& layout);

// What is wrong with a sound file, in words for the player.
struct TWaveProblem {
  std::string what;    // empty: the file is good
  bool plays = false;  // the sound loads all the same (with what the file holds)
};

// Opens and walks a WAV file as the loader does, and says whether the sound device
// would take it: plain PCM of 1 or 2 channels, 8 or 16 bits, 100 to 100000 samples a
// second, some sound data. A folder, a device or a file beyond the size limit of its
// kind is refused by name first (`music` picks the limit of streamed tunes).
TWaveProblem CheckWaveFile(const std::string& path, bool music = false);

// Words for the steps of DescendWave.
std::string DescribeWaveStep(TWaveStep step);
