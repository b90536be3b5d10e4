// The fast rasterizer's span loops: one row of a triangle at a time, instantiated per target
// format, depth format and texturing, with a specialised loop for the game's common states.
#include <algorithm>
#include <cmath>

#include "raster/FastDevice.h"

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

// PointTexel of four coordinates (in texels), the same bits as one at a time.
inline void PointTexels(simd::F4 v, int32_t* out) {
  using simd::F4;
  const F4 limit = F4::Set(float(kMaxTexelCoordinate));
  v = And(LessEqual(v, v), v);  // NaN counts as 0
  v = Min(Max(v, -limit), limit);
  Floor(v * F4::Set(float(1 << kSubTexelBits)) + F4::Set(0.5f)).StoreInt(out);
  for (int k = 0; k < 4; ++k) out[k] >>= kSubTexelBits;
}

// DecodeRaw of four raw values in lanes, the same bits as one at a time.
template <PixelFormat F>
inline void DecodeLanes(simd::I4 v, simd::I4& r, simd::I4& g, simd::I4& b, simd::I4& a) {
  using simd::I4;
  const I4 m4 = I4::Set(15), m5 = I4::Set(31), m6 = I4::Set(63), m8 = I4::Set(255);
  auto expand5 = [](I4 x) { return x << 3 | x >> 2; };
  auto expand6 = [](I4 x) { return x << 2 | x >> 4; };
  auto expand4 = [](I4 x) { return MulSmall(x, I4::Set(17)); };
  if constexpr (F == PixelFormat::RGB565) {
    r = expand5(v >> 11 & m5);
    g = expand6(v >> 5 & m6);
    b = expand5(v & m5);
    a = m8;
  } else if constexpr (F == PixelFormat::X1R5G5B5 || F == PixelFormat::A1R5G5B5) {
    r = expand5(v >> 10 & m5);
    g = expand5(v >> 5 & m5);
    b = expand5(v & m5);
    a = F == PixelFormat::A1R5G5B5 ? MulSmall(v >> 15 & I4::Set(1), m8) : m8;
  } else if constexpr (F == PixelFormat::A4R4G4B4) {
    r = expand4(v >> 8 & m4);
    g = expand4(v >> 4 & m4);
    b = expand4(v & m4);
    a = expand4(v >> 12 & m4);
  } else {
    static_assert(F == PixelFormat::X8R8G8B8 || F == PixelFormat::A8R8G8B8, "no lane decoder for this format");
    r = v >> 16 & m8;
    g = v >> 8 & m8;
    b = v & m8;
    a = F == PixelFormat::A8R8G8B8 ? v >> 24 : m8;
  }
}

// The game's common case, specialised on target, depth and texture format and the filter:
// power-of-two wrap, colour = texture x diffuse, and one of the scene's four blend set-ups.
// Pixels go four at a time: the depth test first, then the interpolants of the group in four
// lanes (only when some pixel passed), the texels of the passing pixels one at a time, and
// colour, blend and packing of the group in integer lanes.
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
TAVVY_FAST_ALWAYS_INLINE void QuickSpan(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) {
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
    Z = RoundHalfAway((z0 * zmax + 0.5) * 65536.0);
    dZ = RoundHalfAway(dz * zmax * 65536.0);
  }
  const int64_t zTop = int64_t(zmax);
  // Groups start at x0 + a multiple of 4, so lane k always has the threshold of column x0 + k.
  alignas(16) int32_t thresholdLanes[4];
  for (int k = 0; k < 4; ++k)
    thresholdLanes[k] =
        int32_t((pc.dither && TF == PixelFormat::RGB565) ? DitherThreshold(x0 + k, y) : kRoundThreshold);
  const F4 fw = F4::Set(float(pc.texW)), fh = F4::Set(float(pc.texH));
  const int mw = pc.texW - 1, mh = pc.texH - 1;
  const QuickBlend blend = pc.quickBlend;
  const bool alphaFromTexture = pc.alphaFromTexture, specular = pc.specular;
  const bool depthTest = DF != DepthFormat::None && pc.depthTest;
  const F4 zero = F4::Set(0.0f), one = F4::Set(1.0f), half = F4::Set(0.5f), c255 = F4::Set(255.0f);
  const F4 coordLimit = F4::Set(1073741824.0f);
  auto pin = [&](F4 v) { return Min(coordLimit, Max(-coordLimit, v)); };

  const int n = x1 - x0 + 1;
  for (int i0 = 0; i0 < n; i0 += 4) {
    const int lanes = std::min(4, n - i0);
    // Bit k of a mask stands for lane k.
    uint32_t zq[4] = {};
    unsigned passMask = 0;
    for (int k = 0; k < lanes; ++k) {
      bool pass = true;
      if constexpr (DF != DepthFormat::None) {
        if (depthTest) {
          const int64_t zi = (Z + dZ * (i0 + k)) >> 16;
          zq[k] = uint32_t(zi < 0 ? 0 : (zi > zTop ? zTop : zi));
          pass = DepthPasses(pc.zFunc, zq[k], LoadDepth(DF, zrow + (i0 + k) * zbpp));
        }
      }
      passMask |= unsigned(pass) << k;
    }
    if (!passMask) continue;

    // Perspective is solved at every pixel: stepping it linearly over even a few pixels moves
    // texels visibly on steep surfaces.
    const float fi = float(i0);
    auto lane = [&](int k) { return simd::Ramp(ss.a[k] + fi * ss.d[k], ss.d[k]); };
    auto to8 = [&](F4 v) { return simd::Truncate(Min(Max(v + half, zero), c255)); };
    const F4 q = one / lane(aQ);
    using simd::I4;
    const I4 i255 = I4::Set(255);
    const I4 cr = to8(lane(aR) * q), cg = to8(lane(aG) * q), cb = to8(lane(aB) * q);
    const I4 ca = alphaFromTexture ? i255 : to8(lane(aA) * q);

    // The texels: fetched lane by lane (the colour key may drop a pixel), decoded in lanes.
    unsigned keyedMask = 0;
    I4 tr = i255, tg = i255, tb = i255, ta = i255;
    if constexpr (TEX) {
      F4 u = lane(aUQ) * q, v = lane(aVQ) * q;
      if constexpr (LINEAR) {
        // The four texels around each pixel, lane by lane; their weights, colour key and
        // weighted sums in lanes. Every product and sum is a whole number below 2^24, so the
        // float lanes hold them exactly and the result is the integer one.
        alignas(16) int32_t tx[4], ty[4];
        const F4 sane = F4::Set(1e6f);  // NaN, infinite or absurd: no meaningful filter weights
        u = And(Less(Abs(u), sane), u);
        v = And(Less(Abs(v), sane), v);
        const F4 tu = u * fw - half, tv = v * fh - half;
        const F4 fu = Floor(pin(tu)), fv = Floor(pin(tv));
        const F4 c256 = F4::Set(256.0f);
        fu.StoreInt(tx);
        fv.StoreInt(ty);
        const F4 wu = simd::ToFloat(simd::Truncate(Min(Max((tu - fu) * c256, zero), c256)));
        const F4 wv = simd::ToFloat(simd::Truncate(Min(Max((tv - fv) * c256, zero), c256)));
        const F4 weight[4] = {(c256 - wu) * (c256 - wv), wu * (c256 - wv), (c256 - wu) * wv, wu * wv};
        auto fetch = [&](int c, int k) -> uint32_t {
          if (!(passMask >> k & 1)) return 0;
          const int x = (tx[k] + (c & 1)) & mw, y = (ty[k] + (c >> 1)) & mh;
          return LoadRaw(TXF, pc.tex + size_t(y) * pc.texPitch + size_t(x) * txbpp);
        };
        const I4 keyMask = I4::Set(int32_t(pc.keyMask)), keyLow = I4::Set(int32_t(pc.keyLow)),
                 keyHigh = I4::Set(int32_t(pc.keyHigh));
        F4 sum[4] = {zero, zero, zero, zero}, keyedWeight = zero;
        for (int c = 0; c < 4; ++c) {
          const I4 raw = I4::Make(fetch(c, 0), fetch(c, 1), fetch(c, 2), fetch(c, 3));
          F4 w = weight[c];
          if (pc.colorKey) {
            // Kept where the colour bits lie outside [low, high] (all below 2^31: signed compares).
            const I4 bits = raw & keyMask;
            const F4 kept = And(Greater(keyLow, bits) | Greater(bits, keyHigh), w);
            keyedWeight = keyedWeight + (w - kept);
            w = kept;
          }
          I4 ch[4];
          DecodeLanes<TXF>(raw, ch[0], ch[1], ch[2], ch[3]);
          for (int k = 0; k < 4; ++k) sum[k] = sum[k] + simd::ToFloat(ch[k]) * w;
        }
        if (pc.colorKey) keyedMask = simd::LaneBits(LessEqual(F4::Set(32768.0f), keyedWeight)) & passMask;
        const F4 round = F4::Set(32768.0f), unit = F4::Set(1.0f / 65536.0f);
        tr = simd::Truncate((sum[0] + round) * unit);
        tg = simd::Truncate((sum[1] + round) * unit);
        tb = simd::Truncate((sum[2] + round) * unit);
        ta = simd::Truncate((sum[3] + round) * unit);
      } else {
        alignas(16) int32_t tx[4], ty[4];
        PointTexels(u * fw, tx);
        PointTexels(v * fh, ty);
        auto fetch = [&](int k) -> uint32_t {
          if (!(passMask >> k & 1)) return 0;
          const uint32_t raw = LoadRaw(TXF, pc.tex + size_t(ty[k] & mh) * pc.texPitch + size_t(tx[k] & mw) * txbpp);
          if (pc.colorKey) {
            const uint32_t c = raw & pc.keyMask;
            if (c >= pc.keyLow && c <= pc.keyHigh) keyedMask |= 1u << k;
          }
          return raw;
        };
        // Lanes beyond the span did not pass, so fetch reads nothing for them.
        const uint32_t t0 = fetch(0), t1 = fetch(1), t2 = fetch(2), t3 = fetch(3);
        DecodeLanes<TXF>(I4::Make(t0, t1, t2, t3), tr, tg, tb, ta);
      }
    }
    const unsigned drawMask = passMask & ~keyedMask;
    if (!drawMask) continue;

    I4 r = simd::Div255(MulSmall(tr, cr)), g = simd::Div255(MulSmall(tg, cg)), b = simd::Div255(MulSmall(tb, cb));
    const I4 al = alphaFromTexture ? ta : simd::Div255(MulSmall(ta, ca));
    if (specular) {
      r = MinSmall(i255, r + to8(lane(aSR) * q));
      g = MinSmall(i255, g + to8(lane(aSG) * q));
      b = MinSmall(i255, b + to8(lane(aSB) * q));
    }
    uint8_t* const group = row + i0 * bpp;
    if (blend != QuickBlend::None) {
      // The pixels under the group: one load for a whole group, lane by lane at the span's end.
      I4 d;
      if (lanes == 4) {
        d = TF == PixelFormat::RGB565 ? I4::LoadU16(group) : I4::LoadU32(group);
      } else {
        uint32_t under[4] = {};
        for (int k = 0; k < lanes; ++k) under[k] = LoadRaw(TF, group + k * bpp);
        d = I4::Make(under[0], under[1], under[2], under[3]);
      }
      I4 vr, vg, vb, va;
      DecodeLanes<TF>(d, vr, vg, vb, va);
      switch (blend) {
        case QuickBlend::Add:
          r = MinSmall(i255, r + vr);
          g = MinSmall(i255, g + vg);
          b = MinSmall(i255, b + vb);
          break;
        case QuickBlend::Alpha: {
          const I4 inv = i255 - al;
          r = simd::Div255(MulSmall(r, al) + MulSmall(vr, inv));
          g = simd::Div255(MulSmall(g, al) + MulSmall(vg, inv));
          b = simd::Div255(MulSmall(b, al) + MulSmall(vb, inv));
          break;
        }
        case QuickBlend::Subtract:
          r = simd::Div255(MulSmall(vr, i255 - r));
          g = simd::Div255(MulSmall(vg, i255 - g));
          b = simd::Div255(MulSmall(vb, i255 - b));
          break;
        case QuickBlend::None:
          break;
      }
    }
    I4 packed;
    if constexpr (TF == PixelFormat::RGB565) {
      // floor((c * max + t) / 255) per channel, t the rounding or dither threshold of the lane.
      const I4 t = I4::Load(thresholdLanes);
      const I4 q5 = I4::Set(31), q6 = I4::Set(63);
      packed = simd::Div255Floor(MulSmall(r, q5) + t) << 11 | simd::Div255Floor(MulSmall(g, q6) + t) << 5 |
               simd::Div255Floor(MulSmall(b, q5) + t);
    } else {
      packed = r << 16 | g << 8 | b;
    }
    if (drawMask == 0xF) {
      if constexpr (TF == PixelFormat::RGB565) {
        packed.StoreU16(group);
      } else {
        packed.StoreU32(group);
      }
    } else {
      alignas(16) int32_t out[4];
      packed.Store(out);
      for (int k = 0; k < lanes; ++k)
        if (drawMask >> k & 1) StoreRaw(TF, group + k * bpp, uint32_t(out[k]));
    }
    if constexpr (DF != DepthFormat::None) {
      if (pc.depthWrite) {
        for (int k = 0; k < lanes; ++k)
          if (drawMask >> k & 1) StoreDepth(DF, zrow + (i0 + k) * zbpp, zq[k]);
      }
    }
  }
}

}  // namespace

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

// The loop compiled for the baseline, and again for AVX2 where the device may pick it at run time:
// the same operations in the same order, so the same bits.
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
void DrawSpanQuick(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) {
  QuickSpan<TF, DF, TXF, LINEAR>(pc, y, x0, x1, ss);
}
#if defined(TAVVY_FAST_AVX2)
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
TAVVY_FAST_TARGET_AVX2 void DrawSpanQuickAvx2(const PixelContext& pc, int y, int x0, int x1, const SpanSetup& ss) {
  QuickSpan<TF, DF, TXF, LINEAR>(pc, y, x0, x1, ss);
}
#endif
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
SpanFn QuickFn(bool avx2) {
#if defined(TAVVY_FAST_AVX2)
  if (avx2) return &DrawSpanQuickAvx2<TF, DF, TXF, LINEAR>;
#endif
  (void)avx2;
  return &DrawSpanQuick<TF, DF, TXF, LINEAR>;
}

template <PixelFormat TF, DepthFormat DF, bool LINEAR>
SpanFn PickQuickTexture(PixelFormat txf, bool avx2) {
  switch (txf) {
    case PixelFormat::RGB565:
      return QuickFn<TF, DF, PixelFormat::RGB565, LINEAR>(avx2);
    case PixelFormat::X1R5G5B5:
      return QuickFn<TF, DF, PixelFormat::X1R5G5B5, LINEAR>(avx2);
    case PixelFormat::A1R5G5B5:
      return QuickFn<TF, DF, PixelFormat::A1R5G5B5, LINEAR>(avx2);
    case PixelFormat::A4R4G4B4:
      return QuickFn<TF, DF, PixelFormat::A4R4G4B4, LINEAR>(avx2);
    case PixelFormat::X8R8G8B8:
      return QuickFn<TF, DF, PixelFormat::X8R8G8B8, LINEAR>(avx2);
    case PixelFormat::A8R8G8B8:
      return QuickFn<TF, DF, PixelFormat::A8R8G8B8, LINEAR>(avx2);
    case PixelFormat::Unknown:
      return LINEAR ? nullptr : QuickFn<TF, DF, PixelFormat::Unknown, false>(avx2);
    default:
      return nullptr;
  }
}
template <PixelFormat TF, DepthFormat DF>
SpanFn PickQuickFilter(PixelFormat txf, bool linear, bool avx2) {
  return linear ? PickQuickTexture<TF, DF, true>(txf, avx2) : PickQuickTexture<TF, DF, false>(txf, avx2);
}
template <PixelFormat TF>
SpanFn PickQuickDepth(DepthFormat df, PixelFormat txf, bool linear, bool avx2) {
  switch (df) {
    case DepthFormat::None:
      return PickQuickFilter<TF, DepthFormat::None>(txf, linear, avx2);
    case DepthFormat::D16:
      return PickQuickFilter<TF, DepthFormat::D16>(txf, linear, avx2);
    case DepthFormat::D24X8:
      return PickQuickFilter<TF, DepthFormat::D24X8>(txf, linear, avx2);
    case DepthFormat::D32:
      return PickQuickFilter<TF, DepthFormat::D32>(txf, linear, avx2);
    default:
      return nullptr;
  }
}
// The specialised path for the game's two target formats, or none.
SpanFn PickQuick(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear, bool avx2) {
  switch (tf) {
    case PixelFormat::RGB565:
      return PickQuickDepth<PixelFormat::RGB565>(df, txf, linear, avx2);
    case PixelFormat::X8R8G8B8:
      return PickQuickDepth<PixelFormat::X8R8G8B8>(df, txf, linear, avx2);
    default:
      return nullptr;
  }
}

TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
