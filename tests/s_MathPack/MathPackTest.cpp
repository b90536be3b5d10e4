#include <gtest/gtest.h>

#include <cmath>

#include "s_MathPack/s_MathPack.h"

namespace {

class MathPack : public ::testing::Test {
 protected:
  void SetUp() override { InitTrigTables(); }
};

void ExpectVec(const TVector3& v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

TVector3 Times(const TVector3& v, const TMatrix4& m) {
  TVector4 h, out;
  VecToHomogeneous(v, h);
  Vec4Transform(h, m, out);
  return VecMake(out.x, out.y, out.z);
}

TEST_F(MathPack, TablesHoldSingleRoundedSinesAndCosines) {
  EXPECT_EQ(SinTable[0], 0.0f);
  EXPECT_EQ(CosTable[0], 1.0f);
  EXPECT_EQ(SinTable[1024], 1.0f);
  EXPECT_EQ(CosTable[2048], -1.0f);
  EXPECT_EQ(SinTable[512], static_cast<float>(std::sqrt(0.5L)));
  // cos(pi/2) is not exactly 0 in any finite precision; it rounds to a tiny value.
  EXPECT_LT(std::fabs(CosTable[1024]), 1e-7f);
  EXPECT_EQ(SinTable[100], static_cast<float>(std::sin(100.0L / 2048.0L * 3.14159265358979323846264338327950288L)));
}

TEST_F(MathPack, RotationFamiliesTurnOppositeWays) {
  TMatrix4 m;
  MatRotationY(1024, m);
  ExpectVec(Times(VecMake(0, 0, 1), m), 1, 0, 0);
  TVector3 r;
  VecRotateY(VecMake(0, 0, 1), 1024, r);
  ExpectVec(r, -1, 0, 0);

  MatRotationX(1024, m);
  ExpectVec(Times(VecMake(0, 1, 0), m), 0, 0, 1);  // y' = y c - z s, z' = y s + z c
  VecRotateX(VecMake(0, 1, 0), 1024, r);
  ExpectVec(r, 0, 0, -1);

  MatRotationZ(1024, m);
  ExpectVec(Times(VecMake(1, 0, 0), m), 0, 1, 0);
  VecRotateZ(VecMake(1, 0, 0), 1024, r);
  ExpectVec(r, 0, -1, 0);
}

TEST_F(MathPack, AnglesWrapModulo4096) {
  TMatrix4 a, b, c;
  MatRotationZ(0, a);
  MatRotationZ(4096, b);
  MatRotationZ(-4096, c);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(a(i, j), b(i, j));
      EXPECT_EQ(a(i, j), c(i, j));
    }
  TVector3 p, q;
  VecRotateY(VecMake(1, 2, 3), 0xFE00, p);
  VecRotateY(VecMake(1, 2, 3), -512, q);
  EXPECT_EQ(p.x, q.x);
  EXPECT_EQ(p.z, q.z);
  EXPECT_EQ(SinOf(-1), SinTable[4095]);
}

TEST_F(MathPack, NormalizeHasNoEpsilon) {
  TVector3 out{9, 9, 9};
  VecNormalize(VecMake(0, 0, 0), out);
  ExpectVec(out, 0, 0, 0, 0);
  VecNormalize(VecMake(0, 1e-15f, 0), out);
  EXPECT_FLOAT_EQ(out.y, 1.0f);
  TVector3 v = VecMake(3, 4, 12);
  VecNormalize(v, v);  // in place is allowed
  ExpectVec(v, 3.f / 13, 4.f / 13, 12.f / 13);
}

TEST_F(MathPack, LengthDistanceCrossAndSubOrder) {
  float len;
  VecLength(len, VecMake(3, 4, 12));
  EXPECT_EQ(len, 13.0f);
  VecDistance(len, VecMake(1, 1, 1), VecMake(4, 5, 1));
  EXPECT_EQ(len, 5.0f);
  TVector3 c;
  VecCross(VecMake(1, 0, 0), VecMake(0, 1, 0), c);
  ExpectVec(c, 0, 0, 1, 0);
  TVector3 d;
  VecSub(VecMake(5, 5, 5), VecMake(1, 2, 3), d);
  ExpectVec(d, 4, 3, 2, 0);
  EXPECT_EQ(Square(3.0f), 9.0f);
}

TEST_F(MathPack, ProjectKeepsReciprocalWAndIgnoresZeroW) {
  TVector4 out{7, 7, 7, 7};
  Vec4Project(TVector4{1, 2, 3, 0}, out);
  EXPECT_EQ(out.x, 7);
  EXPECT_EQ(out.w, 7);
  Vec4Project(TVector4{2, 4, 6, 2}, out);
  EXPECT_EQ(out.x, 1);
  EXPECT_EQ(out.y, 2);
  EXPECT_EQ(out.z, 3);
  EXPECT_EQ(out.w, 0.5f);
}

TEST_F(MathPack, MultiplyComposesLeftToRight) {
  TMatrix4 rx, ry, both;
  MatRotationX(300, rx);
  MatRotationY(700, ry);
  MatMultiply(rx, ry, both);
  TVector3 v = VecMake(1.5f, -2, 0.25f);
  TVector3 stepwise = Times(Times(v, rx), ry);
  TVector3 composed = Times(v, both);
  ExpectVec(composed, stepwise.x, stepwise.y, stepwise.z, 1e-5f);
}

TEST_F(MathPack, RigidInverseUndoesTheTransform) {
  TMatrix4 rx, ry, rot, m, inv, product;
  MatRotationX(123, rx);
  MatRotationY(3001, ry);
  MatMultiply(rx, ry, rot);
  m = rot;
  m(3, 0) = 10;
  m(3, 1) = -20;
  m(3, 2) = 30.5f;
  MatInvertRigid(m, inv);
  MatMultiply(m, inv, product);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product(i, j), i == j ? 1.0f : 0.0f, 1e-5f) << i << "," << j;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(inv(i, 3), 0.0f);
  EXPECT_EQ(inv(3, 3), 1.0f);
  EXPECT_EQ(inv(0, 1), m(1, 0));  // the rotation part is the transpose
}

}  // namespace
