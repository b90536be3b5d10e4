#include "ddsd/TDDSDGenWave.h"

#include <cstring>

#include "common/DataFiles.h"
#include "ddsd/DDSDLog.h"
#include "ddsd/TDDSD.h"
#include "ddsd/TDDSDChannel.h"
#include "ddsd/TDDSDNotifyThread.h"
#include "ddsd/WaveFile.h"
#include "platform/mmio/MMSystem.h"

namespace {

constexpr DWORD kStatic2D = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
constexpr DWORD kStatic3D = DSBCAPS_STATIC | DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME;
constexpr DWORD kStream2D = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
constexpr DWORD kStream3D = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME;
static_assert(kStatic2D == 0xE2 && kStatic3D == 0xB2 && kStream2D == 0x1E0 && kStream3D == 0x1B0);

// Closes the RIFF file on every way out of LoadWAV.
struct MmioFileGuard {
  HMMIO h;
  ~MmioFileGuard() {
    if (h) mmioClose(h, 0);
  }
};

}  // namespace

TDDSDGenWave::TDDSDGenWave(TDDSD* device, bool use3D, const std::string& fileName) : Device_(device), Use3D_(use3D) {
  Streaming_ = false;
  if (Device_ && Device_->Initialized()) LoadWAV(fileName);
}

TDDSDGenWave::TDDSDGenWave(TDDSD* device, bool streaming, bool use3D, DWORD bufferBytes, bool stereo,
                           WORD bitsPerSample, DWORD samplesPerSec)
    : BufferBytes_(bufferBytes), Device_(device), Streaming_(streaming), Use3D_(use3D) {
  if (Device_ && Device_->Initialized()) BuildStream(use3D, stereo, bitsPerSample, samplesPerSec);
}

TDDSDGenWave::~TDDSDGenWave() {
  // The thread goes first, so that no handler can run against a released buffer.
  NotifyThread_.reset();
  if (Channel_) Channel_->DetachStream(this);
  Notify_.Reset();
  if (Buffer_) DDSDCheckInDestructor(Buffer_.Detach()->Release(), "二次バッファの解放に失敗しました");
}

DWORD TDDSDGenWave::BufferFlags(bool streaming, bool use3D) const {
  DWORD flags = streaming ? (use3D ? kStream3D : kStream2D) : (use3D ? kStatic3D : kStatic2D);
  if (Device_->StickyFocus()) flags |= DSBCAPS_STICKYFOCUS;
  return flags;
}

void TDDSDGenWave::LoadWAV(const std::string& fileName) {
  LoadProblem_.clear();
  // A folder, a device or a file far beyond any sound effect is refused by name, unread
  // (a search through a 2 GB file would keep the game busy for minutes).
  const std::string refused = data::ProbeProblem(fileName, data::TDataKind::Wave);
  std::string name = fileName;  // mmioOpenA takes a writable name
  MmioFileGuard file{refused.empty() ? mmioOpenA(name.data(), nullptr, MMIO_ALLOCBUF | MMIO_READ) : nullptr};
  if (!file.h) {
    LoadProblem_ = refused.empty() ? "cannot be opened" : refused;
    DDSDLog(fileName + "が、見つかりません");
    return;
  }
  TWaveLayout layout;
  const TWaveStep step = DescendWave(file.h, layout);
  Format_ = layout.format;
  if (step != TWaveStep::Found) {
    LoadProblem_ = DescribeWaveStep(step);
    switch (step) {
      case TWaveStep::NotWave:
        DDSDLog(fileName + "は、WAVEファイルではありません");
        break;
      case TWaveStep::NoFmt:
        DDSDLog(fileName + "には、fmtチャンクが有りません");
        break;
      case TWaveStep::BadFmt:
        DDSDLog(fileName + "のfmtチャンクが不正です");
        break;
      default:
        DDSDLog(fileName + "には、dataチャンクが有りません");
        break;
    }
    return;
  }
  BufferBytes_ = layout.bytes;
  if (layout.bytes < layout.claimed) {
    LoadProblem_ = "is cut short: its sound data should be " + std::to_string(layout.claimed) +
                   " bytes, the file holds " + std::to_string(layout.bytes);
    LoadedPart_ = true;
  }

  DSBUFFERDESC desc{};
  desc.dwSize = DSBUFFERDESC_SIZE;
  desc.dwFlags = BufferFlags(false, Use3D_);
  desc.dwBufferBytes = BufferBytes_;
  desc.lpwfxFormat = &Format_;
  if (DDSDCheck(Device_->DirectSound()->CreateSoundBuffer(&desc, Buffer_.Put(), nullptr),
                "サウンドバッファの作成に失敗しました") != DS_OK)
    return;

  LPVOID part1 = nullptr, part2 = nullptr;
  DWORD bytes1 = 0, bytes2 = 0;
  if (DDSDCheck(Buffer_->Lock(0, BufferBytes_, &part1, &bytes1, &part2, &bytes2, 0),
                "LoadWAV中に、サウンドバッファのロックが失敗しました") != DS_OK)
    return;
  mmioRead(file.h, static_cast<HPSTR>(part1), LONG(bytes1));
  if (bytes2 > 0) mmioRead(file.h, static_cast<HPSTR>(part2), LONG(bytes2));
  DDSDCheck(Buffer_->Unlock(part1, bytes1, part2, bytes2), "LoadWAV中に、サウンドバッファのアンロックが失敗しました");
  Buffer_->SetFrequency(Format_.nSamplesPerSec);
}

void TDDSDGenWave::BuildStream(bool use3D, bool stereo, WORD bitsPerSample, DWORD samplesPerSec) {
  Format_ = {};
  Format_.wFormatTag = WAVE_FORMAT_PCM;
  Format_.nChannels = stereo ? 2 : 1;
  Format_.nSamplesPerSec = samplesPerSec;
  Format_.nBlockAlign = WORD(Format_.nChannels * (bitsPerSample / 8));
  Format_.nAvgBytesPerSec = DWORD(Format_.nBlockAlign) * samplesPerSec;
  Format_.wBitsPerSample = bitsPerSample;
  Format_.cbSize = 0;

  DSBUFFERDESC desc{};
  desc.dwSize = DSBUFFERDESC_SIZE;
  desc.dwFlags = BufferFlags(Streaming_, use3D);
  desc.dwBufferBytes = BufferBytes_;
  desc.lpwfxFormat = &Format_;
  if (DDSDCheck(Device_->DirectSound()->CreateSoundBuffer(&desc, Buffer_.Put(), nullptr),
                "サウンドバッファの作成に失敗しました") != DS_OK)
    return;
  if (!Streaming_) return;

  HalfBytes_ = BufferBytes_ / 2;
  StartEvent_ = win::EventHandle(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  HalfEvent_ = win::EventHandle(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  StopEvent_ = win::EventHandle(CreateEventA(nullptr, FALSE, FALSE, nullptr));

  if (DDSDCheck(Buffer_->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(Notify_.Put())),
                "DirectSoundNotifyオブジェクトの作成に失敗しました") != DS_OK)
    return;
  const DSBPOSITIONNOTIFY positions[3] = {
      {0, StartEvent_.Get()},
      {HalfBytes_, HalfEvent_.Get()},
      {DSBPN_OFFSETSTOP, StopEvent_.Get()},
  };
  if (DDSDCheck(Notify_->SetNotificationPositions(3, positions), "NotifyPositionの設定に失敗しました") != DS_OK) return;
  NotifyThread_ = std::make_unique<TDDSDNotifyThread>(this);
}

bool TDDSDGenWave::WaitForNotifications(std::chrono::milliseconds timeout) {
  return NotifyThread_ && NotifyThread_->WaitUntilIdle(timeout);
}

uint64_t TDDSDGenWave::NotificationsStarted() const { return NotifyThread_ ? NotifyThread_->EventsTaken() : 0; }

void TDDSDGenWave::WriteData(DWORD offset, const void* data, DWORD length) {
  if (!Buffer_ || !data) return;
  LPVOID part1 = nullptr, part2 = nullptr;
  DWORD bytes1 = 0, bytes2 = 0;
  if (DDSDCheck(Buffer_->Lock(offset, length, &part1, &bytes1, &part2, &bytes2, 0),
                "DirectSoundBufferのロックに失敗しました") != DS_OK)
    return;
  const auto* src = static_cast<const BYTE*>(data);
  std::memcpy(part1, src, bytes1);
  if (bytes1 < length && bytes2 > 0) std::memcpy(part2, src + bytes1, bytes2);
  Buffer_->Unlock(part1, bytes1, part2, bytes2);
}

void TDDSDGenWave::SetOnNotify(TDDSDNotifyEvent handler) {
  std::lock_guard lock(notifyLock_);
  OnNotify_ = std::move(handler);
}

bool TDDSDGenWave::HasOnNotify() {
  std::lock_guard lock(notifyLock_);
  return static_cast<bool>(OnNotify_);
}

TDDSDChannel* TDDSDGenWave::Channel() {
  std::lock_guard lock(notifyLock_);
  return Channel_;
}

void TDDSDGenWave::SetChannel(TDDSDChannel* channel) {
  std::lock_guard lock(notifyLock_);
  Channel_ = channel;
}

void TDDSDGenWave::Notify(BYTE flag) {
  std::lock_guard lock(notifyLock_);
  if (!OnNotify_) return;
  // A copy: the handler may replace or clear OnNotify while it runs.
  const TDDSDNotifyEvent handler = OnNotify_;
  if (flag == 1) {
    handler(this, Channel_, HalfBytes_, BufferBytes_ - HalfBytes_);
  } else {
    handler(this, Channel_, 0, HalfBytes_);
  }
}
