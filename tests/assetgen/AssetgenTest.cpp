// Checks of the data set that assetgen writes: every file the game asks for is there and
// parses as the game's loaders will read it, the sizes and directions fit the game, the
// loops join, and two runs give the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "SXView1/TitleJpeg.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kMeshes[] = {"dotai.sx",   "nata.sx", "kyu.sx", "colony.sx", "sankaku.sx", "beam.sx",   "fire_s.sx",
                               "missile.sx", "ball.sx", "gm.sx",  "core.sx",   "Bomb.sx",    "Bomb_s.sx", "pigzam.sx"};
const char* const kEffects[] = {"gunshot.wav", "gunshot2.wav", "rocket.wav", "exprosion.wav", "exprosion_s.wav",
                                "info.wav",    "crash.wav",    "nata.wav",   "missile.wav"};

int RunAssetgen(const std::string& args) {
  return std::system((std::string("\"") + ASSETGEN_EXE + "\" " + args).c_str());
}

// The data set under test: the one the build wrote beside the program when it generates
// one, otherwise a fresh one in a temporary folder (generating takes a few seconds).
class DataSet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifdef ASSETGEN_DATA_DIR
    data_ = ASSETGEN_DATA_DIR;
#else
    dir_ = std::make_unique<testsupport::TempDir>();
    data_ = dir_->Path();
    ASSERT_EQ(RunAssetgen("--data \"" + data_.string() + "\""), 0);
#endif
  }
  static void TearDownTestSuite() { dir_.reset(); }
  static Bytes Read(const std::string& name) { return testsupport::ReadFileBytes(Path(name)); }
  static std::string Path(const std::string& name) { return (data_ / name).string(); }
  static std::filesystem::path data_;
  static std::unique_ptr<testsupport::TempDir> dir_;
};
std::filesystem::path DataSet::data_;
std::unique_ptr<testsupport::TempDir> DataSet::dir_;

uint32_t U16(const Bytes& b, size_t o) { return b.at(o) | (b.at(o + 1) << 8); }
uint32_t U32(const Bytes& b, size_t o) { return U16(b, o) | (U16(b, o + 2) << 16); }
int32_t S32(const Bytes& b, size_t o) { return static_cast<int32_t>(U32(b, o)); }
float F32(const Bytes& b, size_t o) {
  const uint32_t u = U32(b, o);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

// --- meshes ------------------------------------------------------------------------------

struct V {
  double x, y, z;
};
V Sub(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V Cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct SxVertex {
  V p, n;
  uint32_t diffuse;
  float u, v;
};
struct Sx {
  std::vector<SxVertex> v;
  std::vector<uint32_t> idx;
  V lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
  V Size() const { return Sub(hi, lo); }
};

// Reads a version-0 file as the mesh loader does, failing the test on anything it would refuse.
Sx ParseSx(const Bytes& b, const std::string& name) {
  Sx m;
  EXPECT_GE(b.size(), 256u) << name;
  if (b.size() < 256) return m;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 16), "Simplified_X00  ") << name;
  const size_t nv = U16(b, 16), ni = U16(b, 18);
  EXPECT_GT(ni, 0u) << name << ": an empty index list is a load error";
  EXPECT_EQ(ni % 3, 0u) << name;
  EXPECT_EQ(b.size(), 256 + nv * 40 + ni * 2) << name;
  if (b.size() < 256 + nv * 40 + ni * 2) return m;
  for (size_t i = 0; i < nv; ++i) {
    const size_t o = 256 + i * 40;
    SxVertex v{{F32(b, o), F32(b, o + 4), F32(b, o + 8)},
               {F32(b, o + 12), F32(b, o + 16), F32(b, o + 20)},
               U32(b, o + 24),
               F32(b, o + 32),
               F32(b, o + 36)};
    m.v.push_back(v);
    m.lo = {std::min(m.lo.x, v.p.x), std::min(m.lo.y, v.p.y), std::min(m.lo.z, v.p.z)};
    m.hi = {std::max(m.hi.x, v.p.x), std::max(m.hi.y, v.p.y), std::max(m.hi.z, v.p.z)};
  }
  for (size_t i = 0; i < ni; ++i) m.idx.push_back(U16(b, 256 + nv * 40 + i * 2));
  return m;
}

TEST_F(DataSet, EveryMeshLoadsWithIndicesInRangeAndFacesWoundForDefaultCulling) {
  for (const char* name : kMeshes) {
    const Sx m = ParseSx(Read(name), name);
    ASSERT_FALSE(m.v.empty()) << name;
    for (const SxVertex& v : m.v) {
      ASSERT_TRUE(std::isfinite(v.p.x) && std::isfinite(v.p.y) && std::isfinite(v.p.z)) << name;
      EXPECT_NEAR(Dot(v.n, v.n), 1.0, 1e-3) << name << ": normals are unit length";
      EXPECT_EQ(v.diffuse >> 24, 0xFFu) << name << ": opaque diffuse colour";
    }
    int wrong = 0;
    for (size_t t = 0; t + 2 < m.idx.size(); t += 3) {
      ASSERT_LT(m.idx[t], m.v.size()) << name;
      ASSERT_LT(m.idx[t + 1], m.v.size()) << name;
      ASSERT_LT(m.idx[t + 2], m.v.size()) << name;
      const SxVertex &a = m.v[m.idx[t]], &b = m.v[m.idx[t + 1]], &c = m.v[m.idx[t + 2]];
      const V g = Cross(Sub(b.p, a.p), Sub(c.p, a.p));
      EXPECT_GT(Dot(g, g), 0.0) << name << ": degenerate triangle " << t / 3;
      // Left-handed, CULL_CCW: a front face runs clockwise seen from outside, so its
      // (b - a) x (c - a) points out, the way the vertex normals point.
      const V n{a.n.x + b.n.x + c.n.x, a.n.y + b.n.y + c.n.y, a.n.z + b.n.z + c.n.z};
      if (Dot(g, n) <= 0) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << name << ": triangles wound against their normals";
  }
}

TEST_F(DataSet, MeshSizesFitTheGame) {
  auto across = [](const Sx& m) { return std::max({m.Size().x, m.Size().y, m.Size().z}); };
  const Sx ship = ParseSx(Read("dotai.sx"), "dotai.sx");
  EXPECT_GT(ship.Size().z, 7.0);
  EXPECT_LT(ship.Size().z, 10.0);
  EXPECT_GT(ship.Size().z, ship.Size().x) << "the ship is longest along z";
  // The thruster flames sit at z 6.5 and the shots leave at z -1: the hull stays between.
  EXPECT_LT(ship.hi.z, 6.0);
  EXPECT_LT(ship.lo.z, -3.0);
  for (const char* name : {"ball.sx", "gm.sx", "core.sx"}) {
    const Sx m = ParseSx(Read(name), name);
    EXPECT_GE(across(m), 3.0) << name;
    EXPECT_LE(across(m), 7.0) << name;
  }
  const Sx target = ParseSx(Read("pigzam.sx"), "pigzam.sx");
  EXPECT_GE(across(target), 20.0);
  EXPECT_LE(across(target), 31.0);
  const Sx colony = ParseSx(Read("colony.sx"), "colony.sx");
  EXPECT_GT(colony.Size().x, colony.Size().y) << "the colony's long axis is x, the axis it turns about";
  EXPECT_LT(across(colony), 400.0) << "the near-colony warning starts at 400";
  const Sx missile = ParseSx(Read("missile.sx"), "missile.sx");
  EXPECT_LT(across(missile), 4.0);
}

// Area the faces of a mesh cover seen along z (each face of a thin plate counts once).
double AreaAlongZ(const Sx& m) {
  double area = 0;
  for (size_t i = 0; i + 2 < m.idx.size(); i += 3) {
    const V a = m.v[m.idx[i]].p, b = m.v[m.idx[i + 1]].p, c = m.v[m.idx[i + 2]].p;
    const V n = Cross(Sub(b, a), Sub(c, a));
    if (n.z > 0) area += n.z / 2;
  }
  return area;
}

TEST_F(DataSet, BladeReachesTheSlabBesideTheShip) {
  // At rest the game turns mesh +y onto the ship's -z; a swing turns it about x. The hit
  // slab is 3 < |x| < 10 and 5 < -z < 12 in ship space, so in mesh space the cutting part
  // lies at 3 < |x| < 10, 5 < y < 12, on both sides.
  const Sx m = ParseSx(Read("nata.sx"), "nata.sx");
  EXPECT_LE(std::max(-m.lo.x, m.hi.x), 10.0);
  EXPECT_GE(m.hi.y, 12.0);
  bool left = false, right = false;
  for (const SxVertex& v : m.v) {
    if (v.p.y > 5 && v.p.y < 12 && v.p.x > 3 && v.p.x < 10) right = true;
    if (v.p.y > 5 && v.p.y < 12 && v.p.x < -3 && v.p.x > -10) left = true;
  }
  EXPECT_TRUE(left && right);
  // Slim: at rest the blades lie across the first view, so blades and arms together cover
  // less than 50 square units seen from above (the broad cleavers of an earlier set, 113).
  EXPECT_LT(AreaAlongZ(m), 50.0);
}

TEST_F(DataSet, SpritesAreTexturedQuadsFacingPlusZ) {
  for (const char* name : {"beam.sx", "fire_s.sx", "Bomb.sx", "Bomb_s.sx"}) {
    const Sx m = ParseSx(Read(name), name);
    ASSERT_EQ(m.v.size(), 4u) << name;
    ASSERT_EQ(m.idx.size(), 6u) << name;
    float umin = 1, umax = 0, vmin = 1, vmax = 0;
    for (const SxVertex& v : m.v) {
      EXPECT_EQ(v.p.z, 0.0) << name;
      EXPECT_EQ(v.n.z, 1.0) << name;
      umin = std::min(umin, v.u), umax = std::max(umax, v.u), vmin = std::min(vmin, v.v), vmax = std::max(vmax, v.v);
    }
    EXPECT_TRUE(umin == 0 && umax == 1 && vmin == 0 && vmax == 1) << name << ": the whole texture on the quad";
  }
  const Sx big = ParseSx(Read("Bomb.sx"), "Bomb.sx"), small = ParseSx(Read("Bomb_s.sx"), "Bomb_s.sx");
  EXPECT_GT(big.Size().x, 2 * small.Size().x);
}

TEST_F(DataSet, PlanetIsASphereWithADoubledSeam) {
  const Sx m = ParseSx(Read("kyu.sx"), "kyu.sx");
  double radius = std::sqrt(Dot(m.v[0].p, m.v[0].p));
  EXPECT_GT(radius, 500.0);
  EXPECT_LT(radius, 1700.0) << "the planet warning starts 1800 from its centre";
  int seam = 0;
  for (const SxVertex& v : m.v) {
    EXPECT_NEAR(std::sqrt(Dot(v.p, v.p)), radius, radius * 1e-5);
    EXPECT_TRUE(v.u >= 0 && v.u <= 1 && v.v >= 0 && v.v <= 1);
    if (v.u == 1.0f) {
      // Each vertex of the u = 1 column has a twin at u = 0 in the same place.
      for (const SxVertex& w : m.v)
        if (w.u == 0.0f && w.v == v.v && Dot(Sub(w.p, v.p), Sub(w.p, v.p)) < 1e-3) {
          ++seam;
          break;
        }
    }
  }
  EXPECT_GT(seam, 10);
}

// --- pictures ----------------------------------------------------------------------------

struct Bmp {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;  // top row first
  const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
};

Bmp ParseBmp(const Bytes& b, const std::string& name) {
  Bmp p;
  EXPECT_GE(b.size(), 54u) << name;
  if (b.size() < 54) return p;
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(U32(b, 2), b.size()) << name;
  EXPECT_EQ(U32(b, 14), 40u) << name;
  EXPECT_EQ(U16(b, 28), 24u) << name;
  EXPECT_EQ(U32(b, 30), 0u) << name << ": uncompressed";
  EXPECT_GT(S32(b, 22), 0) << name << ": bottom-up";
  // The surface loader reads a 1024-byte colour table after the headers even for 24-bit
  // pictures, then seeks to the pixels: the file must be at least that long.
  EXPECT_GE(b.size(), 14u + 40 + 1024) << name;
  p.w = S32(b, 18);
  p.h = S32(b, 22);
  const size_t off = U32(b, 10), row = (static_cast<size_t>(p.w) * 3 + 3) & ~size_t{3};
  EXPECT_EQ(b.size(), off + row * p.h) << name;
  if (p.w <= 0 || p.h <= 0 || b.size() < off + row * p.h) return Bmp{};
  p.rgb.resize(static_cast<size_t>(p.w) * p.h * 3);
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x)
      for (int c = 0; c < 3; ++c)
        p.rgb[(static_cast<size_t>(y) * p.w + x) * 3 + c] = b[off + (p.h - 1 - y) * row + x * 3 + 2 - c];
  return p;
}

// The enemies stand out against space (bright enough) and against the planet (another colour
// than the planet's): over each enemy's surface, the median luminance of its colours is at
// least 0.4, and its mean colour lies at least 0.35 from the planet texture's mean colour.
TEST_F(DataSet, EnemiesStandOutAgainstSpaceAndThePlanet) {
  const Bmp earth = ParseBmp(Read("earth.bmp"), "earth.bmp");
  ASSERT_FALSE(earth.rgb.empty());
  double planet[3] = {0, 0, 0};
  for (size_t i = 0; i < earth.rgb.size(); ++i) planet[i % 3] += earth.rgb[i] / 255.0;
  for (double& c : planet) c /= static_cast<double>(earth.rgb.size() / 3);
  for (const char* name : {"ball.sx", "gm.sx", "core.sx"}) {
    const Sx m = ParseSx(Read(name), name);
    // Each triangle's area, with the mean colour of its corners.
    std::vector<std::pair<double, double>> byLuminance;  // luminance, area
    double mean[3] = {0, 0, 0}, total = 0;
    for (size_t t = 0; t + 2 < m.idx.size(); t += 3) {
      const SxVertex* c[3] = {&m.v.at(m.idx[t]), &m.v.at(m.idx[t + 1]), &m.v.at(m.idx[t + 2])};
      const V n = Cross(Sub(c[1]->p, c[0]->p), Sub(c[2]->p, c[0]->p));
      const double area = 0.5 * std::sqrt(Dot(n, n));
      double rgb[3] = {0, 0, 0};
      for (const SxVertex* v : c)
        for (int k = 0; k < 3; ++k) rgb[k] += ((v->diffuse >> (16 - 8 * k)) & 0xFF) / 255.0 / 3.0;
      for (int k = 0; k < 3; ++k) mean[k] += rgb[k] * area;
      total += area;
      byLuminance.emplace_back(0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2], area);
    }
    ASSERT_GT(total, 0) << name;
    std::sort(byLuminance.begin(), byLuminance.end());
    double seen = 0, median = 0;
    for (const auto& [luminance, area] : byLuminance) {
      seen += area;
      median = luminance;
      if (seen >= total / 2) break;
    }
    double distance = 0;
    for (int k = 0; k < 3; ++k) distance += std::pow(mean[k] / total - planet[k], 2);
    distance = std::sqrt(distance);
    EXPECT_GE(median, 0.4) << name << ": too dark against space (median luminance " << median << ")";
    EXPECT_GE(distance, 0.35) << name << ": too close to the planet's colour (" << distance << ")";
  }
}

TEST_F(DataSet, TexturesHaveTheSizesTheGameCreates) {
  const struct {
    const char* name;
    int w, h;
  } sizes[] = {{"earth.bmp", 256, 256}, {"metal.bmp", 128, 128}, {"beam.bmp", 128, 128},
               {"beam2.bmp", 128, 128}, {"fire.bmp", 128, 128},  {"bakuhatu.bmp", 512, 512}};
  for (const auto& s : sizes) {
    const Bmp b = ParseBmp(Read(s.name), s.name);
    EXPECT_EQ(b.w, s.w) << s.name;
    EXPECT_EQ(b.h, s.h) << s.name;
  }
  const Bmp portrait = ParseBmp(Read("tavvy.bmp"), "tavvy.bmp");
  EXPECT_GE(portrait.w, 50);
  EXPECT_GE(portrait.h, 50);
  const Bmp logo = ParseBmp(Read("title.bmp"), "title.bmp");
  EXPECT_LE(30 + logo.w, 432) << "the logo at (30, 30) stays clear of the staff block";
  EXPECT_LE(30 + logo.h, 380) << "and of the prompt";
}

// Sprites are keyed on black and drawn additively: nothing may leak at their edges.
TEST_F(DataSet, SpriteTexturesFadeToBlackAtEveryEdge) {
  auto borderIsBlack = [](const Bmp& b, int ox, int oy, int size) {
    for (int k = 0; k < size; ++k)
      for (const uint8_t* p :
           {b.At(ox + k, oy), b.At(ox + k, oy + size - 1), b.At(ox, oy + k), b.At(ox + size - 1, oy + k)})
        if (p[0] || p[1] || p[2]) return false;
    return true;
  };
  for (const char* name : {"beam.bmp", "beam2.bmp", "fire.bmp"}) {
    const Bmp b = ParseBmp(Read(name), name);
    ASSERT_EQ(b.w, 128);
    EXPECT_TRUE(borderIsBlack(b, 0, 0, 128)) << name;
    EXPECT_GT(b.At(64, 64)[0] + b.At(64, 64)[1] + b.At(64, 64)[2], 600) << name << ": a bright centre";
  }
  const Bmp sheet = ParseBmp(Read("bakuhatu.bmp"), "bakuhatu.bmp");
  ASSERT_EQ(sheet.w, 512);
  for (int f = 0; f < 16; ++f) EXPECT_TRUE(borderIsBlack(sheet, (f % 4) * 128, (f / 4) * 128, 128)) << "tile " << f;
}

TEST_F(DataSet, ExplosionBloomsReddensAndFades) {
  const Bmp sheet = ParseBmp(Read("bakuhatu.bmp"), "bakuhatu.bmp");
  ASSERT_EQ(sheet.w, 512);
  double light[16], red[16], blue[16];
  for (int f = 0; f < 16; ++f) {
    light[f] = red[f] = blue[f] = 0;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x) {
        const uint8_t* p = sheet.At((f % 4) * 128 + x, (f / 4) * 128 + y);
        light[f] += p[0] + p[1] + p[2];
        red[f] += p[0];
        blue[f] += p[2];
      }
  }
  EXPECT_GT(light[3], light[0]) << "the fireball grows first";
  for (int f = 4; f < 15; ++f) EXPECT_LT(light[f + 1], light[f]) << "then fades, frame " << f + 1;
  EXPECT_LT(light[15], light[3] / 5);
  EXPECT_GT(blue[0] / red[0], blue[8] / red[8]) << "white-hot at first, red later";
}

TEST_F(DataSet, EarthMapJoinsAtItsSeam) {
  const Bmp e = ParseBmp(Read("earth.bmp"), "earth.bmp");
  ASSERT_EQ(e.w, 256);
  auto columnStep = [&](int a, int b) {
    double d = 0;
    for (int y = 0; y < 256; ++y)
      for (int c = 0; c < 3; ++c) d += std::abs(e.At(a, y)[c] - e.At(b, y)[c]);
    return d;
  };
  double typical = 0;
  for (int x = 0; x < 255; ++x) typical += columnStep(x, x + 1) / 255;
  EXPECT_LT(columnStep(255, 0), 2.5 * typical) << "u = 1 must meet u = 0 like any two neighbouring columns";
}

// Close up, each texel of the planet covers about 22 x 11 units of its surface and the
// game keeps 5 bits a channel of it. Coasts, relief and cloud edges
// must change from texel to texel there, or the ground reads as flat blocks: over the
// rows between the ice caps, the luminance's discrete Laplacian (in 5-bit steps) has an
// RMS of at least 40 (8-bit units), and fewer than 11 % of the texels match both their right and their
// lower neighbour exactly.
TEST_F(DataSet, PlanetKeepsItsDetailCloseUp) {
  const Bmp e = ParseBmp(Read("earth.bmp"), "earth.bmp");
  ASSERT_EQ(e.w, 256);
  ASSERT_EQ(e.h, 256);
  auto rgb555 = [&](int x, int y) {
    const uint8_t* p = e.At((x + e.w) % e.w, y);
    return (p[0] & 0xF8) << 16 | (p[1] & 0xF8) << 8 | (p[2] & 0xF8);
  };
  auto luma = [&](int x, int y) {
    const int c = rgb555(x, y);
    return 0.2126 * (c >> 16) + 0.7152 * ((c >> 8) & 0xFF) + 0.0722 * (c & 0xFF);
  };
  double energy = 0;
  int texels = 0, flat = 0;
  for (int y = e.h / 6; y < e.h - e.h / 6; ++y)
    for (int x = 0; x < e.w; ++x) {
      const double lap = 4 * luma(x, y) - luma(x - 1, y) - luma(x + 1, y) - luma(x, y - 1) - luma(x, y + 1);
      energy += lap * lap;
      ++texels;
      if (rgb555(x, y) == rgb555(x + 1, y) && rgb555(x, y) == rgb555(x, y + 1)) ++flat;
    }
  EXPECT_GE(std::sqrt(energy / texels), 40.0) << "too little detail from texel to texel";
  EXPECT_LT(static_cast<double>(flat) / texels, 0.11) << "too many flat patches";
}

// --- sounds ------------------------------------------------------------------------------

struct Wav {
  int channels = 0, rate = 0, bits = 0;
  std::vector<int16_t> s;
  size_t Frames() const { return channels ? s.size() / channels : 0; }
};

// The plain 44-byte layout: the music is streamed raw from byte 0, so the header size matters.
Wav ParseWav(const Bytes& b, const std::string& name) {
  Wav w;
  EXPECT_GE(b.size(), 44u) << name;
  if (b.size() < 44) return w;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF") << name;
  EXPECT_EQ(U32(b, 4), b.size() - 8) << name;
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ") << name;
  EXPECT_EQ(U32(b, 16), 16u) << name;
  EXPECT_EQ(U16(b, 20), 1u) << name << ": PCM";
  w.channels = static_cast<int>(U16(b, 22));
  w.rate = static_cast<int>(U32(b, 24));
  w.bits = static_cast<int>(U16(b, 34));
  EXPECT_EQ(U16(b, 32), static_cast<uint32_t>(w.channels * 2)) << name;
  EXPECT_EQ(U32(b, 28), static_cast<uint32_t>(w.rate * w.channels * 2)) << name;
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data") << name;
  EXPECT_EQ(U32(b, 40), b.size() - 44) << name;
  EXPECT_EQ(w.bits, 16) << name;
  for (size_t o = 44; o + 1 < b.size(); o += 2) w.s.push_back(static_cast<int16_t>(U16(b, o)));
  return w;
}

int Peak(const Wav& w) {
  int p = 0;
  for (int16_t v : w.s) p = std::max(p, std::abs(static_cast<int>(v)));
  return p;
}

// How far apart the last frame and the first are, against the steps inside the sound:
// 1.0 means the join is as big as the largest step the sound itself takes.
double JoinRatio(const Wav& w) {
  double worst = 0;
  for (int c = 0; c < w.channels; ++c) {
    std::vector<int> steps;
    for (size_t i = 1; i < w.Frames(); ++i)
      steps.push_back(std::abs(w.s[i * w.channels + c] - w.s[(i - 1) * w.channels + c]));
    std::sort(steps.begin(), steps.end());
    const double big = std::max(1, steps[steps.size() * 999 / 1000]);
    const double join = std::abs(w.s[c] - w.s[(w.Frames() - 1) * w.channels + c]);
    worst = std::max(worst, join / big);
  }
  return worst;
}

double Db(double fullScaleFraction) { return 20.0 * std::log10(std::max(fullScaleFraction, 1e-12)); }

// Level in dBFS (RMS, full-scale sine = -3) of what lies above `fromHz` in the first `frames`
// frames of the first channel: a Hann-windowed DFT, band power by Parseval.
double HighBandDb(const Wav& w, size_t frames, double fromHz) {
  const size_t n = std::min(frames, w.Frames());
  std::vector<double> x(n);
  double windowPower = 0;
  for (size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
    x[i] = hann * w.s[i * w.channels] / 32768.0;
    windowPower += hann * hann;
  }
  double band = 0;
  for (size_t k = static_cast<size_t>(std::ceil(fromHz * static_cast<double>(n) / w.rate)); k <= n / 2; ++k) {
    double re = 0, im = 0;
    const double step = 2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
    for (size_t i = 0; i < n; ++i) {
      re += x[i] * std::cos(step * static_cast<double>(i));
      im -= x[i] * std::sin(step * static_cast<double>(i));
    }
    band += (k == n / 2 ? 1.0 : 2.0) * (re * re + im * im);
  }
  // sum |X|^2 = n * sum x^2; the window took its mean power off the signal.
  return Db(std::sqrt(band / static_cast<double>(n) / windowPower));
}

TEST_F(DataSet, EffectsArePcmWithHeadroomAndNoClicksAtTheEnds) {
  const int minus1Db = static_cast<int>(32768 * std::pow(10.0, -1.0 / 20));
  for (const char* name : kEffects) {
    const Wav w = ParseWav(Read(name), name);
    ASSERT_GT(w.Frames(), 0u) << name;
    EXPECT_EQ(w.channels, 1) << name;
    EXPECT_EQ(w.rate, 22050) << name;
    EXPECT_GT(Peak(w), 2000) << name << ": audible (above -24 dBFS)";
    EXPECT_LE(Peak(w), minus1Db) << name << ": no sample above -1 dBFS";
    EXPECT_LT(w.Frames(), static_cast<size_t>(w.rate * 2.5)) << name;
    if (std::string(name) != "rocket.wav") {
      EXPECT_LT(std::abs(w.s.front()), 200) << name << " starts from silence";
      EXPECT_LT(std::abs(w.s.back()), 200) << name << " ends in silence";
    }
  }
  EXPECT_LT(JoinRatio(ParseWav(Read("rocket.wav"), "rocket.wav")), 1.0) << "the engine loop joins smoothly";
}

// A filter that rings at its cut-off turns the start of an effect into a whistle at the
// top of the band; several effects at once make it a shriek.
TEST_F(DataSet, NoEffectStartsWithAWhistle) {
  for (const char* name : kEffects) {
    const Wav w = ParseWav(Read(name), name);
    EXPECT_LT(HighBandDb(w, static_cast<size_t>(w.rate / 10), 8000), -30.0)
        << name << ": energy above 8 kHz in the first 100 ms";
  }
}

// Each effect has its own channel and the channels add up. The loudest moment the game
// makes - both explosions, the volley, a missile, the engine on its two channels and the
// music, every channel at the volume the game gives it and the music at full volume -
// stays below full scale even when every peak falls on the same sample.
TEST_F(DataSet, TheLoudestMomentStaysBelowFullScale) {
  const double engine = std::pow(10.0, -1200 / 2000.0);  // channels 1 and 2 play at -12 dB
  double sum = 0;
  for (const char* name : {"exprosion.wav", "exprosion_s.wav", "gunshot.wav", "missile.wav"})
    sum += Peak(ParseWav(Read(name), name));
  sum += 2 * engine * Peak(ParseWav(Read("rocket.wav"), "rocket.wav"));
  int music = 0;
  for (const char* name : {"bgm_b.wav", "bgm_a.wav", "clear.wav"})
    music = std::max(music, Peak(ParseWav(Read(name), name)));
  sum += music;
  EXPECT_LT(sum, 32767.0) << "peak on peak: " << Db(sum / 32768) << " dBFS";
  EXPECT_GT(sum, 32768.0 * 0.5) << "the budget is used, not thrown away";
}

double RmsDb(const Wav& w, size_t fromFrame, size_t toFrame) {
  double sum = 0;
  for (size_t i = fromFrame * w.channels; i < toFrame * w.channels; ++i) sum += double(w.s[i]) * w.s[i];
  return Db(std::sqrt(sum / static_cast<double>((toFrame - fromFrame) * w.channels)) / 32768);
}

TEST_F(DataSet, MusicIsStereo44100AndTheTunesLoopSeamlessly) {
  for (const char* name : {"bgm_b.wav", "bgm_a.wav"}) {
    const Wav w = ParseWav(Read(name), name);
    ASSERT_EQ(w.channels, 2) << name;
    EXPECT_EQ(w.rate, 44100) << name;
    const double seconds = static_cast<double>(w.Frames()) / w.rate;
    EXPECT_GE(seconds, 20.0) << name;
    EXPECT_LE(seconds, 60.0) << name;
    EXPECT_LT(Peak(w), 32000) << name;
    EXPECT_LT(JoinRatio(w), 0.5) << name << ": end and start must join";
  }
  const Wav a = ParseWav(Read("bgm_a.wav"), "bgm_a.wav"), b = ParseWav(Read("bgm_b.wav"), "bgm_b.wav");
  EXPECT_NE(a.s, b.s);
}

// A change of tune (stage, target, stage clear) must not jump in loudness.
TEST_F(DataSet, TheThreeTunesShareOneLoudness) {
  const Wav a = ParseWav(Read("bgm_a.wav"), "bgm_a.wav"), b = ParseWav(Read("bgm_b.wav"), "bgm_b.wav");
  const Wav c = ParseWav(Read("clear.wav"), "clear.wav");
  const double stage = RmsDb(b, 0, b.Frames()), target = RmsDb(a, 0, a.Frames());
  const double fanfare = RmsDb(c, 0, std::min<size_t>(c.Frames(), 5 * 44100));  // before its ring-out
  EXPECT_NEAR(target, stage, 1.0);
  EXPECT_NEAR(fanfare, stage, 1.0);
  EXPECT_GT(stage, -34.0) << "audible under the effects";
  // The loudness is steady within each tune too: no 5-second stretch of a loop is more
  // than 4 dB away from the tune's own level.
  for (const Wav* w : {&a, &b})
    for (size_t from = 0; from + 5 * 44100 <= w->Frames(); from += 5 * 44100)
      EXPECT_NEAR(RmsDb(*w, from, from + 5 * 44100), RmsDb(*w, 0, w->Frames()), 4.0) << "at " << from / 44100 << " s";
}

TEST_F(DataSet, StageClearFanfareEndsInSilenceLongEnoughForTheRepeatingHalves) {
  const Bytes bytes = Read("clear.wav");
  const Wav w = ParseWav(bytes, "clear.wav");
  ASSERT_EQ(w.channels, 2);
  EXPECT_EQ(w.rate, 44100);
  EXPECT_GT(Peak(w), 4000);
  // After the file ends the stream keeps repeating its last two 220500-byte halves.
  ASSERT_GT(bytes.size(), 2u * 220500 + 44);
  const auto tail = std::find_if(bytes.end() - 2 * 220500, bytes.end(), [](uint8_t v) { return v != 0; });
  EXPECT_TRUE(tail == bytes.end()) << "the last 2.5 seconds are silent";
  EXPECT_LT(static_cast<double>(w.Frames()) / w.rate, 12.0);
}

// --- texts -------------------------------------------------------------------------------

TEST_F(DataSet, WordsAreThirteenJapaneseLinesInShiftJisWithCrLf) {
  const Bytes raw = Read("words.dat");
  const std::string text(raw.begin(), raw.end());
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
    lines.push_back(text.substr(start, p - start));
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  ASSERT_GE(lines.size(), 13u);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    EXPECT_EQ(l.find('\n'), std::string::npos) << i;
    const std::string utf8 = win::AnsiToUtf8(l);
    EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos) << "line " << i << " is valid CP932";
    EXPECT_EQ(win::Utf8ToAnsi(utf8), l) << "line " << i << " round-trips";
    EXPECT_NE(utf8, l) << "line " << i << " holds Japanese";
    EXPECT_EQ(utf8.find('?'), std::string::npos) << "line " << i;
    // The message box is 400 pixels wide for 14-point text: about 21 full-width characters.
    EXPECT_LE(l.size(), 42u) << "line " << i << " fits the message box";
  }
}

TEST_F(DataSet, ViewPlacementsAreRigidAndLookAtTheShip) {
  const Bytes raw = Read("View.dat");
  std::istringstream in(std::string(raw.begin(), raw.end()));
  std::string line;
  std::vector<std::vector<double>> views;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r') << "CR LF";
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream f(line);
    std::vector<double> m;
    for (double v; f >> v;) m.push_back(v);
    EXPECT_EQ(m.size(), 16u);
    views.push_back(m);
  }
  ASSERT_EQ(views.size(), 4u);
  double dist[4];
  for (int k = 0; k < 4; ++k) {
    const auto& m = views[k];
    ASSERT_EQ(m.size(), 16u);
    const V x{m[0], m[1], m[2]}, y{m[4], m[5], m[6]}, z{m[8], m[9], m[10]}, p{m[12], m[13], m[14]};
    EXPECT_NEAR(Dot(x, x), 1, 1e-5) << k;
    EXPECT_NEAR(Dot(y, y), 1, 1e-5) << k;
    EXPECT_NEAR(Dot(z, z), 1, 1e-5) << k;
    EXPECT_NEAR(Dot(x, y), 0, 1e-5) << k;
    EXPECT_NEAR(Dot(y, z), 0, 1e-5) << k;
    EXPECT_NEAR(Dot(x, z), 0, 1e-5) << k;
    const V xy = Cross(x, y);
    EXPECT_NEAR(Dot(xy, z), 1, 1e-5) << k << ": a rotation, not a mirror";
    EXPECT_EQ(m[3], 0);
    EXPECT_EQ(m[7], 0);
    EXPECT_EQ(m[11], 0);
    EXPECT_EQ(m[15], 1);
    EXPECT_GT(y.y, 0.5) << k << ": upright";
    // The ship's origin lies ahead of the camera and close to its line of sight.
    const V toShip{-p.x, -p.y, -p.z};
    const double ahead = Dot(toShip, z);
    dist[k] = std::sqrt(Dot(p, p));
    EXPECT_GT(ahead, 8.0) << k;
    // Well inside the 45-degree view, with room for the ship's own size around it.
    const double offAxis = std::atan2(std::sqrt(std::max(0.0, Dot(toShip, toShip) - ahead * ahead)), ahead);
    EXPECT_LT(offAxis * 180 / 3.14159265358979, 14.0) << k << ": the ship is in the picture";
  }
  // The first view keeps the ship small: it stands farther back than the view behind and above.
  EXPECT_GT(dist[2], 34.0) << "slot 2, the first view, stands back";
  EXPECT_GT(dist[2], dist[0]);
  {
    // The first view looks where the ship flies (its -z): the line of sight lies within 10
    // degrees of the nose, so the space ahead, where enemies meet the ship and fire at it,
    // fills the picture.
    const auto& m = views[2];
    const V z{m[8], m[9], m[10]};
    EXPECT_LT(std::acos(-z.z) * 180 / 3.14159265358979, 10.0) << "the first view looks ahead";
  }
  EXPECT_LT(dist[0], dist[1]) << "slot 1 is far behind";
  EXPECT_GT(views[0][14], 0) << "behind is +z: the nose points along -z";
  EXPECT_GT(views[1][14], 0);
  EXPECT_GT(std::abs(views[3][12]), std::abs(views[3][14])) << "slot 3 looks from the side";
}

// --- the whole set -----------------------------------------------------------------------

TEST_F(DataSet, TwoRunsWriteIdenticalBytes) {
  testsupport::TempDir again;
  const std::filesystem::path fresh = again.Path() / "data";
  ASSERT_EQ(RunAssetgen("--data \"" + fresh.string() + "\" --title-cpp \"" + again.File("t1.cpp") + "\""), 0);
  ASSERT_EQ(RunAssetgen("--title-cpp \"" + again.File("t2.cpp") + "\""), 0);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(fresh)) names.push_back(e.path().filename().string());
  // ... + View.dat, words.dat and the English message lines (words-en.dat).
  EXPECT_EQ(names.size(), std::size(kMeshes) + std::size(kEffects) + 8 + 3 + 3);
  for (const std::string& n : names) EXPECT_TRUE(Read(n) == testsupport::ReadFileBytes((fresh / n).string())) << n;
  EXPECT_EQ(testsupport::ReadFileText(again.File("t1.cpp")), testsupport::ReadFileText(again.File("t2.cpp")));
}

TEST_F(DataSet, EveryFileTheGameOpensIsThere) {
  std::vector<std::string> all(std::begin(kMeshes), std::end(kMeshes));
  all.insert(all.end(), std::begin(kEffects), std::end(kEffects));
  for (const char* n : {"earth.bmp", "metal.bmp", "beam.bmp", "beam2.bmp", "fire.bmp", "bakuhatu.bmp", "title.bmp",
                        "tavvy.bmp", "bgm_a.wav", "bgm_b.wav", "clear.wav", "View.dat", "words.dat"})
    all.push_back(n);
  for (const std::string& n : all) EXPECT_TRUE(std::filesystem::is_regular_file(Path(n))) << n;
}

TEST(TitlePicture, CompiledJpegIsABaseline640By480Picture) {
  ASSERT_GT(titlepicture::kTitleJpegSize, 1000u);
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, titlepicture::kTitleJpeg, static_cast<unsigned long>(titlepicture::kTitleJpegSize));
  ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
  EXPECT_EQ(cinfo.image_width, 640u);
  EXPECT_EQ(cinfo.image_height, 480u);
  EXPECT_EQ(cinfo.num_components, 3);
  EXPECT_FALSE(cinfo.progressive_mode);
  jpeg_start_decompress(&cinfo);
  std::vector<uint8_t> row(640 * 3);
  double sum = 0;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&cinfo, &r, 1);
    for (uint8_t v : row) sum += v;
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  EXPECT_GT(sum / (640.0 * 480 * 3), 8.0) << "not a black picture";
}

}  // namespace
