// Vectors, matrices and angles: the numeric vocabulary of the scene library and the game.
//
// Row vectors multiplied on the left (v' = v * M), translation in row 3, angles in
// 1/4096 of a turn read from two 4096-entry tables. Every stored component is a
// 32-bit float; intermediate sums are formed at higher precision and rounded once
// on store. None of these allocates or fails.
#pragma once

#include <array>
#include <cstdint>

struct TVector3 {
  float x, y, z;
};

struct TVector4 {
  float x, y, z, w;
};

// Row-major, laid out as Direct3D's D3DMATRIX (_11 .. _44): element (r, c) is m[r][c].
struct TMatrix4 {
  float m[4][4];
  float& operator()(int r, int c) { return m[r][c]; }
  float operator()(int r, int c) const { return m[r][c]; }
};

using TAngle = int32_t;

static_assert(sizeof(TVector3) == 12);
static_assert(sizeof(TVector4) == 16);
static_assert(sizeof(TMatrix4) == 64);

inline constexpr int kTrigTableSize = 4096;
inline constexpr TAngle kAngleMask = 0xFFF;

// The two process-wide tables; all zeros until InitTrigTables fills them.
extern std::array<float, kTrigTableSize> SinTable;
extern std::array<float, kTrigTableSize> CosTable;

void InitTrigTables();

inline float SinOf(TAngle t) { return SinTable[static_cast<unsigned>(t) & kAngleMask]; }
inline float CosOf(TAngle t) { return CosTable[static_cast<unsigned>(t) & kAngleMask]; }

TVector3 VecMake(float x, float y, float z);
void VecCopy(const TVector3& v, TVector3& out);
void VecToHomogeneous(const TVector3& v, TVector4& out);
float Square(float a);

// Safe in place (out may be a or b).
void VecAdd(const TVector3& a, const TVector3& b, TVector3& out);
void VecSub(const TVector3& a, const TVector3& b, TVector3& out);  // a - b
void VecNormalize(const TVector3& v, TVector3& out);
void Vec4Project(const TVector4& v, TVector4& out);

// Destination first, as the game calls them.
void VecLength(float& out, const TVector3& v);
void VecDistance(float& out, const TVector3& a, const TVector3& b);

// These need a destination distinct from the inputs: they write a component
// before they have read every input, as the game's callers expect.
void VecCross(const TVector3& a, const TVector3& b, TVector3& out);
void VecRotateX(const TVector3& v, TAngle t, TVector3& out);
void VecRotateY(const TVector3& v, TAngle t, TVector3& out);
void VecRotateZ(const TVector3& v, TAngle t, TVector3& out);
void Vec4Transform(const TVector4& v, const TMatrix4& m, TVector4& out);
void MatMultiply(const TMatrix4& a, const TMatrix4& b, TMatrix4& out);  // a * b
void MatInvertRigid(const TMatrix4& m, TMatrix4& out);

void MatRotationX(TAngle t, TMatrix4& out);
void MatRotationY(TAngle t, TMatrix4& out);
void MatRotationZ(TAngle t, TMatrix4& out);

// Conveniences used throughout the port.
TMatrix4 MatIdentity();
TMatrix4 MatZero();
