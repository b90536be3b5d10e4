// The 3-D world of the game: built once when the display component has its device
// (render states, scene, lights, materials, every frame, mesh and texture the game
// will ever use), and put back into its starting arrangement at every stage start.
#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "SXView1/TForm1.h"
#include "platform/rtl/Random.h"

using namespace forms;

namespace {

// One row of the light set-up: a point light when `point`, else a directional one.
struct TLightSetting {
  bool point;
  TVector3 place;  // position of a point light, direction of a directional one
  TVector3 diffuse, specular, ambient;
  float range, attenuation0, attenuation1, attenuation2;
};

constexpr TLightSetting kSun{false, {-2500, -2500, 0}, {1, 1, 1}, {0.8f, 0.8f, 0.8f}, {5, 5, 5}, 0, 0, 0, 0};
constexpr TLightSetting kBlueLight{false, {0, 0, 3000}, {0.5f, 0.5f, 3.5f}, {1, 1, 4}, {1.3f, 1.3f, 4.3f}, 0, 0, 0, 0};
// The ship's flame glows (moved by the ship step).
constexpr TLightSetting kFlameGlow{true, {0, 2, 18}, {15, 3, 3}, {5.3f, 0.3f, 0.3f}, {1, 1, 1}, 5, 0, 1, 0};
constexpr TLightSetting kFlameGlowNear{true, {0, 2, 18}, {15, 3, 3}, {5.3f, 0.3f, 0.3f}, {1, 1, 1}, 3, 1, 1, 0};
constexpr TLightSetting kShotLight{true, {0, 0, 0}, {300, 300, 300}, {100, 100, 100}, {100, 100, 100}, 50, 0, 1, 0};
constexpr TLightSetting kExplosionLight{true, {0, 0, 0}, {50, 50, 50}, {0, 0, 0}, {0, 0, 0}, 100, 0, 1, 0};
constexpr TLightSetting kMissileLight{true, {0, 0, 0}, {15, 0, 0}, {0, 0, 0}, {0, 0, 0}, 20, 0, 1, 0};

// The first light of each group.
constexpr int kFirstShotLight = 5;
constexpr int kFirstExplosionLight = 106;
// The last explosion light and the first missile light are the same slot; the missile
// set-up comes second and stands.
constexpr int kFirstMissileLight = 116;

// Sets a light up in the order the light's setters are always called in.
void Configure(TSXLight* light, const TLightSetting& s, bool enabled) {
  if (!light) return;
  if (s.point) {
    light->SetPoint(s.place);
  } else {
    light->SetDirectional(s.place);
  }
  light->SetDiffuse(s.diffuse.x, s.diffuse.y, s.diffuse.z);
  light->SetSpecular(s.specular.x, s.specular.y, s.specular.z);
  light->SetAmbient(s.ambient.x, s.ambient.y, s.ambient.z);
  if (s.point) light->SetRangeAttenuation(s.range, s.attenuation0, s.attenuation1, s.attenuation2);
  light->SetEnabled(enabled ? 1 : 0);
}

// A point light placed where a frame is in the world.
void ConfigureAt(TSXLight* light, TLightSetting s, const TSXFrame* frame, const TSXFrame* world) {
  s.place = frame->GetPosition(world);
  Configure(light, s, false);
}

// A random offset -half .. span-half-1, drawn from the game's generator.
float RandomOffset(int32_t span, int32_t half) { return static_cast<float>(rtl::Random(span) - half); }

}  // namespace

void TForm1::KNInitScene() {
  TKiln* kn = KN.get();

  KNSetRenderState(D3DRENDERSTATE_LIGHTING, 1);
  KNSetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF808080);
  KNSetRenderState(D3DRENDERSTATE_ZENABLE, 1);
  KNSetRenderState(D3DRENDERSTATE_COLORVERTEX, 1);
  KNSetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  KNSetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
  KNSetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);
  KNSetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  KNSetRenderState(D3DRENDERSTATE_COLORVERTEX, 1);

  Scene = std::make_unique<TSXScene>(kn);
  MaterialStar = std::make_unique<TSXMaterial>(kn);
  MaterialEarth = std::make_unique<TSXMaterial>(kn);
  MaterialDark = std::make_unique<TSXMaterial>(kn);
  MaterialGlow = std::make_unique<TSXMaterial>(kn);
  Lights = std::make_unique<TSXLightGroup>(kn, kLightCount);

  // Frames, in the order the rest of the game counts on (children keep creation order).
  RootFrame = TSXFrame::CreateRoot();
  CameraFrame = TSXFrame::CreateRoot();
  TSXFrame* root = RootFrame.get();
  PlayerFrame = TSXFrame::Create(root);
  BladeFrame = TSXFrame::Create(PlayerFrame);
  for (auto& f : EnemyFrames) f = TSXFrame::Create(root);
  TargetFrame = TSXFrame::Create(root);

  MaterialStar->SetPower(0);
  MaterialEarth->SetPower(0);
  MaterialEarth->SetDiffuse(0.08f, 0.08f, 0.08f);
  MaterialDark->SetPower(0);
  MaterialDark->SetDiffuse(0.001f, 0.001f, 0.001f);
  MaterialDark->SetEmissive(0, 0, 0);
  MaterialGlow->SetPower(0);
  MaterialGlow->SetEmissive(8, 8, 8);

  // Frames take a copy of a material: later changes of the material do not reach them.
  EarthFrame = TSXFrame::Create(root);
  EarthFrame->Material = MaterialEarth->MaterialData;
  ColonyFrame = TSXFrame::Create(root);
  for (auto& f : StarFrames) {
    f = TSXFrame::Create(root);
    f->Material = MaterialStar->MaterialData;
  }
  for (auto& f : MissileFrames) f = TSXFrame::Create(root);
  for (size_t i = 0; i < ShotFrames.size(); ++i) {
    ShotFrames[i] = TSXFrame::Create(root);
    ShotSprites[i] = TSXFrame::Create(root);
    ShotSprites[i]->Material = MaterialGlow->MaterialData;
  }
  for (auto& f : ExplosionFrames) {
    f = TSXFrame::Create(root);
    f->Material = MaterialGlow->MaterialData;
  }
  for (auto& f : PlayerPartFrames) {
    f = TSXFrame::Create(PlayerFrame);
    f->Material = MaterialGlow->MaterialData;
  }

  // Meshes: created in one order, loaded in another.
  MeshBody = std::make_unique<TSXMesh>(kn);
  MeshBlade = std::make_unique<TSXMesh>(kn);
  MeshSphere = std::make_unique<TSXMesh>(kn);
  MeshColony = std::make_unique<TSXMesh>(kn);
  MeshStar = std::make_unique<TSXMesh>(kn);
  MeshBeam = std::make_unique<TSXMesh>(kn);
  for (auto& m : MeshEnemy) m = std::make_unique<TSXMesh>(kn);
  MeshBomb = std::make_unique<TSXMesh>(kn);
  MeshBombSmall = std::make_unique<TSXMesh>(kn);
  MeshTarget = std::make_unique<TSXMesh>(kn);  // loaded when the target comes in
  MeshMissile = std::make_unique<TSXMesh>(kn);
  MeshFireSmall = std::make_unique<TSXMesh>(kn);

  const std::pair<std::unique_ptr<TSXMesh>*, const char*> loads[] = {
      {&MeshBody, "dotai.sx"},       {&MeshBlade, "nata.sx"},      {&MeshSphere, "kyu.sx"},
      {&MeshColony, "colony.sx"},    {&MeshStar, "sankaku.sx"},    {&MeshFireSmall, "fire_s.sx"},
      {&MeshBeam, "beam.sx"},        {&MeshMissile, "missile.sx"}, {&MeshEnemy[0], "ball.sx"},
      {&MeshEnemy[1], "gm.sx"},      {&MeshEnemy[2], "core.sx"},   {&MeshBomb, "Bomb.sx"},
      {&MeshBombSmall, "Bomb_s.sx"},
  };
  for (const auto& [mesh, file] : loads) {
    (*mesh)->LoadFromFile(DataDir + file);
    (*mesh)->Optimize();
  }

  // Textures. The two spare ones are never drawn with; they keep the registry's numbering.
  for (auto& t : TexSpare) t = std::make_unique<TKilnTexture>(kn, 128, 128, 0, "RGB555");
  TexEarth = std::make_unique<TKilnTexture>(kn, 256, 256, 0, "RGB555");
  TexMetal = std::make_unique<TKilnTexture>(kn, 128, 128, 0, "RGB555");
  TexBeam = std::make_unique<TKilnTexture>(kn, 128, 128, 0, "ARGB1555");
  TexBeam2 = std::make_unique<TKilnTexture>(kn, 128, 128, 0, "ARGB1555");
  TexFire = std::make_unique<TKilnTexture>(kn, 128, 128, 0, "ARGB1555");
  for (auto& t : TexBlast) {
    t = std::make_unique<TKilnTexture>(kn, 128, 128, 0, "ARGB1555");
    t->SetColorKey(t->ColorMatch(0));
  }
  TexEarth->LoadFromFile(DataDir + "earth.bmp");
  TexMetal->LoadFromFile(DataDir + "metal.bmp");
  TexBeam->LoadFromFile(DataDir + "beam.bmp");
  TexBeam2->LoadFromFile(DataDir + "beam2.bmp");
  TexFire->LoadFromFile(DataDir + "fire.bmp");
  // Black texels are see-through. The flame texture has the same format as beam2.
  TexBeam->SetColorKey(TexBeam->ColorMatch(0));
  const DWORD black = TexBeam2->ColorMatch(0);
  TexBeam2->SetColorKey(black);
  TexFire->SetColorKey(black);

  // The explosion sheet is 4 x 4 tiles of 128 x 128, played row by row.
  {
    TBitmap sheet;
    sheet.LoadFromFile(DataDir + "bakuhatu.bmp");
    for (size_t n = 0; n < TexBlast.size(); ++n) {
      const int column = static_cast<int>(n % 4) * 128;
      const int row = static_cast<int>(n / 4) * 128;
      TexBlast[n]->BltFromDC(0, 0, 128, 128, sheet.DC(), column, row);
    }
  }
  TitleBitmap = std::make_unique<TBitmap>();
  TitleBitmap->LoadFromFile(DataDir + "title.bmp");

  EarthFrame->Texture = TexEarth.get();
  ColonyFrame->Texture = TexMetal.get();

  Scene->SetViewport(0, 0, static_cast<uint32_t>(ClientWidth()), static_cast<uint32_t>(ClientHeight()));
  Scene->SetProjection(0.7853982f, static_cast<float>(ClientHeight()) / static_cast<float>(ClientWidth()), 1, 5000);
  Scene->Camera = CameraFrame.get();
}

void TForm1::StartStageScene() {
  // Nothing to reset before the world exists.
  if (!RootFrame || !Lights || !MeshBody) return;
  TSXFrame* root = RootFrame.get();
  const int lastEnemy = std::clamp(EnemyTop, -1, kEnemySlots - 1);

  Play.NextShot = 0;
  Play.NextMissile = 0;
  Play.FireLatch = true;
  Play.MissileLatch = true;
  Play.ViewLatch = true;
  MessageTime = 100;
  MessageIndex = 0;
  DeathTime = 0;
  ClearCountdown = 0;
  Play.BladeTimer = 0;
  Energy = 20;
  Play.PlayerVelocity = VecMake(0, 0, 0);
  TargetFrame->Mesh = nullptr;

  for (int i = 0; i <= lastEnemy; ++i) {
    const auto s = static_cast<size_t>(i);
    Play.EnemyPhase[s] = rtl::Random(100);
    Play.EnemyReload[s] = 0;
    Play.EnemyVelocity[s] = VecMake(0, 0, 0);
  }
  for (int i = 0; i < kExplosionSlots; ++i) Play.ExplosionAge[static_cast<size_t>(i)] = 0;
  Play.NextExplosion = 0;

  PlayerFrame->Mesh = MeshBody.get();
  BladeFrame->Mesh = MeshBlade.get();
  EarthFrame->Mesh = MeshSphere.get();
  ColonyFrame->Mesh = MeshColony.get();

  PlayerFrame->Lighting = 1;
  BladeFrame->Lighting = 1;
  for (TSXFrame* f : PlayerPartFrames) f->Lighting = 1;
  for (TSXFrame* f : PlayerPartFrames) {
    f->BlendMode = 1;
    f->Texture = TexFire.get();
  }

  for (TSXFrame* f : StarFrames) {
    // Drawn one after the other: x, then y, then z.
    const float x = RandomOffset(1000, 500);
    const float y = RandomOffset(1000, 500);
    const float z = RandomOffset(1000, 500);
    f->SetPosition(root, VecMake(x, y, z));
    f->Mesh = MeshStar.get();
  }
  for (size_t i = 0; i < ShotFrames.size(); ++i) {
    ShotFrames[i]->SetPosition(root, VecMake(static_cast<float>(i), 0, 0));
    TSXFrame* sprite = ShotSprites[i];
    sprite->BlendMode = 1;
    sprite->Lighting = 1;
    sprite->Specular = 0;
    sprite->Mesh = nullptr;
  }
  for (size_t j = 0; j < MissileFrames.size(); ++j) {
    MissileFrames[j]->SetPosition(root, VecMake(static_cast<float>(j), 0, 0));
    MissileFrames[j]->Mesh = nullptr;
    Play.MissileTarget[j] = nullptr;
    Play.MissileVelocity[j] = VecMake(0, 0, 0);
  }
  for (int i = 0; i <= lastEnemy; ++i) RespawnEnemy(i);
  for (TSXFrame* f : ExplosionFrames) {
    const float x = RandomOffset(50, 25);
    const float y = RandomOffset(50, 25);
    const float z = RandomOffset(50, 25);
    f->SetPosition(root, VecMake(x, y, z));
    f->Mesh = nullptr;
    f->BlendMode = 1;
  }

  MaterialStar->SetPower(3);
  MaterialStar->SetAmbient(2, 2, 2);

  auto light = [this](int i) { return Lights->GetLight(static_cast<uint32_t>(i)); };
  Configure(light(0), kSun, true);
  Configure(light(1), kBlueLight, true);
  Configure(light(2), kFlameGlow, true);
  Configure(light(3), kFlameGlowNear, true);
  Configure(light(4), kFlameGlow, true);
  for (int k = kFirstShotLight; k < kFirstExplosionLight; ++k) Configure(light(k), kShotLight, false);
  for (int k = kFirstExplosionLight; k <= kFirstMissileLight; ++k)
    ConfigureAt(light(k), kExplosionLight, ExplosionFrames[static_cast<size_t>(k - kFirstExplosionLight)], root);
  for (int k = kFirstMissileLight; k < kLightCount; ++k)
    ConfigureAt(light(k), kMissileLight, MissileFrames[static_cast<size_t>(k - kFirstMissileLight)], root);

  PlayerFrame->SetPosition(root, VecMake(0, 0, 0));
  const TVector3 ahead = VecMake(0, 0, 1);
  const TVector3 up = VecMake(0, 1, 0);
  PlayerFrame->SetOrientation(root, ahead, up);
  BladeFrame->SetOrientation(root, ahead, up);
  for (TSXFrame* f : PlayerPartFrames) f->SetOrientation(root, ahead, up);

  // The blade lies a quarter turn about the ship's x axis.
  {
    TMatrix4 ry, rx, turn, blade;
    MatRotationY(0, ry);
    MatRotationX(-1024, rx);
    MatMultiply(ry, rx, turn);
    MatMultiply(BladeFrame->GetMatrix(PlayerFrame), turn, blade);
    BladeFrame->SetMatrix(PlayerFrame, blade);
  }

  EarthFrame->SetPosition(root, VecMake(-2500, -2500, 0));
  ColonyFrame->SetPosition(root, VecMake(0, 0, 500));

  const size_t view =
      ViewIndex >= 0 && ViewIndex < static_cast<int>(ViewMatrices.size()) ? static_cast<size_t>(ViewIndex) : 0;
  CameraFrame->SetMatrix(PlayerFrame, ViewMatrices[view]);
  CameraMatrix = ViewMatrices[view];

  StartStageMusic();
}

bool TForm1::SceneMeshesReady() { return MeshBody && MeshBlade; }

std::optional<TMatrix4> TForm1::CameraMatrixInPlayer() {
  if (!CameraFrame || !PlayerFrame) return std::nullopt;
  return CameraFrame->GetMatrix(PlayerFrame);
}

void TForm1::SetCameraMatrixInPlayer(const TMatrix4& matrix) {
  if (CameraFrame && PlayerFrame) CameraFrame->SetMatrix(PlayerFrame, matrix);
}

void TForm1::MoveCameraInOwnSpace(float dz) {
  if (CameraFrame) CameraFrame->SetPosition(CameraFrame.get(), VecMake(0, 0, dz));
}
