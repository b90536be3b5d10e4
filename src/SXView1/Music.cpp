// The background music: a tune file streamed raw, header and all, into the looping
// MusicBuffer on channel 5, one block per half. The fill handlers run on the sound
// component's notification thread; everything else here runs on the main thread.
#include <algorithm>
#include <cstring>

#include "SXView1/Channels.h"
#include "SXView1/TForm1.h"
#include "common/DataFiles.h"
#include "platform/rtl/Classes.h"
#include "platform/win/ModulePath.h"

namespace {

constexpr LONG kTuneVolume = -500;

// Opens a tune for reading; none when it is missing or cannot be opened. Only a plain
// file counts: a folder of that name cannot be read, and opening a named pipe would
// block the game until something writes to it.
std::unique_ptr<rtl::TFileStream> OpenTuneFile(const std::string& fileName) {
  const std::string path = win::ResolvePathCaseInsensitive(fileName);
  // Past the size limit of a tune, the file is no tune either.
  if (!data::ProbeProblem(path, data::TDataKind::Music).empty()) return nullptr;
  try {
    return std::make_unique<rtl::TFileStream>(path, rtl::fmOpenRead);
  } catch (const rtl::EFOpenError&) {
    return nullptr;  // there, but not ours to read: the same as no tune
  }
}

}  // namespace

TDDSDChannel* TForm1::MusicChannel() { return DDSD1 ? DDSD1->GetChannel(game::channel::Music) : nullptr; }

void TForm1::SetMusicHandler(bool once) {
  if (!Sounds.MusicBuffer) return;
  // Handlers that hold nothing but the form, so calling through a copy never allocates.
  if (once) {
    Sounds.MusicBuffer->SetOnNotify([this](TDDSDGenWave* wave, TDDSDChannel* channel, DWORD offset, DWORD length) {
      MusicOnceFill(wave, channel, offset, length);
    });
  } else {
    Sounds.MusicBuffer->SetOnNotify([this](TDDSDGenWave* wave, TDDSDChannel* channel, DWORD offset, DWORD length) {
      MusicLoopFill(wave, channel, offset, length);
    });
  }
}

DWORD TForm1::ReadMusicBlock(DWORD at, DWORD count) {
  at = std::min(at, kMusicBlockBytes);
  count = std::min(count, kMusicBlockBytes - at);
  const int64_t n = MusicStream->Read(MusicBlock.data() + at, count);
  return n > 0 ? static_cast<DWORD>(std::min<int64_t>(n, count)) : 0;
}

bool TForm1::MusicAtEnd() {
  // At or beyond the end: a file cut short while it is open must still wrap, not stall.
  const int64_t position = MusicStream->Position();
  const int64_t size = MusicStream->Size();
  return position < 0 || size < 0 || position >= size;
}

void TForm1::InstallTune(std::unique_ptr<rtl::TFileStream> file) {
  std::lock_guard lock(MusicLock);
  MusicStream = std::move(file);  // the previous tune's file is closed here
  const DWORD n = ReadMusicBlock(0, kMusicBlockBytes);
  // A tune shorter than a block: silence after it rather than what the block held before.
  std::fill(MusicBlock.begin() + n, MusicBlock.end(), uint8_t{0});
  if (Sounds.MusicBuffer) Sounds.MusicBuffer->WriteData(0, MusicBlock.data(), kMusicBlockBytes);
}

void TForm1::StartStageMusic() {
  // A missing tune changes nothing: whatever channel 5 was doing goes on.
  std::unique_ptr<rtl::TFileStream> file = OpenTuneFile(DataDir + "bgm_b.wav");
  if (!file) return;
  SetMusicHandler(false);
  InstallTune(std::move(file));
  // The volume is left as it is: a stage restarted after a lost life keeps the faded level.
  if (TDDSDChannel* channel = MusicChannel()) channel->PlayLooped();
}

bool TForm1::SwitchTune(const std::string& name) {
  TDDSDChannel* channel = MusicChannel();
  if (channel) {
    channel->Stop();
    channel->SetVolume(kTuneVolume);
  }
  std::unique_ptr<rtl::TFileStream> file = OpenTuneFile(DataDir + name);
  if (!file) return false;  // the music stays silent
  InstallTune(std::move(file));
  if (channel) channel->PlayLooped();
  return true;
}

void TForm1::StartTargetMusic() {
  // The handler is left as it is: after a stage start it loops, so the target tune loops too.
  SwitchTune("bgm_a.wav");
}

void TForm1::BeginStageClearMusic() {
  if (SwitchTune("clear.wav")) SetMusicHandler(true);
}

void TForm1::MusicLoopFill(TDDSDGenWave* wave, TDDSDChannel*, DWORD offset, DWORD length) {
  std::lock_guard lock(MusicLock);
  if (!MusicStream) return;
  DWORD n = ReadMusicBlock(0, kMusicBlockBytes);
  if (MusicAtEnd()) {
    // The block that holds the end of the tune is completed with its beginning, so the
    // loop is seamless to the byte.
    MusicStream->SetPosition(0);
    if (n < kMusicBlockBytes) n += ReadMusicBlock(n, kMusicBlockBytes - n);
  }
  // A short read that did not reach the end (a read error) plays as silence.
  std::fill(MusicBlock.begin() + n, MusicBlock.end(), uint8_t{0});
  if (wave) wave->WriteData(offset, MusicBlock.data(), std::min(length, kMusicBlockBytes));
}

void TForm1::MusicOnceFill(TDDSDGenWave* wave, TDDSDChannel*, DWORD offset, DWORD length) {
  bool ended = false;
  {
    std::lock_guard lock(MusicLock);
    if (!MusicStream) return;
    const DWORD n = ReadMusicBlock(0, kMusicBlockBytes);
    ended = MusicAtEnd();
    std::fill(MusicBlock.begin() + n, MusicBlock.end(), uint8_t{0});
    if (wave) wave->WriteData(offset, MusicBlock.data(), std::min(length, kMusicBlockBytes));
  }
  // No more refills: the buffer keeps looping over its last two blocks until channel 5 stops.
  // Cleared outside MusicLock to keep the lock order (on the notification thread the
  // stream's notify lock is held all along, so no new handler can slip in between).
  if (ended && wave) wave->SetOnNotify(nullptr);
}

void TForm1::FreeMusicStream() {
  std::lock_guard lock(MusicLock);
  MusicStream.reset();
}

TForm1::TMusicShutdown::~TMusicShutdown() {
  // Once OnNotify is cleared no handler runs or starts (the stream calls it under its lock).
  if (Form.Sounds.MusicBuffer) Form.Sounds.MusicBuffer->SetOnNotify(nullptr);
  Form.FreeMusicStream();
}
