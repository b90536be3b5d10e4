// One DirectSound secondary buffer with its PCM format: a sound effect loaded
// whole from a WAV file, or a stream refilled half by half while it plays.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ddsd/DDSDCom.h"
#include "platform/dsound/DSound.h"
#include "platform/win/WinEvents.h"

class TDDSD;
class TDDSDChannel;
class TDDSDGenWave;
class TDDSDNotifyThread;

// Asked to write `length` new bytes at byte `offset` of the wave's buffer.
using TDDSDNotifyEvent = std::function<void(TDDSDGenWave* wave, TDDSDChannel* channel, DWORD offset, DWORD length)>;

class TDDSDGenWave {
 public:
  // A static wave loaded from a file (when the device is initialised).
  TDDSDGenWave(TDDSD* device, bool use3D, const std::string& fileName);
  // An empty buffer of the given format; streaming adds the notification thread.
  TDDSDGenWave(TDDSD* device, bool streaming, bool use3D, DWORD bufferBytes, bool stereo, WORD bitsPerSample,
               DWORD samplesPerSec);
  virtual ~TDDSDGenWave();
  TDDSDGenWave(const TDDSDGenWave&) = delete;
  TDDSDGenWave& operator=(const TDDSDGenWave&) = delete;

  // Copies `length` bytes into the buffer at `offset`, wrapping at its end.
  void WriteData(DWORD offset, const void* data, DWORD length);

  // The handler is changed and called only under NotifyLock(), so the notification
  // thread never sees a half-assigned one. A handler may clear it from inside.
  void SetOnNotify(TDDSDNotifyEvent handler);
  bool HasOnNotify();
  // Also for the owner's own state that the handler reads (the music file).
  std::recursive_mutex& NotifyLock() { return notifyLock_; }

  // For tests: waits (real time, at most `timeout`) until the notification thread has handled
  // every event the buffer set before the call; false on time-out or without a thread.
  bool WaitForNotifications(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // For tests: start and half events the notification thread has begun to handle (the
  // handler, if one is set, is called for each).
  uint64_t NotificationsStarted() const;

  IDirectSoundBuffer* Buffer() const { return Buffer_.Get(); }
  const WAVEFORMATEX& Format() const { return Format_; }
  DWORD BufferBytes() const { return BufferBytes_; }
  TDDSD* Device() const { return Device_; }
  bool Streaming() const { return Streaming_; }
  DWORD HalfBytes() const { return HalfBytes_; }
  TDDSDChannel* Channel();
  HANDLE StartEvent() const { return StartEvent_.Get(); }
  HANDLE HalfEvent() const { return HalfEvent_.Get(); }
  HANDLE StopEvent() const { return StopEvent_.Get(); }

  // What kept the file from loading whole, in words for the player ("has no sound
  // (\"data\") chunk", ...); empty when it loaded. LoadedPart: it loaded all the same,
  // with the part the file holds.
  const std::string& LoadProblem() const { return LoadProblem_; }
  bool LoadedPart() const { return LoadedPart_; }

 protected:
  void LoadWAV(const std::string& fileName);

 private:
  friend class TDDSDChannel;
  friend class TDDSDNotifyThread;

  void BuildStream(bool use3D, bool stereo, WORD bitsPerSample, DWORD samplesPerSec);
  DWORD BufferFlags(bool streaming, bool use3D) const;
  // Called by the notification thread: flag 1 after the start event, 0 after the half event.
  void Notify(BYTE flag);
  void SetChannel(TDDSDChannel* channel);

  TComRef<IDirectSoundBuffer> Buffer_;
  WAVEFORMATEX Format_{};
  DWORD BufferBytes_ = 0;
  TDDSD* Device_;
  bool Streaming_ = false;
  DWORD HalfBytes_ = 0;
  TComRef<IDirectSoundNotify> Notify_;
  win::EventHandle StartEvent_;
  win::EventHandle HalfEvent_;
  win::EventHandle StopEvent_;
  bool Use3D_ = false;
  std::unique_ptr<TDDSDNotifyThread> NotifyThread_;
  std::recursive_mutex notifyLock_;
  TDDSDNotifyEvent OnNotify_;
  TDDSDChannel* Channel_ = nullptr;
  std::string LoadProblem_;
  bool LoadedPart_ = false;
};
