// A main form whose seams record the calls the form makes, on a headless machine,
// with a small data folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SXView1/TForm1.h"
#include "app/Session.h"
#include "platform/host/Hosts.h"
#include "support/TestSupport.h"

class RecordingForm1 : public TForm1 {
 public:
  using TForm1::TForm1;
  std::vector<std::string> Calls;
  bool MeshesReady = false;
  std::optional<TMatrix4> Camera;  // the camera frame relative to the player, once there is one
  int TickCost = 0;                // virtual milliseconds a play tick takes

  void Clear() { Calls.clear(); }
  bool Called(const std::string& name) const {
    for (auto& c : Calls) {
      if (c.rfind(name, 0) == 0) return true;
    }
    return false;
  }

 protected:
  void Log(std::string s) { Calls.push_back(std::move(s)); }
  void KNSetD3DOptions(uint32_t o) override { Log("KNSetD3DOptions " + std::to_string(o)); }
  void KNSetFullScreenMode(int w, int h, int b, int r, const std::string& d) override {
    Log("KNSetFullScreenMode " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(b) + " " +
        std::to_string(r) + " '" + d + "'");
  }
  void KNSetRenderState(DWORD s, DWORD v) override {
    Log("KNSetRenderState " + std::to_string(s) + " " + std::to_string(v));
  }
  void DDSDCreateMusicBuffer() override { Log("DDSDCreateMusicBuffer"); }
  void DDSDLoadSoundEffects() override { Log("DDSDLoadSoundEffects"); }
  void DDSDFreeSoundEffects() override { Log("DDSDFreeSoundEffects"); }
  void DDSDStopChannel(int c) override { Log("DDSDStopChannel " + std::to_string(c)); }
  void BeginStageClearMusic() override { Log("BeginStageClearMusic"); }
  void JoySetKeyMap(int row, int entry, uint8_t code) override {
    Log("JoySetKeyMap " + std::to_string(row) + " " + std::to_string(entry) + " " + std::to_string(code));
  }
  void KNInitScene() override { Log("KNInitScene"); }
  void TitleFrame() override { Log("TitleFrame"); }
  void PlayFrame() override {
    Log("PlayFrame");
    if (TickCost) Sleep(static_cast<DWORD>(TickCost));
  }
  void GameOverFrame() override { Log("GameOverFrame"); }
  void EnterTitleScene() override { Log("EnterTitleScene"); }
  void ComposeTitle() override { Log("ComposeTitle"); }
  void StartStageScene() override { Log("StartStageScene"); }
  bool SceneMeshesReady() override { return MeshesReady; }
  std::optional<TMatrix4> CameraMatrixInPlayer() override { return Camera; }
  void SetCameraMatrixInPlayer(const TMatrix4& m) override {
    Log("SetCameraMatrixInPlayer");
    Camera = m;
  }
  void MoveCameraInOwnSpace(float dz) override { Log("MoveCameraInOwnSpace " + std::to_string(dz)); }
};

// Writes a data folder the start-up can read.
inline void WriteData(const testsupport::TempDir& dir, const std::string& view =
                                                           "1,0,0,0,0,1,0,0,0,0,1,0,0,3,-10,1\n"
                                                           "2,0,0,0,0,2,0,0,0,0,2,0,0,5,-20,1\n"
                                                           "3,0,0,0,0,3,0,0,0,0,3,0,0,2,-8,1\n") {
  std::filesystem::create_directories(dir.Path() / "Data");
  testsupport::WriteFileText(dir.File("Data/View.dat"), view);
  testsupport::WriteFileText(dir.File("Data/words.dat"), "\x82\xe6\x82\xeb\x82\xb5\x82\xad\r\nline1\r\n");
  // tavvy.bmp: 2 x 2, 24 bits.
  std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1,
                              0,   24,  0,  0, 0, 0, 0, 16, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  bmp.resize(70, 0x40);
  testsupport::WriteFileBytes(dir.File("Data/tavvy.bmp"), bmp);
  // The nine sound effects: short 8-bit mono PCM files.
  std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 36 + 100, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                              ' ', 16,  0,   0,   0,        1, 0,   1,   0,   0x11, 0x2B, 0,   0,   0x11, 0x2B,
                              0,   0,   1,   0,   8,        0, 'd', 'a', 't', 'a',  100,  0,   0,   0};
  for (int i = 0; i < 100; ++i) wav.push_back(static_cast<uint8_t>(128 + (i % 20) - 10));
  for (const char* name : {"gunshot.wav", "rocket.wav", "exprosion.wav", "info.wav", "crash.wav", "gunshot2.wav",
                           "nata.wav", "exprosion_s.wav", "missile.wav"})
    testsupport::WriteFileBytes(dir.File(std::string("Data/") + name), wav);
}

class Form1Test : public ::testing::Test {
 protected:
  // Makes the host, the application and the form; `answer` answers the options dialog.
  RecordingForm1& Start(TCommandLine answer = {}, const std::string& dataDir = "") {
    answer.Headless = true;
    app_.reset();
    host_.reset();
    host_ = host::CreateHeadlessHost({});
    host::SetCurrent(host_.get());
    app_ = CreateAnsweringApplication(*host_, answer);
    TForm1Options options;
    options.Seed = 1;
    options.DataDirOverride = dataDir.empty() ? dir_.Dir() + "Data" : dataDir;
    return app_->CreateForm<RecordingForm1>(options);
  }
  // Runs the form's idle handler until `ticks` more ticks have run.
  void RunTicks(RecordingForm1& f, uint64_t ticks) {
    uint64_t until = f.TicksRun() + ticks;
    for (int guard = 0; f.TicksRun() < until && guard < 100000; ++guard) {
      bool done = true;
      app_->OnIdle(&f, done);
      ASSERT_FALSE(done);
    }
  }
  WORD Press(RecordingForm1& f, WORD key) {
    f.FormKeyDown(&f, key, 0);
    return key;
  }

  void TearDown() override {
    app_.reset();
    host::SetCurrent(nullptr);
    host_.reset();
  }

  testsupport::TempDir dir_;
  std::unique_ptr<host::IHost> host_;
  std::unique_ptr<forms::TApplication> app_;
};
