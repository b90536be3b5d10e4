// A sound component on the headless audio sink and a virtual clock, logging into a
// temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "ddsd/DDSDLog.h"
#include "ddsd/TDDSD.h"
#include "ddsd/TDDSDChannel.h"
#include "ddsd/TDDSDListener.h"
#include "ddsd/TDDSDWaveData.h"
#include "ddsd/WavFiles.h"
#include "platform/host/Backends.h"
#include "platform/host/headless/HeadlessAudio.h"
#include "platform/win/WinWindows.h"
#include "support/TestSupport.h"

class SoundTest : public ::testing::Test {
 protected:
  // The window the component sets its cooperative level with.
  win::WindowRegistration window{reinterpret_cast<HWND>(0x2000)};
  void SetUp() override { DDSDDebugUnit().ResetForTest(dsoDebugMessage); }
  void TearDown() override { DDSDDebugUnit().ResetForTest(dsoHaltOnError | dsoDebugMessage); }

  std::unique_ptr<TDDSD> MakeDevice(TDDSDDebugOption options = dsoDebugMessage, DWORD channels = 11) {
    auto d = std::make_unique<TDDSD>(window.Handle());
    d->SetChannelCount(channels);
    d->SetStickyFocus(false);
    d->SetDebugOption(options);
    d->Loaded();
    return d;
  }
  std::string WriteWav(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File(name);
    testsupport::WriteFileBytes(path, bytes);
    return path;
  }
  std::string Log() {
    const std::string path = dir.File("ddsd.debug");
    return std::filesystem::exists(path) ? testsupport::ReadFileText(path) : std::string();
  }
  // Waits in real time for something the notification thread does.
  static bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
  }
  static DWORD PlayCursor(IDirectSoundBuffer* b) {
    DWORD play = 0;
    b->GetCurrentPosition(&play, nullptr);
    return play;
  }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  win::VirtualClock clock{1000};
  // Plain clipping: these tests compare the mix sample by sample, without the limiter's delay.
  host::HeadlessAudio audio{clock, {.limiter = false}};
  dsound::ScopedAudioDevice useAudio{&audio};
};
