// The fast rasterizer's vertex stage: transforms for the draw, the lights it can reach, and each
// vertex transformed, lit and classified against the clip planes once per draw.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <span>
#include <type_traits>

#include "raster/FastDevice.h"

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN
namespace {

// The square in double precision, rounded once to float.
inline float Square(float a) { return static_cast<float>(double(a) * a); }

inline float Sat1(float v) { return v > 0.f ? (v < 1.f ? v : 1.f) : 0.f; }  // NaN gives 0

void Mul4(const float a[4][4], const Mat4& b, float out[4][4]) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a[i][k]) * b.m[k][j];
      out[i][j] = float(sum);
    }
}

inline void Argb(uint32_t v, float out[4]) {
  out[0] = float(v >> 16 & 255) * (1.f / 255.f);
  out[1] = float(v >> 8 & 255) * (1.f / 255.f);
  out[2] = float(v & 255) * (1.f / 255.f);
  out[3] = float(v >> 24) * (1.f / 255.f);
}

// Small vectors of floats, or of four lanes of floats (four vertices at a time), and the products
// of the vertex stage. Every sum runs left to right, one rounding per operation, in both forms,
// so a vertex gets the same bits whichever way it goes.
using simd::F4;
template <typename T>
struct Vec3 {
  T x, y, z;
};
template <typename T>
struct Vec4 {
  T x, y, z, w;
};
using V3 = Vec3<float>;
using V4 = Vec4<float>;

template <typename T>
inline T Broadcast(float v) {
  if constexpr (std::is_same_v<T, float>)
    return v;
  else
    return T::Set(v);
}
template <typename T>
inline T Dot(Vec3<T> a, Vec3<T> b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
// a scaled to length 1, or a itself when its length is 0.
inline V3 Normalized(V3 a) {
  const float len = std::sqrt(Dot(a, a));
  return len > 0 ? V3{a.x / len, a.y / len, a.z / len} : a;
}
template <typename V>
inline Vec3<V> Normalized(Vec3<V> a) {
  const V len = Sqrt(Dot(a, a));
  const V some = Greater(len, V::Set(0.0f));
  return {Select(some, a.x / len, a.x), Select(some, a.y / len, a.y), Select(some, a.z / len, a.z)};
}
// The row vector (p, 1) times a 4x4 matrix: its first three columns, or all four.
template <typename T>
inline T Column(const float m[4][4], Vec3<T> p, int j) {
  return p.x * Broadcast<T>(m[0][j]) + p.y * Broadcast<T>(m[1][j]) + p.z * Broadcast<T>(m[2][j]) +
         Broadcast<T>(m[3][j]);
}
template <typename T>
inline Vec3<T> TransformPoint(const float m[4][4], Vec3<T> p) {
  return {Column(m, p, 0), Column(m, p, 1), Column(m, p, 2)};
}
template <typename T>
inline Vec4<T> TransformPoint4(const float m[4][4], Vec3<T> p) {
  return {Column(m, p, 0), Column(m, p, 1), Column(m, p, 2), Column(m, p, 3)};
}
// The row vector (d, 0) times the upper 3x3 of a matrix.
template <typename T, typename M>
inline Vec3<T> TransformDirection(const M& m, Vec3<T> d) {
  auto column = [&](int j) {
    return d.x * Broadcast<T>(m[0][j]) + d.y * Broadcast<T>(m[1][j]) + d.z * Broadcast<T>(m[2][j]);
  };
  return {column(0), column(1), column(2)};
}

// The clip codes of a clip-space position in each lane (FastRasterizer::Outcode is lane 0 of
// this): kOutBad alone for a coordinate that is not finite; otherwise a bit for each plane it
// lies outside of: w too small, near and far (not for pretransformed vertices, which are not
// clipped there), the guard band and the viewport.
template <typename V>
inline void OutcodeLanes(const Vec4<V>& c, float guardX, float guardY, bool pretransformed, uint32_t* out) {
  constexpr int N = V::kLanes;
  const V zero = V::Set(0.0f);
  auto bit = [](uint32_t b) { return V::FromBits(b); };
  const V finite = And(And(LessEqual(c.x - c.x, zero), LessEqual(c.y - c.y, zero)),
                       And(LessEqual(c.z - c.z, zero), LessEqual(c.w - c.w, zero)));
  const V minusW = zero - c.w;  // compared with, the same as -w
  V code = And(Less(c.w, V::Set(float(kMinClipW))), bit(kOutW));
  if (!pretransformed) {
    code = Or(code, And(Less(c.z, zero), bit(kOutNear)));
    code = Or(code, And(Greater(c.z, c.w), bit(kOutFar)));
  }
  code = Or(code, And(Less(c.x, V::Set(-guardX) * c.w), bit(kOutLeft)));
  code = Or(code, And(Greater(c.x, V::Set(guardX) * c.w), bit(kOutRight)));
  code = Or(code, And(Less(c.y, V::Set(-guardY) * c.w), bit(kOutBottom)));
  code = Or(code, And(Greater(c.y, V::Set(guardY) * c.w), bit(kOutTop)));
  code = Or(code, And(Less(c.x, minusW), bit(kOffLeft)));
  code = Or(code, And(Greater(c.x, c.w), bit(kOffRight)));
  code = Or(code, And(Less(c.y, minusW), bit(kOffBottom)));
  code = Or(code, And(Greater(c.y, c.w), bit(kOffTop)));
  alignas(32) float lanes[N];
  Select(finite, code, bit(kOutBad)).Store(lanes);
  std::memcpy(out, lanes, sizeof lanes);
}

// Where texture coordinate set `set` sits in a vertex: the byte offsets of u and v, -1 for a
// coordinate the vertex does not have (it reads as 0).
struct TexCoordPlace {
  int u = -1, v = -1;
};
inline TexCoordPlace TexCoordsOf(const VertexLayout& l, uint32_t set) {
  TexCoordPlace t;
  if (int(set) < l.texCount) {
    t.u = l.texOffset[set];
    if (l.texSize[set] >= 2) t.v = l.texOffset[set] + 4;
  }
  return t;
}

// The inputs of a group of vertices in lanes: position, normal (0 without one), the diffuse and
// specular colours on 0..1 (white and black without them) and the texture coordinates of set
// `set`. Lane k holds vertex index[min(k, count - 1)].
template <typename V>
struct VertexLanes {
  Vec3<V> position, normal;
  V diffuse[4], specular[4];
  V u, v;  // the stage's texture coordinates (0 where the vertex has none)
};

template <typename V>
inline void LoadVertexLanes(const VertexLayout& l, const VertexData& vd, uint32_t set, const uint32_t* index, int count,
                            VertexLanes<V>& out) {
  constexpr int N = V::kLanes;
  alignas(32) float pos[3][N], nor[3][N] = {}, dif[4][N], spec[4][N], tu[N] = {}, tv[N] = {};
  const TexCoordPlace tc = TexCoordsOf(l, set);
  for (int k = 0; k < N; ++k) {
    const uint8_t* p = static_cast<const uint8_t*>(vd.data) + size_t(index[std::min(k, count - 1)]) * vd.stride;
    for (int c = 0; c < 3; ++c) pos[c][k] = ReadFloat(p + l.position + 4 * c);
    if (tc.u >= 0) tu[k] = ReadFloat(p + tc.u);
    if (tc.v >= 0) tv[k] = ReadFloat(p + tc.v);
    if (l.normal >= 0)
      for (int c = 0; c < 3; ++c) nor[c][k] = ReadFloat(p + l.normal + 4 * c);
    float dif4[4] = {1.0f, 1.0f, 1.0f, 1.0f}, spec4[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (l.diffuse >= 0) Argb(ReadU32(p + l.diffuse), dif4);
    if (l.specular >= 0) Argb(ReadU32(p + l.specular), spec4);
    for (int c = 0; c < 4; ++c) {
      dif[c][k] = dif4[c];
      spec[c][k] = spec4[c];
    }
  }
  out.position = {V::Load(pos[0]), V::Load(pos[1]), V::Load(pos[2])};
  out.normal = {V::Load(nor[0]), V::Load(nor[1]), V::Load(nor[2])};
  for (int c = 0; c < 4; ++c) {
    out.diffuse[c] = V::Load(dif[c]);
    out.specular[c] = V::Load(spec[c]);
  }
  out.u = V::Load(tu);
  out.v = V::Load(tv);
}

#if defined(TAVVY_FAST_AVX2)
// Eight vertices gathered straight from the vertex buffer, the colours split into channels in
// the lanes: the same values as the loop above, without going through memory a value at a time.
TAVVY_SIMD_AVX2 simd::F8 GatherFloats(const uint8_t* base, __m256i offset) {
  return {_mm256_i32gather_ps(reinterpret_cast<const float*>(base), offset, 1)};
}
TAVVY_SIMD_AVX2 simd::F8 ChannelOf(__m256i v, int shift) {
  const __m256i byte = _mm256_srli_epi32(v, shift);
  return {_mm256_mul_ps(_mm256_cvtepi32_ps(shift == 24 ? byte : _mm256_and_si256(byte, _mm256_set1_epi32(255))),
                        _mm256_set1_ps(1.f / 255.f))};
}
// Argb of the 32-bit colours at base + offset.
TAVVY_SIMD_AVX2 void GatherArgb(const uint8_t* base, __m256i offset, simd::F8 out[4]) {
  const __m256i v = _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), offset, 1);
  out[0] = ChannelOf(v, 16);
  out[1] = ChannelOf(v, 8);
  out[2] = ChannelOf(v, 0);
  out[3] = ChannelOf(v, 24);
}
TAVVY_SIMD_AVX2 void LoadVertexLanes(const VertexLayout& l, const VertexData& vd, uint32_t set, const uint32_t* index,
                                     int count, VertexLanes<simd::F8>& out) {
  using simd::F8;
  // A gather reaches 2 GB from its base: a bigger vertex buffer goes the slow way.
  if (size_t(vd.count) * vd.stride > size_t(INT32_MAX - 64)) return LoadVertexLanes<F8>(l, vd, set, index, count, out);
  __m256i off;
  if (count == 8) {
    off = _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(index)),
                             _mm256_set1_epi32(int32_t(vd.stride)));
  } else {
    alignas(32) int32_t offset[8];
    for (int k = 0; k < 8; ++k) offset[k] = int32_t(size_t(index[std::min(k, count - 1)]) * vd.stride);
    off = _mm256_load_si256(reinterpret_cast<const __m256i*>(offset));
  }
  const uint8_t* base = static_cast<const uint8_t*>(vd.data);
  out.position = {GatherFloats(base + l.position, off), GatherFloats(base + l.position + 4, off),
                  GatherFloats(base + l.position + 8, off)};
  const F8 zero = F8::Set(0.0f);
  out.normal = {zero, zero, zero};
  if (l.normal >= 0)
    out.normal = {GatherFloats(base + l.normal, off), GatherFloats(base + l.normal + 4, off),
                  GatherFloats(base + l.normal + 8, off)};
  for (int c = 0; c < 4; ++c) {
    out.diffuse[c] = F8::Set(1.0f);
    out.specular[c] = zero;
  }
  if (l.diffuse >= 0) GatherArgb(base + l.diffuse, off, out.diffuse);
  if (l.specular >= 0) GatherArgb(base + l.specular, off, out.specular);
  const TexCoordPlace tc = TexCoordsOf(l, set);
  out.u = tc.u >= 0 ? GatherFloats(base + tc.u, off) : zero;
  out.v = tc.v >= 0 ? GatherFloats(base + tc.v, off) : zero;
}

// The lanes' results into their vertices: verts[index[k]] gets lane k's position, colours and
// texture coordinates for k < count, as the one-lane-at-a-time loop at the end of QuadBody
// writes them, in three stores a vertex.
static_assert(offsetof(FVert, c) == 16 && offsetof(FVert, u) == 48 && offsetof(FVert, v) == 52);
TAVVY_SIMD_AVX2 void StoreVertexLanes(const simd::F8 clip[4], const simd::F8 colour[8], simd::F8 u, simd::F8 v,
                                      const uint32_t* index, int count, FVert* verts) {
  // The first eight floats of each vertex (x y z w and the diffuse colour) by an 8 x 8 transpose:
  // within each 128-bit half first, then the halves of lanes 0-3 and 4-7 put together.
  const __m256 r[8] = {clip[0].v, clip[1].v, clip[2].v, clip[3].v, colour[0].v, colour[1].v, colour[2].v, colour[3].v};
  __m256 t[8], q[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    q[i] = _mm256_shuffle_ps(t[i], t[i + 2], 0x44);
    q[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], 0xEE);
    q[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0x44);
    q[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0xEE);
  }
  // q[0..3]: lanes 0-3's x y z w (and 4-7's in the high halves); q[4..7] the same of the colour.
  __m256 head[8];
  for (int k = 0; k < 4; ++k) {
    head[k] = _mm256_permute2f128_ps(q[k], q[4 + k], 0x20);
    head[4 + k] = _mm256_permute2f128_ps(q[k], q[4 + k], 0x31);
  }
  // The specular colour: four values a vertex.
  const __m256 s01lo = _mm256_unpacklo_ps(colour[4].v, colour[5].v),
               s01hi = _mm256_unpackhi_ps(colour[4].v, colour[5].v);
  const __m256 s23lo = _mm256_unpacklo_ps(colour[6].v, colour[7].v),
               s23hi = _mm256_unpackhi_ps(colour[6].v, colour[7].v);
  const __m256 spec[4] = {_mm256_shuffle_ps(s01lo, s23lo, 0x44), _mm256_shuffle_ps(s01lo, s23lo, 0xEE),
                          _mm256_shuffle_ps(s01hi, s23hi, 0x44), _mm256_shuffle_ps(s01hi, s23hi, 0xEE)};
  const __m256 uvlo = _mm256_unpacklo_ps(u.v, v.v), uvhi = _mm256_unpackhi_ps(u.v, v.v);
  for (int k = 0; k < count; ++k) {
    float* o = &verts[index[k]].x;
    _mm256_storeu_ps(o, head[k]);
    const __m256 sp = spec[k & 3];
    _mm_storeu_ps(o + 8, k < 4 ? _mm256_castps256_ps128(sp) : _mm256_extractf128_ps(sp, 1));
    const __m256 uv = (k & 2) ? uvhi : uvlo;
    const __m128 half = k < 4 ? _mm256_castps256_ps128(uv) : _mm256_extractf128_ps(uv, 1);
    _mm_storel_pi(reinterpret_cast<__m64*>(o + 12), (k & 1) ? _mm_movehl_ps(half, half) : half);
  }
}
#endif

}  // namespace

void FastRasterizer::PrepareTransforms(const State& s) {
  float world[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      world[i][j] = s.world.m[i][j];
      view_[i][j] = s.view.m[i][j];
    }
  Mul4(world, s.view, wv_);
  Mul4(wv_, s.projection, wvp_);
  // Inverse transpose of the upper 3x3 for normals (cofactors over the determinant).
  const double a = wv_[0][0], b = wv_[0][1], c = wv_[0][2], d = wv_[1][0], e = wv_[1][1], f = wv_[1][2], g = wv_[2][0],
               h = wv_[2][1], i = wv_[2][2];
  const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
  const double D = -(b * i - c * h), E = a * i - c * g, F = -(a * h - b * g);
  const double G = b * f - c * e, H = -(a * f - c * d), I = a * e - b * d;
  const double det = a * A + b * B + c * C;
  const double k = det != 0 ? 1.0 / det : 0.0;
  const double n[3][3] = {{A * k, B * k, C * k}, {D * k, E * k, F * k}, {G * k, H * k, I * k}};
  for (int r = 0; r < 3; ++r)
    for (int q = 0; q < 3; ++q) normal_.m[r][q] = float(n[r][q]);
}

// Every light of the state in camera space (viewLights_), prepared again only when the lights or
// the view differ from the last draw's.
void FastRasterizer::KeepViewLights(const State& s) {
  // (Compared byte for byte: a value with other bits, such as -0 for 0, only prepares them again.)
  // A caller that numbers its light sets spares the comparison of every light at every draw.
  const ViewBits view = std::bit_cast<ViewBits>(view_);
  const bool sameView = viewLightsValid_ && view == viewLightsView_;
  if (sameView && s.lightsVersion != 0 && s.lightsVersion == viewLightsVersion_) return;
  const std::span<const std::byte> lightBytes = std::as_bytes(std::span(s.lights));
  const bool same = sameView && lightBytes.size() == viewLightsOf_.size() &&
                    std::memcmp(lightBytes.data(), viewLightsOf_.data(), lightBytes.size()) == 0;
  viewLightsVersion_ = s.lightsVersion;
  if (same) return;
  viewLights_.clear();
  for (const Light& l : s.lights) {
    PreparedLight p;
    p.directional = l.type == LightType::Directional;
    p.spot = l.type == LightType::Spot;
    if (p.directional) {
      const V3 towards = Normalized(TransformDirection(view_, V3{-l.direction.x, -l.direction.y, -l.direction.z}));
      p.px = towards.x;
      p.py = towards.y;
      p.pz = towards.z;
    } else {
      if (!(l.range >= 0)) continue;
      const V3 at = TransformPoint(view_, V3{l.position.x, l.position.y, l.position.z});
      p.px = at.x;
      p.py = at.y;
      p.pz = at.z;
      p.range = l.range;
      p.range2 = l.range * l.range * 1.0001f;  // a loose first test; the exact one follows
      p.a0 = l.attenuation0;
      p.a1 = l.attenuation1;
      p.a2 = l.attenuation2;
      if (p.spot) {
        const V3 axis = Normalized(TransformDirection(view_, V3{l.direction.x, l.direction.y, l.direction.z}));
        p.sx = axis.x;
        p.sy = axis.y;
        p.sz = axis.z;
        p.cosTheta = std::cos(l.theta * 0.5f);
        p.cosPhi = std::cos(l.phi * 0.5f);
        p.falloff = l.falloff;
      }
    }
    p.dr = l.diffuse.r;
    p.dg = l.diffuse.g;
    p.db = l.diffuse.b;
    p.sr = l.specular.r;
    p.sg = l.specular.g;
    p.sb = l.specular.b;
    p.ar = l.ambient.r;
    p.ag = l.ambient.g;
    p.ab = l.ambient.b;
    viewLights_.push_back(p);
  }
  viewLightsOf_.assign(lightBytes.begin(), lightBytes.end());
  viewLightsView_ = view;
  viewLightsValid_ = true;
  FillLightTable();
}

void FastRasterizer::FillLightTable() {
  const size_t count = viewLights_.size();
  soa_.resize(count * kSoaFields);
  soaDirectional_.resize(count);
  for (size_t j = 0; j < count; ++j) {
    const PreparedLight& p = viewLights_[j];
    const bool d = p.directional;
    const float f[kSoaFields] = {p.px,
                                 p.py,
                                 p.pz,
                                 d ? 0.0f : 1.0f,
                                 d ? INFINITY : p.range,
                                 d ? 1.0f : p.a0,
                                 d ? 0.0f : p.a1,
                                 d ? 0.0f : p.a2,
                                 p.dr,
                                 p.dg,
                                 p.db,
                                 p.ar,
                                 p.ag,
                                 p.ab,
                                 p.sr,
                                 p.sg,
                                 p.sb};
    for (int k = 0; k < sUx; ++k) soa_[size_t(k) * count + j] = f[k];
    soaDirectional_[j] = d;
    if (d) {
      // What the lanes would compute for every vertex (whose camera position, times sKeep = 0,
      // drops out), once: the same operations in the same order, so the same bits.
      const float lx = p.px, ly = p.py, lz = p.pz;
      const float d2 = lx * lx + ly * ly + lz * lz;
      const float dist = std::sqrt(d2);
      const bool inRange = dist <= INFINITY;
      const float den = std::max(1.0f + 0.0f * dist + 0.0f * d2, float(kMinAttenuationDenominator));
      const float att = inRange ? 1.0f / den : 0.0f;
      const float invd = dist > 0.0f ? 1.0f / dist : 0.0f;
      const float ux = lx * invd, uy = ly * invd, uz = lz * invd;
      const float hx = ux + 0.0f, hy = uy + 0.0f, hz = uz + -1.0f;
      const float g[] = {ux, uy, uz, att, inRange ? 1.0f : 0.0f, hx, hy, hz, std::sqrt(hx * hx + hy * hy + hz * hz)};
      for (int k = sUx; k < kSoaFields; ++k) soa_[size_t(k) * count + j] = g[k - sUx];
    } else {
      for (int k = sUx; k < kSoaFields; ++k) soa_[size_t(k) * count + j] = 0.0f;
    }
  }
}

void FastRasterizer::PrepareLights(const State& s, const VertexData& vd) {
  lightColumns_.clear();  // no lights from an earlier draw
  soaUsable_ = true;
  if (!s.rs.lighting || layout_.pretransformed || s.lights.empty()) return;
  // Bounding sphere of the draw in camera space, so lights that cannot reach it are skipped.
  float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  const uint8_t* base = static_cast<const uint8_t*>(vd.data);
  const uint32_t n = std::min<uint32_t>(vd.count, 65536);
  bool finite = true;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* p = base + size_t(i) * vd.stride + layout_.position;
    for (int k = 0; k < 3; ++k) {
      const float v = ReadFloat(p + 4 * k);
      lo[k] = std::min(lo[k], v);
      hi[k] = std::max(hi[k], v);
    }
  }
  float cx = 0.5f * (lo[0] + hi[0]), cy = 0.5f * (lo[1] + hi[1]), cz = 0.5f * (lo[2] + hi[2]);
  float radius = 0.5f * std::sqrt(Square(hi[0] - lo[0]) + Square(hi[1] - lo[1]) + Square(hi[2] - lo[2]));
  float scale = 0;
  for (int r = 0; r < 3; ++r)
    scale = std::max(scale, std::sqrt(Square(wv_[r][0]) + Square(wv_[r][1]) + Square(wv_[r][2])));
  radius *= scale * 1.0001f;
  const V3 centre = TransformPoint(wv_, V3{cx, cy, cz});
  finite = std::isfinite(centre.x) && std::isfinite(centre.y) && std::isfinite(centre.z) && std::isfinite(radius);

  // The lights in camera space, again only when the lights or the view changed.
  KeepViewLights(s);
  for (size_t i = 0; i < viewLights_.size(); ++i) {
    const PreparedLight& p = viewLights_[i];
    if (!p.directional && finite) {
      // Cannot reach any vertex of this draw. (The lights kept decide the order of the sums, so
      // the answer must be exactly the square root's.)
      const float d2 = Square(p.px - centre.x) + Square(p.py - centre.y) + Square(p.pz - centre.z);
      if (BeyondReach(d2, p.range + radius)) continue;
    }
    lightColumns_.push_back(uint32_t(i));
    soaUsable_ = soaUsable_ && !p.spot;
  }
}

void FastRasterizer::ProcessVertex(const State& s, const VertexData& vd, uint32_t index, FVert& o, uint32_t& outcode) {
  const VertexLayout& l = layout_;
  const uint8_t* p = static_cast<const uint8_t*>(vd.data) + size_t(index) * vd.stride;
  const float px = ReadFloat(p + l.position), py = ReadFloat(p + l.position + 4), pz = ReadFloat(p + l.position + 8);
  float vdif[4] = {1, 1, 1, 1}, vspec[4] = {0, 0, 0, 0};
  if (l.diffuse >= 0) Argb(ReadU32(p + l.diffuse), vdif);
  if (l.specular >= 0) Argb(ReadU32(p + l.specular), vspec);
  const TexCoordPlace tc = TexCoordsOf(l, s.stage0.texCoordIndex & 0xFFFF);
  o.u = tc.u >= 0 ? ReadFloat(p + tc.u) : 0.0f;
  o.v = tc.v >= 0 ? ReadFloat(p + tc.v) : 0.0f;

  float cx, cy, cz;  // camera space (for lighting)
  if (l.pretransformed) {
    const float rhw = ReadFloat(p + l.position + 12);
    const Viewport& vp = s.viewport;
    const float w = 1.0f / rhw;
    const float dz = vp.maxZ - vp.minZ;
    const float k = float(vp.scale);
    o.x = ((px - float(vp.x) / k) / (float(vp.width) / k * 0.5f) - 1.0f) * w;
    o.y = (1.0f - (py - float(vp.y) / k) / (float(vp.height) / k * 0.5f)) * w;
    o.z = (dz != 0 ? (pz - vp.minZ) / dz : pz) * w;
    o.w = rhw > 0 ? w : -1.0f;
    cx = cy = cz = 0;
  } else {
    const V3 camera = TransformPoint(wv_, V3{px, py, pz});
    cx = camera.x;
    cy = camera.y;
    cz = camera.z;
    const V4 clip = TransformPoint4(wvp_, V3{px, py, pz});
    o.x = clip.x;
    o.y = clip.y;
    o.z = clip.z;
    o.w = clip.w;
  }

  if (!s.rs.lighting || l.pretransformed) {
    for (int k = 0; k < 4; ++k) {
      o.c[k] = vdif[k] * 255.f;
      o.c[4 + k] = vspec[k] * 255.f;
    }
  } else {
    float nx = 0, ny = 0, nz = 0;
    if (l.normal >= 0) {
      const float ax = ReadFloat(p + l.normal), ay = ReadFloat(p + l.normal + 4), az = ReadFloat(p + l.normal + 8);
      V3 n = TransformDirection(normal_.m, V3{ax, ay, az});
      if (s.rs.normalizeNormals) n = Normalized(n);
      nx = n.x;
      ny = n.y;
      nz = n.z;
    }
    float ex = 0, ey = 0, ez = -1;  // towards an eye infinitely far back
    if (s.rs.localViewer && needSpecular_) {
      const float len = std::sqrt(cx * cx + cy * cy + cz * cz);
      if (len > 0) {
        ex = -cx / len;
        ey = -cy / len;
        ez = -cz / len;
      } else {
        ez = 0;
      }
    }
    float amb[3], dif[3] = {0, 0, 0}, spe[3] = {0, 0, 0};
    {
      float g[4];
      Argb(s.rs.ambient, g);
      amb[0] = g[0];
      amb[1] = g[1];
      amb[2] = g[2];
    }
    const float power = s.material.power;
    // Only draws with a spot light come here lit (the others go through the lanes), so the
    // lights go one at a time, the spot cone included.
    for (const uint32_t column : lightColumns_) {
      const PreparedLight& L = viewLights_[column];
      float lx, ly, lz, atten = 1.0f;
      if (L.directional) {
        lx = L.px;
        ly = L.py;
        lz = L.pz;
      } else {
        lx = L.px - cx;
        ly = L.py - cy;
        lz = L.pz - cz;
        const float d2 = lx * lx + ly * ly + lz * lz;
        if (!(d2 <= L.range2)) continue;
        const float dist = std::sqrt(d2);
        if (!(dist <= L.range)) continue;
        if (dist > 0) {
          const float inv = 1.0f / dist;
          lx *= inv;
          ly *= inv;
          lz *= inv;
        }
        atten = 1.0f / std::max(L.a0 + L.a1 * dist + L.a2 * d2, float(kMinAttenuationDenominator));
        if (L.spot) {
          const float rho = -(L.sx * lx + L.sy * ly + L.sz * lz);
          if (rho <= L.cosPhi) continue;
          if (rho < L.cosTheta) {
            const float t = (rho - L.cosPhi) / (L.cosTheta - L.cosPhi);
            atten *= L.falloff == 1.0f ? t : std::pow(t, L.falloff);
          }
        }
      }
      amb[0] += L.ar * atten;
      amb[1] += L.ag * atten;
      amb[2] += L.ab * atten;
      const float ndl = nx * lx + ny * ly + nz * lz;
      if (ndl > 0) {
        const float k = ndl * atten;
        dif[0] += L.dr * k;
        dif[1] += L.dg * k;
        dif[2] += L.db * k;
        if (needSpecular_) {
          float hx = lx + ex, hy = ly + ey, hz = lz + ez;
          const float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
          if (hl > 0) {
            const float ndh = (nx * hx + ny * hy + nz * hz) / hl;
            if (ndh > 0) {
              const float ks = std::pow(ndh, power) * atten;
              spe[0] += L.sr * ks;
              spe[1] += L.sg * ks;
              spe[2] += L.sb * ks;
            }
          }
        }
      }
    }
    LitColours(s, vdif, vspec, amb, dif, spe, o);
  }
  outcode = Outcode(o);
}

void FastRasterizer::LitColours(const State& s, const float* vdif, const float* vspec, const float* amb,
                                const float* dif, const float* spe, FVert& o) const {
  const VertexLayout& l = layout_;
  auto source = [&](MaterialSource src, const Color& m, float out[4]) {
    if (s.rs.colorVertex && src == MaterialSource::Color1 && l.diffuse >= 0) {
      std::copy(vdif, vdif + 4, out);
    } else if (s.rs.colorVertex && src == MaterialSource::Color2 && l.specular >= 0) {
      std::copy(vspec, vspec + 4, out);
    } else {
      out[0] = m.r;
      out[1] = m.g;
      out[2] = m.b;
      out[3] = m.a;
    }
  };
  float md[4], ma[4], ms[4], me[4];
  source(s.rs.diffuseMaterialSource, s.material.diffuse, md);
  source(s.rs.ambientMaterialSource, s.material.ambient, ma);
  source(s.rs.specularMaterialSource, s.material.specular, ms);
  source(s.rs.emissiveMaterialSource, s.material.emissive, me);
  for (int k = 0; k < 3; ++k) {
    o.c[k] = Sat1(ma[k] * amb[k] + md[k] * dif[k] + me[k]) * 255.f;
    o.c[4 + k] = Sat1(ms[k] * spe[k]) * 255.f;
  }
  o.c[3] = Sat1(md[3]) * 255.f;
  o.c[7] = Sat1(vspec[3]) * 255.f;
}

uint32_t FastRasterizer::Outcode(const FVert& o) const {
  uint32_t codes[F4::kLanes];
  OutcodeLanes(Vec4<F4>{F4::Set(o.x), F4::Set(o.y), F4::Set(o.z), F4::Set(o.w)}, guardX_, guardY_,
               layout_.pretransformed, codes);
  return codes[0];
}

void FastRasterizer::ProcessVertices(const State& s, const VertexData& vd) {
  // Pretransformed vertices and spot lights go one vertex at a time.
  const bool lanes = !layout_.pretransformed && (!s.rs.lighting || soaUsable_);
  if (!lanes) {
    for (size_t k = 0; k < pendingCount_; ++k) {
      const uint32_t v = pending_[k];
      ProcessVertex(s, vd, v, verts_[v], outcodes_[v]);
    }
    return;
  }
  // Every vertex is lit on its own and written to its own slot, so a large draw's vertices are
  // shared out among the render threads in runs of whole lane groups, with the same bits.
  const size_t count = pendingCount_;
  const int threads = pool_.Size();
  if (batchRunning_ && count >= 2 * kVertexRun) {
    // The render threads are drawing the batch; those that run out of rows light vertices too.
    VertexWork& w = vertexWork_;
    w.state = &s;
    w.vd = &vd;
    w.runs = (count + kVertexRun - 1) / kVertexRun;
    w.next.store(0, std::memory_order_relaxed);
    w.left.store(w.runs, std::memory_order_relaxed);
    published_.fetch_or(kVertexWork, std::memory_order_seq_cst);
    published_.notify_all();
    TakeVertexRuns();
    while (w.left.load(std::memory_order_acquire) != 0) Relax();
    // No helper may still read the fields when the next draw sets them.
    published_.fetch_and(~kVertexWork, std::memory_order_seq_cst);
    while (w.helpers.load(std::memory_order_seq_cst) != 0) Relax();
    return;
  }
  if (threads > 1 && count >= kMinParallelVertices && !batching_) {
    vertexData_ = &vd;
    const std::function<void(int)> job = [this, threads](int thread) {
      const size_t n = pendingCount_, share = ((n + size_t(threads) - 1) / size_t(threads) + 7) / 8 * 8;
      const size_t begin = std::min(n, share * size_t(thread)), end = std::min(n, begin + share);
      ProcessLanes(*state_, *vertexData_, begin, end);
    };
    pool_.Run(job);
    return;
  }
  ProcessLanes(s, vd, 0, count);
}

void FastRasterizer::TakeVertexRuns() {
  VertexWork& w = vertexWork_;
  for (;;) {
    const size_t run = w.next.fetch_add(1, std::memory_order_relaxed);
    if (run >= w.runs) return;
    const size_t begin = run * kVertexRun;
    ProcessLanes(*w.state, *w.vd, begin, std::min(pendingCount_, begin + kVertexRun));
    w.left.fetch_sub(1, std::memory_order_release);
  }
}

void FastRasterizer::HelpWithVertices() {
  VertexWork& w = vertexWork_;
  // Counted in before looking: the caller clears the flag and then waits for no helper, so a
  // helper either sees the flag gone or is waited for.
  w.helpers.fetch_add(1, std::memory_order_seq_cst);
  if (published_.load(std::memory_order_seq_cst) & kVertexWork) TakeVertexRuns();
  w.helpers.fetch_sub(1, std::memory_order_release);
}

void FastRasterizer::ProcessLanes(const State& s, const VertexData& vd, size_t begin, size_t end) {
#if defined(TAVVY_FAST_AVX2)
  if (avx2_) {
    for (size_t i = begin; i < end; i += 8) ProcessOctet(s, vd, pending_.data() + i, int(std::min<size_t>(8, end - i)));
    return;
  }
#endif
  for (size_t i = begin; i < end; i += 4) ProcessQuad(s, vd, pending_.data() + i, int(std::min<size_t>(4, end - i)));
}

// Four vertices in the four lanes (eight where the CPU has AVX2; the last repeated when there
// are fewer). The lights are summed per vertex exactly as the one-vertex loop of earlier versions
// did with the lights in the lanes (a running sum for each light position modulo 4, then
// (s0 + s1) + (s2 + s3), and a group of four lights adding only when one of them reaches the
// vertex), so the frames are the same bits. Every lane is one vertex and nothing crosses lanes,
// so the width does not change them either.
void FastRasterizer::ProcessQuad(const State& s, const VertexData& vd, const uint32_t* index, int count) {
  QuadBody<F4>(s, vd, index, count);
}
#if defined(TAVVY_FAST_AVX2)
void FastRasterizer::ProcessOctet(const State& s, const VertexData& vd, const uint32_t* index, int count) {
  QuadBody<simd::F8>(s, vd, index, count);
}
#endif

template <typename V>
void FastRasterizer::QuadBody(const State& s, const VertexData& vd, const uint32_t* index, int count) {
  constexpr int N = V::kLanes;
  const VertexLayout& l = layout_;
  VertexLanes<V> in;
  LoadVertexLanes(l, vd, s.stage0.texCoordIndex & 0xFFFF, index, count, in);
  const Vec3<V>& position = in.position;
  alignas(32) float clip[4][N];
  alignas(32) uint32_t codes[N];
  {
    const Vec4<V> c = TransformPoint4(wvp_, position);
    c.x.Store(clip[0]);
    c.y.Store(clip[1]);
    c.z.Store(clip[2]);
    c.w.Store(clip[3]);
    OutcodeLanes(c, guardX_, guardY_, layout_.pretransformed, codes);
  }

  const V zero = V::Set(0.0f);
  // The vertex colours on the 0..255 scale: diffuse r g b a, specular r g b a.
  alignas(32) float colour[8][N];
  const bool lit = s.rs.lighting;
  if (lit) {
    const Vec3<V> camera = TransformPoint(wv_, position);
    Vec3<V> n{zero, zero, zero};
    if (l.normal >= 0) {
      n = TransformDirection(normal_.m, in.normal);
      if (s.rs.normalizeNormals) n = Normalized(n);
    }
    Vec3<V> eye{zero, zero, V::Set(-1.0f)};  // towards an eye infinitely far back
    const bool localEye = s.rs.localViewer && needSpecular_;
    const V allLanes = V::FromBits(0xFFFFFFFFu);
    if (localEye) {
      const V len = Sqrt(Dot(camera, camera)), some = Greater(len, zero), minus = V::Set(-1.0f);
      eye = {And(some, camera.x * minus / len), And(some, camera.y * minus / len), And(some, camera.z * minus / len)};
    }
    // sum[c][g]: channel c (ambient, diffuse, specular; r g b) of the lights at positions g mod 4.
    V sum[9][4];
    for (auto& channel : sum) std::fill(channel, channel + 4, zero);
    const V one = V::Set(1.0f), minDen = V::Set(float(kMinAttenuationDenominator));
    const V power = V::Set(s.material.power);
    // Light j of the draw is column lightColumns_[j] of the table: table[field][j] is its field.
    const size_t lights = lightColumns_.size(), stride = viewLights_.size();
    struct Table {
      const float* fields;
      const uint8_t* isDirectional;
      const uint32_t* columns;
      size_t stride;
      float operator()(int field, size_t j) const { return fields[size_t(field) * stride + columns[j]]; }
      bool directional(size_t j) const { return isDirectional[columns[j]] != 0; }
    } const table{soa_.data(), soaDirectional_.data(), lightColumns_.data(), stride};
    auto at = [&](int field, size_t j) { return V::Set(table(field, j)); };
    // Light j's ray from the vertices (a point light's; a directional light has none), its
    // squared length, length and reach.
    struct Ray {
      V lx, ly, lz, d2, dist, inRange;
    };
    auto ray = [&](size_t j, Ray& r) {
      const V keep = at(sKeep, j);
      r.lx = at(sPx, j) - camera.x * keep;
      r.ly = at(sPy, j) - camera.y * keep;
      r.lz = at(sPz, j) - camera.z * keep;
      r.d2 = r.lx * r.lx + r.ly * r.ly + r.lz * r.lz;
    };
    auto reaches = [&](size_t j, Ray& r) {
      if (table.directional(j)) return table(sInRange, j) > 0 ? allLanes : zero;
      ray(j, r);
      r.dist = Sqrt(r.d2);
      r.inRange = LessEqual(r.dist, at(sRange, j));
      return r.inRange;
    };
    // Light j's attenuation and unit vector towards it.
    auto towardsLight = [&](size_t j, const Ray& r, V& att, V& ux, V& uy, V& uz) {
      if (table.directional(j)) {
        att = at(sAtt, j);
        ux = at(sUx, j);
        uy = at(sUy, j);
        uz = at(sUz, j);
        return;
      }
      const V den = Max(at(sA0, j) + at(sA1, j) * r.dist + at(sA2, j) * r.d2, minDen);
      att = And(r.inRange, one / den);
      const V invd = And(Greater(r.dist, zero), one / r.dist);
      ux = r.lx * invd;
      uy = r.ly * invd;
      uz = r.lz * invd;
    };
    // Light j's ambient and diffuse terms (k: N.L times the attenuation, 0 facing away), each
    // handed to add(channel, term) for its running sum.
    auto addTerms = [&](size_t j, V reach, V att, V k, auto&& add) {
      add(0, And(reach, at(sAr, j) * att));
      add(1, And(reach, at(sAg, j) * att));
      add(2, And(reach, at(sAb, j) * att));
      add(3, And(reach, at(sDr, j) * k));
      add(4, And(reach, at(sDg, j) * k));
      add(5, And(reach, at(sDb, j) * k));
    };
    // Without a specular term, each position g mod 4 is a sum of its own: taken one position
    // at a time, its six running sums stay in registers. Which groups of four lights reach a
    // vertex at all is found first (a group that reaches none adds nothing), and the distances
    // are kept for the second pass.
    constexpr size_t kMaxSplitLights = 256;
    if (!needSpecular_ && lights <= kMaxSplitLights) {
      alignas(32) float reachOf[kMaxSplitLights / 4][N], distOf[kMaxSplitLights][N];
      bool anyOf[kMaxSplitLights / 4];
      for (size_t j0 = 0; j0 < lights; j0 += 4) {
        V reach = zero;
        for (size_t j = j0; j < std::min(lights, j0 + 4); ++j) {
          Ray r;
          reach = Or(reach, reaches(j, r));
          if (!table.directional(j)) r.dist.Store(distOf[j]);
        }
        reach.Store(reachOf[j0 / 4]);
        anyOf[j0 / 4] = Any(reach);
      }
      for (size_t g = 0; g < 4; ++g) {
        V acc[6] = {zero, zero, zero, zero, zero, zero};
        for (size_t j = g; j < lights; j += 4) {
          if (!anyOf[j / 4]) continue;
          const V reach = V::Load(reachOf[j / 4]);
          Ray r;
          if (!table.directional(j)) {
            ray(j, r);
            r.dist = V::Load(distOf[j]);
            r.inRange = LessEqual(r.dist, at(sRange, j));
          }
          V att, ux, uy, uz;
          towardsLight(j, r, att, ux, uy, uz);
          const V ndl = n.x * ux + n.y * uy + n.z * uz;
          const V k = And(Greater(ndl, zero), ndl * att);
          addTerms(j, reach, att, k, [&](int c, V term) { acc[c] = acc[c] + term; });
        }
        for (int c = 0; c < 6; ++c) sum[c][g] = acc[c];
      }
    } else {
      for (size_t j0 = 0; j0 < lights; j0 += 4) {
        const int group = int(std::min<size_t>(4, lights - j0));
        // Distances first: a group of lights that reaches none of the vertices adds nothing.
        Ray r[4];
        V reach = zero;
        for (int g = 0; g < group; ++g) reach = Or(reach, reaches(j0 + size_t(g), r[g]));
        if (!Any(reach)) continue;
        // The specular terms wait for shineAny; the others go straight into their sums.
        V spec[3][4], shineAny = zero;
        for (int g = 0; g < group; ++g) {
          const size_t j = j0 + size_t(g);
          V att, ux, uy, uz;
          towardsLight(j, r[g], att, ux, uy, uz);
          const V ndl = n.x * ux + n.y * uy + n.z * uz;
          const V towards = Greater(ndl, zero);
          const V k = And(towards, ndl * att);
          addTerms(j, reach, att, k, [&](int c, V term) { sum[c][g] = sum[c][g] + term; });
          if (needSpecular_) {
            V ndh;
            if (table.directional(j) && !localEye) {
              ndh = (n.x * at(sHx, j) + n.y * at(sHy, j) + n.z * at(sHz, j)) / at(sHlen, j);
            } else {
              const V hx = ux + eye.x, hy = uy + eye.y, hz = uz + eye.z;
              ndh = (n.x * hx + n.y * hy + n.z * hz) / Sqrt(hx * hx + hy * hy + hz * hz);
            }
            const V shine = And(towards, Greater(ndh, zero));  // NaN (h of length 0) fails too
            shineAny = Or(shineAny, shine);
            const V ks = Any(shine) ? And(shine, simd::Pow(ndh, power) * att) : zero;
            spec[0][g] = at(sSr, j) * ks;
            spec[1][g] = at(sSg, j) * ks;
            spec[2][g] = at(sSb, j) * ks;
          }
        }
        if (needSpecular_) {
          const V shone = And(reach, shineAny);
          for (int g = 0; g < group; ++g)
            for (int c = 0; c < 3; ++c) sum[6 + c][g] = sum[6 + c][g] + And(shone, spec[c][g]);
        }
      }
    }
    float g[4];
    Argb(s.rs.ambient, g);
    auto total = [&](const V* t) { return (t[0] + t[1]) + (t[2] + t[3]); };
    // The material's colours, or the vertex's where a colour source says so.
    auto source = [&](MaterialSource src, const Color& m, V out[4]) {
      const float mc[4] = {m.r, m.g, m.b, m.a};
      for (int c = 0; c < 4; ++c) {
        if (s.rs.colorVertex && src == MaterialSource::Color1 && l.diffuse >= 0)
          out[c] = in.diffuse[c];
        else if (s.rs.colorVertex && src == MaterialSource::Color2 && l.specular >= 0)
          out[c] = in.specular[c];
        else
          out[c] = V::Set(mc[c]);
      }
    };
    V md[4], ma[4], ms[4], me[4];
    source(s.rs.diffuseMaterialSource, s.material.diffuse, md);
    source(s.rs.ambientMaterialSource, s.material.ambient, ma);
    source(s.rs.specularMaterialSource, s.material.specular, ms);
    source(s.rs.emissiveMaterialSource, s.material.emissive, me);
    const V c255 = V::Set(255.f);
    for (int c = 0; c < 3; ++c) {
      const V amb = V::Set(g[c]) + total(sum[c]), dif = zero + total(sum[3 + c]), spe = zero + total(sum[6 + c]);
      (Saturate(ma[c] * amb + md[c] * dif + me[c]) * c255).Store(colour[c]);
      (Saturate(ms[c] * spe) * c255).Store(colour[4 + c]);
    }
    (Saturate(md[3]) * c255).Store(colour[3]);
    (Saturate(in.specular[3]) * c255).Store(colour[7]);
  } else {
    const V c255 = V::Set(255.f);
    for (int c = 0; c < 4; ++c) {
      (in.diffuse[c] * c255).Store(colour[c]);
      (in.specular[c] * c255).Store(colour[4 + c]);
    }
  }

  for (int k = 0; k < count; ++k) outcodes_[index[k]] = codes[k];
#if defined(TAVVY_FAST_AVX2)
  if constexpr (std::is_same_v<V, simd::F8>) {
    const V position4[4] = {V::Load(clip[0]), V::Load(clip[1]), V::Load(clip[2]), V::Load(clip[3])};
    V colour8[8];
    for (int c = 0; c < 8; ++c) colour8[c] = V::Load(colour[c]);
    StoreVertexLanes(position4, colour8, in.u, in.v, index, count, verts_.data());
    return;
  }
#endif
  alignas(32) float u[N], v[N];
  in.u.Store(u);
  in.v.Store(v);
  for (int k = 0; k < count; ++k) {
    FVert& o = verts_[index[k]];
    o.x = clip[0][k];
    o.y = clip[1][k];
    o.z = clip[2][k];
    o.w = clip[3][k];
    for (int c = 0; c < 8; ++c) o.c[c] = colour[c][k];
    o.u = u[k];
    o.v = v[k];
  }
}

TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
