// The wave data the game uses: always 2-D buffers.
#pragma once

#include "ddsd/TDDSDGenWave.h"

class TDDSDWaveData : public TDDSDGenWave {
 public:
  // A sound effect loaded from a WAV file.
  TDDSDWaveData(TDDSD* device, const std::string& fileName) : TDDSDGenWave(device, false, fileName) {}
  // An empty stream of the given format and size.
  TDDSDWaveData(TDDSD* device, DWORD samplesPerSec, WORD bitsPerSample, bool stereo, DWORD bufferBytes)
      : TDDSDGenWave(device, true, false, bufferBytes, stereo, bitsPerSample, samplesPerSec) {}
};
