// One voice of the sound component: its own duplicate of a wave's buffer (or a
// stream's buffer, borrowed), with its own rate and volume.
#pragma once

#include <memory>

#include "ddsd/TDDSDParams3D.h"
#include "platform/dsound/DSound.h"

class TDDSD;
class TDDSDGenWave;
class TDDSDWaveData;

class TDDSDChannel {
 public:
  explicit TDDSDChannel(TDDSD* device);
  ~TDDSDChannel();
  TDDSDChannel(const TDDSDChannel&) = delete;
  TDDSDChannel& operator=(const TDDSDChannel&) = delete;

  void setWaveData(TDDSDWaveData* wave);
  void Play();
  void PlayLooped();
  void Stop();
  // Frequency = BaseFrequency * factor, truncated; raises ERangeError at 2^32 and beyond.
  void SetFrequencyRatio(double factor);
  void SetVolume(LONG volume);
  DWORD GetStatus();

  IDirectSoundBuffer* Buffer() const { return Buffer_; }
  IDirectSound3DBuffer* Buffer3D() const { return Buffer3D_; }
  TDDSD* Device() const { return Device_; }
  DWORD Frequency() const { return Frequency_; }
  DWORD BaseFrequency() const { return BaseFrequency_; }
  LONG Volume() const { return Volume_; }
  TDDSDWaveData* WaveData() const { return WaveData_; }
  TDDSDParams3D& Params3D() { return *Params3D_; }
  bool Streaming() const { return Streaming_; }

 private:
  friend class TDDSDGenWave;
  // The stream is going away: its buffer is no longer ours to touch.
  void DetachStream(TDDSDGenWave* wave);

  IDirectSoundBuffer* Buffer_ = nullptr;  // owned, unless Streaming_
  IDirectSound3DBuffer* Buffer3D_ = nullptr;
  TDDSD* Device_;
  DWORD Frequency_ = 0;
  DWORD BaseFrequency_ = 0;
  LONG Volume_ = 0;
  TDDSDWaveData* WaveData_ = nullptr;
  std::unique_ptr<TDDSDParams3D> Params3D_;
  bool Streaming_ = false;
};
