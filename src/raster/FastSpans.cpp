// The fast rasterizer's rows and span loops: a triangle's rows and their spans, instantiated per target
// format, depth format and texturing, with a faster loop for the game's common states.
#include <algorithm>
#include <cmath>

#include "raster/FastSpanLoop.h"

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN
namespace {

// Texture coordinates come from files: anything beyond +-2^30 texels (or NaN) is pinned first.
inline int FastFloor(float x) {
  x = std::min(1073741824.0f, std::max(-1073741824.0f, x));
  const int i = int(x);
  return i - (x < float(i));
}

// NaN lands on 0.
inline uint8_t To8(float v) { return uint8_t(std::min(255.0f, std::max(0.0f, v + 0.5f))); }

inline uint32_t Div255(uint32_t v) { return (v + 128 + ((v + 128) >> 8)) >> 8; }  // round(v / 255)

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

using spans::WalkRows;

template <PixelFormat TF, DepthFormat DF, bool TEX>
struct GeneralSpan {
  GeneralSpan(const PixelContext&, const SpanSetup&) {}
  void Draw(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) const {
    DrawSpan<TF, DF, TEX>(pc, y, x0, x1, ss);
  }
};
template <PixelFormat TF, DepthFormat DF, bool TEX>
void DrawRows(const PixelContext& pc, const TriangleJob& j, int top, int bottom) {
  WalkRows<GeneralSpan<TF, DF, TEX>>(pc, j, top, bottom);
}

}  // namespace

template <PixelFormat TF, DepthFormat DF>
RowsFn PickTex(bool tex) {
  return tex ? &DrawRows<TF, DF, true> : &DrawRows<TF, DF, false>;
}
template <PixelFormat TF>
RowsFn PickDepth(DepthFormat df, bool tex) {
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
RowsFn PickRows(PixelFormat tf, DepthFormat df, bool tex) {
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

namespace {
// The loop compiled for the baseline; FastSpansAvx2.cpp has the same loop compiled for AVX2, the
// same operations in the same order, so the same bits.
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
void DrawRowsQuick(const PixelContext& pc, const TriangleJob& j, int top, int bottom) {
  WalkRows<spans::QuickSpanOf<spans::Lanes4, TF, DF, TXF, LINEAR>>(pc, j, top, bottom);
}
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
struct BaselineRows {
  static constexpr RowsFn kFn = &DrawRowsQuick<TF, DF, TXF, LINEAR>;
};
}  // namespace

RowsFn PickQuick(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear, bool avx2) {
#if defined(TAVVY_FAST_AVX2)
  if (avx2) return PickQuickAvx2(tf, df, txf, linear);
#endif
  (void)avx2;
  return spans::PickQuickWith<BaselineRows>(tf, df, txf, linear);
}

TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
