// The main form: it owns the game. Start-up (FormCreate, the options dialog, the
// data files), the idle-loop tick, the four game states and the keyboard and mouse
// commands live here; the scene, the screens, the gameplay and the three device
// components connect through the member functions marked "seam" below.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Ddidex/TDDIDEX.h"
#include "SXView1/MouseTurn.h"
#include "ddsd/GameSounds.h"
#include "ddsd/TDDSD.h"
#include "kiln/KilnGameSetup.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnFormOwner.h"
#include "SXView1/Option.h"
#include "SXView1/ViewData.h"
#include "platform/forms/StdCtrls.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/StringList.h"
#include "s_MathPack/s_MathPack.h"

// Settings of a run that the command line may change (the defaults are the Windows program's).
struct TForm1Options {
  std::optional<uint32_t> Seed;  // fixed seed instead of one from the clock
  std::string DataDirOverride;   // read the data from here instead of Data/ beside the program
  bool Autopilot = false;        // the ship flies by itself (used by the gameplay once it exists)
};

class TForm1 : public forms::TForm {
 public:
  TForm1(forms::TApplication& application, TForm1Options options = {});
  ~TForm1() override;

  // The device components, created with the form in this order.
  TKilnFormOwner KNOwner{*this};
  std::unique_ptr<TKiln> KN;
  std::unique_ptr<TDDIDEX> Joy;
  std::unique_ptr<TDDSD> DDSD1;
  // The music stream and the nine effect waves (freed before the sound component).
  TGameSounds Sounds;

  forms::TImage* Image1;  // the title picture (hidden)
  forms::TImage* Image2;  // the composed title screen, covering the client area

  // Start-up data.
  std::string DataDir;
  int32_t StockSetting = 0;
  TViewMatrices ViewMatrices{};
  int32_t ViewIndex = 0;
  TMatrix4 CameraMatrix{};
  rtl::TStringList Words;
  std::unique_ptr<forms::TBitmap> Portrait;
  std::unique_ptr<forms::TBitmap> TitleBitmap;
  std::unique_ptr<rtl::TFileStream> MusicStream;

  // Game state (signed 32-bit counters; time in ticks unless said otherwise).
  int32_t GameState = 0;
  int32_t Score = 0;
  int32_t Stage = 0;
  int32_t Stock = 0;
  int32_t EnemyTop = 0;
  int32_t Energy = 0;
  int32_t TargetEnergy = 0;
  int32_t ReadyTime = 0;
  int32_t StageTime = 0;
  int32_t DeathTime = 0;
  int32_t ClearCountdown = 0;
  int32_t MessageTime = 0;
  int32_t MessageIndex = 0;
  DWORD LastTick = 0;   // milliseconds
  DWORD ClearTime = 0;  // milliseconds
  int LastMouseX = 0, LastMouseY = 0;

  // Handlers.
  void FormCreate(forms::TObject* Sender);
  void FormDestroy(forms::TObject* Sender);
  void KNInit(forms::TObject* Sender, bool fNeedChange);
  void IdleTick(forms::TObject* Sender, bool& Done);
  void FormKeyDown(forms::TObject* Sender, WORD& Key, forms::TShiftState Shift);
  void FormMouseMove(forms::TObject* Sender, forms::TShiftState Shift, int X, int Y);

  // State changes and the stage-clear tick.
  void StageClearFrame();
  void StartStage();
  void EnterTitle();
  void BeginStageClear();

  // Message line n of words.dat; a line the file does not have shows as an empty message.
  const std::string& MessageLine(int n) const;

  const TForm1Options& RunOptions() const { return options_; }

  // Port addition: called after every game tick (statistics, frames, scripted input).
  std::function<void()> OnTickDone;
  uint64_t TicksRun() const { return ticksRun_; }

 protected:
  // ---- Seams: the display component (TKiln) ----
  virtual void KNSetD3DOptions(uint32_t options);
  virtual void KNSetFullScreenMode(int width, int height, int bitsPerPixel, int refreshRate,
                                   const std::string& driverName);
  virtual void KNSetRenderState(DWORD state, DWORD value);
  // ---- Seams: the sound component (TDDSD) ----
  virtual void DDSDCreateMusicBuffer();
  virtual void DDSDLoadSoundEffects();
  virtual void DDSDFreeSoundEffects();
  virtual void DDSDStopChannel(int channel);
  virtual void BeginStageClearMusic();
  // ---- Seams: the input component (TDDIDEX) ----
  virtual void JoySetKeyMap(int row, int entry, uint8_t code);
  // ---- Seams: the scene, the screens and the play ----
  // KNInit's scene build: render states, scene, lights, materials, frames, meshes,
  // textures, the title bitmap, viewport and projection.
  virtual void KNInitScene();
  virtual void TitleFrame();
  virtual void PlayFrame();
  virtual void GameOverFrame();
  // EnterTitle's scene steps: meshes removed, the title pulse reset, channels stopped.
  virtual void EnterTitleScene();
  // The title picture composed on Image2.
  virtual void ComposeTitle();
  // StartStage's world reset (everything between hiding the title and taking the mouse).
  virtual void StartStageScene();
  // True once the ship's body and blade meshes exist.
  virtual bool SceneMeshesReady();
  // The camera frame's matrix relative to the player frame (nothing while there is no scene).
  virtual std::optional<TMatrix4> CameraMatrixInPlayer();
  virtual void SetCameraMatrixInPlayer(const TMatrix4& matrix);
  // Moves the camera frame along its own z axis.
  virtual void MoveCameraInOwnSpace(float dz);
  // The title picture kept in the program as JPEG (empty until the data set provides one).
  virtual std::vector<uint8_t> TitleJpeg();

 private:
  TForm1Options options_;
  uint64_t ticksRun_ = 0;
};
