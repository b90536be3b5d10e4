// The reference rasterizer: the fixed-function pipeline written out plainly, in double precision,
// one triangle and one pixel at a time. It is slow on purpose; it is the picture the fast
// rasterizer is held to.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "raster/PixelCodec.h"
#include "raster/RasterCommon.h"
#include "raster/TriangleSetup.h"

namespace raster {
namespace {

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(V3 a) { return std::sqrt(Dot(a, a)); }
V3 Normalized(V3 a) {
  const double l = Length(a);
  return l > 0 ? a * (1.0 / l) : V3{};
}

struct C4 {
  double r = 0, g = 0, b = 0, a = 0;
};
C4 operator+(C4 x, C4 y) { return {x.r + y.r, x.g + y.g, x.b + y.b, x.a + y.a}; }
C4 operator*(C4 x, C4 y) { return {x.r * y.r, x.g * y.g, x.b * y.b, x.a * y.a}; }
C4 operator*(C4 x, double s) { return {x.r * s, x.g * s, x.b * s, x.a * s}; }
double Sat(double v) { return v > 0 ? (v < 1 ? v : 1) : 0; }  // NaN gives 0
C4 Sat(C4 c) { return {Sat(c.r), Sat(c.g), Sat(c.b), Sat(c.a)}; }
C4 FromColor(const Color& c) { return {c.r, c.g, c.b, c.a}; }
C4 FromArgb(uint32_t v) {
  return {double(v >> 16 & 255) / 255.0, double(v >> 8 & 255) / 255.0, double(v & 255) / 255.0,
          double(v >> 24) / 255.0};
}
C4 FromRgba8(Rgba8 c) { return {c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0}; }
uint8_t To8(double v) { return uint8_t(Sat(v) * 255.0 + 0.5); }

using M4 = std::array<std::array<double, 4>, 4>;
M4 ToM4(const Mat4& m) {
  M4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r[i][j] = m.m[i][j];
  return r;
}
M4 Mul(const M4& a, const M4& b) {
  M4 r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r[i][j] += a[i][k] * b[k][j];
  return r;
}
// Row vector times matrix.
std::array<double, 4> Apply(const std::array<double, 4>& v, const M4& m) {
  std::array<double, 4> r{};
  for (int j = 0; j < 4; ++j)
    for (int k = 0; k < 4; ++k) r[j] += v[k] * m[k][j];
  return r;
}
V3 ApplyPoint(V3 p, const M4& m) {
  const auto r = Apply({p.x, p.y, p.z, 1.0}, m);
  return {r[0], r[1], r[2]};
}
V3 ApplyDirection(V3 d, const M4& m) {
  const auto r = Apply({d.x, d.y, d.z, 0.0}, m);
  return {r[0], r[1], r[2]};
}

// Normals go through the inverse transpose of the upper 3x3 (row-vector form: n * (M^-1)^T).
std::array<std::array<double, 3>, 3> NormalMatrix(const M4& m) {
  const double a = m[0][0], b = m[0][1], c = m[0][2];
  const double d = m[1][0], e = m[1][1], f = m[1][2];
  const double g = m[2][0], h = m[2][1], i = m[2][2];
  const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
  const double D = -(b * i - c * h), E = a * i - c * g, F = -(a * h - b * g);
  const double G = b * f - c * e, H = -(a * f - c * d), I = a * e - b * d;
  const double det = a * A + b * B + c * C;
  const double k = det != 0 ? 1.0 / det : 0.0;
  // (M^-1)^T is the cofactor matrix over the determinant.
  return {{{A * k, B * k, C * k}, {D * k, E * k, F * k}, {G * k, H * k, I * k}}};
}

// One vertex after transform and lighting, in clip space.
struct ClipVertex {
  double x = 0, y = 0, z = 0, w = 1;
  C4 diffuse, specular;
  double u = 0, v = 0;
};

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, double t) {
  ClipVertex r;
  r.x = a.x + (b.x - a.x) * t;
  r.y = a.y + (b.y - a.y) * t;
  r.z = a.z + (b.z - a.z) * t;
  r.w = a.w + (b.w - a.w) * t;
  r.diffuse = a.diffuse + (b.diffuse + a.diffuse * -1.0) * t;
  r.specular = a.specular + (b.specular + a.specular * -1.0) * t;
  r.u = a.u + (b.u - a.u) * t;
  r.v = a.v + (b.v - a.v) * t;
  return r;
}

struct DrawContext {
  const State* s = nullptr;
  VertexLayout layout;
  const VertexData* vd = nullptr;
  M4 worldView{}, projection{};
  std::array<std::array<double, 3>, 3> normalMatrix{};
  M4 view{};
  PixelRect rect;
};

ClipVertex ProcessVertex(const DrawContext& dc, uint32_t index) {
  const State& s = *dc.s;
  const VertexLayout& l = dc.layout;
  const uint8_t* p = static_cast<const uint8_t*>(dc.vd->data) + size_t(index) * dc.vd->stride;
  ClipVertex out;
  const V3 pos{ReadFloat(p + l.position), ReadFloat(p + l.position + 4), ReadFloat(p + l.position + 8)};
  const bool hasDiffuse = l.diffuse >= 0, hasSpecular = l.specular >= 0;
  const C4 vDiffuse = hasDiffuse ? FromArgb(ReadU32(p + l.diffuse)) : C4{1, 1, 1, 1};
  const C4 vSpecular = hasSpecular ? FromArgb(ReadU32(p + l.specular)) : C4{0, 0, 0, 0};

  const uint32_t set = s.stage0.texCoordIndex & 0xFFFF;
  if (int(set) < l.texCount) {
    out.u = ReadFloat(p + l.texOffset[set]);
    out.v = l.texSize[set] >= 2 ? ReadFloat(p + l.texOffset[set] + 4) : 0.0;
  }

  if (l.pretransformed) {
    // Screen x, y, z and 1/w: undo the viewport mapping so these clip like everything else.
    const double rhw = ReadFloat(p + l.position + 12);
    const Viewport& vp = s.viewport;
    const double w = 1.0 / rhw;
    const double k = vp.scale;
    const double nx = (pos.x - vp.x / k) / (vp.width / k * 0.5) - 1.0;
    const double ny = 1.0 - (pos.y - vp.y / k) / (vp.height / k * 0.5);
    const double dz = double(vp.maxZ) - vp.minZ;
    const double nz = dz != 0 ? (pos.z - vp.minZ) / dz : pos.z;
    out.x = nx * w;
    out.y = ny * w;
    out.z = nz * w;
    out.w = (rhw > 0) ? w : -1.0;  // rhw <= 0 (or NaN) puts the vertex behind the eye
    out.diffuse = vDiffuse;
    out.specular = vSpecular;
    return out;
  }

  const V3 pc = ApplyPoint(pos, dc.worldView);
  const auto clip = Apply({pc.x, pc.y, pc.z, 1.0}, dc.projection);
  out.x = clip[0];
  out.y = clip[1];
  out.z = clip[2];
  out.w = clip[3];

  if (!s.rs.lighting) {
    out.diffuse = vDiffuse;
    out.specular = vSpecular;
    return out;
  }

  V3 n{};
  if (l.normal >= 0) {
    const V3 nm{ReadFloat(p + l.normal), ReadFloat(p + l.normal + 4), ReadFloat(p + l.normal + 8)};
    const auto& m = dc.normalMatrix;
    n = {nm.x * m[0][0] + nm.y * m[1][0] + nm.z * m[2][0], nm.x * m[0][1] + nm.y * m[1][1] + nm.z * m[2][1],
         nm.x * m[0][2] + nm.y * m[1][2] + nm.z * m[2][2]};
    if (s.rs.normalizeNormals) n = Normalized(n);
  }

  auto source = [&](MaterialSource src, const Color& material) {
    if (s.rs.colorVertex) {
      if (src == MaterialSource::Color1 && hasDiffuse) return vDiffuse;
      if (src == MaterialSource::Color2 && hasSpecular) return vSpecular;
    }
    return FromColor(material);
  };
  const C4 mDiffuse = source(s.rs.diffuseMaterialSource, s.material.diffuse);
  const C4 mAmbient = source(s.rs.ambientMaterialSource, s.material.ambient);
  const C4 mSpecular = source(s.rs.specularMaterialSource, s.material.specular);
  const C4 mEmissive = source(s.rs.emissiveMaterialSource, s.material.emissive);

  C4 ambient = FromArgb(s.rs.ambient), diffuse, specular;
  // Without a local viewer the eye is infinitely far back along the view axis.
  const V3 toEye = s.rs.localViewer ? Normalized(pc * -1.0) : V3{0, 0, -1};
  for (const Light& light : s.lights) {
    V3 toLight;
    double atten = 1.0;
    if (light.type == LightType::Directional) {
      toLight = Normalized(ApplyDirection({light.direction.x, light.direction.y, light.direction.z}, dc.view) * -1.0);
    } else {
      const V3 lp = ApplyPoint({light.position.x, light.position.y, light.position.z}, dc.view);
      const V3 d = lp - pc;
      const double dist = Length(d);
      if (!(dist <= light.range)) continue;  // out of range (or a negative range): no light at all
      toLight = Normalized(d);
      const double den = light.attenuation0 + light.attenuation1 * dist + light.attenuation2 * dist * dist;
      atten = 1.0 / std::max(den, kMinAttenuationDenominator);
      if (light.type == LightType::Spot) {
        const V3 sd = Normalized(ApplyDirection({light.direction.x, light.direction.y, light.direction.z}, dc.view));
        const double rho = Dot(sd, toLight * -1.0);
        const double cosTheta = std::cos(light.theta * 0.5), cosPhi = std::cos(light.phi * 0.5);
        if (rho <= cosPhi) continue;
        if (rho < cosTheta) {
          const double t = (rho - cosPhi) / (cosTheta - cosPhi);
          atten *= light.falloff == 1.0f ? t : std::pow(t, double(light.falloff));
        }
      }
    }
    ambient = ambient + FromColor(light.ambient) * atten;
    const double nDotL = Dot(n, toLight);
    if (nDotL > 0) {
      diffuse = diffuse + FromColor(light.diffuse) * (nDotL * atten);
      const V3 h = Normalized(toLight + toEye);
      const double nDotH = Dot(n, h);
      if (nDotH > 0)
        specular = specular + FromColor(light.specular) * (std::pow(nDotH, double(s.material.power)) * atten);
    }
  }
  const C4 lit = mAmbient * ambient + mDiffuse * diffuse + mEmissive;
  out.diffuse = Sat(C4{lit.r, lit.g, lit.b, mDiffuse.a});
  const C4 spec = mSpecular * specular;
  out.specular = Sat(C4{spec.r, spec.g, spec.b, vSpecular.a});
  return out;
}

// Sutherland-Hodgman against one plane: keeps the side where dist(v) >= 0.
template <typename Dist>
void ClipAgainst(std::vector<ClipVertex>& poly, std::vector<ClipVertex>& scratch, Dist dist) {
  scratch.clear();
  const size_t n = poly.size();
  for (size_t i = 0; i < n; ++i) {
    const ClipVertex& a = poly[i];
    const ClipVertex& b = poly[(i + 1) % n];
    const double da = dist(a), db = dist(b);
    if (da >= 0) scratch.push_back(a);
    if ((da >= 0) != (db >= 0)) scratch.push_back(Lerp(a, b, da / (da - db)));
  }
  poly.swap(scratch);
}

// Texel index of a coordinate; coordinates come from files, so far-off values are pinned first.
int TexelFloor(double v) { return int(std::floor(std::clamp(std::isnan(v) ? 0.0 : v, -1073741824.0, 1073741824.0))); }

C4 SampleTexel(const Texture& t, const TextureStage& st, int ix, int iy, bool keyTest, bool& keyed) {
  const int x = AddressTexel(st.addressU, ix, int(t.width));
  const int y = AddressTexel(st.addressV, iy, int(t.height));
  const uint8_t* p = static_cast<const uint8_t*>(t.pixels) + size_t(y) * t.pitch + size_t(x) * BytesPerPixel(t.format);
  const uint32_t raw = LoadRaw(t.format, p);
  if (keyTest && t.hasColorKey) {
    const uint32_t m = ColorBitsMask(t.format), c = raw & m;
    if (c >= (t.colorKeyLow & m) && c <= (t.colorKeyHigh & m)) {
      keyed = true;
      return {};
    }
  }
  keyed = false;
  return FromRgba8(DecodeRaw(t.format, raw));
}

// Returns false when the colour key removes the pixel.
bool SampleTexture(const State& s, double u, double v, bool linear, C4& out) {
  const Texture& t = *s.texture;
  const bool keyTest = s.rs.colorKeyEnable;
  bool keyed = false;
  if (!linear) {
    out = SampleTexel(t, s.stage0, PointTexel(u * t.width), PointTexel(v * t.height), keyTest, keyed);
    return !keyed;
  }
  if (!(std::fabs(u) < 1e6)) u = 0;  // NaN, infinite or absurd: no meaningful filter weights
  if (!(std::fabs(v) < 1e6)) v = 0;
  const double tu = u * t.width - 0.5, tv = v * t.height - 0.5;
  const int x0 = TexelFloor(tu), y0 = TexelFloor(tv);
  const double au = std::clamp(tu - x0, 0.0, 1.0), av = std::clamp(tv - y0, 0.0, 1.0);
  const double w[4] = {(1 - au) * (1 - av), au * (1 - av), (1 - au) * av, au * av};
  const int dx[4] = {0, 1, 0, 1}, dy[4] = {0, 0, 1, 1};
  C4 sum;
  double keyedWeight = 0;
  for (int k = 0; k < 4; ++k) {
    const C4 c = SampleTexel(t, s.stage0, x0 + dx[k], y0 + dy[k], keyTest, keyed);
    if (keyed) keyedWeight += w[k];
    sum = sum + c * w[k];
  }
  out = sum;
  return keyedWeight < 0.5;
}

C4 Argument(uint32_t arg, const C4& diffuse, const C4& specular, const C4& texel, uint32_t tfactor) {
  C4 c;
  switch (arg & ta::SelectMask) {
    case ta::Diffuse:
    case ta::Current:
      c = diffuse;
      break;
    case ta::Texture:
      c = texel;
      break;
    case ta::TFactor:
      c = FromArgb(tfactor);
      break;
    case ta::Specular:
      c = specular;
      break;
    default:
      c = diffuse;
      break;
  }
  if (arg & ta::Complement) c = {1 - c.r, 1 - c.g, 1 - c.b, 1 - c.a};
  if (arg & ta::AlphaReplicate) c = {c.a, c.a, c.a, c.a};
  return c;
}

double Combine(TextureOp op, double a1, double a2, double current) {
  switch (op) {
    case TextureOp::Disable:
      return current;
    case TextureOp::SelectArg1:
      return a1;
    case TextureOp::SelectArg2:
      return a2;
    case TextureOp::Modulate:
      return a1 * a2;
    case TextureOp::Modulate2X:
      return Sat(2 * a1 * a2);
    case TextureOp::Modulate4X:
      return Sat(4 * a1 * a2);
    case TextureOp::Add:
      return Sat(a1 + a2);
  }
  return a1 * a2;
}

// Blend factor for one of the colour channels (k = 0..2) or alpha (k = 3).
double Factor(Blend b, const C4& src, const C4& dst, double srcChannel, double dstChannel, bool alpha) {
  switch (b) {
    case Blend::Zero:
      return 0;
    case Blend::One:
      return 1;
    case Blend::SrcColor:
      return srcChannel;
    case Blend::InvSrcColor:
      return 1 - srcChannel;
    case Blend::SrcAlpha:
      return src.a;
    case Blend::InvSrcAlpha:
      return 1 - src.a;
    case Blend::DestAlpha:
      return dst.a;
    case Blend::InvDestAlpha:
      return 1 - dst.a;
    case Blend::DestColor:
      return dstChannel;
    case Blend::InvDestColor:
      return 1 - dstChannel;
    case Blend::SrcAlphaSat:
      return alpha ? 1 : std::min(src.a, 1 - dst.a);
    case Blend::BothSrcAlpha:
      return src.a;
    case Blend::BothInvSrcAlpha:
      return 1 - src.a;
  }
  return 1;
}

C4 BlendColors(const RenderStates& rs, const C4& src, const C4& dst) {
  Blend sb = rs.srcBlend, db = rs.destBlend;
  if (sb == Blend::BothSrcAlpha) {
    sb = Blend::SrcAlpha;
    db = Blend::InvSrcAlpha;
  } else if (sb == Blend::BothInvSrcAlpha) {
    sb = Blend::InvSrcAlpha;
    db = Blend::SrcAlpha;
  }
  const double s[4] = {src.r, src.g, src.b, src.a}, d[4] = {dst.r, dst.g, dst.b, dst.a};
  double o[4];
  for (int k = 0; k < 4; ++k)
    o[k] = Sat(s[k] * Factor(sb, src, dst, s[k], d[k], k == 3) + d[k] * Factor(db, src, dst, s[k], d[k], k == 3));
  return {o[0], o[1], o[2], o[3]};
}

struct ScreenVertex {
  double sx = 0, sy = 0, sz = 0, rhw = 0;
  C4 diffuse, specular;
  double u = 0, v = 0;
};

void ShadePixel(const DrawContext& dc, int px, int py, const ScreenVertex* v[3], const double b[3],
                const SnappedTriangle& tri) {
  const State& s = *dc.s;
  const double z = b[0] * v[0]->sz + b[1] * v[1]->sz + b[2] * v[2]->sz;
  const bool depthOn = s.rs.zEnable && s.depth.format != DepthFormat::None;
  uint8_t* zp = nullptr;
  uint32_t zq = 0;
  if (depthOn) {
    zp = static_cast<uint8_t*>(s.depth.pixels) + size_t(py) * s.depth.pitch + size_t(px) * DepthBytes(s.depth.format);
    zq = QuantizeDepth(s.depth.format, z);
    if (!DepthPasses(s.rs.zFunc, zq, LoadDepth(s.depth.format, zp))) return;
  }

  // Colours and texture coordinates are perspective-correct: c/w and 1/w are linear on the
  // screen. (Interpolating colours linearly on the screen would make them depend on where a
  // triangle happened to be clipped.)
  const double w[3] = {b[0] * v[0]->rhw, b[1] * v[1]->rhw, b[2] * v[2]->rhw};
  const double q = w[0] + w[1] + w[2];
  const C4 diffuse = (v[0]->diffuse * w[0] + v[1]->diffuse * w[1] + v[2]->diffuse * w[2]) * (1.0 / q);
  const C4 specular = (v[0]->specular * w[0] + v[1]->specular * w[1] + v[2]->specular * w[2]) * (1.0 / q);

  C4 texel{1, 1, 1, 1};
  const bool textured = s.texture && s.stage0.colorOp != TextureOp::Disable;
  if (textured) {
    auto persp = [&](double px2, double py2, double& u, double& vv) {
      double bb[3];
      tri.Barycentrics(px2, py2, bb);
      const double q = bb[0] * v[0]->rhw + bb[1] * v[1]->rhw + bb[2] * v[2]->rhw;
      u = (bb[0] * v[0]->u * v[0]->rhw + bb[1] * v[1]->u * v[1]->rhw + bb[2] * v[2]->u * v[2]->rhw) / q;
      vv = (bb[0] * v[0]->v * v[0]->rhw + bb[1] * v[1]->v * v[1]->rhw + bb[2] * v[2]->v * v[2]->rhw) / q;
    };
    double u, vv;
    persp(px, py, u, vv);
    bool linear = s.stage0.magFilter != TextureFilter::Point;
    if (s.stage0.magFilter != s.stage0.minFilter) {
      // Minification when a pixel step covers more than one texel.
      double ux, vx, uy, vy;
      persp(px + 1, py, ux, vx);
      persp(px, py + 1, uy, vy);
      const double W = s.texture->width, H = s.texture->height;
      const double rx = std::hypot((ux - u) * W, (vx - vv) * H), ry = std::hypot((uy - u) * W, (vy - vv) * H);
      const bool minify = std::max(rx, ry) > 1.0;
      linear = (minify ? s.stage0.minFilter : s.stage0.magFilter) != TextureFilter::Point;
    }
    if (!std::isfinite(u) || !std::isfinite(vv)) u = vv = 0;
    if (!SampleTexture(s, u, vv, linear, texel)) return;
  }

  C4 color;
  const TextureStage& st = s.stage0;
  if (st.colorOp == TextureOp::Disable) {
    color = diffuse;
  } else {
    const C4 c1 = Argument(st.colorArg1, diffuse, specular, texel, s.rs.textureFactor);
    const C4 c2 = Argument(st.colorArg2, diffuse, specular, texel, s.rs.textureFactor);
    const C4 a1 = Argument(st.alphaArg1, diffuse, specular, texel, s.rs.textureFactor);
    const C4 a2 = Argument(st.alphaArg2, diffuse, specular, texel, s.rs.textureFactor);
    color.r = Combine(st.colorOp, c1.r, c2.r, diffuse.r);
    color.g = Combine(st.colorOp, c1.g, c2.g, diffuse.g);
    color.b = Combine(st.colorOp, c1.b, c2.b, diffuse.b);
    color.a = Combine(st.alphaOp, a1.a, a2.a, diffuse.a);
  }
  if (s.rs.specularEnable) color = Sat(C4{color.r + specular.r, color.g + specular.g, color.b + specular.b, color.a});

  const PixelFormat f = s.target.format;
  const int bpp = BytesPerPixel(f);
  uint8_t* cp = static_cast<uint8_t*>(s.target.pixels) + size_t(py) * s.target.pitch + size_t(px) * bpp;
  if (s.rs.alphaBlendEnable) color = BlendColors(s.rs, color, FromRgba8(DecodeRaw(f, LoadRaw(f, cp))));
  const Rgba8 c8{To8(color.r), To8(color.g), To8(color.b), To8(color.a)};
  const uint32_t t = (s.rs.ditherEnable && Is16Bit(f)) ? DitherThreshold(px, py) : kRoundThreshold;
  StoreRaw(f, cp, EncodeRaw(f, c8, t));
  if (depthOn && s.rs.zWriteEnable) StoreDepth(s.depth.format, zp, zq);
}

void DrawPolygon(const DrawContext& dc, const std::vector<ClipVertex>& poly, int facing) {
  const State& s = *dc.s;
  const Viewport& vp = s.viewport;
  std::vector<ScreenVertex> sv(poly.size());
  for (size_t i = 0; i < poly.size(); ++i) {
    const ClipVertex& c = poly[i];
    const double rhw = 1.0 / c.w;
    ScreenVertex& o = sv[i];
    o.sx = (vp.x + vp.CentreShift()) + (1.0 + c.x * rhw) * vp.width * 0.5;
    o.sy = (vp.y + vp.CentreShift()) + (1.0 - c.y * rhw) * vp.height * 0.5;
    o.sz = vp.minZ + c.z * rhw * (double(vp.maxZ) - vp.minZ);
    o.rhw = rhw;
    o.diffuse = c.diffuse;
    o.specular = c.specular;
    o.u = c.u;
    o.v = c.v;
    if (!std::isfinite(o.sx) || !std::isfinite(o.sy) || !std::isfinite(o.sz) || !std::isfinite(rhw)) return;
  }
  for (size_t k = 1; k + 1 < sv.size(); ++k) {
    const ScreenVertex* v[3] = {&sv[0], &sv[k], &sv[k + 1]};
    SnappedTriangle tri;
    if (!tri.Setup(v[0]->sx, v[0]->sy, v[1]->sx, v[1]->sy, v[2]->sx, v[2]->sy, facing)) continue;
    if (tri.swapped) std::swap(v[1], v[2]);
    const int x0 = std::max(dc.rect.x0, tri.minX), x1 = std::min(dc.rect.x1, tri.maxX + 1);
    const int y0 = std::max(dc.rect.y0, tri.minY), y1 = std::min(dc.rect.y1, tri.maxY + 1);
    for (int py = y0; py < y1; ++py)
      for (int px = x0; px < x1; ++px) {
        if (!tri.Covers(px, py)) continue;
        double b[3];
        tri.Barycentrics(px, py, b);
        ShadePixel(dc, px, py, v, b, tri);
      }
  }
}

class ReferenceRasterizer final : public Rasterizer {
 public:
  Result Clear(const State& state, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
               uint32_t stencil) override {
    return ClearSurfaces(state, rects, flags, argb, z, stencil);
  }

  Result DrawIndexedTriangleList(const State& s, const VertexData& vertices,
                                 std::span<const uint16_t> indices) override {
    DrawContext dc;
    if (const Result r = ValidateDraw(s, vertices, indices, dc.layout); r != Result::Ok) return r;
    if (s.texture && !UsableTexture(*s.texture)) return Result::InvalidParams;
    dc.s = &s;
    dc.vd = &vertices;
    dc.rect = DrawableRect(s);
    if (dc.rect.Empty()) return Result::Ok;
    dc.view = ToM4(s.view);
    dc.worldView = Mul(ToM4(s.world), dc.view);
    dc.projection = ToM4(s.projection);
    dc.normalMatrix = NormalMatrix(dc.worldView);

    std::vector<ClipVertex> poly, scratch;
    for (size_t t = 0; t + 2 < indices.size(); t += 3) {
      ClipVertex tv[3];
      for (int k = 0; k < 3; ++k) tv[k] = ProcessVertex(dc, indices[t + k]);
      bool finite = true;
      for (const ClipVertex& c : tv)
        finite = finite && std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z) && std::isfinite(c.w);
      if (!finite) continue;
      if (s.rs.shadeMode == ShadeMode::Flat)
        for (int k = 1; k < 3; ++k) {
          tv[k].diffuse = tv[0].diffuse;
          tv[k].specular = tv[0].specular;
        }
      const int facing =
          HomogeneousFacing(tv[0].x, tv[0].y, tv[0].w, tv[1].x, tv[1].y, tv[1].w, tv[2].x, tv[2].y, tv[2].w);
      if (facing == 0 || Culled(s.rs.cullMode, facing)) continue;
      poly.assign(tv, tv + 3);
      ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.w - kMinClipW; });
      if (!dc.layout.pretransformed) {
        // Pretransformed vertices are not clipped at the near and far planes: their z is
        // whatever the caller wrote, and only the depth test looks at it.
        ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.z; });
        ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.w - c.z; });
      }
      ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.w + c.x; });
      ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.w - c.x; });
      ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.w + c.y; });
      ClipAgainst(poly, scratch, [](const ClipVertex& c) { return c.w - c.y; });
      if (poly.size() < 3) continue;
      DrawPolygon(dc, poly, facing);
    }
    return Result::Ok;
  }
};

}  // namespace

std::unique_ptr<Rasterizer> MakeReferenceRasterizer() { return std::make_unique<ReferenceRasterizer>(); }

}  // namespace raster
