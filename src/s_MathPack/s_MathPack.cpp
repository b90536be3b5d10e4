#include "s_MathPack/s_MathPack.h"

#include <cmath>

std::array<float, kTrigTableSize> SinTable{};
std::array<float, kTrigTableSize> CosTable{};

namespace {

// Sums are formed in double (products of two floats are exact there) and rounded once.
inline float F(double v) { return static_cast<float>(v); }

}  // namespace

void InitTrigTables() {
  const long double pi = 3.14159265358979323846264338327950288L;
  for (int i = 0; i < kTrigTableSize; ++i) {
    long double angle = (static_cast<long double>(static_cast<float>(i)) / 2048.0L) * pi;
    SinTable[i] = static_cast<float>(std::sin(angle));
    CosTable[i] = static_cast<float>(std::cos(angle));
  }
}

TVector3 VecMake(float x, float y, float z) { return TVector3{x, y, z}; }

void VecCopy(const TVector3& v, TVector3& out) { out = v; }

void VecToHomogeneous(const TVector3& v, TVector4& out) { out = TVector4{v.x, v.y, v.z, 1.0f}; }

float Square(float a) { return F(double(a) * a); }

void VecAdd(const TVector3& a, const TVector3& b, TVector3& out) {
  out = TVector3{F(double(a.x) + b.x), F(double(a.y) + b.y), F(double(a.z) + b.z)};
}

void VecSub(const TVector3& a, const TVector3& b, TVector3& out) {
  out = TVector3{F(double(a.x) - b.x), F(double(a.y) - b.y), F(double(a.z) - b.z)};
}

void VecCross(const TVector3& a, const TVector3& b, TVector3& out) {
  out.x = F(double(a.y) * b.z - double(a.z) * b.y);
  out.y = F(double(a.z) * b.x - double(a.x) * b.z);
  out.z = F(double(a.x) * b.y - double(a.y) * b.x);
}

void VecLength(float& out, const TVector3& v) { out = F(std::sqrt(double(Square(v.x)) + Square(v.y) + Square(v.z))); }

void VecDistance(float& out, const TVector3& a, const TVector3& b) {
  float dx = F(double(a.x) - b.x), dy = F(double(a.y) - b.y), dz = F(double(a.z) - b.z);
  out = F(std::sqrt(double(Square(dx)) + Square(dy) + Square(dz)));
}

void VecNormalize(const TVector3& v, TVector3& out) {
  float len;
  VecLength(len, v);
  if (len == 0.0f) {
    out = TVector3{0, 0, 0};
    return;
  }
  out = TVector3{F(double(v.x) / len), F(double(v.y) / len), F(double(v.z) / len)};
}

void VecRotateX(const TVector3& v, TAngle t, TVector3& out) {
  double c = CosOf(t), s = SinOf(t);
  out.x = v.x;
  out.y = F(v.y * c + v.z * s);
  out.z = F(-v.y * s + v.z * c);
}

void VecRotateY(const TVector3& v, TAngle t, TVector3& out) {
  double c = CosOf(t), s = SinOf(t);
  out.x = F(v.x * c - v.z * s);
  out.y = v.y;
  out.z = F(v.x * s + v.z * c);
}

void VecRotateZ(const TVector3& v, TAngle t, TVector3& out) {
  double c = CosOf(t), s = SinOf(t);
  out.x = F(v.x * c + v.y * s);
  out.y = F(-v.x * s + v.y * c);
  out.z = v.z;
}

void Vec4Transform(const TVector4& v, const TMatrix4& m, TVector4& out) {
  float r[4];
  for (int j = 0; j < 4; ++j)
    r[j] = F(double(v.x) * m.m[0][j] + double(v.y) * m.m[1][j] + double(v.z) * m.m[2][j] + double(v.w) * m.m[3][j]);
  out = TVector4{r[0], r[1], r[2], r[3]};
}

void Vec4Project(const TVector4& v, TVector4& out) {
  if (v.w == 0.0f) return;
  float w = F(1.0 / v.w);
  out = TVector4{F(double(v.x) * w), F(double(v.y) * w), F(double(v.z) * w), w};
}

void MatRotationX(TAngle t, TMatrix4& out) {
  float c = CosOf(t), s = SinOf(t);
  out = TMatrix4{{{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}}};
}

void MatRotationY(TAngle t, TMatrix4& out) {
  float c = CosOf(t), s = SinOf(t);
  out = TMatrix4{{{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}};
}

void MatRotationZ(TAngle t, TMatrix4& out) {
  float c = CosOf(t), s = SinOf(t);
  out = TMatrix4{{{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

void MatMultiply(const TMatrix4& a, const TMatrix4& b, TMatrix4& out) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      out.m[i][j] = F(double(a.m[i][0]) * b.m[0][j] + double(a.m[i][1]) * b.m[1][j] + double(a.m[i][2]) * b.m[2][j] +
                      double(a.m[i][3]) * b.m[3][j]);
}

void MatInvertRigid(const TMatrix4& m, TMatrix4& out) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out.m[i][j] = m.m[j][i];
    out.m[i][3] = 0;
  }
  const double tx = m.m[3][0], ty = m.m[3][1], tz = m.m[3][2];
  for (int i = 0; i < 3; ++i) out.m[3][i] = F(-(m.m[i][0] * tx + m.m[i][1] * ty + m.m[i][2] * tz));
  out.m[3][3] = 1;
}

TMatrix4 MatIdentity() { return TMatrix4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}; }
TMatrix4 MatZero() { return TMatrix4{}; }
