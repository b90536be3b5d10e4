// The fast rasterizer the game runs on. Same pipeline as the reference one, organised for speed:
// vertices are transformed and lit once per draw (lights out of reach of the draw's bounding
// sphere are dropped first), triangles inside the guard band skip clipping, coverage is solved a
// row at a time, and the pixel loop is instantiated per target format, depth format and
// texturing. Scratch buffers live in the object and only grow, so a steady frame allocates nothing.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "raster/PixelCodec.h"
#include "raster/RasterCommon.h"
#include "raster/Simd.h"
#include "raster/TriangleSetup.h"
#include "raster/WorkerPool.h"

namespace raster {
namespace {

// The square in double precision, rounded once to float.
inline float Square(float a) { return static_cast<float>(double(a) * a); }

// Clip-space vertex with its colours (0..255 scale) and texture coordinates.
struct FVert {
  float x, y, z, w;
  float c[8];  // diffuse r g b a, specular r g b a
  float u, v;
};

enum : uint32_t {
  kOutNear = 1,
  kOutFar = 2,
  kOutLeft = 4,
  kOutRight = 8,
  kOutTop = 16,
  kOutBottom = 32,  // guard band
  kOutW = 64,
  kOutBad = 128,
  kOffLeft = 256,
  kOffRight = 512,
  kOffTop = 1024,
  kOffBottom = 2048,  // viewport (reject only)
  kClipMask = kOutNear | kOutFar | kOutLeft | kOutRight | kOutTop | kOutBottom | kOutW,
};

struct PreparedLight {
  bool directional = false, spot = false;
  float px = 0, py = 0, pz = 0;  // camera-space position, or direction towards the light
  float sx = 0, sy = 0, sz = 0;  // spot direction
  float range = 0, range2 = 0, a0 = 0, a1 = 0, a2 = 0;
  float cosTheta = 1, cosPhi = 1, falloff = 1;
  float dr, dg, db, sr, sg, sb, ar, ag, ab;
};

// Texture coordinates come from files: anything beyond +-2^30 texels (or NaN) is pinned first.
inline int FastFloor(float x) {
  x = std::min(1073741824.0f, std::max(-1073741824.0f, x));
  const int i = int(x);
  return i - (x < float(i));
}

// NaN lands on 0.
inline uint8_t To8(float v) { return uint8_t(std::min(255.0f, std::max(0.0f, v + 0.5f))); }

inline float Sat1(float v) { return v > 0.f ? (v < 1.f ? v : 1.f) : 0.f; }        // NaN gives 0
inline uint32_t Div255(uint32_t v) { return (v + 128 + ((v + 128) >> 8)) >> 8; }  // round(v / 255)

struct Mat3 {
  float m[3][3];
};

// Interpolated quantities across a triangle: z (double, for 24/32-bit depth), then floats.
enum Attr { aR, aG, aB, aA, aSR, aSG, aSB, aSA, aUQ, aVQ, aQ, kAttrs };

struct SpanSetup {
  double z0, dzdx;
  float a[kAttrs], d[kAttrs];
};

enum class QuickBlend : uint8_t { None, Add, Alpha, Subtract };

// Everything the pixel loop needs that stays fixed for a draw.
struct PixelContext {
  const State* s;
  uint8_t* target;
  int32_t pitch;
  uint8_t* depth;
  int32_t depthPitch;
  bool depthTest, depthWrite;
  CmpFunc zFunc;
  bool blend, dither, specular;
  bool simpleModulate;    // the common stage set-up: colour and alpha = texture * diffuse
  bool alphaFromTexture;  // the default stage: colour = texture * diffuse, alpha = texture
  QuickBlend quickBlend;
  bool colorKey;
  bool linear;
  // texture
  const uint8_t* tex;
  int32_t texPitch;
  PixelFormat texFormat;
  int texW, texH, texBpp;
  bool texPow2Wrap;
  uint32_t keyMask, keyLow, keyHigh;
  Rgba8 tfactor;
};

inline Rgba8 FetchTexel(const PixelContext& pc, int ix, int iy, bool& keyed) {
  int x, y;
  if (pc.texPow2Wrap) {
    x = ix & (pc.texW - 1);
    y = iy & (pc.texH - 1);
  } else {
    x = AddressTexel(pc.s->stage0.addressU, ix, pc.texW);
    y = AddressTexel(pc.s->stage0.addressV, iy, pc.texH);
  }
  const uint32_t raw = LoadRaw(pc.texFormat, pc.tex + size_t(y) * pc.texPitch + size_t(x) * pc.texBpp);
  if (pc.colorKey) {
    const uint32_t c = raw & pc.keyMask;
    keyed = c >= pc.keyLow && c <= pc.keyHigh;
    if (keyed) return {0, 0, 0, 0};
  } else {
    keyed = false;
  }
  return DecodeRaw(pc.texFormat, raw);
}

// Returns false when the colour key removes the pixel.
inline bool SampleTexture(const PixelContext& pc, float u, float v, Rgba8& out) {
  bool keyed;
  if (!pc.linear) {
    out = FetchTexel(pc, PointTexel(u * float(pc.texW)), PointTexel(v * float(pc.texH)), keyed);
    return !keyed;
  }
  if (!(std::fabs(u) < 1e6f)) u = 0;  // NaN, infinite or absurd: no meaningful filter weights
  if (!(std::fabs(v) < 1e6f)) v = 0;
  const float tu = u * float(pc.texW) - 0.5f, tv = v * float(pc.texH) - 0.5f;
  const int x0 = FastFloor(tu), y0 = FastFloor(tv);
  const int wu = int(std::clamp((tu - float(x0)) * 256.f, 0.0f, 256.0f));
  const int wv = int(std::clamp((tv - float(y0)) * 256.f, 0.0f, 256.0f));
  const int w[4] = {(256 - wu) * (256 - wv), wu * (256 - wv), (256 - wu) * wv, wu * wv};
  int sum[4] = {0, 0, 0, 0}, keyedWeight = 0;
  for (int k = 0; k < 4; ++k) {
    const Rgba8 t = FetchTexel(pc, x0 + (k & 1), y0 + (k >> 1), keyed);
    if (keyed) keyedWeight += w[k];
    sum[0] += t.r * w[k];
    sum[1] += t.g * w[k];
    sum[2] += t.b * w[k];
    sum[3] += t.a * w[k];
  }
  out = {uint8_t((sum[0] + 32768) >> 16), uint8_t((sum[1] + 32768) >> 16), uint8_t((sum[2] + 32768) >> 16),
         uint8_t((sum[3] + 32768) >> 16)};
  return keyedWeight < 32768;
}

inline Rgba8 Arg(uint32_t arg, const Rgba8* sources) {
  Rgba8 c = sources[std::min<uint32_t>(arg & ta::SelectMask, 4)];
  if (arg & ta::Complement) c = {uint8_t(255 - c.r), uint8_t(255 - c.g), uint8_t(255 - c.b), uint8_t(255 - c.a)};
  if (arg & ta::AlphaReplicate) c = {c.a, c.a, c.a, c.a};
  return c;
}

inline uint32_t Op(TextureOp op, uint32_t a1, uint32_t a2, uint32_t cur) {
  switch (op) {
    case TextureOp::Disable:
      return cur;
    case TextureOp::SelectArg1:
      return a1;
    case TextureOp::SelectArg2:
      return a2;
    case TextureOp::Modulate:
      return Div255(a1 * a2);
    case TextureOp::Modulate2X:
      return std::min<uint32_t>(255, Div255(2 * a1 * a2));
    case TextureOp::Modulate4X:
      return std::min<uint32_t>(255, Div255(4 * a1 * a2));
    case TextureOp::Add:
      return std::min<uint32_t>(255, a1 + a2);
  }
  return Div255(a1 * a2);
}

inline uint32_t Factor(Blend b, uint32_t sc, uint32_t dc, uint32_t sa, uint32_t da, bool alpha) {
  switch (b) {
    case Blend::Zero:
      return 0;
    case Blend::One:
      return 255;
    case Blend::SrcColor:
      return sc;
    case Blend::InvSrcColor:
      return 255 - sc;
    case Blend::SrcAlpha:
    case Blend::BothSrcAlpha:
      return sa;
    case Blend::InvSrcAlpha:
    case Blend::BothInvSrcAlpha:
      return 255 - sa;
    case Blend::DestAlpha:
      return da;
    case Blend::InvDestAlpha:
      return 255 - da;
    case Blend::DestColor:
      return dc;
    case Blend::InvDestColor:
      return 255 - dc;
    case Blend::SrcAlphaSat:
      return alpha ? 255 : std::min(sa, 255 - da);
  }
  return 255;
}

template <PixelFormat TF>
inline Rgba8 BlendPixel(const PixelContext& pc, Rgba8 s, const uint8_t* p) {
  const Rgba8 d = DecodeRaw(TF, LoadRaw(TF, p));
  Blend sb = pc.s->rs.srcBlend, db = pc.s->rs.destBlend;
  if (sb == Blend::BothSrcAlpha) db = Blend::InvSrcAlpha;
  if (sb == Blend::BothInvSrcAlpha) db = Blend::SrcAlpha;
  const uint32_t sv[4] = {s.r, s.g, s.b, s.a}, dv[4] = {d.r, d.g, d.b, d.a};
  uint32_t o[4];
  for (int k = 0; k < 4; ++k) {
    const uint32_t v =
        sv[k] * Factor(sb, sv[k], dv[k], s.a, d.a, k == 3) + dv[k] * Factor(db, sv[k], dv[k], s.a, d.a, k == 3);
    o[k] = std::min<uint32_t>(255, Div255(v));
  }
  return {uint8_t(o[0]), uint8_t(o[1]), uint8_t(o[2]), uint8_t(o[3])};
}

// Colours are carried divided by w (so they interpolate perspective-correctly, and the same
// whether or not a triangle was clipped); q undoes that.
inline Rgba8 ToRgba8(const float* a, float q) { return {To8(a[0] * q), To8(a[1] * q), To8(a[2] * q), To8(a[3] * q)}; }

// Texture stage 0 and the specular sum for one pixel; false when the colour key removes it.
template <bool TEX>
inline bool Shade(const PixelContext& pc, const float* a, Rgba8& c) {
  const float q = 1.0f / a[aQ];
  const Rgba8 diffuse = ToRgba8(a + aR, q);
  Rgba8 t{255, 255, 255, 255};
  if constexpr (TEX) {
    if (!SampleTexture(pc, a[aUQ] * q, a[aVQ] * q, t)) return false;
  }
  if (pc.simpleModulate) {
    c = {uint8_t(Div255(uint32_t(t.r) * diffuse.r)), uint8_t(Div255(uint32_t(t.g) * diffuse.g)),
         uint8_t(Div255(uint32_t(t.b) * diffuse.b)), uint8_t(Div255(uint32_t(t.a) * diffuse.a))};
  } else if (pc.s->stage0.colorOp == TextureOp::Disable) {
    c = diffuse;
  } else {
    const TextureStage& st = pc.s->stage0;
    const Rgba8 src[5] = {diffuse, diffuse, t, pc.tfactor, ToRgba8(a + aSR, q)};
    const Rgba8 c1 = Arg(st.colorArg1, src), c2 = Arg(st.colorArg2, src);
    const Rgba8 a1 = Arg(st.alphaArg1, src), a2 = Arg(st.alphaArg2, src);
    c = {uint8_t(Op(st.colorOp, c1.r, c2.r, diffuse.r)), uint8_t(Op(st.colorOp, c1.g, c2.g, diffuse.g)),
         uint8_t(Op(st.colorOp, c1.b, c2.b, diffuse.b)), uint8_t(Op(st.alphaOp, a1.a, a2.a, diffuse.a))};
  }
  if (pc.specular) {
    const Rgba8 sp = ToRgba8(a + aSR, q);
    c.r = uint8_t(std::min(255, c.r + sp.r));
    c.g = uint8_t(std::min(255, c.g + sp.g));
    c.b = uint8_t(std::min(255, c.b + sp.b));
  }
  return true;
}

// One span of a row: pixels [x0, x1] of row y.
template <PixelFormat TF, DepthFormat DF, bool TEX>
void DrawSpan(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) {
  constexpr int bpp =
      TF == PixelFormat::R8G8B8 ? 3 : (TF == PixelFormat::X8R8G8B8 || TF == PixelFormat::A8R8G8B8 ? 4 : 2);
  constexpr int zbpp = DF == DepthFormat::D16 ? 2 : 4;
  uint8_t* cp = pc.target + size_t(y) * pc.pitch + size_t(x0) * bpp;
  uint8_t* zp = nullptr;
  if constexpr (DF != DepthFormat::None) zp = pc.depth + size_t(y) * pc.depthPitch + size_t(x0) * zbpp;
  double z = ss.z0;
  float a[kAttrs];
  std::copy(ss.a, ss.a + kAttrs, a);
  uint32_t thresholds[4];
  for (int k = 0; k < 4; ++k) thresholds[k] = (pc.dither && Is16Bit(TF)) ? DitherThreshold(x0 + k, y) : kRoundThreshold;

  for (int i = 0, n = x1 - x0; i <= n; ++i, cp += bpp, z += ss.dzdx) {
    uint32_t zq = 0;
    Rgba8 c;
    if constexpr (DF != DepthFormat::None) {
      if (pc.depthTest) {
        zq = QuantizeDepth(DF, z);
        if (!DepthPasses(pc.zFunc, zq, LoadDepth(DF, zp + i * zbpp))) goto next;
      }
    }
    if (!Shade<TEX>(pc, a, c)) goto next;
    if (pc.blend) c = BlendPixel<TF>(pc, c, cp);
    StoreRaw(TF, cp, EncodeRaw(TF, c, thresholds[i & 3]));
    if constexpr (DF != DepthFormat::None) {
      if (pc.depthWrite) StoreDepth(DF, zp + i * zbpp, zq);
    }
  next:
    for (int k = 0; k < kAttrs; ++k) a[k] += ss.d[k];
  }
}

// The game's common case, specialised on target, depth and texture format and the filter:
// power-of-two wrap, colour = texture x diffuse, and one of the scene's four blend set-ups.
// Pixels go four at a time: the depth test first, then the interpolants of the group in four
// lanes (only when some pixel passed), then texel, colour and blend for the passing pixels.
// PointTexel of four coordinates (in texels), the same bits as one at a time.
inline void PointTexels(simd::F4 v, int32_t* out) {
  using simd::F4;
  const F4 limit = F4::Set(float(kMaxTexelCoordinate));
  v = And(LessEqual(v, v), v);  // NaN counts as 0
  v = Min(Max(v, -limit), limit);
  Floor(v * F4::Set(float(1 << kSubTexelBits)) + F4::Set(0.5f)).StoreInt(out);
  for (int k = 0; k < 4; ++k) out[k] >>= kSubTexelBits;
}

template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
void DrawSpanQuick(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) {
  using simd::F4;
  constexpr bool TEX = TXF != PixelFormat::Unknown;
  constexpr int bpp = TF == PixelFormat::RGB565 ? 2 : 4;
  constexpr int zbpp = DF == DepthFormat::D16 ? 2 : 4;
  constexpr int txbpp = (TXF == PixelFormat::X8R8G8B8 || TXF == PixelFormat::A8R8G8B8) ? 4 : 2;
  constexpr double zmax = DF == DepthFormat::D16 ? 65535.0 : (DF == DepthFormat::D32 ? 4294967295.0 : 16777215.0);
  uint8_t* const row = pc.target + size_t(y) * pc.pitch + size_t(x0) * bpp;
  uint8_t* zrow = nullptr;
  // Depth as a 16.16 fixed-point count of the stored integer, rounded: no per-pixel double.
  int64_t Z = 0, dZ = 0;
  if constexpr (DF != DepthFormat::None) {
    zrow = pc.depth + size_t(y) * pc.depthPitch + size_t(x0) * zbpp;
    // Pinned so the sums cannot overflow; every pixel is clamped to [0, 1] anyway, and a slope
    // beyond one whole depth range per pixel only occurs on slivers a pixel wide.
    const double z0 = std::isfinite(ss.z0) ? std::clamp(ss.z0, -2.0, 3.0) : 0.0;
    const double dz = std::isfinite(ss.dzdx) ? std::clamp(ss.dzdx, -1.0, 1.0) : 0.0;
    Z = int64_t(std::llround((z0 * zmax + 0.5) * 65536.0));
    dZ = int64_t(std::llround(dz * zmax * 65536.0));
  }
  const int64_t zTop = int64_t(zmax);
  uint32_t thresholds[4];
  for (int k = 0; k < 4; ++k)
    thresholds[k] = (pc.dither && TF == PixelFormat::RGB565) ? DitherThreshold(x0 + k, y) : kRoundThreshold;
  const F4 fw = F4::Set(float(pc.texW)), fh = F4::Set(float(pc.texH));
  const int mw = pc.texW - 1, mh = pc.texH - 1;
  const QuickBlend blend = pc.quickBlend;
  const bool alphaFromTexture = pc.alphaFromTexture, specular = pc.specular;
  const bool depthTest = DF != DepthFormat::None && pc.depthTest;
  const F4 zero = F4::Set(0.0f), one = F4::Set(1.0f), half = F4::Set(0.5f), c255 = F4::Set(255.0f);
  const F4 coordLimit = F4::Set(1073741824.0f);
  auto to8 = [&](F4 v, int32_t* out) { Min(Max(v + half, zero), c255).StoreInt(out); };
  auto pin = [&](F4 v) { return Min(coordLimit, Max(-coordLimit, v)); };

  const int n = x1 - x0 + 1;
  for (int i0 = 0; i0 < n; i0 += 4) {
    const int lanes = std::min(4, n - i0);
    uint32_t zq[4] = {};
    bool pass[4] = {false, false, false, false};
    bool any = false;
    for (int k = 0; k < lanes; ++k) {
      pass[k] = true;
      if constexpr (DF != DepthFormat::None) {
        if (depthTest) {
          const int64_t zi = (Z + dZ * (i0 + k)) >> 16;
          zq[k] = uint32_t(zi < 0 ? 0 : (zi > zTop ? zTop : zi));
          pass[k] = DepthPasses(pc.zFunc, zq[k], LoadDepth(DF, zrow + (i0 + k) * zbpp));
        }
      }
      any = any || pass[k];
    }
    if (!any) continue;

    // Perspective is solved at every pixel: stepping it linearly over even a few pixels moves
    // texels visibly on steep surfaces.
    const float fi = float(i0);
    auto lane = [&](int k) { return simd::Ramp(ss.a[k] + fi * ss.d[k], ss.d[k]); };
    const F4 q = one / lane(aQ);
    int32_t cr[4], cg[4], cb[4], ca[4] = {255, 255, 255, 255}, sr[4], sg[4], sb[4];
    to8(lane(aR) * q, cr);
    to8(lane(aG) * q, cg);
    to8(lane(aB) * q, cb);
    if (!alphaFromTexture) to8(lane(aA) * q, ca);
    if (specular) {
      to8(lane(aSR) * q, sr);
      to8(lane(aSG) * q, sg);
      to8(lane(aSB) * q, sb);
    }
    int32_t tx[4] = {}, ty[4] = {}, wu[4] = {}, wv[4] = {};
    if constexpr (TEX) {
      F4 u = lane(aUQ) * q, v = lane(aVQ) * q;
      if constexpr (LINEAR) {
        const F4 sane = F4::Set(1e6f);  // NaN, infinite or absurd: no meaningful filter weights
        u = And(Less(Abs(u), sane), u);
        v = And(Less(Abs(v), sane), v);
        const F4 tu = u * fw - half, tv = v * fh - half;
        const F4 fu = Floor(pin(tu)), fv = Floor(pin(tv));
        const F4 c256 = F4::Set(256.0f);
        fu.StoreInt(tx);
        fv.StoreInt(ty);
        Min(Max((tu - fu) * c256, zero), c256).StoreInt(wu);
        Min(Max((tv - fv) * c256, zero), c256).StoreInt(wv);
      } else {
        PointTexels(u * fw, tx);
        PointTexels(v * fh, ty);
      }
    }

    for (int k = 0; k < lanes; ++k) {
      if (!pass[k]) continue;
      const int i = i0 + k;
      uint8_t* cp = row + i * bpp;
      uint32_t tr = 255, tg = 255, tb = 255, ta = 255;
      if constexpr (TEX && !LINEAR) {
        const uint32_t raw = LoadRaw(TXF, pc.tex + size_t(ty[k] & mh) * pc.texPitch + size_t(tx[k] & mw) * txbpp);
        if (pc.colorKey) {
          const uint32_t c = raw & pc.keyMask;
          if (c >= pc.keyLow && c <= pc.keyHigh) continue;
        }
        const Rgba8 t = DecodeRaw(TXF, raw);
        tr = t.r;
        tg = t.g;
        tb = t.b;
        ta = t.a;
      } else if constexpr (TEX) {
        const int w[4] = {(256 - wu[k]) * (256 - wv[k]), wu[k] * (256 - wv[k]), (256 - wu[k]) * wv[k], wu[k] * wv[k]};
        const uint8_t* rows[2] = {pc.tex + size_t(ty[k] & mh) * pc.texPitch,
                                  pc.tex + size_t((ty[k] + 1) & mh) * pc.texPitch};
        const size_t cols[2] = {size_t(tx[k] & mw) * txbpp, size_t((tx[k] + 1) & mw) * txbpp};
        uint32_t sum[4] = {0, 0, 0, 0};
        int keyedWeight = 0;
        for (int c = 0; c < 4; ++c) {
          const uint32_t raw = LoadRaw(TXF, rows[c >> 1] + cols[c & 1]);
          if (pc.colorKey) {
            const uint32_t kc = raw & pc.keyMask;
            if (kc >= pc.keyLow && kc <= pc.keyHigh) {
              keyedWeight += w[c];
              continue;
            }
          }
          const Rgba8 t = DecodeRaw(TXF, raw);
          sum[0] += t.r * uint32_t(w[c]);
          sum[1] += t.g * uint32_t(w[c]);
          sum[2] += t.b * uint32_t(w[c]);
          sum[3] += t.a * uint32_t(w[c]);
        }
        if (keyedWeight >= 32768) continue;
        tr = (sum[0] + 32768) >> 16;
        tg = (sum[1] + 32768) >> 16;
        tb = (sum[2] + 32768) >> 16;
        ta = (sum[3] + 32768) >> 16;
      }
      uint32_t r = Div255(tr * uint32_t(cr[k])), g = Div255(tg * uint32_t(cg[k])), b = Div255(tb * uint32_t(cb[k]));
      const uint32_t al = alphaFromTexture ? ta : Div255(ta * uint32_t(ca[k]));
      if (specular) {
        r = std::min(255u, r + uint32_t(sr[k]));
        g = std::min(255u, g + uint32_t(sg[k]));
        b = std::min(255u, b + uint32_t(sb[k]));
      }
      if (blend != QuickBlend::None) {
        const Rgba8 d = DecodeRaw(TF, LoadRaw(TF, cp));
        switch (blend) {
          case QuickBlend::Add:
            r = std::min(255u, r + d.r);
            g = std::min(255u, g + d.g);
            b = std::min(255u, b + d.b);
            break;
          case QuickBlend::Alpha:
            r = Div255(r * al + d.r * (255 - al));
            g = Div255(g * al + d.g * (255 - al));
            b = Div255(b * al + d.b * (255 - al));
            break;
          case QuickBlend::Subtract:
            r = Div255(d.r * (255 - r));
            g = Div255(d.g * (255 - g));
            b = Div255(d.b * (255 - b));
            break;
          case QuickBlend::None:
            break;
        }
      }
      StoreRaw(TF, cp, EncodeRaw(TF, Rgba8{uint8_t(r), uint8_t(g), uint8_t(b), 255}, thresholds[i & 3]));
      if constexpr (DF != DepthFormat::None) {
        if (pc.depthWrite) StoreDepth(DF, zrow + i * zbpp, zq[k]);
      }
    }
  }
}

using SpanFn = void (*)(const PixelContext&, int, int, int, const SpanSetup&);

template <PixelFormat TF, DepthFormat DF>
SpanFn PickTex(bool tex) {
  return tex ? &DrawSpan<TF, DF, true> : &DrawSpan<TF, DF, false>;
}
template <PixelFormat TF>
SpanFn PickDepth(DepthFormat df, bool tex) {
  switch (df) {
    case DepthFormat::D16:
      return PickTex<TF, DepthFormat::D16>(tex);
    case DepthFormat::D24X8:
      return PickTex<TF, DepthFormat::D24X8>(tex);
    case DepthFormat::D24S8:
      return PickTex<TF, DepthFormat::D24S8>(tex);
    case DepthFormat::D32:
      return PickTex<TF, DepthFormat::D32>(tex);
    case DepthFormat::None:
      break;
  }
  return PickTex<TF, DepthFormat::None>(tex);
}
SpanFn PickSpan(PixelFormat tf, DepthFormat df, bool tex) {
  switch (tf) {
    case PixelFormat::RGB565:
      return PickDepth<PixelFormat::RGB565>(df, tex);
    case PixelFormat::X1R5G5B5:
      return PickDepth<PixelFormat::X1R5G5B5>(df, tex);
    case PixelFormat::A1R5G5B5:
      return PickDepth<PixelFormat::A1R5G5B5>(df, tex);
    case PixelFormat::A4R4G4B4:
      return PickDepth<PixelFormat::A4R4G4B4>(df, tex);
    case PixelFormat::R8G8B8:
      return PickDepth<PixelFormat::R8G8B8>(df, tex);
    case PixelFormat::X8R8G8B8:
      return PickDepth<PixelFormat::X8R8G8B8>(df, tex);
    case PixelFormat::A8R8G8B8:
      return PickDepth<PixelFormat::A8R8G8B8>(df, tex);
    case PixelFormat::P8:
    case PixelFormat::Unknown:
      break;
  }
  return nullptr;
}

template <PixelFormat TF, DepthFormat DF, bool LINEAR>
SpanFn PickQuickTexture(PixelFormat txf) {
  switch (txf) {
    case PixelFormat::RGB565:
      return &DrawSpanQuick<TF, DF, PixelFormat::RGB565, LINEAR>;
    case PixelFormat::X1R5G5B5:
      return &DrawSpanQuick<TF, DF, PixelFormat::X1R5G5B5, LINEAR>;
    case PixelFormat::A1R5G5B5:
      return &DrawSpanQuick<TF, DF, PixelFormat::A1R5G5B5, LINEAR>;
    case PixelFormat::A4R4G4B4:
      return &DrawSpanQuick<TF, DF, PixelFormat::A4R4G4B4, LINEAR>;
    case PixelFormat::X8R8G8B8:
      return &DrawSpanQuick<TF, DF, PixelFormat::X8R8G8B8, LINEAR>;
    case PixelFormat::A8R8G8B8:
      return &DrawSpanQuick<TF, DF, PixelFormat::A8R8G8B8, LINEAR>;
    case PixelFormat::Unknown:
      return LINEAR ? nullptr : &DrawSpanQuick<TF, DF, PixelFormat::Unknown, false>;
    default:
      return nullptr;
  }
}
template <PixelFormat TF, DepthFormat DF>
SpanFn PickQuickFilter(PixelFormat txf, bool linear) {
  return linear ? PickQuickTexture<TF, DF, true>(txf) : PickQuickTexture<TF, DF, false>(txf);
}
template <PixelFormat TF>
SpanFn PickQuickDepth(DepthFormat df, PixelFormat txf, bool linear) {
  switch (df) {
    case DepthFormat::None:
      return PickQuickFilter<TF, DepthFormat::None>(txf, linear);
    case DepthFormat::D16:
      return PickQuickFilter<TF, DepthFormat::D16>(txf, linear);
    case DepthFormat::D24X8:
      return PickQuickFilter<TF, DepthFormat::D24X8>(txf, linear);
    case DepthFormat::D32:
      return PickQuickFilter<TF, DepthFormat::D32>(txf, linear);
    default:
      return nullptr;
  }
}
// The specialised path for the game's two target formats, or none.
SpanFn PickQuick(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear) {
  switch (tf) {
    case PixelFormat::RGB565:
      return PickQuickDepth<PixelFormat::RGB565>(df, txf, linear);
    case PixelFormat::X8R8G8B8:
      return PickQuickDepth<PixelFormat::X8R8G8B8>(df, txf, linear);
    default:
      return nullptr;
  }
}

// A triangle set up for the pixel loop: coverage, attribute planes and the rows it spans.
struct TriangleJob {
  SnappedTriangle tri;
  double vals[kAttrs][3];  // attributes (divided by w) at the three corners
  double sz[3];
  float d[kAttrs];  // steps along x
  double dzdx;
  int y0, y1;
  bool linear;  // the filter chosen for this triangle
};

// Rows are dealt to the threads in bands of this many: every row is drawn by one thread, the
// triangles in draw order, so the picture does not depend on the number of threads.
inline constexpr int kBandRows = 8;

class FastRasterizer final : public Rasterizer {
 public:
  FastRasterizer(int threads, int64_t minParallelPixels) : minParallelPixels_(minParallelPixels), pool_(threads) {}

  Result Clear(const State& state, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
               uint32_t stencil) override {
    return ClearSurfaces(state, rects, flags, argb, z, stencil);
  }

  Result DrawIndexedTriangleList(const State& s, const VertexData& vd, std::span<const uint16_t> indices) override;

 private:
  void PrepareTransforms(const State& s);
  void PrepareLights(const State& s, const VertexData& vd);
  void ProcessVertex(const State& s, const VertexData& vd, uint32_t index, FVert& out, uint32_t& outcode);
  void DrawClipped(const FVert* tri, uint32_t orCode, int facing);
  void Rasterize(const FVert* v0, const FVert* v1, const FVert* v2, int facing);
  void DrawJobs(int thread, int threads) const;

  VertexLayout layout_;
  float wv_[4][4] = {}, wvp_[4][4] = {}, view_[4][4] = {};
  Mat3 normal_{};
  float guardX_ = 1, guardY_ = 1;
  std::vector<PreparedLight> lights_;
  // The lights again, field by field and padded to a multiple of 4 with lights that reach
  // nothing, for the branch-free loop used when no spot light is involved. A directional light
  // is a point light at its direction seen from a vertex at the origin (sKeep 0), unattenuated
  // and of unlimited range.
  enum SoaField {
    sPx,
    sPy,
    sPz,
    sKeep,
    sRange,
    sA0,
    sA1,
    sA2,
    sDr,
    sDg,
    sDb,
    sAr,
    sAg,
    sAb,
    sSr,
    sSg,
    sSb,
    kSoaFields
  };
  std::vector<float> soa_;
  size_t soaCount_ = 0;
  bool soaUsable_ = false;
  std::vector<FVert> verts_;
  std::vector<uint32_t> outcodes_;
  std::vector<uint32_t> stamp_;
  uint32_t drawId_ = 0;
  PixelContext pc_{};
  PixelContext pcOther_{};  // pc_ with the other filter, for triangles that choose it
  std::vector<TriangleJob> jobs_;
  int64_t jobPixels_ = 0;
  int64_t minParallelPixels_;
  WorkerPool pool_;
  SpanFn span_ = nullptr;
  PixelRect rect_;
  const State* state_ = nullptr;
  bool needSpecular_ = false;
};

void Mul4(const float a[4][4], const Mat4& b, float out[4][4]) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a[i][k]) * b.m[k][j];
      out[i][j] = float(sum);
    }
}

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

void FastRasterizer::PrepareLights(const State& s, const VertexData& vd) {
  lights_.clear();
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
  const float ccx = cx * wv_[0][0] + cy * wv_[1][0] + cz * wv_[2][0] + wv_[3][0];
  const float ccy = cx * wv_[0][1] + cy * wv_[1][1] + cz * wv_[2][1] + wv_[3][1];
  const float ccz = cx * wv_[0][2] + cy * wv_[1][2] + cz * wv_[2][2] + wv_[3][2];
  finite = std::isfinite(ccx) && std::isfinite(ccy) && std::isfinite(ccz) && std::isfinite(radius);

  for (const Light& l : s.lights) {
    PreparedLight p;
    p.directional = l.type == LightType::Directional;
    p.spot = l.type == LightType::Spot;
    if (p.directional) {
      const float dx = -l.direction.x, dy = -l.direction.y, dz = -l.direction.z;
      float x = dx * view_[0][0] + dy * view_[1][0] + dz * view_[2][0];
      float y = dx * view_[0][1] + dy * view_[1][1] + dz * view_[2][1];
      float z = dx * view_[0][2] + dy * view_[1][2] + dz * view_[2][2];
      const float len = std::sqrt(x * x + y * y + z * z);
      if (len > 0) {
        x /= len;
        y /= len;
        z /= len;
      }
      p.px = x;
      p.py = y;
      p.pz = z;
    } else {
      if (!(l.range >= 0)) continue;
      const Vec3& q = l.position;
      p.px = q.x * view_[0][0] + q.y * view_[1][0] + q.z * view_[2][0] + view_[3][0];
      p.py = q.x * view_[0][1] + q.y * view_[1][1] + q.z * view_[2][1] + view_[3][1];
      p.pz = q.x * view_[0][2] + q.y * view_[1][2] + q.z * view_[2][2] + view_[3][2];
      if (finite) {
        const float dist = std::sqrt(Square(p.px - ccx) + Square(p.py - ccy) + Square(p.pz - ccz));
        if (dist > l.range + radius) continue;  // cannot reach any vertex of this draw
      }
      p.range = l.range;
      p.range2 = l.range * l.range * 1.0001f;  // a loose first test; the exact one follows
      p.a0 = l.attenuation0;
      p.a1 = l.attenuation1;
      p.a2 = l.attenuation2;
      if (p.spot) {
        const Vec3& q2 = l.direction;
        float x = q2.x * view_[0][0] + q2.y * view_[1][0] + q2.z * view_[2][0];
        float y = q2.x * view_[0][1] + q2.y * view_[1][1] + q2.z * view_[2][1];
        float z = q2.x * view_[0][2] + q2.y * view_[1][2] + q2.z * view_[2][2];
        const float len = std::sqrt(x * x + y * y + z * z);
        if (len > 0) {
          x /= len;
          y /= len;
          z /= len;
        }
        p.sx = x;
        p.sy = y;
        p.sz = z;
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
    lights_.push_back(p);
  }
  soaUsable_ = std::none_of(lights_.begin(), lights_.end(), [](const PreparedLight& p) { return p.spot; });
  soaCount_ = (lights_.size() + 3) & ~size_t(3);
  soa_.assign(soaCount_ * kSoaFields, 0.0f);
  size_t j = 0;
  for (const PreparedLight& p : lights_) {
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
    for (int k = 0; k < kSoaFields; ++k) soa_[size_t(k) * soaCount_ + j] = f[k];
    ++j;
  }
  for (; j < soaCount_; ++j) soa_[size_t(sRange) * soaCount_ + j] = -1.0f;  // padding reaches nothing
}

inline void Argb(uint32_t v, float out[4]) {
  out[0] = float(v >> 16 & 255) * (1.f / 255.f);
  out[1] = float(v >> 8 & 255) * (1.f / 255.f);
  out[2] = float(v & 255) * (1.f / 255.f);
  out[3] = float(v >> 24) * (1.f / 255.f);
}

void FastRasterizer::ProcessVertex(const State& s, const VertexData& vd, uint32_t index, FVert& o, uint32_t& outcode) {
  const VertexLayout& l = layout_;
  const uint8_t* p = static_cast<const uint8_t*>(vd.data) + size_t(index) * vd.stride;
  const float px = ReadFloat(p + l.position), py = ReadFloat(p + l.position + 4), pz = ReadFloat(p + l.position + 8);
  float vdif[4] = {1, 1, 1, 1}, vspec[4] = {0, 0, 0, 0};
  if (l.diffuse >= 0) Argb(ReadU32(p + l.diffuse), vdif);
  if (l.specular >= 0) Argb(ReadU32(p + l.specular), vspec);
  const uint32_t set = s.stage0.texCoordIndex & 0xFFFF;
  o.u = o.v = 0;
  if (int(set) < l.texCount) {
    o.u = ReadFloat(p + l.texOffset[set]);
    if (l.texSize[set] >= 2) o.v = ReadFloat(p + l.texOffset[set] + 4);
  }

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
    cx = px * wv_[0][0] + py * wv_[1][0] + pz * wv_[2][0] + wv_[3][0];
    cy = px * wv_[0][1] + py * wv_[1][1] + pz * wv_[2][1] + wv_[3][1];
    cz = px * wv_[0][2] + py * wv_[1][2] + pz * wv_[2][2] + wv_[3][2];
    o.x = px * wvp_[0][0] + py * wvp_[1][0] + pz * wvp_[2][0] + wvp_[3][0];
    o.y = px * wvp_[0][1] + py * wvp_[1][1] + pz * wvp_[2][1] + wvp_[3][1];
    o.z = px * wvp_[0][2] + py * wvp_[1][2] + pz * wvp_[2][2] + wvp_[3][2];
    o.w = px * wvp_[0][3] + py * wvp_[1][3] + pz * wvp_[2][3] + wvp_[3][3];
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
      const auto& m = normal_.m;
      nx = ax * m[0][0] + ay * m[1][0] + az * m[2][0];
      ny = ax * m[0][1] + ay * m[1][1] + az * m[2][1];
      nz = ax * m[0][2] + ay * m[1][2] + az * m[2][2];
      if (s.rs.normalizeNormals) {
        const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (len > 0) {
          nx /= len;
          ny /= len;
          nz /= len;
        }
      }
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
    if (soaUsable_) {
      // Four lights at a time without branches (the same bits with SIMD on or off).
      using simd::F4;
      const size_t n = soaCount_;
      const float* f = soa_.data();
      auto at = [&](int field, size_t j) { return F4::Load(f + size_t(field) * n + j); };
      const F4 vcx = F4::Set(cx), vcy = F4::Set(cy), vcz = F4::Set(cz);
      const F4 vnx = F4::Set(nx), vny = F4::Set(ny), vnz = F4::Set(nz);
      const F4 vex = F4::Set(ex), vey = F4::Set(ey), vez = F4::Set(ez), vpower = F4::Set(power);
      const F4 zero = F4::Set(0.0f), one = F4::Set(1.0f), minDen = F4::Set(float(kMinAttenuationDenominator));
      F4 sum[9] = {zero, zero, zero, zero, zero, zero, zero, zero, zero};
      for (size_t j = 0; j < n; j += 4) {
        const F4 keep = at(sKeep, j);
        F4 lx = at(sPx, j) - vcx * keep, ly = at(sPy, j) - vcy * keep, lz = at(sPz, j) - vcz * keep;
        const F4 d2 = lx * lx + ly * ly + lz * lz;
        const F4 dist = Sqrt(d2);
        const F4 inRange = LessEqual(dist, at(sRange, j));  // the padding's range is -1
        if (!Any(inRange)) continue;
        const F4 den = Max(at(sA0, j) + at(sA1, j) * dist + at(sA2, j) * d2, minDen);
        const F4 att = And(inRange, one / den);
        const F4 invd = And(Greater(dist, zero), one / dist);
        lx = lx * invd;
        ly = ly * invd;
        lz = lz * invd;
        const F4 ndl = vnx * lx + vny * ly + vnz * lz;
        const F4 lit = Greater(ndl, zero);
        const F4 k = And(lit, ndl * att);
        sum[0] = sum[0] + at(sAr, j) * att;
        sum[1] = sum[1] + at(sAg, j) * att;
        sum[2] = sum[2] + at(sAb, j) * att;
        sum[3] = sum[3] + at(sDr, j) * k;
        sum[4] = sum[4] + at(sDg, j) * k;
        sum[5] = sum[5] + at(sDb, j) * k;
        if (needSpecular_) {
          const F4 hx = lx + vex, hy = ly + vey, hz = lz + vez;
          const F4 ndh = (vnx * hx + vny * hy + vnz * hz) / Sqrt(hx * hx + hy * hy + hz * hz);
          const F4 shine = And(lit, Greater(ndh, zero));  // NaN (h of length 0) fails too
          if (Any(shine)) {
            const F4 ks = And(shine, simd::Pow(ndh, vpower) * att);
            sum[6] = sum[6] + at(sSr, j) * ks;
            sum[7] = sum[7] + at(sSg, j) * ks;
            sum[8] = sum[8] + at(sSb, j) * ks;
          }
        }
      }
      float acc[9][4];
      for (int c = 0; c < 9; ++c) sum[c].Store(acc[c]);
      for (int c = 0; c < 3; ++c) {
        amb[c] += (acc[c][0] + acc[c][1]) + (acc[c][2] + acc[c][3]);
        dif[c] += (acc[3 + c][0] + acc[3 + c][1]) + (acc[3 + c][2] + acc[3 + c][3]);
        spe[c] += (acc[6 + c][0] + acc[6 + c][1]) + (acc[6 + c][2] + acc[6 + c][3]);
      }
    }
    for (const PreparedLight& L : lights_) {
      if (soaUsable_) break;
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

  uint32_t code = 0;
  if (!(std::isfinite(o.x) && std::isfinite(o.y) && std::isfinite(o.z) && std::isfinite(o.w))) {
    code = kOutBad;
  } else {
    if (o.w < float(kMinClipW)) code |= kOutW;
    // Pretransformed vertices are not clipped at the near and far planes.
    if (o.z < 0 && !l.pretransformed) code |= kOutNear;
    if (o.z > o.w && !l.pretransformed) code |= kOutFar;
    if (o.x < -guardX_ * o.w) code |= kOutLeft;
    if (o.x > guardX_ * o.w) code |= kOutRight;
    if (o.y < -guardY_ * o.w) code |= kOutBottom;
    if (o.y > guardY_ * o.w) code |= kOutTop;
    if (o.x < -o.w) code |= kOffLeft;
    if (o.x > o.w) code |= kOffRight;
    if (o.y < -o.w) code |= kOffBottom;
    if (o.y > o.w) code |= kOffTop;
  }
  outcode = code;
}

Result FastRasterizer::DrawIndexedTriangleList(const State& s, const VertexData& vd,
                                               std::span<const uint16_t> indices) {
  if (const Result r = ValidateDraw(s, vd, indices, layout_); r != Result::Ok) return r;
  const bool textured = s.texture != nullptr;
  if (textured && !UsableTexture(*s.texture)) return Result::InvalidParams;
  rect_ = DrawableRect(s);
  if (rect_.Empty()) return Result::Ok;
  state_ = &s;

  // Guard band: triangles within +-8192 pixels of the viewport need no clipping at its edges;
  // the rows and spans are cut to the viewport instead.
  guardX_ = 1.0f + 16384.0f / float(s.viewport.width);
  guardY_ = 1.0f + 16384.0f / float(s.viewport.height);
  const TextureStage& st = s.stage0;
  auto usesSpecular = [&](uint32_t a) { return (a & ta::SelectMask) == ta::Specular; };
  const bool stageSpecular =
      st.colorOp != TextureOp::Disable && (usesSpecular(st.colorArg1) || usesSpecular(st.colorArg2) ||
                                           usesSpecular(st.alphaArg1) || usesSpecular(st.alphaArg2));
  needSpecular_ = s.rs.specularEnable || stageSpecular;
  {
    // Specular from a black material adds nothing: skip the whole term (the game's usual case).
    const MaterialSource src = s.rs.specularMaterialSource;
    const bool fromMaterial = !s.rs.colorVertex || src == MaterialSource::Material ||
                              (src == MaterialSource::Color1 && layout_.diffuse < 0) ||
                              (src == MaterialSource::Color2 && layout_.specular < 0);
    const Color& m = s.material.specular;
    if (fromMaterial && m.r == 0 && m.g == 0 && m.b == 0) needSpecular_ = false;
  }
  PrepareTransforms(s);
  PrepareLights(s, vd);

  // Pixel context.
  PixelContext& pc = pc_;
  pc = PixelContext{};
  pc.s = &s;
  pc.target = static_cast<uint8_t*>(s.target.pixels);
  pc.pitch = s.target.pitch;
  const bool hasDepth = s.depth.format != DepthFormat::None;
  pc.depth = hasDepth ? static_cast<uint8_t*>(s.depth.pixels) : nullptr;
  pc.depthPitch = s.depth.pitch;
  pc.depthTest = hasDepth && s.rs.zEnable;
  pc.depthWrite = pc.depthTest && s.rs.zWriteEnable;
  pc.zFunc = s.rs.zFunc;
  pc.blend = s.rs.alphaBlendEnable;
  pc.dither = s.rs.ditherEnable;
  // Lit without a specular term the specular colour is black: nothing to add.
  pc.specular = s.rs.specularEnable && (!s.rs.lighting || layout_.pretransformed || needSpecular_);
  const bool stageOn = st.colorOp != TextureOp::Disable;
  const bool texturing = textured && stageOn;
  auto isDiffuse = [](uint32_t a) { return a == ta::Diffuse || a == ta::Current; };
  pc.simpleModulate = st.colorOp == TextureOp::Modulate && st.alphaOp == TextureOp::Modulate &&
                      st.colorArg1 == ta::Texture && isDiffuse(st.colorArg2) && st.alphaArg1 == ta::Texture &&
                      isDiffuse(st.alphaArg2);
  pc.tfactor = {uint8_t(s.rs.textureFactor >> 16), uint8_t(s.rs.textureFactor >> 8), uint8_t(s.rs.textureFactor),
                uint8_t(s.rs.textureFactor >> 24)};
  if (!stageOn) {
    // A disabled stage passes the diffuse colour through.
    pc.simpleModulate = false;
  }
  if (texturing) {
    const Texture& t = *s.texture;
    pc.tex = static_cast<const uint8_t*>(t.pixels);
    pc.texPitch = t.pitch;
    pc.texFormat = t.format;
    pc.texW = int(t.width);
    pc.texH = int(t.height);
    pc.texBpp = BytesPerPixel(t.format);
    pc.texPow2Wrap = st.addressU == TextureAddress::Wrap && st.addressV == TextureAddress::Wrap &&
                     (t.width & (t.width - 1)) == 0 && (t.height & (t.height - 1)) == 0;
    pc.colorKey = s.rs.colorKeyEnable && t.hasColorKey;
    pc.keyMask = ColorBitsMask(t.format);
    pc.keyLow = t.colorKeyLow & pc.keyMask;
    pc.keyHigh = t.colorKeyHigh & pc.keyMask;
    pc.linear = st.magFilter != TextureFilter::Point;
  }
  span_ = PickSpan(s.target.format, hasDepth ? s.depth.format : DepthFormat::None, texturing);
  if (!span_) return Result::InvalidParams;
  {
    // The specialised loop when the states are the ones the game draws with.
    const bool defaultStage = st.colorOp == TextureOp::Modulate && st.colorArg1 == ta::Texture &&
                              isDiffuse(st.colorArg2) && st.alphaOp == TextureOp::SelectArg1 &&
                              st.alphaArg1 == ta::Texture;
    const RenderStates& rs = s.rs;
    bool blendOk = true;
    pc.quickBlend = QuickBlend::None;
    if (rs.alphaBlendEnable) {
      if (rs.srcBlend == Blend::One && rs.destBlend == Blend::One)
        pc.quickBlend = QuickBlend::Add;
      else if (rs.srcBlend == Blend::SrcAlpha && rs.destBlend == Blend::InvSrcAlpha)
        pc.quickBlend = QuickBlend::Alpha;
      else if (rs.srcBlend == Blend::Zero && rs.destBlend == Blend::InvSrcColor)
        pc.quickBlend = QuickBlend::Subtract;
      else
        blendOk = false;
    }
    pc.alphaFromTexture = defaultStage;
    // Untextured, a stage that passes the diffuse colour and alpha (as the device sets it up
    // when no texture is bound) draws as a texture of white.
    const bool passesDiffuse =
        !texturing && (!stageOn || (st.colorOp == TextureOp::SelectArg1 && isDiffuse(st.colorArg1) &&
                                    st.alphaOp == TextureOp::SelectArg1 && isDiffuse(st.alphaArg1)));
    if (passesDiffuse) pc.alphaFromTexture = false;
    const bool sampling = !texturing || (st.magFilter == st.minFilter && pc.texPow2Wrap);
    if (blendOk && sampling && (pc.simpleModulate || defaultStage || passesDiffuse)) {
      if (SpanFn quick = PickQuick(s.target.format, hasDepth ? s.depth.format : DepthFormat::None,
                                   texturing ? s.texture->format : PixelFormat::Unknown, texturing && pc.linear))
        span_ = quick;
    }
  }

  // Vertices are transformed on first use in this draw.
  if (verts_.size() < vd.count) {
    verts_.resize(vd.count);
    outcodes_.resize(vd.count);
    stamp_.resize(vd.count, 0);
  }
  if (++drawId_ == 0) {
    std::fill(stamp_.begin(), stamp_.end(), 0);
    drawId_ = 1;
  }
  pcOther_ = pc;
  pcOther_.linear = !pc.linear;
  jobs_.clear();
  jobPixels_ = 0;
  const bool flat = s.rs.shadeMode == ShadeMode::Flat;
  for (size_t t = 0; t + 2 < indices.size(); t += 3) {
    uint32_t codes[3];
    const FVert* v[3];
    for (int k = 0; k < 3; ++k) {
      const uint16_t i = indices[t + k];
      if (stamp_[i] != drawId_) {
        ProcessVertex(s, vd, i, verts_[i], outcodes_[i]);
        stamp_[i] = drawId_;
      }
      codes[k] = outcodes_[i];
      v[k] = &verts_[i];
    }
    const uint32_t orCode = codes[0] | codes[1] | codes[2];
    if (orCode & kOutBad) continue;
    if (codes[0] & codes[1] & codes[2]) continue;  // all outside one plane
    const int facing =
        HomogeneousFacing(v[0]->x, v[0]->y, v[0]->w, v[1]->x, v[1]->y, v[1]->w, v[2]->x, v[2]->y, v[2]->w);
    if (facing == 0 || Culled(s.rs.cullMode, facing)) continue;
    FVert tri[3] = {*v[0], *v[1], *v[2]};
    if (flat)
      for (int k = 1; k < 3; ++k) std::copy(tri[0].c, tri[0].c + 8, tri[k].c);
    if (orCode & kClipMask) {
      DrawClipped(tri, orCode, facing);
    } else {
      Rasterize(&tri[0], &tri[1], &tri[2], facing);
    }
  }
  if (pool_.Size() > 1 && jobPixels_ >= minParallelPixels_) {
    const std::function<void(int)> job = [this](int thread) { DrawJobs(thread, pool_.Size()); };
    pool_.Run(job);
  } else {
    DrawJobs(0, 1);
  }
  return Result::Ok;
}

void FastRasterizer::DrawJobs(int thread, int threads) const {
  for (const TriangleJob& j : jobs_) {
    const PixelContext& pc = j.linear == pc_.linear ? pc_ : pcOther_;
    SpanSetup ss;
    std::copy(j.d, j.d + kAttrs, ss.d);
    ss.dzdx = j.dzdx;
    // The first row of this thread's first band that meets the triangle.
    const int firstBand = j.y0 / kBandRows;
    int band = firstBand + ((thread - firstBand) % threads + threads) % threads;
    for (; band * kBandRows <= j.y1; band += threads) {
      const int top = std::max(j.y0, band * kBandRows), bottom = std::min(j.y1, band * kBandRows + kBandRows - 1);
      for (int y = top; y <= bottom; ++y) {
        int64_t lo, hi;
        j.tri.RowSpan(y, lo, hi);
        lo = std::max<int64_t>(lo, rect_.x0);
        hi = std::min<int64_t>(hi, rect_.x1 - 1);
        if (lo > hi) continue;
        // Start values in double at the span's first pixel; only the steps along the span round.
        double b[3];
        j.tri.Barycentrics(double(lo), double(y), b);
        for (int k = 0; k < kAttrs; ++k)
          ss.a[k] = float(j.vals[k][0] * b[0] + j.vals[k][1] * b[1] + j.vals[k][2] * b[2]);
        ss.z0 = j.sz[0] * b[0] + j.sz[1] * b[1] + j.sz[2] * b[2];
        span_(pc, y, int(lo), int(hi), ss);
      }
    }
  }
}

FVert LerpVert(const FVert& a, const FVert& b, float t) {
  FVert r;
  r.x = a.x + (b.x - a.x) * t;
  r.y = a.y + (b.y - a.y) * t;
  r.z = a.z + (b.z - a.z) * t;
  r.w = a.w + (b.w - a.w) * t;
  for (int k = 0; k < 8; ++k) r.c[k] = a.c[k] + (b.c[k] - a.c[k]) * t;
  r.u = a.u + (b.u - a.u) * t;
  r.v = a.v + (b.v - a.v) * t;
  return r;
}

void FastRasterizer::DrawClipped(const FVert* tri, uint32_t orCode, int facing) {
  // Each plane adds at most one vertex: 3 + 7 fits comfortably.
  std::array<FVert, 16> bufA, bufB;
  FVert* in = bufA.data();
  FVert* out = bufB.data();
  int n = 3;
  std::copy(tri, tri + 3, in);
  const float gx = guardX_, gy = guardY_;
  auto clip = [&](uint32_t bit, auto dist) {
    if (!(orCode & bit)) return;
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const FVert& a = in[i];
      const FVert& b = in[(i + 1) % n];
      const float da = dist(a), db = dist(b);
      if (da >= 0) out[m++] = a;
      if ((da >= 0) != (db >= 0)) out[m++] = LerpVert(a, b, da / (da - db));
    }
    std::swap(in, out);
    n = m;
  };
  clip(kOutW, [](const FVert& c) { return c.w - float(kMinClipW); });
  clip(kOutNear, [](const FVert& c) { return c.z; });
  clip(kOutFar, [](const FVert& c) { return c.w - c.z; });
  clip(kOutLeft, [gx](const FVert& c) { return gx * c.w + c.x; });
  clip(kOutRight, [gx](const FVert& c) { return gx * c.w - c.x; });
  clip(kOutBottom, [gy](const FVert& c) { return gy * c.w + c.y; });
  clip(kOutTop, [gy](const FVert& c) { return gy * c.w - c.y; });
  for (int k = 1; k + 1 < n; ++k) Rasterize(&in[0], &in[k], &in[k + 1], facing);
}

void FastRasterizer::Rasterize(const FVert* v0, const FVert* v1, const FVert* v2, int facing) {
  const State& s = *state_;
  const Viewport& vp = s.viewport;
  const FVert* v[3] = {v0, v1, v2};
  double sx[3], sy[3], sz[3], rhw[3];
  const double hw = vp.width * 0.5, hh = vp.height * 0.5, dz = double(vp.maxZ) - vp.minZ;
  for (int k = 0; k < 3; ++k) {
    rhw[k] = 1.0 / v[k]->w;
    sx[k] = (vp.x + vp.CentreShift()) + (1.0 + v[k]->x * rhw[k]) * hw;
    sy[k] = (vp.y + vp.CentreShift()) + (1.0 - v[k]->y * rhw[k]) * hh;
    sz[k] = vp.minZ + v[k]->z * rhw[k] * dz;
  }
  SnappedTriangle tri;
  if (!tri.Setup(sx[0], sy[0], sx[1], sy[1], sx[2], sy[2], facing)) return;
  if (tri.swapped) {
    std::swap(v[1], v[2]);
    std::swap(rhw[1], rhw[2]);
    std::swap(sz[1], sz[2]);
  }
  const int y0 = std::max(rect_.y0, tri.minY), y1 = std::min(rect_.y1 - 1, tri.maxY);
  if (y0 > y1) return;
  if (std::max(rect_.x0, tri.minX) > std::min(rect_.x1 - 1, tri.maxX)) return;

  // Plane of each attribute: value(px, py) = c + dx * px + dy * py at pixel centres.
  TriangleJob& j = jobs_.emplace_back();
  j.tri = tri;
  j.y0 = y0;
  j.y1 = y1;
  double ex[3], ey[3];
  tri.BarycentricSteps(ex, ey);
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 8; ++k) j.vals[k][i] = v[i]->c[k] * rhw[i];
    j.vals[aUQ][i] = v[i]->u * rhw[i];
    j.vals[aVQ][i] = v[i]->v * rhw[i];
    j.vals[aQ][i] = rhw[i];
    j.sz[i] = sz[i];
  }
  double cx[kAttrs];
  for (int k = 0; k < kAttrs; ++k) {
    cx[k] = j.vals[k][0] * ex[0] + j.vals[k][1] * ex[1] + j.vals[k][2] * ex[2];
    j.d[k] = float(cx[k]);
  }
  j.dzdx = sz[0] * ex[0] + sz[1] * ex[1] + sz[2] * ex[2];
  j.linear = pc_.linear;
  if (pc_.tex && s.stage0.magFilter != s.stage0.minFilter) {
    // Minification or magnification, decided once per triangle at its centre.
    double e0[3];
    tri.Barycentrics(0, 0, e0);
    double c0[kAttrs], cy[kAttrs];
    for (int k = 0; k < kAttrs; ++k) {
      c0[k] = j.vals[k][0] * e0[0] + j.vals[k][1] * e0[1] + j.vals[k][2] * e0[2];
      cy[k] = j.vals[k][0] * ey[0] + j.vals[k][1] * ey[1] + j.vals[k][2] * ey[2];
    }
    const double mx = (sx[0] + sx[1] + sx[2]) / 3.0, my = (sy[0] + sy[1] + sy[2]) / 3.0;
    const double q = c0[aQ] + cx[aQ] * mx + cy[aQ] * my;
    const double u = (c0[aUQ] + cx[aUQ] * mx + cy[aUQ] * my) / q, vv = (c0[aVQ] + cx[aVQ] * mx + cy[aVQ] * my) / q;
    const double dudx = (cx[aUQ] - u * cx[aQ]) / q * pc_.texW, dvdx = (cx[aVQ] - vv * cx[aQ]) / q * pc_.texH;
    const double dudy = (cy[aUQ] - u * cy[aQ]) / q * pc_.texW, dvdy = (cy[aVQ] - vv * cy[aQ]) / q * pc_.texH;
    const bool minify = std::max(std::hypot(dudx, dvdx), std::hypot(dudy, dvdy)) > 1.0;
    j.linear = (minify ? s.stage0.minFilter : s.stage0.magFilter) != TextureFilter::Point;
  }
  const int x0 = std::max(rect_.x0, tri.minX), x1 = std::min(rect_.x1 - 1, tri.maxX);
  jobPixels_ += int64_t(y1 - y0 + 1) * (x1 - x0 + 1) / 2;
}

}  // namespace

std::unique_ptr<Rasterizer> MakeFastRasterizerWithThreads(int threads, int64_t minParallelPixels) {
  return std::make_unique<FastRasterizer>(std::clamp(threads, 1, kMaxRenderThreads), minParallelPixels);
}
std::unique_ptr<Rasterizer> MakeFastRasterizer() { return MakeFastRasterizerWithThreads(RenderThreads()); }

}  // namespace raster
