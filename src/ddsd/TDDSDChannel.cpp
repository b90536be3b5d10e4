#include "ddsd/TDDSDChannel.h"

#include <cmath>

#include "ddsd/DDSDLog.h"
#include "ddsd/TDDSD.h"
#include "ddsd/TDDSDWaveData.h"

TDDSDChannel::TDDSDChannel(TDDSD* device) : Device_(device), Params3D_(std::make_unique<TDDSDParams3D>()) {}

TDDSDChannel::~TDDSDChannel() {
  if (Buffer3D_) Buffer3D_->Release();
  if (Streaming_) {
    // A stream's buffer belongs to its wave data, which releases it.
    if (WaveData_) WaveData_->SetChannel(nullptr);
  } else if (Buffer_) {
    Buffer_->Release();
  }
}

void TDDSDChannel::DetachStream(TDDSDGenWave* wave) {
  if (!Streaming_ || WaveData_ != wave) return;
  Buffer_ = nullptr;
  WaveData_ = nullptr;
  Streaming_ = false;
}

void TDDSDChannel::setWaveData(TDDSDWaveData* wave) {
  if (!Device_ || !Device_->Initialized()) return;
  if (Streaming_) {
    if (wave == WaveData_) return;
    if (Buffer_) Buffer_->Stop();
    if (WaveData_) WaveData_->SetChannel(nullptr);
    Buffer_ = nullptr;  // the stream keeps it
    Streaming_ = false;
  } else {
    if (Buffer3D_) DDSDCheck(Buffer3D_->Release(), "setWaveData 3Dサウンドバッファの解放に失敗しました");
    Buffer3D_ = nullptr;
    if (Buffer_) DDSDCheck(Buffer_->Release(), "setWaveData サウンドバッファの解放に失敗しました");
    Buffer_ = nullptr;
  }
  if (!wave) return;  // silent; WaveData keeps the old reference

  if (wave->Streaming()) {
    // A stream that was on another channel moves here.
    if (TDDSDChannel* other = wave->Channel(); other && other != this) other->DetachStream(wave);
    Buffer_ = wave->Buffer();
    wave->SetChannel(this);
  } else {
    DDSDCheck(Device_->DirectSound()->DuplicateSoundBuffer(wave->Buffer(), &Buffer_),
              "setWaveData サウンドバッファの複製に失敗しました");
  }
  Streaming_ = wave->Streaming();
  BaseFrequency_ = wave->Format().nSamplesPerSec;
  WaveData_ = wave;
}

void TDDSDChannel::Play() {
  if (!Buffer_) return;
  Buffer_->SetCurrentPosition(0);
  Buffer_->Play(0, 0, 0);
}

void TDDSDChannel::PlayLooped() {
  if (!Buffer_) return;
  Buffer_->SetCurrentPosition(0);
  Buffer_->Play(0, 0, DSBPLAY_LOOPING);
}

void TDDSDChannel::Stop() {
  if (Buffer_) Buffer_->Stop();
}

void TDDSDChannel::SetFrequencyRatio(double factor) {
  if (!Buffer_) return;
  const double f = std::trunc(double(BaseFrequency_) * factor);
  if (!(f >= 0.0 && f < 4294967296.0)) throw rtl::ERangeError();
  Frequency_ = static_cast<DWORD>(f);
  Buffer_->SetFrequency(Frequency_);
}

void TDDSDChannel::SetVolume(LONG volume) {
  if (!Buffer_) return;
  Volume_ = volume;
  Buffer_->SetVolume(volume);
}

DWORD TDDSDChannel::GetStatus() {
  if (!Buffer_) return 0;
  DWORD status = 0;
  if (Buffer_->GetStatus(&status) != DS_OK) return 0;
  return status;
}
