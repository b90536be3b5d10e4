// The explosion's animation and light, tick by tick, and the pool that takes over the
// oldest explosion when all eleven are running.
#include "SXView1/game/GameplayFixture.h"

namespace {

using ExplosionTest = GameplayTest;

TEST_F(ExplosionTest, TheLightReddensAndShrinksTickByTickUntilTheSlotGoesIdle) {
  TForm1& f = QuietStage();
  f.Play.NextExplosion = 4;
  const TVector3 at{10, 20, 30};
  f.SpawnExplosion(at, TForm1::TExplosionSize::Small);
  EXPECT_EQ(f.Play.NextExplosion, 5);
  EXPECT_EQ(f.Play.ExplosionAge[4], 1);
  EXPECT_EQ(f.ExplosionFrames[4]->Mesh, f.MeshBombSmall.get());
  EXPECT_TRUE(LightOn(110));
  EXPECT_NEAR(Light(110).dvPosition.y, 20.0f, 1e-5f);
  for (int a = 1; a <= 78; ++a) {
    f.ExplosionStep();
    const int c = a + 1;
    ASSERT_EQ(f.Play.ExplosionAge[4], c);
    EXPECT_EQ(f.ExplosionFrames[4]->Texture, f.TexBlast[static_cast<size_t>(a / 5)].get()) << "age " << a;
    const D3DLIGHT7& l = Light(110);
    EXPECT_FLOAT_EQ(l.dcvDiffuse.r, 100.0f);
    EXPECT_FLOAT_EQ(l.dcvDiffuse.g, static_cast<float>(100 - 5 * c)) << "tick " << c;
    EXPECT_FLOAT_EQ(l.dcvDiffuse.b, static_cast<float>(100 - 5 * c));
    EXPECT_FLOAT_EQ(l.dvRange, static_cast<float>(300 - 6 * c));
    EXPECT_FLOAT_EQ(l.dvAttenuation1, 1.0f);
    EXPECT_FLOAT_EQ(l.dvAttenuation0, 0.0f);
    ASSERT_NE(f.ExplosionFrames[4]->Mesh, nullptr);
  }
  // Age 79: the last tile is given, then the slot ends before it is drawn again.
  f.ExplosionStep();
  EXPECT_EQ(f.ExplosionFrames[4]->Texture, f.TexBlast[15].get());
  EXPECT_EQ(f.Play.ExplosionAge[4], 0);
  EXPECT_EQ(f.ExplosionFrames[4]->Mesh, nullptr);
  EXPECT_FALSE(LightOn(110));
  // The light's last values stay as they were at age 78.
  EXPECT_FLOAT_EQ(Light(110).dvRange, static_cast<float>(300 - 6 * 79));
}

TEST_F(ExplosionTest, ATwelfthExplosionTakesOverTheOldest) {
  TForm1& f = QuietStage();
  for (int i = 0; i < 11; ++i) {
    f.SpawnExplosion(TVector3{static_cast<float>(i), 0, 0}, TForm1::TExplosionSize::Big);
    f.ExplosionStep();
  }
  EXPECT_EQ(f.Play.ExplosionAge[0], 12);
  EXPECT_EQ(f.Play.NextExplosion, 0);
  f.SpawnExplosion(TVector3{0, 99, 0}, TForm1::TExplosionSize::Small);
  EXPECT_EQ(f.Play.ExplosionAge[0], 1);
  EXPECT_EQ(f.Play.ExplosionAge[1], 11);
  EXPECT_EQ(f.ExplosionFrames[0]->Mesh, f.MeshBombSmall.get());
  EXPECT_NEAR(World(f.ExplosionFrames[0]).y, 99.0f, 1e-5f);
  EXPECT_EQ(f.Play.NextExplosion, 1);
}

}  // namespace
