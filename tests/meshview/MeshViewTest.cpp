#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "MeshView.h"
#include "kiln/KilnLog.h"
#include "support/TestSupport.h"

namespace {

using host::services::Image;

struct V3 {
  float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// A mesh in the default 40-byte vertex format, written as a version-0 file.
class MeshFile {
 public:
  uint16_t Vertex(V3 p, V3 n, uint32_t argb, float u = 0, float v = 0) {
    const float f[6] = {p.x, p.y, p.z, n.x, n.y, n.z};
    const uint32_t colours[2] = {argb, 0};
    const float uv[2] = {u, v};
    const size_t at = vertices_.size();
    vertices_.resize(at + 40);
    std::memcpy(&vertices_[at], f, 24);
    std::memcpy(&vertices_[at + 24], colours, 8);
    std::memcpy(&vertices_[at + 32], uv, 8);
    return static_cast<uint16_t>(at / 40);
  }
  // A square of half size 1 around `centre` facing along `normal`, wound so that it is
  // drawn when seen from that side (clockwise on the screen).
  void Face(V3 centre, V3 normal, uint32_t argb) {
    const V3 up = normal.y != 0 ? V3{0, 0, 1} : V3{0, 1, 0};
    const V3 right = Cross(up, V3{-normal.x, -normal.y, -normal.z});
    const uint16_t a = Vertex(centre - right + up, normal, argb, 0, 0);
    const uint16_t b = Vertex(centre + right + up, normal, argb, 1, 0);
    const uint16_t c = Vertex(centre + right - up, normal, argb, 1, 1);
    const uint16_t d = Vertex(centre - right - up, normal, argb, 0, 1);
    indices_.insert(indices_.end(), {a, b, c, a, c, d});
  }
  std::vector<uint16_t>& Indices() { return indices_; }
  void Write(const std::string& path) const {
    std::vector<uint8_t> b(256 + vertices_.size() + 2 * indices_.size(), 0);
    std::memcpy(b.data(), "Simplified_X00  ", 16);
    const uint16_t counts[2] = {static_cast<uint16_t>(vertices_.size() / 40), static_cast<uint16_t>(indices_.size())};
    std::memcpy(&b[16], counts, 4);
    std::memcpy(&b[256], vertices_.data(), vertices_.size());
    std::memcpy(&b[256 + vertices_.size()], indices_.data(), 2 * indices_.size());
    testsupport::WriteFileBytes(path, b);
  }

 private:
  std::vector<uint8_t> vertices_;
  std::vector<uint16_t> indices_;
};

// A cube of side 2 around `c`: +z red, +x green, +y blue, the other faces grey.
MeshFile Cube(V3 c) {
  MeshFile m;
  m.Face(c + V3{0, 0, 1}, {0, 0, 1}, 0xFFFF0000);
  m.Face(c + V3{1, 0, 0}, {1, 0, 0}, 0xFF00FF00);
  m.Face(c + V3{0, 1, 0}, {0, 1, 0}, 0xFF0000FF);
  m.Face(c + V3{0, 0, -1}, {0, 0, -1}, 0xFF808080);
  m.Face(c + V3{-1, 0, 0}, {-1, 0, 0}, 0xFF808080);
  m.Face(c + V3{0, -1, 0}, {0, -1, 0}, 0xFF808080);
  return m;
}

// A 24-bit BMP of 16 x 16 pixels: red on the left half, blue on the right.
void WriteHalvesBmp(const std::string& path) {
  const int w = 16, h = 16, row = w * 3;
  std::vector<uint8_t> b(54 + row * h, 0);
  const uint32_t fileSize = uint32_t(b.size()), offBits = 54, infoSize = 40, imageSize = uint32_t(row * h);
  b[0] = 'B';
  b[1] = 'M';
  std::memcpy(&b[2], &fileSize, 4);
  std::memcpy(&b[10], &offBits, 4);
  std::memcpy(&b[14], &infoSize, 4);
  std::memcpy(&b[18], &w, 4);
  std::memcpy(&b[22], &h, 4);
  const uint16_t planes = 1, bits = 24;
  std::memcpy(&b[26], &planes, 2);
  std::memcpy(&b[28], &bits, 2);
  std::memcpy(&b[34], &imageSize, 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &b[54 + y * row + x * 3];  // blue, green, red
      p[0] = x < w / 2 ? 0 : 255;
      p[2] = x < w / 2 ? 255 : 0;
    }
  testsupport::WriteFileBytes(path, b);
}

std::array<int, 3> Pixel(const Image& im, int x, int y) {
  const uint8_t* p = &im.pixels[(size_t(y) * size_t(im.width) + size_t(x)) * size_t(im.channels)];
  return {p[0], p[1], p[2]};
}

class MeshViewTest : public ::testing::Test {
 protected:
  void SetUp() override { KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage); }

  int Run(std::vector<std::string> args) {
    std::vector<const char*> argv{"meshview"};
    for (const auto& a : args) argv.push_back(a.c_str());
    meshview::Options options;
    std::string error;
    if (!meshview::ParseCommandLine(int(argv.size()), argv.data(), options, error)) {
      err << error;
      return -1;
    }
    return meshview::Run(options, out, err);
  }
  Image Read(const std::string& path) {
    Image im;
    EXPECT_TRUE(host::services::ReadPng(path, im)) << path;
    return im;
  }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  std::ostringstream out, err;
};

// Each named angle must put the camera on its own side of the mesh and frame the mesh,
// wherever it lies, in the middle of the picture.
TEST_F(MeshViewTest, EachAngleShowsItsSideOfAnOffCentreCube) {
  Cube({10, -4, 3}).Write(dir.File("cube.sx"));
  ASSERT_EQ(Run({dir.File("cube.sx"), "-o", dir.File("cube"), "--size", "160x120", "--sheet", dir.File("sheet.png")}),
            0)
      << err.str();
  EXPECT_NE(out.str().find("centre (10, -4, 3)"), std::string::npos) << out.str();

  struct Expect {
    const char* angle;
    int channel;  // the face's colour
  };
  for (Expect e : {Expect{"front", 0}, Expect{"side", 1}, Expect{"top", 2}}) {
    SCOPED_TRACE(e.angle);
    const Image im = Read(dir.File(std::string("cube_") + e.angle + ".png"));
    ASSERT_EQ(im.width, 160);
    ASSERT_EQ(im.height, 120);
    const auto centre = Pixel(im, 80, 60);
    for (int k = 0; k < 3; ++k)
      if (k != e.channel) {
        EXPECT_GT(centre[size_t(e.channel)], centre[size_t(k)] + 60);
      }
    // The corners show the clear colour 0x202830, so the whole cube fits the picture.
    EXPECT_EQ(Pixel(im, 0, 0), (std::array<int, 3>{0x20, 0x28, 0x30}));
    EXPECT_EQ(Pixel(im, 159, 119), (std::array<int, 3>{0x20, 0x28, 0x30}));
  }
  // From three quarters the red, green and blue faces are all in sight (the red one turned
  // away from the light, so only darker).
  const Image quarter = Read(dir.File("cube_threequarter.png"));
  bool seen[3] = {};
  for (int y = 0; y < quarter.height; ++y)
    for (int x = 0; x < quarter.width; ++x) {
      const auto p = Pixel(quarter, x, y);
      for (int k = 0; k < 3; ++k)
        if (p[size_t(k)] > p[size_t((k + 1) % 3)] + 25 && p[size_t(k)] > p[size_t((k + 2) % 3)] + 25) seen[k] = true;
    }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);

  const Image sheet = Read(dir.File("sheet.png"));
  EXPECT_EQ(sheet.width, 2 * 160 + 3 * 2);
  EXPECT_EQ(sheet.height, 2 * 120 + 3 * 2);
  EXPECT_EQ(Pixel(sheet, 2 + 80, 2 + 60), Pixel(Read(dir.File("cube_front.png")), 80, 60));
}

TEST_F(MeshViewTest, TextureIsMappedAcrossTheMesh) {
  MeshFile quad;
  quad.Face({0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF);
  quad.Write(dir.File("quad.sx"));
  WriteHalvesBmp(dir.File("halves.bmp"));
  ASSERT_EQ(Run({dir.File("quad.sx"), "-o", dir.File("q"), "--angles", "front", "--size", "128x128", "--texture",
                 dir.File("halves.bmp")}),
            0)
      << err.str();
  const Image im = Read(dir.File("q_front.png"));
  // u runs from the picture's left to its right: red texels on the left, blue on the right.
  const auto left = Pixel(im, 50, 64), right = Pixel(im, 78, 64);
  EXPECT_GT(left[0], left[2] + 60);
  EXPECT_GT(right[2], right[0] + 60);
}

TEST_F(MeshViewTest, BrokenFilesAreReportedNotFatal) {
  Cube({0, 0, 0}).Write(dir.File("good.sx"));
  const std::vector<uint8_t> good = testsupport::ReadFileBytes(dir.File("good.sx"));

  std::vector<uint8_t> badMagic = good;
  badMagic[14] = 0;
  badMagic[15] = 0;  // "Simplified_X00" followed by NULs
  testsupport::WriteFileBytes(dir.File("magic.sx"), badMagic);
  testsupport::WriteFileBytes(dir.File("short.sx"), std::vector<uint8_t>(good.begin(), good.begin() + 18));
  testsupport::WriteFileBytes(dir.File("cut.sx"), std::vector<uint8_t>(good.begin(), good.end() - 7));
  MeshFile wild = Cube({0, 0, 0});
  wild.Indices()[4] = 500;  // names a vertex the mesh does not have
  wild.Write(dir.File("wild.sx"));

  struct Case {
    const char* file;
    const char* message;
  };
  for (Case c : {Case{"missing.sx", "が、開けません"}, Case{"magic.sx", "不正なSXファイルです"},
                 Case{"short.sx", "too short"}, Case{"cut.sx", "ストリームからの読み込み中にエラーが発生しました"},
                 Case{"wild.sx", "ストリームからの読み込み中にエラーが発生しました"}}) {
    SCOPED_TRACE(c.file);
    err.str("");
    EXPECT_EQ(Run({dir.File(c.file), "-o", dir.File("x")}), 1);
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(dir.File("x_front.png")));
  }

  err.str("");
  testsupport::WriteFileText(dir.File("not.bmp"), "BMnothing");
  EXPECT_EQ(Run({dir.File("good.sx"), "-o", dir.File("x"), "--texture", dir.File("not.bmp")}), 1);
  EXPECT_NE(err.str().find("BMP"), std::string::npos) << err.str();
}

TEST(MeshViewOptions, CommandLine) {
  auto parse = [](std::vector<const char*> args, meshview::Options& o, std::string& error) {
    args.insert(args.begin(), "meshview");
    return meshview::ParseCommandLine(int(args.size()), args.data(), o, error);
  };
  meshview::Options o;
  std::string error;
  ASSERT_TRUE(parse({"Data/dotai.sx"}, o, error)) << error;
  EXPECT_EQ(o.outPrefix, "dotai");
  ASSERT_EQ(o.angles.size(), 4u);
  EXPECT_EQ(o.angles[3].name, "threequarter");
  EXPECT_EQ(o.width, 320);

  ASSERT_TRUE(
      parse({"m.sx", "--angles", "back,30:-45", "--size", "64x48", "--blend", "3", "--background", "ff0080", "--unlit"},
            o, error))
      << error;
  ASSERT_EQ(o.angles.size(), 2u);
  EXPECT_EQ(o.angles[0].yaw, 180);
  EXPECT_EQ(o.angles[1].yaw, 30);
  EXPECT_EQ(o.angles[1].pitch, -45);
  EXPECT_EQ(o.angles[1].name, "y30p-45");
  EXPECT_EQ(o.width, 64);
  EXPECT_EQ(o.height, 48);
  EXPECT_EQ(o.blendMode, 3);
  EXPECT_EQ(o.background, 0xFF0080u);
  EXPECT_FALSE(o.lighting);

  for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{
           {},
           {"a.sx", "b.sx"},
           {"m.sx", "--size", "0x10"},
           {"m.sx", "--size", "5000x10"},
           {"m.sx", "--size", "64"},
           {"m.sx", "--angles", "front,diagonal"},
           {"m.sx", "--angles", "0:91"},
           {"m.sx", "--angles", "front,"},
           {"m.sx", "--blend", "4"},
           {"m.sx", "--background", "12345"},
           {"m.sx", "--texture"},
           {"m.sx", "--zoom", "2"},
       }) {
    EXPECT_FALSE(parse(bad, o, error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(parse({"--help"}, o, error));
  EXPECT_TRUE(error.empty());
}

TEST(MeshViewSheet, LaysPicturesOutInRows) {
  auto solid = [](int w, int h, uint8_t v) {
    Image im;
    im.width = w;
    im.height = h;
    im.pixels.assign(size_t(w) * size_t(h) * 3, v);
    return im;
  };
  const Image sheet = meshview::ContactSheet({solid(4, 3, 10), solid(4, 3, 20), solid(2, 2, 30)}, 2, 1, 0x000000);
  ASSERT_EQ(sheet.width, 2 * 4 + 3);
  ASSERT_EQ(sheet.height, 2 * 3 + 3);
  EXPECT_EQ(Pixel(sheet, 1, 1)[0], 10);
  EXPECT_EQ(Pixel(sheet, 4, 3)[0], 10);
  EXPECT_EQ(Pixel(sheet, 6, 1)[0], 20);
  EXPECT_EQ(Pixel(sheet, 1, 5)[0], 30);
  EXPECT_EQ(Pixel(sheet, 3, 6)[0], 0);  // the third picture is smaller than its cell
  EXPECT_EQ(Pixel(sheet, 5, 1)[0], 0);  // the gap between the columns
  EXPECT_TRUE(meshview::ContactSheet({}, 2, 1, 0).pixels.empty());
}

}  // namespace
