// The main form: it owns the game. Start-up (FormCreate, the options dialog, the
// data files), the idle-loop tick, the four game states and the keyboard and mouse
// commands live here; the scene, the screens, the gameplay and the three device
// components connect through the member functions marked "seam" below.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Ddidex/TDDIDEX.h"
#include "SXView1/GameSounds.h"
#include "SXView1/MouseTurn.h"
#include "SXView1/Option.h"
#include "SXView1/ViewData.h"
#include "SXView1/game/PlayState.h"
#include "SXlib/TSXFrame.h"
#include "SXlib/TSXLight.h"
#include "SXlib/TSXMaterial.h"
#include "SXlib/TSXMesh.h"
#include "SXlib/TSXScene.h"
#include "ddsd/TDDSD.h"
#include "ddsd/TDDSDChannel.h"
#include "ddsd/TDDSDGenWave.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnCanvas.h"
#include "kiln/TKilnFormOwner.h"
#include "kiln/TKilnTexture.h"
#include "platform/forms/StdCtrls.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/StringList.h"
#include "s_MathPack/s_MathPack.h"

// Settings of a run that the command line may change (the defaults are the Windows program's).
struct TForm1Options {
  std::optional<uint32_t> Seed;         // fixed seed instead of one from the clock
  std::string DataDirOverride;          // read the data from here instead of Data/ beside the program
  bool Autopilot = false;               // the ship flies and fights by itself
  std::string WordsFile = "words.dat";  // the message lines (words-en.dat: in English)
  // Check the whole data folder at start-up, tell every problem at once and stop before the
  // title over a file the game cannot do without (the program always does; the form's own
  // tests work on small folders of their own).
  bool CheckData = false;
};

class TForm1 : public forms::TForm {
 public:
  TForm1(forms::TApplication& application, TForm1Options options = {});
  // The start-up check of the data folder (CheckData).
  void CheckDataFolder();
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

  // ---- The 3-D world, built once by KNInit and kept until the program ends ----
  // Declared after KN, so it is freed before the display component.
  static constexpr int kEnemySlots = TPlayState::kEnemySlots;
  static constexpr int kShotSlots = TPlayState::kShotSlots;
  static constexpr int kMissileSlots = TPlayState::kMissileSlots;
  static constexpr int kExplosionSlots = TPlayState::kExplosionSlots;
  static constexpr int kStarCount = 101;
  static constexpr int kLightCount = 147;

  std::unique_ptr<TSXScene> Scene;
  std::unique_ptr<TSXMaterial> MaterialStar, MaterialEarth, MaterialDark, MaterialGlow;
  std::unique_ptr<TSXLightGroup> Lights;
  std::unique_ptr<TSXFrame> RootFrame;    // the world; owns every other frame but the camera
  std::unique_ptr<TSXFrame> CameraFrame;  // the scene's camera
  TSXFrame* PlayerFrame = nullptr;
  TSXFrame* BladeFrame = nullptr;
  std::array<TSXFrame*, kEnemySlots> EnemyFrames{};
  TSXFrame* TargetFrame = nullptr;
  TSXFrame* EarthFrame = nullptr;
  TSXFrame* ColonyFrame = nullptr;
  std::array<TSXFrame*, kStarCount> StarFrames{};
  std::array<TSXFrame*, kMissileSlots> MissileFrames{};
  std::array<TSXFrame*, kShotSlots> ShotFrames{};   // invisible carriers
  std::array<TSXFrame*, kShotSlots> ShotSprites{};  // what is seen of a shot
  std::array<TSXFrame*, kExplosionSlots> ExplosionFrames{};
  std::array<TSXFrame*, 6> PlayerPartFrames{};  // [0], [1] afterburner flames, [2]..[5] thruster flames

  std::unique_ptr<TSXMesh> MeshBody, MeshBlade, MeshSphere, MeshColony, MeshStar, MeshBeam;
  std::array<std::unique_ptr<TSXMesh>, 3> MeshEnemy;
  std::unique_ptr<TSXMesh> MeshBomb, MeshBombSmall, MeshTarget, MeshMissile, MeshFireSmall;

  std::array<std::unique_ptr<TKilnTexture>, 2> TexSpare;
  std::unique_ptr<TKilnTexture> TexEarth, TexMetal, TexBeam, TexBeam2, TexFire;
  std::array<std::unique_ptr<TKilnTexture>, 16> TexBlast;

  // ---- Gameplay state: what the ship, enemy, shot, missile and explosion steps carry from tick to tick ----
  TPlayState Play;
  // The title's pulsing prompt: red level and step.
  int32_t TitlePulse = 0;
  int32_t TitlePulseStep = 1;

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

  // ---- Gameplay (src/SXView1/game/) ----
  // What the ship step reads from the input each tick: axis signs -1, 0, +1 and buttons 0..5.
  struct TShipControls {
    int h = 0, v = 0;
    std::array<bool, 6> Buttons{};
  };
  // Polls the input component (keyboard, then the first joystick); the autopilot's choice instead
  // when the run flies by itself.
  virtual TShipControls ReadControls();
  enum class TExplosionSize { Small, Big };
  enum class TProjectile { Shot, Missile };
  // The ship step: steering, blade, thrust, bumping, movement, view, volley, missiles.
  void PlayerStep();
  // Places an enemy slot anew (while StageTime >= 1000) or hides it.
  void RespawnEnemy(int slot);
  void EnemyStep();
  void TargetSpawn();
  void TargetStep();
  void ShotStep();
  void MissileStep();
  void ExplosionStep();
  void SpawnExplosion(const TVector3& position, TExplosionSize size);
  // The three projectile tests after a shot or missile has moved to `position`.
  void ProjectileHits(TProjectile kind, int slot, const TVector3& position);
  // The ship is destroyed: explosion at `position`, meshes hidden, glows off, DeathTime 200.
  void DestroyShip(const TVector3& position);
  // Channel operations of the gameplay (stop then play from the start; stop; loop).
  void RestartChannel(int channel);
  // The blade and bumping tests of the ship step against enemy `slot`.
  void BladeAndBump(int slot);
  // A kind 2 enemy rams the ship.
  void EnemyRam(int slot);
  // Takes the shot slot at the cursor for a shot starting at `position` (world): age reset,
  // carrier placed, its light moved there. The caller turns the carrier, then ArmShot.
  int TakeShotSlot(const TVector3& position);
  // Gives the shot its owner, its sprite and its light, and advances the cursor.
  void ArmShot(int slot, int32_t owner, TKilnTexture* texture, const TVector3& colour);
  // The frame the next missile homes on: the enemy nearest the ship, or the stage target
  // when it is strictly nearer; none when nothing is out.
  TSXFrame* AcquireMissileTarget() const;
  // Light `index` of the group (none before the scene exists or outside the group).
  TSXLight* GameLight(int index) const;
  void SwitchLight(int index, bool on);
  void MoveLight(int index, const TVector3& position);
  // A channel of the sound component (none for a number it does not have).
  TDDSDChannel* GameChannel(int channel) const;
  void SetChannelVolume(int channel, double volume);
  // True once the scene has built the frames and lights the gameplay moves.
  bool WorldReady() const;

  // ---- HUD, title and game-over screens (src/SXView1/Hud.cpp, Title.cpp) ----
  // The head-up display drawn on a ready canvas of the back buffer.
  void DrawHud(TKilnCanvas& canvas);
  // The portrait copy and the message count-down, after the canvas is freed.
  void HudPortrait();

  // ---- Music streaming (src/SXView1/Music.cpp) ----
  void StartStageMusic();
  void StartTargetMusic();
  void MusicLoopFill(TDDSDGenWave* wave, TDDSDChannel* channel, DWORD offset, DWORD length);
  void MusicOnceFill(TDDSDGenWave* wave, TDDSDChannel* channel, DWORD offset, DWORD length);
  // Frees MusicStream under the music lock (Escape on the title).
  void FreeMusicStream();
  // One block: the half of MusicBuffer that a fill handler writes, and every read from the tune.
  static constexpr DWORD kMusicBlockBytes = 220500;
  // Held by a fill handler for its whole run and by the main thread around every change of
  // MusicStream, so the notification thread never reads a file that is being replaced or freed.
  // Lock order: the stream's own notify lock first (the notification thread holds it while it
  // calls a handler), then this one; so nothing changes OnNotify while holding MusicLock.
  std::mutex MusicLock;
  // The block a handler reads into, made once (guarded by MusicLock).
  std::vector<uint8_t> MusicBlock = std::vector<uint8_t>(kMusicBlockBytes);
  // Makes `file` the new MusicStream (the old one is freed) and writes its first block at the
  // start of MusicBuffer.
  void InstallTune(std::unique_ptr<rtl::TFileStream> file);
  // Reads up to `count` bytes of MusicStream into MusicBlock at `at`; the bytes read (caller holds MusicLock).
  DWORD ReadMusicBlock(DWORD at, DWORD count);
  // MusicStream has been read to its end (caller holds MusicLock).
  bool MusicAtEnd();
  // Stops channel 5, sets it back to the tunes' volume and, when DataDir + name can be opened,
  // plays it from the start in place of the current tune. True when the tune started.
  bool SwitchTune(const std::string& name);
  // OnNotify of MusicBuffer ← MusicOnceFill (once) or MusicLoopFill.
  void SetMusicHandler(bool once);
  TDDSDChannel* MusicChannel();
  // Declared after MusicStream, Sounds and the lock: on destruction it silences the fill handler
  // and frees the file before any of them goes, so the notification thread never sees a freed stream.
  struct TMusicShutdown {
    TForm1& Form;
    ~TMusicShutdown();
  } MusicShutdown{*this};

  // ---- Autopilot (src/SXView1/game/Autopilot.cpp): the joystick state the ship step reads when it flies itself ----
  TShipControls AutopilotControls();
  // On the title screen the autopilot presses Enter after a short pause, so a demo plays on.
  void AutopilotTitleTick();
  uint32_t AutopilotClock = 0;  // ticks the autopilot has flown; paces its trigger fingers
  uint32_t AutopilotTitleTicks = 0;

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
  // Presents the back buffer (KN.Flip).
  virtual void KNFlip();
  // Lowers the music channel's volume by `step` hundredths of a decibel.
  void LowerMusicVolume(LONG step);
  // Clears the back buffer and depth buffer and draws the world between BeginScene and EndScene.
  void RenderWorld();

 private:
  TForm1Options options_;
  uint64_t ticksRun_ = 0;
};
