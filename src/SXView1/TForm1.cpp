#include "SXView1/TForm1.h"

#include <algorithm>

#include "SXView1/Channels.h"
#include "SXView1/DataCheck.h"
#include "platform/rtl/Random.h"
#include "platform/win/ModulePath.h"
#include "platform/win/WinTime.h"

using namespace forms;

namespace {

// Keyboard keys of the joystick buttons 0..5 (Z, X, C, A, S, Q as DirectInput codes).
constexpr uint8_t kButtonKeys[6] = {0x2C, 0x2D, 0x2E, 0x1E, 0x1F, 0x10};

constexpr WORD kKeyEscape = 27;
constexpr WORD kKeyEnter = 13;
constexpr WORD kKeyF1 = 112;

}  // namespace

TForm1::TForm1(TApplication& application, TForm1Options options) : TForm(application), options_(std::move(options)) {
  // The components, with the settings the form gives them, then their Loaded step. The
  // display component takes over the creation hook: its windowed set-ups, FormCreate, then
  // its OnInit (KNInit).
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  // KN: nothing logged and no halting, screen saver off, 3-D with a z-buffer and without the
  // transform-and-lighting device, vertical blank waits in a window.
  KN = std::make_unique<TKiln>(KNOwner);
  KN->SetDebugOption(0);
  KN->BackColor = 0;
  KN->SetDisableScreenSaver(true);
  KN->Use3D = true;
  KN->D3DOptions = DontUseTnLHAL | MakeZBuffer;
  KN->VsyncAtWindowed = true;
  KN->Loaded();
  KN->OnInit = [this](TObject* sender, bool fNeedChange) { KNInit(sender, fNeedChange); };

  SetCaption("Tavvyhop");
  BorderStyle = TFormBorderStyle::bsNone;
  SetClientSize(640, 480);
  // The input and sound components set their cooperative levels with the form's window, so
  // they come once the window can be made as the form describes it.
  Joy = std::make_unique<TDDIDEX>(Handle());
  Joy->SetDebugOption(dioHaltOnError);
  DDSD1 = std::make_unique<TDDSD>(Handle());
  DDSD1->SetDebugOption(dsoHaltOnError);
  DDSD1->SetChannelCount(11);
  DDSD1->SetStickyFocus(false);
  Joy->Loaded();
  DDSD1->Loaded();

  Color = clBtnFace;
  Font.Name = "MS UI Gothic";
  Font.Charset = SHIFTJIS_CHARSET;
  Font.SetHeight(-12);
  Font.Style = fsItalic;

  Image1 = &Add<TImage>();
  Image1->Name = "Image1";
  Image1->AutoSize = true;
  Image1->SetVisible(false);
  Image2 = &Add<TImage>();
  Image2->Name = "Image2";
  Image2->Align = TAlign::alClient;
  Image2->SetBounds(0, 0, 640, 480);
  Image2->SetVisible(false);

  // The title picture stored in the form.
  std::vector<uint8_t> jpeg = TitleJpeg();
  if (!jpeg.empty()) {
    auto title = std::make_unique<TJPEGImage>();
    title->LoadFromMemory(jpeg.data(), jpeg.size());
    Image1->Picture.SetGraphic(std::move(title));
  }

  OnDestroy = [this](TObject* sender) { FormDestroy(sender); };
  OnKeyDown = [this](TObject* sender, WORD& key, TShiftState shift) { FormKeyDown(sender, key, shift); };
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(TObject*) {
  if (options_.Seed) {
    rtl::SetRandSeed(*options_.Seed);
  } else {
    rtl::Randomize();
  }
  LastTick = 0;
  DataDir = options_.DataDirOverride.empty() ? win::ModuleDirectory() + "Data/" : options_.DataDirOverride;
  if (!DataDir.empty() && DataDir.back() != '/') DataDir += '/';
  if (options_.CheckData) CheckDataFolder();

  auto Option = MakeForm<TOptionForm>(Application());
  if (Option->ShowModal() != mrOk) {
    Application().Terminate();
    return;
  }
  StockSetting = rtl::StrToIntDef(Option->ComboBox1->Text(), 3) - 1;
  uint32_t d3dOptions = MakeZBuffer;
  KNSetD3DOptions(d3dOptions);
  if (Option->CheckBox1->Checked) KNSetFullScreenMode(640, 480, 16, 0, "");
  // Added after the full-screen switch, as the original does: the device built by the
  // switch does not see them; the next device build does.
  if (Option->CheckBox2->Checked) d3dOptions |= DontUseMMX;
  if (Option->CheckBox3->Checked) d3dOptions |= DontUseHAL;
  if (Option->CheckBox4->Checked) d3dOptions |= DontUseTnLHAL;
  KNSetD3DOptions(d3dOptions);
  KNSetRenderState(D3DRENDERSTATE_SHADEMODE, Option->RadioButton1->Checked() ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
  KNSetRenderState(D3DRENDERSTATE_SPECULARENABLE, Option->CheckBox5->Checked ? 1 : 0);
  Option.reset();

  ReadViewFile(DataDir + "View.dat", ViewMatrices);
  ViewIndex = 2;
  CameraMatrix = ViewMatrices[1];

  Portrait = std::make_unique<TBitmap>();
  Portrait->LoadFromFile(DataDir + "tavvy.bmp");

  DDSDCreateMusicBuffer();
  DDSDLoadSoundEffects();

  ReadWordsFile(DataDir + options_.WordsFile, Words);
  GameState = 0;
  for (int i = 0; i < 6; ++i) JoySetKeyMap(0, i, kButtonKeys[i]);
}

void TForm1::CheckDataFolder() {
  // Reads files only: nothing the game holds changes, and the random generator is not drawn from.
  std::vector<data::TDataProblem> problems = CheckGameData(DataDir, options_.WordsFile);
  const bool stop = std::any_of(problems.begin(), problems.end(),
                                [](const data::TDataProblem& p) { return p.effect == data::TDataEffect::Stops; });
  data::Report(std::move(problems));
  if (stop) rtl::Halt(data::kDataProblemExitCode);
}

void TForm1::FormDestroy(TObject*) {
  TitleBitmap.reset();
  Portrait.reset();
  DDSDFreeSoundEffects();
}

void TForm1::KNInit(TObject*, bool) {
  InitTrigTables();
  KNInitScene();
  EnterTitle();
  Application().OnIdle = [this](TObject* sender, bool& done) { IdleTick(sender, done); };
}

void TForm1::IdleTick(TObject*, bool& Done) {
  DWORD now = timeGetTime();
  // Unsigned difference: right across the wrap of the millisecond counter too.
  if (now - LastTick < 25) {
    Sleep(4);
  } else {
    LastTick = now;
    switch (GameState) {
      case 0:
        TitleFrame();
        if (options_.Autopilot) AutopilotTitleTick();
        break;
      case 1:
        PlayFrame();
        break;
      case 2:
        GameOverFrame();
        break;
      case 3:
        StageClearFrame();
        break;
      default:
        break;
    }
    ++ticksRun_;
    if (OnTickDone) OnTickDone();
  }
  Done = false;
}

void TForm1::StageClearFrame() {
  DWORD elapsed = timeGetTime() - ClearTime;
  SetCaption(std::to_string(elapsed));
  if (elapsed <= 8699) {
    PlayFrame();
    return;
  }
  DDSDStopChannel(game::channel::Music);
  GameState = 1;
  ReadyTime = 100;
  EnemyTop = std::min(EnemyTop + 1, 11);
  Score = Score + Stage * 1000;
  Stage = Stage + 1;
  StageTime = 6000;
  StartStage();
}

void TForm1::FormKeyDown(TObject*, WORD& Key, TShiftState) {
  switch (Key) {
    case kKeyEscape:
      if (GameState != 0) {
        GameState = 0;
        EnterTitle();
      } else {
        FreeMusicStream();
        Close();
      }
      break;
    case kKeyEnter:
      if (GameState != 0) break;
      GameState = 1;
      ReadyTime = 100;
      Stock = StockSetting;
      Score = 0;
      EnemyTop = 5;
      Stage = 1;
      StageTime = 6000;
      StartStage();
      break;
    case kKeyF1:
      if (GameState != 1 || ViewIndex < 0 || ViewIndex > 3) break;
      if (auto m = CameraMatrixInPlayer()) ViewMatrices[static_cast<size_t>(ViewIndex)] = *m;
      break;
    default:
      break;
  }
}

void TForm1::FormMouseMove(TObject*, TShiftState Shift, int X, int Y) {
  if (!SceneMeshesReady() || !Application().OnIdle) return;
  int dx = X - LastMouseX;
  int dy = Y - LastMouseY;
  LastMouseX = X;
  LastMouseY = Y;
  if (Shift & ssLeft) {
    MoveCameraInOwnSpace(static_cast<float>(dy * 0.1));
    if (auto m = CameraMatrixInPlayer()) CameraMatrix = *m;
  }
  if (Shift & ssRight) {
    TMouseTurn turn = MouseTurnStep(dx, dy, (Shift & ssShift) != 0, LastMouseX, LastMouseY);
    if (auto p = CameraMatrixInPlayer()) {
      TMatrix4 ry, rx, r, out;
      MatRotationY(-turn.ax, ry);
      MatRotationX(-turn.ay, rx);
      MatMultiply(ry, rx, r);
      MatMultiply(*p, r, out);
      SetCameraMatrixInPlayer(out);
      if (auto m = CameraMatrixInPlayer()) CameraMatrix = *m;
    }
  }
}

void TForm1::StartStage() {
  Image2->SetVisible(false);
  StartStageScene();
  OnMouseMove = [this](TObject* sender, TShiftState shift, int x, int y) { FormMouseMove(sender, shift, x, y); };
}

void TForm1::EnterTitle() {
  EnterTitleScene();
  OnMouseMove = nullptr;
  ComposeTitle();
  Image2->SetVisible(true);
}

void TForm1::BeginStageClear() {
  ClearTime = timeGetTime();
  OnMouseMove = nullptr;
  BeginStageClearMusic();
}

const std::string& TForm1::MessageLine(int n) const {
  static const std::string kEmpty;
  return n >= 0 && n < Words.Count() ? Words.Strings(n) : kEmpty;
}
