#include "platform/dsound/DSound.h"

#include <atomic>
#include <cstring>
#include <list>
#include <memory>
#include <new>

#include "platform/dsound/Mixer.h"
#include "platform/host/Host.h"
#include "platform/win/ComRef.h"
#include "platform/win/Gaps.h"
#include "platform/win/WinWindows.h"

namespace dsound {
namespace {

// The calls this stand-in does not implement say so once on the error stream.
win::GapReporter& Gaps() {
  static win::GapReporter gaps{"dsound"};
  return gaps;
}

std::atomic<host::IAudioDevice*> g_deviceOverride{nullptr};

host::IAudioDevice* AudioDevice() {
  if (host::IAudioDevice* d = g_deviceOverride.load()) return d;
  return host::HasCurrent() ? &host::Current().Audio() : nullptr;
}

bool ValidPcm(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f.nChannels != 1 && f.nChannels != 2) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
  if (f.nSamplesPerSec < DSBFREQUENCY_MIN || f.nSamplesPerSec > DSBFREQUENCY_MAX) return false;
  return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

bool ValidDescSize(DWORD size) { return size == DSBUFFERDESC_SIZE || size == sizeof(DSBUFFERDESC); }

// ---------------------------------------------------------------- 3-D records

class Listener final : public win::RefCounted<IDirectSound3DListener> {
 public:
  Listener() {
    params_ = {};
    params_.dwSize = sizeof(DS3DLISTENER);
    params_.vOrientFront = {0, 0, 1};
    params_.vOrientTop = {0, 1, 0};
    params_.flDistanceFactor = params_.flRolloffFactor = params_.flDopplerFactor = 1.0f;
    deferred_ = params_;
  }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectSound3DListener) {
      AddRef();
      *ppv = static_cast<IDirectSound3DListener*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT GetAllParameters(DS3DLISTENER* p) override {
    if (!p || p->dwSize != sizeof(DS3DLISTENER)) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    *p = params_;
    return DS_OK;
  }
  HRESULT SetAllParameters(const DS3DLISTENER* p, DWORD apply) override {
    if (!p || p->dwSize != sizeof(DS3DLISTENER)) return DSERR_INVALIDPARAM;
    if (apply != DS3D_IMMEDIATE && apply != DS3D_DEFERRED) return DSERR_INVALIDPARAM;
    if (!(p->flDistanceFactor > 0.0f) || !(p->flRolloffFactor >= 0.0f && p->flRolloffFactor <= 10.0f) ||
        !(p->flDopplerFactor >= 0.0f && p->flDopplerFactor <= 10.0f))
      return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    deferred_ = *p;
    if (apply == DS3D_IMMEDIATE) params_ = *p;
    return DS_OK;
  }
  HRESULT CommitDeferredSettings() override {
    std::lock_guard lock(mutex_);
    params_ = deferred_;
    return DS_OK;
  }

 private:
  ~Listener() override = default;
  std::mutex mutex_;
  DS3DLISTENER params_;
  DS3DLISTENER deferred_;
};

class Buffer3D final : public win::RefCounted<IDirectSound3DBuffer> {
 public:
  Buffer3D() {
    params_ = {};
    params_.dwSize = sizeof(DS3DBUFFER);
    params_.dwInsideConeAngle = params_.dwOutsideConeAngle = 360;
    params_.vConeOrientation = {0, 0, 1};
    params_.flMinDistance = 1.0f;
    params_.flMaxDistance = 1.0e9f;
    params_.dwMode = DS3DMODE_NORMAL;
  }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectSound3DBuffer) {
      AddRef();
      *ppv = static_cast<IDirectSound3DBuffer*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT GetAllParameters(DS3DBUFFER* p) override {
    if (!p || p->dwSize != sizeof(DS3DBUFFER)) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    *p = params_;
    return DS_OK;
  }
  HRESULT SetAllParameters(const DS3DBUFFER* p, DWORD apply) override {
    if (!p || p->dwSize != sizeof(DS3DBUFFER)) return DSERR_INVALIDPARAM;
    if (apply != DS3D_IMMEDIATE && apply != DS3D_DEFERRED) return DSERR_INVALIDPARAM;
    if (p->dwMode > DS3DMODE_DISABLE || p->dwInsideConeAngle > 360 || p->dwOutsideConeAngle > 360 ||
        p->lConeOutsideVolume < DSBVOLUME_MIN || p->lConeOutsideVolume > DSBVOLUME_MAX || !(p->flMinDistance > 0.0f) ||
        !(p->flMaxDistance >= p->flMinDistance))
      return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    params_ = *p;
    return DS_OK;
  }

 private:
  ~Buffer3D() override = default;
  std::mutex mutex_;
  DS3DBUFFER params_;
};

// ---------------------------------------------------------------- buffers

class SoundBuffer;

class Notify final : public win::RefCounted<IDirectSoundNotify> {
 public:
  Notify(std::shared_ptr<Mixer> mixer, std::shared_ptr<Voice> voice)
      : mixer_(std::move(mixer)), voice_(std::move(voice)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectSoundNotify) {
      AddRef();
      *ppv = static_cast<IDirectSoundNotify*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT SetNotificationPositions(DWORD count, LPCDSBPOSITIONNOTIFY positions) override {
    if (count > 0 && !positions) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mixer_->Mutex());
    if (voice_->playing) return DSERR_INVALIDCALL;
    for (DWORD i = 0; i < count; ++i) {
      if (positions[i].dwOffset != DSBPN_OFFSETSTOP && positions[i].dwOffset >= voice_->bytes)
        return DSERR_INVALIDPARAM;
      if (!positions[i].hEventNotify) return DSERR_INVALIDPARAM;
    }
    try {
      voice_->notifications.assign(positions, positions + count);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
  }

 private:
  ~Notify() override = default;
  std::shared_ptr<Mixer> mixer_;
  std::shared_ptr<Voice> voice_;
};

class SoundBuffer final : public win::RefCounted<IDirectSoundBuffer> {
 public:
  // A secondary buffer: `samples` is new memory or the original's for a duplicate.
  SoundBuffer(std::shared_ptr<Mixer> mixer, DWORD flags, const WAVEFORMATEX& format, DWORD bytes,
              std::shared_ptr<SampleData> samples)
      : mixer_(std::move(mixer)), flags_(flags), voice_(std::make_shared<Voice>()) {
    voice_->samples = std::move(samples);
    voice_->format = format;
    voice_->format.cbSize = 0;
    voice_->bytes = bytes;
    voice_->frames = bytes / format.nBlockAlign;
    voice_->frequency = format.nSamplesPerSec;
    std::lock_guard lock(mixer_->Mutex());
    mixer_->Add(voice_.get());
  }
  // The primary buffer: no samples of its own, never mixed.
  SoundBuffer(std::shared_ptr<Mixer> mixer, DWORD flags) : mixer_(std::move(mixer)), flags_(flags), primary_(true) {
    WAVEFORMATEX& f = primaryFormat_;
    f = {WAVE_FORMAT_PCM, 2, kMixRate, kMixRate * 4, 4, 16, 0};
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer) {
      AddRef();
      *ppv = static_cast<IDirectSoundBuffer*>(this);
      return S_OK;
    }
    try {
      if (riid == IID_IDirectSoundNotify && !primary_ && (flags_ & DSBCAPS_CTRLPOSITIONNOTIFY)) {
        *ppv = static_cast<IDirectSoundNotify*>(new Notify(mixer_, voice_));
        return S_OK;
      }
      if (riid == IID_IDirectSound3DListener && primary_ && (flags_ & DSBCAPS_CTRL3D)) {
        *ppv = static_cast<IDirectSound3DListener*>(new Listener);
        return S_OK;
      }
      if (riid == IID_IDirectSound3DBuffer && !primary_ && (flags_ & DSBCAPS_CTRL3D)) {
        *ppv = static_cast<IDirectSound3DBuffer*>(new Buffer3D);
        return S_OK;
      }
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return E_NOINTERFACE;
  }

  HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
    if (primary_) {
      if (play) *play = 0;
      if (write) *write = 0;
      return DS_OK;
    }
    std::lock_guard lock(mixer_->Mutex());
    const DWORD cursor = voice_->PlayCursor();
    if (play) *play = cursor;
    // The mixer reads a callback's worth ahead of the play cursor.
    if (write) *write = voice_->bytes ? (cursor + 1024 * voice_->format.nBlockAlign) % voice_->bytes : 0;
    return DS_OK;
  }
  HRESULT GetFormat(LPWAVEFORMATEX format, DWORD sizeAllocated, DWORD* sizeWritten) override {
    const WAVEFORMATEX f = primary_ ? primaryFormat_ : voice_->format;
    if (!format) {
      if (!sizeWritten) return DSERR_INVALIDPARAM;
      *sizeWritten = sizeof(WAVEFORMATEX);
      return DS_OK;
    }
    const DWORD n = sizeAllocated < sizeof(WAVEFORMATEX) ? sizeAllocated : DWORD(sizeof(WAVEFORMATEX));
    std::memcpy(format, &f, n);
    if (sizeWritten) *sizeWritten = n;
    return DS_OK;
  }
  HRESULT GetVolume(LONG* volume) override {
    if (!volume) return DSERR_INVALIDPARAM;
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (primary_) {
      *volume = 0;
      return DS_OK;
    }
    std::lock_guard lock(mixer_->Mutex());
    *volume = voice_->volume;
    return DS_OK;
  }
  HRESULT GetFrequency(DWORD* frequency) override {
    if (!frequency) return DSERR_INVALIDPARAM;
    if (primary_ || !(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard lock(mixer_->Mutex());
    *frequency = voice_->frequency;
    return DS_OK;
  }
  HRESULT GetStatus(DWORD* status) override {
    if (!status) return DSERR_INVALIDPARAM;
    if (primary_) {
      *status = primaryPlaying_ ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
      return DS_OK;
    }
    std::lock_guard lock(mixer_->Mutex());
    *status = (voice_->playing ? DSBSTATUS_PLAYING : 0) | (voice_->playing && voice_->looping ? DSBSTATUS_LOOPING : 0);
    return DS_OK;
  }

  HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, DWORD* bytes1, LPVOID* part2, DWORD* bytes2,
               DWORD flags) override {
    if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
    if (primary_) {
      // Writing the primary buffer (DSSCL_WRITEPRIMARY) is not part of this mixer.
      Gaps().Report("Lock of the primary buffer");
      return DSERR_PRIOLEVELNEEDED;
    }
    std::lock_guard lock(mixer_->Mutex());
    const DWORD size = voice_->bytes;
    if (flags & DSBLOCK_FROMWRITECURSOR) offset = (voice_->PlayCursor() + 1024 * voice_->format.nBlockAlign) % size;
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    const DWORD n1 = bytes <= size - offset ? bytes : size - offset;
    const DWORD n2 = bytes - n1;
    if (n2 > 0 && (!part2 || !bytes2)) return DSERR_INVALIDPARAM;

    Staging* s = nullptr;
    try {
      if (freeStaging_.empty()) freeStaging_.emplace_back();
      lockedStaging_.splice(lockedStaging_.end(), freeStaging_, freeStaging_.begin());
      s = &lockedStaging_.back();
      s->bytes.resize(bytes);
    } catch (const std::bad_alloc&) {
      if (s) freeStaging_.splice(freeStaging_.end(), lockedStaging_, std::prev(lockedStaging_.end()));
      return DSERR_OUTOFMEMORY;
    }
    s->offset = offset;
    s->n1 = n1;
    s->n2 = n2;
    const uint8_t* src = voice_->samples->bytes.data();
    std::memcpy(s->bytes.data(), src + offset, n1);
    if (n2) std::memcpy(s->bytes.data() + n1, src, n2);
    *part1 = s->bytes.data();
    *bytes1 = n1;
    if (part2) *part2 = n2 ? s->bytes.data() + n1 : nullptr;
    if (bytes2) *bytes2 = n2;
    return DS_OK;
  }

  HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override {
    if (primary_) return DSERR_INVALIDCALL;
    std::lock_guard lock(mixer_->Mutex());
    for (auto it = lockedStaging_.begin(); it != lockedStaging_.end(); ++it) {
      if (it->bytes.data() != part1) continue;
      if (bytes1 > it->n1 || bytes2 > it->n2 || (bytes2 && part2 != it->bytes.data() + it->n1))
        return DSERR_INVALIDPARAM;
      uint8_t* dst = voice_->samples->bytes.data();
      std::memcpy(dst + it->offset, it->bytes.data(), bytes1);
      if (bytes2) std::memcpy(dst, it->bytes.data() + it->n1, bytes2);
      freeStaging_.splice(freeStaging_.end(), lockedStaging_, it);
      return DS_OK;
    }
    return DSERR_INVALIDPARAM;
  }

  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    if (primary_) {
      primaryPlaying_ = true;
      return DS_OK;
    }
    std::lock_guard lock(mixer_->Mutex());
    voice_->playing = true;
    voice_->looping = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
  }
  HRESULT SetCurrentPosition(DWORD position) override {
    if (primary_) return DSERR_INVALIDCALL;
    std::lock_guard lock(mixer_->Mutex());
    if (position >= voice_->bytes) return DSERR_INVALIDPARAM;
    voice_->position = uint64_t(position / voice_->format.nBlockAlign) << 32;
    return DS_OK;
  }
  HRESULT SetVolume(LONG volume) override {
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    if (primary_) return DS_OK;
    std::lock_guard lock(mixer_->Mutex());
    voice_->SetVolume(volume);
    return DS_OK;
  }
  HRESULT SetFrequency(DWORD frequency) override {
    if (primary_ || !(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    if (frequency != DSBFREQUENCY_ORIGINAL && (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX))
      return DSERR_INVALIDPARAM;
    std::lock_guard lock(mixer_->Mutex());
    voice_->frequency = frequency == DSBFREQUENCY_ORIGINAL ? voice_->format.nSamplesPerSec : frequency;
    return DS_OK;
  }
  HRESULT Stop() override {
    if (primary_) {
      primaryPlaying_ = false;
      return DS_OK;
    }
    std::lock_guard lock(mixer_->Mutex());
    if (voice_->playing) voice_->StopAndNotify();
    return DS_OK;
  }

  // For DuplicateSoundBuffer.
  bool IsPrimary() const { return primary_; }
  DWORD Flags() const { return flags_; }
  SoundBuffer* Duplicate() {
    std::shared_ptr<SampleData> samples;
    WAVEFORMATEX format;
    DWORD bytes, frequency;
    LONG volume;
    {
      std::lock_guard lock(mixer_->Mutex());
      samples = voice_->samples;
      format = voice_->format;
      bytes = voice_->bytes;
      frequency = voice_->frequency;
      volume = voice_->volume;
    }
    auto* copy = new SoundBuffer(mixer_, flags_, format, bytes, std::move(samples));
    std::lock_guard lock(mixer_->Mutex());
    copy->voice_->frequency = frequency;
    copy->voice_->SetVolume(volume);
    return copy;
  }

 private:
  ~SoundBuffer() override {
    if (!voice_) return;
    // No stop notification here: the events may be closed before their buffer is released.
    std::lock_guard lock(mixer_->Mutex());
    voice_->playing = false;
    mixer_->Remove(voice_.get());
  }

  struct Staging {
    std::vector<uint8_t> bytes;
    DWORD offset = 0, n1 = 0, n2 = 0;
  };

  std::shared_ptr<Mixer> mixer_;
  DWORD flags_;
  bool primary_ = false;
  std::atomic<bool> primaryPlaying_{false};
  WAVEFORMATEX primaryFormat_{};
  std::shared_ptr<Voice> voice_;  // shared with the notify object
  // Lock hands out copies; Unlock writes them back. Kept for reuse, so a stream's
  // refills do not allocate once the first has run.
  std::list<Staging> freeStaging_;
  std::list<Staging> lockedStaging_;
};

// ---------------------------------------------------------------- the device

class DirectSound final : public win::RefCounted<IDirectSound> {
 public:
  DirectSound(host::IAudioDevice& device, std::shared_ptr<Mixer> mixer) : device_(device), mixer_(std::move(mixer)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirectSound) {
      AddRef();
      *ppv = static_cast<IDirectSound*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD level) override {
    // The level belongs to a window of this process: a null or unknown one is refused.
    if (!win::IsWindow(window)) return DSERR_INVALIDPARAM;
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    level_ = level;
    return DS_OK;
  }

  HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* out, IUnknown* outer) override {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!desc || !ValidDescSize(desc->dwSize) || outer) return DSERR_INVALIDPARAM;
    if (level_ == 0) return DSERR_PRIOLEVELNEEDED;
    try {
      if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
        if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
        *out = new SoundBuffer(mixer_, desc->dwFlags);
        return DS_OK;
      }
      if (!desc->lpwfxFormat) return DSERR_INVALIDPARAM;
      WAVEFORMATEX format;
      std::memcpy(&format, desc->lpwfxFormat, sizeof format);
      if (!ValidPcm(format)) return DSERR_BADFORMAT;
      if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX ||
          desc->dwBufferBytes < format.nBlockAlign)
        return DSERR_INVALIDPARAM;
      auto samples = std::make_shared<SampleData>();
      // Static buffers start silent; 8-bit silence is 0x80.
      samples->bytes.assign(desc->dwBufferBytes, format.wBitsPerSample == 8 ? 0x80 : 0);
      *out = new SoundBuffer(mixer_, desc->dwFlags, format, desc->dwBufferBytes, std::move(samples));
      return DS_OK;
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
  }

  HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) override {
    if (!duplicate) return DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    if (!original) return DSERR_INVALIDPARAM;
    // Only buffers made by this stand-in exist in the program.
    auto* source = static_cast<SoundBuffer*>(original);
    if (source->IsPrimary() || (source->Flags() & DSBCAPS_CTRLPOSITIONNOTIFY)) return DSERR_INVALIDCALL;
    try {
      *duplicate = source->Duplicate();
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
  }

 private:
  ~DirectSound() override { device_.Close(); }

  host::IAudioDevice& device_;
  std::shared_ptr<Mixer> mixer_;
  DWORD level_ = 0;
};

}  // namespace

ScopedAudioDevice::ScopedAudioDevice(host::IAudioDevice* device) : previous_(g_deviceOverride.exchange(device)) {}
ScopedAudioDevice::~ScopedAudioDevice() { g_deviceOverride.store(previous_); }

}  // namespace dsound

HRESULT DirectSoundCreate(const GUID* device, LPDIRECTSOUND* ds, IUnknown* outer) {
  if (!ds) return DSERR_INVALIDPARAM;
  *ds = nullptr;
  if (outer) return DSERR_INVALIDPARAM;
  // Only the default output exists here.
  if (device && *device != GUID_NULL) return DSERR_NODRIVER;
  host::IAudioDevice* audio = dsound::AudioDevice();
  if (!audio || !audio->Available()) return DSERR_NODRIVER;
  auto mixer = std::make_shared<dsound::Mixer>();
  // The callback keeps the mixer alive for as long as the device may call it.
  if (!audio->Open(dsound::kMixRate, [mixer](int32_t* out, int frames) { mixer->Mix(out, frames); }))
    return DSERR_ALLOCATED;
  try {
    *ds = new dsound::DirectSound(*audio, std::move(mixer));
  } catch (const std::bad_alloc&) {
    audio->Close();
    return DSERR_OUTOFMEMORY;
  }
  return DS_OK;
}
