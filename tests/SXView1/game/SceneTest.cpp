// The world the form builds once (frames, materials, meshes, textures, lights, viewport)
// and what every stage start puts back, on the headless machine with the generated data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "GameFixture.h"
#include "SceneForm.h"
#include "platform/forms/Graphics.h"
#include "platform/rtl/Random.h"

namespace {

class SceneTest : public GameTest {
 protected:
  SceneForm& StartScene() { return Start<SceneForm>(); }
};

// Reads a texel of a texture as 5-bit red, green and blue levels.
struct Texel5 {
  int r, g, b;
};
Texel5 ReadTexel(TKilnTexture& t, int x, int y) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  EXPECT_EQ(t.Surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  const auto* row = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch;
  const DWORD p = reinterpret_cast<const uint16_t*>(row)[x];
  t.Surface->Unlock(nullptr);
  auto level = [&](DWORD mask, int shift) { return static_cast<int>((p & mask) >> shift); };
  return {level(t.RMask, t.RShift), level(t.GMask, t.GShift), level(t.BMask, t.BShift)};
}

bool SameMaterial(const D3DMATERIAL7& a, const D3DMATERIAL7& b) {
  auto same = [](const D3DCOLORVALUE& x, const D3DCOLORVALUE& y) {
    return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
  };
  return same(a.diffuse, b.diffuse) && same(a.ambient, b.ambient) && same(a.specular, b.specular) &&
         same(a.emissive, b.emissive) && a.power == b.power;
}

TEST_F(SceneTest, EveryFrameExistsOnceWithItsParentInCreationOrder) {
  SceneForm& f = StartScene();
  ASSERT_TRUE(f.RootFrame && f.CameraFrame);
  EXPECT_EQ(f.RootFrame->Parent(), nullptr);
  EXPECT_EQ(f.CameraFrame->Parent(), nullptr);
  EXPECT_EQ(f.Scene->Camera, f.CameraFrame.get());

  // The world's children, in the order the game was built in.
  std::vector<TSXFrame*> expected{f.PlayerFrame};
  expected.insert(expected.end(), f.EnemyFrames.begin(), f.EnemyFrames.end());
  expected.push_back(f.TargetFrame);
  expected.push_back(f.EarthFrame);
  expected.push_back(f.ColonyFrame);
  expected.insert(expected.end(), f.StarFrames.begin(), f.StarFrames.end());
  expected.insert(expected.end(), f.MissileFrames.begin(), f.MissileFrames.end());
  for (int i = 0; i < TForm1::kShotSlots; ++i) {
    expected.push_back(f.ShotFrames[static_cast<size_t>(i)]);
    expected.push_back(f.ShotSprites[static_cast<size_t>(i)]);
  }
  expected.insert(expected.end(), f.ExplosionFrames.begin(), f.ExplosionFrames.end());
  const std::vector<TSXFrame*> children(f.RootFrame->Children().begin(), f.RootFrame->Children().end());
  EXPECT_EQ(children, expected);

  std::vector<TSXFrame*> shipParts{f.BladeFrame};
  shipParts.insert(shipParts.end(), f.PlayerPartFrames.begin(), f.PlayerPartFrames.end());
  const std::vector<TSXFrame*> shipChildren(f.PlayerFrame->Children().begin(), f.PlayerFrame->Children().end());
  EXPECT_EQ(shipChildren, shipParts);
  for (TSXFrame* c : children) EXPECT_TRUE(c->Children().Count() == 0 || c == f.PlayerFrame);

  // 370 frames in all, every one distinct.
  std::set<TSXFrame*> all(children.begin(), children.end());
  all.insert(shipParts.begin(), shipParts.end());
  all.insert(f.RootFrame.get());
  all.insert(f.CameraFrame.get());
  EXPECT_EQ(all.size(), 370u);
  EXPECT_EQ(all.count(nullptr), 0u);
}

TEST_F(SceneTest, FramesKeepTheMaterialCopiesTheyWereBuiltWith) {
  SceneForm& f = StartScene();
  StartGame();  // the stage start changes the star material after the copies were taken

  const D3DMATERIAL7 frameDefault = TSXFrame::CreateRoot()->Material;
  EXPECT_EQ(frameDefault.power, 10.0f);

  EXPECT_EQ(f.EarthFrame->Material.diffuse.r, 0.08f);
  EXPECT_EQ(f.EarthFrame->Material.diffuse.b, 0.08f);
  EXPECT_EQ(f.EarthFrame->Material.power, 0.0f);
  EXPECT_EQ(f.EarthFrame->Material.ambient.r, 0.0f);  // a template starts all zero
  EXPECT_TRUE(SameMaterial(f.ColonyFrame->Material, frameDefault));

  // The star material was power 0 when the stars copied it; the stage start made it 3.
  EXPECT_EQ(f.MaterialStar->MaterialData.power, 3.0f);
  EXPECT_EQ(f.MaterialStar->MaterialData.ambient.g, 2.0f);
  for (TSXFrame* s : f.StarFrames) {
    EXPECT_EQ(s->Material.power, 0.0f);
    EXPECT_EQ(s->Material.ambient.g, 0.0f);
    EXPECT_EQ(s->Material.diffuse.r, 0.0f);
  }

  // The glowing things carry the glow material, the shot carriers their own default.
  auto glows = [](const TSXFrame* fr) {
    return fr->Material.emissive.r == 8.0f && fr->Material.emissive.g == 8.0f && fr->Material.emissive.b == 8.0f &&
           fr->Material.power == 0.0f && fr->Material.diffuse.r == 0.0f;
  };
  for (TSXFrame* s : f.ShotSprites) EXPECT_TRUE(glows(s));
  for (TSXFrame* e : f.ExplosionFrames) EXPECT_TRUE(glows(e));
  for (TSXFrame* p : f.PlayerPartFrames) EXPECT_TRUE(glows(p));
  for (TSXFrame* s : f.ShotFrames) EXPECT_TRUE(SameMaterial(s->Material, frameDefault));
  for (TSXFrame* m : f.MissileFrames) EXPECT_TRUE(SameMaterial(m->Material, frameDefault));
  for (TSXFrame* e : f.EnemyFrames) EXPECT_TRUE(SameMaterial(e->Material, frameDefault));

  EXPECT_EQ(f.MaterialDark->MaterialData.diffuse.r, 0.001f);
  EXPECT_EQ(f.MaterialGlow->MaterialData.emissive.r, 8.0f);
}

TEST_F(SceneTest, MeshesTexturesViewportAndRenderStates) {
  SceneForm& f = StartScene();
  for (TSXMesh* m : {f.MeshBody.get(), f.MeshBlade.get(), f.MeshSphere.get(), f.MeshColony.get(), f.MeshStar.get(),
                     f.MeshFireSmall.get(), f.MeshBeam.get(), f.MeshMissile.get(), f.MeshEnemy[0].get(),
                     f.MeshEnemy[1].get(), f.MeshEnemy[2].get(), f.MeshBomb.get(), f.MeshBombSmall.get()}) {
    ASSERT_NE(m, nullptr);
    EXPECT_GT(m->IndexCount, 0);
    EXPECT_NE(m->VertexBuffer, nullptr);
  }
  // The target's mesh waits for the target to come in.
  ASSERT_NE(f.MeshTarget, nullptr);
  EXPECT_EQ(f.MeshTarget->IndexCount, 0);

  // The registry numbers the textures in creation order: the two spares first.
  const std::vector<TKilnTexture*> order{f.TexSpare[0].get(), f.TexSpare[1].get(), f.TexEarth.get(), f.TexMetal.get(),
                                         f.TexBeam.get(),     f.TexBeam2.get(),    f.TexFire.get()};
  ASSERT_EQ(f.KN->Textures.Count(), 23);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(f.KN->Textures.Texture(i), order[static_cast<size_t>(i)]) << i;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(f.KN->Textures.Texture(7 + i), f.TexBlast[static_cast<size_t>(i)].get());
  EXPECT_EQ(f.TexEarth->Width, 256);
  EXPECT_EQ(f.TexEarth->SourceFile, f.DataDir + "earth.bmp");
  EXPECT_EQ(f.TexFire->SourceFile, f.DataDir + "fire.bmp");
  EXPECT_TRUE(f.TexBlast[3]->SourceFile.empty());  // cut from the sheet, not loaded

  // Opaque pictures without alpha; the see-through ones with one alpha bit and a black key.
  EXPECT_EQ(f.TexEarth->AMask, 0u);
  EXPECT_EQ(f.TexMetal->AMask, 0u);
  for (TKilnTexture* t :
       {f.TexBeam.get(), f.TexBeam2.get(), f.TexFire.get(), f.TexBlast[0].get(), f.TexBlast[15].get()}) {
    EXPECT_EQ(t->AMask, 0x8000u);
    DDCOLORKEY key{};
    ASSERT_EQ(t->Surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, t->ColorMatch(0));
  }
  EXPECT_EQ(f.EarthFrame->Texture, f.TexEarth.get());
  EXPECT_EQ(f.ColonyFrame->Texture, f.TexMetal.get());
  ASSERT_NE(f.TitleBitmap, nullptr);
  EXPECT_GT(f.TitleBitmap->Width(), 0);

  EXPECT_EQ(f.Scene->Viewport.dwWidth, 640u);
  EXPECT_EQ(f.Scene->Viewport.dwHeight, 480u);
  EXPECT_NEAR(f.Scene->Projection.m[0][0], 1.81066f, 1e-4f);
  EXPECT_NEAR(f.Scene->Projection.m[1][1], 2.41421f, 1e-4f);
  EXPECT_NEAR(f.Scene->Projection.m[3][2], -1.0002f, 1e-4f);

  // The fixed render states (nothing has been rendered on the title screen).
  auto state = [&](D3DRENDERSTATETYPE s) {
    DWORD v = 0xDEAD;
    f.KN->D3DDevice->GetRenderState(s, &v);
    return v;
  };
  EXPECT_EQ(state(D3DRENDERSTATE_AMBIENT), 0xFF808080u);
  EXPECT_EQ(state(D3DRENDERSTATE_LIGHTING), 1u);
  EXPECT_EQ(state(D3DRENDERSTATE_ZENABLE), 1u);
  EXPECT_EQ(state(D3DRENDERSTATE_COLORVERTEX), 1u);
  EXPECT_EQ(state(D3DRENDERSTATE_SPECULARENABLE), 1u);
  EXPECT_EQ(state(D3DRENDERSTATE_SPECULARMATERIALSOURCE), 0u);
  EXPECT_EQ(state(D3DRENDERSTATE_DITHERENABLE), 1u);
  EXPECT_EQ(state(D3DRENDERSTATE_ALPHABLENDENABLE), 1u);
}

TEST_F(SceneTest, ExplosionTilesAreCutFromTheSheetRowByRow) {
  SceneForm& f = StartScene();
  forms::TBitmap sheet;
  sheet.LoadFromFile(f.DataDir + "bakuhatu.bmp");
  ASSERT_EQ(sheet.Width(), 512);
  ASSERT_EQ(sheet.Height(), 512);
  const std::vector<uint32_t> pixels = sheet.ToXrgb();
  auto sheetLevel = [&](int x, int y) {
    const uint32_t p = pixels[static_cast<size_t>(y) * 512 + static_cast<size_t>(x)];
    return Texel5{static_cast<int>((p >> 19) & 31), static_cast<int>((p >> 11) & 31), static_cast<int>((p >> 3) & 31)};
  };
  // The test means something only if the second tile of the top row differs from the
  // first tile of the second row.
  int differing = 0;
  for (int y = 0; y < 128; y += 4)
    for (int x = 0; x < 128; x += 4) {
      const Texel5 a = sheetLevel(128 + x, y), b = sheetLevel(x, 128 + y);
      differing += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 6;
    }
  ASSERT_GT(differing, 50);

  for (int n = 0; n < 16; ++n) {
    int mismatches = 0;
    for (int y = 1; y < 128; y += 9)
      for (int x = 3; x < 128; x += 9) {
        const Texel5 t = ReadTexel(*f.TexBlast[static_cast<size_t>(n)], x, y);
        const Texel5 s = sheetLevel((n % 4) * 128 + x, (n / 4) * 128 + y);
        mismatches += std::abs(t.r - s.r) > 1 || std::abs(t.g - s.g) > 1 || std::abs(t.b - s.b) > 1;
      }
    EXPECT_EQ(mismatches, 0) << "tile " << n;
  }
}

TEST_F(SceneTest, LightsAreSetUpAsTabledWithTheMissileValuesOnTheSharedLight) {
  SceneForm& f = StartScene();
  StartGame();
  auto light = [&](uint32_t i) { return f.Lights->GetLight(i); };
  ASSERT_NE(light(146), nullptr);

  const D3DLIGHT7& sun = light(0)->LightData;
  EXPECT_EQ(sun.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_EQ(sun.dvDirection.x, -2500.0f);
  EXPECT_EQ(sun.dvDirection.y, -2500.0f);
  EXPECT_EQ(sun.dcvSpecular.r, 0.8f);
  EXPECT_EQ(sun.dcvAmbient.b, 5.0f);
  EXPECT_EQ(light(0)->Enabled, 1);
  const D3DLIGHT7& blue = light(1)->LightData;
  EXPECT_EQ(blue.dvDirection.z, 3000.0f);
  EXPECT_EQ(blue.dcvDiffuse.b, 3.5f);
  EXPECT_EQ(blue.dcvAmbient.r, 1.3f);
  EXPECT_EQ(blue.dcvAmbient.b, 4.3f);

  for (uint32_t i : {2u, 3u, 4u}) {
    const D3DLIGHT7& glow = light(i)->LightData;
    EXPECT_EQ(glow.dltType, D3DLIGHT_POINT);
    EXPECT_EQ(glow.dvPosition.z, 18.0f);
    EXPECT_EQ(glow.dcvDiffuse.r, 15.0f);
    EXPECT_EQ(glow.dcvSpecular.r, 5.3f);
    EXPECT_EQ(glow.dvRange, i == 3 ? 3.0f : 5.0f);
    EXPECT_EQ(glow.dvAttenuation0, i == 3 ? 1.0f : 0.0f);
    EXPECT_EQ(glow.dvAttenuation1, 1.0f);
  }
  for (uint32_t i : {5u, 55u, 105u}) {
    const D3DLIGHT7& shot = light(i)->LightData;
    EXPECT_EQ(shot.dltType, D3DLIGHT_POINT);
    EXPECT_EQ(shot.dcvDiffuse.g, 300.0f);
    EXPECT_EQ(shot.dcvAmbient.g, 100.0f);
    EXPECT_EQ(shot.dvRange, 50.0f);
    EXPECT_EQ(light(i)->Enabled, 0);
  }
  for (uint32_t i = 106; i < 116; ++i) {
    const D3DLIGHT7& blast = light(i)->LightData;
    EXPECT_EQ(blast.dcvDiffuse.r, 50.0f);
    EXPECT_EQ(blast.dvRange, 100.0f);
    TVector3 at = f.ExplosionFrames[i - 106]->GetPosition(f.RootFrame.get());
    ExpectVectorNear(at, {blast.dvPosition.x, blast.dvPosition.y, blast.dvPosition.z});
    EXPECT_EQ(light(i)->Enabled, 0);
  }
  // Light 116 is set up twice; the missile values come last and stand.
  for (uint32_t i = 116; i < 147; ++i) {
    const D3DLIGHT7& missile = light(i)->LightData;
    EXPECT_EQ(missile.dcvDiffuse.r, 15.0f);
    EXPECT_EQ(missile.dcvDiffuse.g, 0.0f);
    EXPECT_EQ(missile.dvRange, 20.0f);
    EXPECT_EQ(missile.dvPosition.x, static_cast<float>(i - 116));  // missile j waits at (j, 0, 0)
    EXPECT_EQ(light(i)->Enabled, 0);
  }
  // The device holds the same values.
  D3DLIGHT7 onDevice{};
  ASSERT_EQ(f.KN->D3DDevice->GetLight(116, &onDevice), D3D_OK);
  EXPECT_EQ(onDevice.dvRange, 20.0f);
  EXPECT_EQ(onDevice.dcvDiffuse.r, 15.0f);
}

TEST_F(SceneTest, StageStartPutsTheWorldBack) {
  SceneForm& f = StartScene();
  StartGame();
  const TVector3 firstStar = f.StarFrames[0]->GetPosition(f.RootFrame.get());

  // A stage in full swing.
  f.Play.NextShot = 40;
  f.Play.NextMissile = 7;
  f.Play.NextExplosion = 3;
  f.Play.FireLatch = f.Play.MissileLatch = f.Play.ViewLatch = false;
  f.MessageTime = 0;
  f.MessageIndex = 6;
  f.DeathTime = 3;
  f.ClearCountdown = 9;
  f.Play.BladeTimer = 12;
  f.Energy = 2;
  f.Play.PlayerVelocity = VecMake(1, 2, 3);
  f.TargetFrame->Mesh = f.MeshTarget.get();
  f.ShotSprites[10]->Mesh = f.MeshBeam.get();
  f.MissileFrames[4]->Mesh = f.MeshMissile.get();
  f.Play.MissileTarget[4] = f.EnemyFrames[0];
  f.Play.MissileVelocity[4] = VecMake(0, 0, -2.5f);
  f.ExplosionFrames[2]->Mesh = f.MeshBomb.get();
  f.Play.ExplosionAge[2] = 30;
  f.PlayerFrame->SetPosition(f.RootFrame.get(), VecMake(40, 50, 60));
  f.EarthFrame->SetPosition(f.RootFrame.get(), VecMake(1, 1, 1));
  f.ViewIndex = 3;
  f.EnemyTop = 7;
  f.Play.EnemyPhase.fill(-1);
  f.Play.EnemyReload.fill(9);
  for (TSXFrame* e : f.EnemyFrames) e->Mesh = nullptr;
  f.EnemyFrames[9]->SetPosition(f.RootFrame.get(), VecMake(1, 2, 3));
  f.StageTime = 6000;

  f.StartStage();

  EXPECT_EQ(f.Play.NextShot, 0);
  EXPECT_EQ(f.Play.NextMissile, 0);
  EXPECT_EQ(f.Play.NextExplosion, 0);
  EXPECT_TRUE(f.Play.FireLatch && f.Play.MissileLatch && f.Play.ViewLatch);
  EXPECT_EQ(f.MessageTime, 100);
  EXPECT_EQ(f.MessageIndex, 0);
  EXPECT_EQ(f.DeathTime, 0);
  EXPECT_EQ(f.ClearCountdown, 0);
  EXPECT_EQ(f.Play.BladeTimer, 0);
  EXPECT_EQ(f.Energy, 20);
  ExpectVectorNear({0, 0, 0}, f.Play.PlayerVelocity, 0);
  EXPECT_EQ(f.TargetFrame->Mesh, nullptr);
  for (TSXFrame* s : f.ShotSprites) {
    EXPECT_EQ(s->Mesh, nullptr);
    EXPECT_EQ(s->BlendMode, 1);
    EXPECT_EQ(s->Specular, 0);
  }
  for (int i = 0; i < TForm1::kShotSlots; ++i)
    ExpectVectorNear({static_cast<float>(i), 0, 0},
                     f.ShotFrames[static_cast<size_t>(i)]->GetPosition(f.RootFrame.get()), 0);
  for (TSXFrame* m : f.MissileFrames) EXPECT_EQ(m->Mesh, nullptr);
  EXPECT_EQ(f.Play.MissileTarget[4], nullptr);
  ExpectVectorNear({0, 0, 0}, f.Play.MissileVelocity[4], 0);
  for (TSXFrame* e : f.ExplosionFrames) {
    EXPECT_EQ(e->Mesh, nullptr);
    EXPECT_EQ(e->BlendMode, 1);
    const TVector3 p = e->GetPosition(f.RootFrame.get());
    for (float c : {p.x, p.y, p.z}) {
      EXPECT_GE(c, -25.0f);
      EXPECT_LE(c, 24.0f);
    }
  }
  EXPECT_EQ(f.Play.ExplosionAge[2], 0);

  // Enemy slots up to EnemyTop are reset; the ones above are left as they were.
  for (int i = 0; i < TForm1::kEnemySlots; ++i) {
    const auto s = static_cast<size_t>(i);
    if (i <= 7) {
      EXPECT_GE(f.Play.EnemyPhase[s], 0);
      EXPECT_LT(f.Play.EnemyPhase[s], 100);
      EXPECT_EQ(f.Play.EnemyReload[s], 0);
      EXPECT_NE(f.EnemyFrames[s]->Mesh, nullptr) << "slot " << i << " was placed anew";
    } else {
      EXPECT_EQ(f.Play.EnemyPhase[s], -1);
      EXPECT_EQ(f.Play.EnemyReload[s], 9);
      EXPECT_EQ(f.EnemyFrames[s]->Mesh, nullptr);
    }
  }
  ExpectVectorNear({1, 2, 3}, f.EnemyFrames[9]->GetPosition(f.RootFrame.get()), 0);

  // The stars are scattered anew over -500..499.
  const TVector3 star = f.StarFrames[0]->GetPosition(f.RootFrame.get());
  EXPECT_FALSE(star.x == firstStar.x && star.y == firstStar.y && star.z == firstStar.z);
  for (TSXFrame* s : f.StarFrames) {
    EXPECT_EQ(s->Mesh, f.MeshStar.get());
    const TVector3 p = s->GetPosition(f.RootFrame.get());
    for (float c : {p.x, p.y, p.z}) {
      EXPECT_GE(c, -500.0f);
      EXPECT_LE(c, 499.0f);
      EXPECT_EQ(c, static_cast<float>(static_cast<int>(c)));
    }
  }

  // Ship, blade and flames: shown, lit, facing +z from the origin; the blade a quarter turn about x.
  EXPECT_EQ(f.PlayerFrame->Mesh, f.MeshBody.get());
  EXPECT_EQ(f.BladeFrame->Mesh, f.MeshBlade.get());
  EXPECT_EQ(f.EarthFrame->Mesh, f.MeshSphere.get());
  EXPECT_EQ(f.ColonyFrame->Mesh, f.MeshColony.get());
  for (TSXFrame* p : f.PlayerPartFrames) {
    EXPECT_EQ(p->BlendMode, 1);
    EXPECT_EQ(p->Texture, f.TexFire.get());
    EXPECT_EQ(p->Lighting, 1);
    ExpectMatrixNear(MatIdentity(), p->GetMatrix(f.PlayerFrame));
  }
  ExpectMatrixNear(MatIdentity(), f.PlayerFrame->GetMatrix(f.RootFrame.get()));
  TMatrix4 quarter;
  MatRotationX(-1024, quarter);
  ExpectMatrixNear(quarter, f.BladeFrame->GetMatrix(f.PlayerFrame));
  ExpectVectorNear({-2500, -2500, 0}, f.EarthFrame->GetPosition(f.RootFrame.get()), 0);
  ExpectVectorNear({0, 0, 500}, f.ColonyFrame->GetPosition(f.RootFrame.get()), 0);

  // The camera takes the placement of the current view slot.
  ExpectMatrixNear(f.ViewMatrices[3], *f.CameraMatrixInPlayer());
  ExpectMatrixNear(f.ViewMatrices[3], f.CameraMatrix, 0);
  EXPECT_EQ(f.MaterialStar->MaterialData.power, 3.0f);
  EXPECT_FALSE(f.Image2->Visible());
  EXPECT_TRUE(static_cast<bool>(f.OnMouseMove));
}

TEST_F(SceneTest, StageStartDrawsEnemyPhasesThenStarsXFirst) {
  SceneForm& f = StartScene();
  StartGame();
  f.EnemyTop = 11;
  rtl::SetRandSeed(4321);
  f.StartStage();

  rtl::SetRandSeed(4321);
  for (int i = 0; i <= 11; ++i) EXPECT_EQ(f.Play.EnemyPhase[static_cast<size_t>(i)], rtl::Random(100)) << "slot " << i;
  for (TSXFrame* s : f.StarFrames) {
    const float x = static_cast<float>(rtl::Random(1000) - 500);
    const float y = static_cast<float>(rtl::Random(1000) - 500);
    const float z = static_cast<float>(rtl::Random(1000) - 500);
    ExpectVectorNear({x, y, z}, s->GetPosition(f.RootFrame.get()), 0);
  }
}

}  // namespace
