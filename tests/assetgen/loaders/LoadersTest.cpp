// The generated files through the loaders the game uses: every mesh loads without a
// report and holds exactly the file's vertices and indices; every texture loads into a
// surface of the format the game asks for. (Sounds: LoadersSoundTest.cpp, a separate
// file because the sound and 3-D stand-in headers cannot be included together.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "SXlib/RecordingDevice.h"
#include "SXlib/TSXMesh.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnGenSurface.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

namespace {

std::string Data(const std::string& name) { return (std::filesystem::path(ASSETGEN_DATA_DIR) / name).string(); }

std::string LogText(const testsupport::TempDir& dir, const char* file) {
  const std::string path = dir.File(file);
  return std::filesystem::exists(path) ? win::AnsiToUtf8(testsupport::ReadFileText(path)) : std::string();
}

TEST(GeneratedData, MeshesLoadIntoTSXMeshWithTheirWholeContents) {
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  sxtest::RecordingDevice device;
  TKiln kiln;
  kiln.Direct3D = &device;
  kiln.D3DDevice = &device;
  for (const char* name : {"dotai.sx", "nata.sx", "kyu.sx", "colony.sx", "sankaku.sx", "fire_s.sx", "beam.sx",
                           "missile.sx", "ball.sx", "gm.sx", "core.sx", "Bomb.sx", "Bomb_s.sx", "pigzam.sx"}) {
    const auto bytes = testsupport::ReadFileBytes(Data(name));
    TSXMesh mesh(&kiln);
    mesh.LoadFromFile(Data(name));
    ASSERT_EQ(mesh.VertexSize, 40) << name;
    ASSERT_EQ(mesh.VertexFormat, 0x1D2u) << name;
    ASSERT_EQ(bytes.size(), 256u + mesh.VertexCount * 40u + mesh.IndexCount * 2u) << name;
    const void* vertices = mesh.Lock();
    ASSERT_NE(vertices, nullptr) << name;
    EXPECT_EQ(std::memcmp(vertices, bytes.data() + 256, mesh.VertexCount * 40u), 0) << name;
    mesh.Unlock();
    ASSERT_EQ(mesh.Indices.size(), mesh.IndexCount) << name;
    EXPECT_EQ(std::memcmp(mesh.Indices.data(), bytes.data() + 256 + mesh.VertexCount * 40, mesh.IndexCount * 2u), 0)
        << name;
  }
  EXPECT_EQ(LogText(dir, "kiln.debug"), "") << "no SXLib report";
  KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
}

class GeneratedTextures : public ::testing::Test {
 protected:
  void SetUp() override {
    ddraw::ResetMachine();
    ddraw::SetMachine(ddtest::TestMachine());
    KilnDebugUnit().ResetForTest(ddoDebugMessage);
    dd = ddtest::CreateDD();
    dd->SetCooperativeLevel(ddtest::FakeHwnd(), DDSCL_NORMAL);
  }
  void TearDown() override {
    for (auto* s : made) s->Release();
    dd->Release();
    ddraw::ResetMachine();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  }
  std::unique_ptr<TKilnGenSurface> Surface(int w, int h, const DDPIXELFORMAT& f) {
    DDSURFACEDESC2 d = ddtest::OffscreenDesc(w, h, &f, DDSCAPS_OFFSCREENPLAIN);
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    made.push_back(s);
    return std::make_unique<TKilnGenSurface>(nullptr, w, h, s);
  }
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  IDirectDraw7* dd = nullptr;
  std::vector<IDirectDrawSurface7*> made;
};

TEST_F(GeneratedTextures, LoadIntoSurfacesOfTheGamesFormats) {
  const DDPIXELFORMAT x555 = ddtest::Rgb(16, 0x7C00, 0x03E0, 0x001F);
  const DDPIXELFORMAT a1555 = ddtest::Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
  const struct {
    const char* name;
    int size;
    bool keyed;
  } textures[] = {{"earth.bmp", 256, false},
                  {"metal.bmp", 128, false},
                  {"beam.bmp", 128, true},
                  {"beam2.bmp", 128, true},
                  {"fire.bmp", 128, true}};
  for (const auto& t : textures) {
    auto s = Surface(t.size, t.size, t.keyed ? a1555 : x555);
    ddtest::WritePixel(s->Surface, 0, 0, 0x1234);
    s->LoadFromFile(Data(t.name));
    EXPECT_NE(ddtest::ReadPixel(s->Surface, 0, 0), 0x1234u) << t.name << ": the picture reached the surface";
    if (t.keyed) {
      // Black is the key colour: the corners of a sprite must hold the value that black
      // has in this format, the centre must not.
      const DWORD black = s->ColorMatch(0);
      const uint32_t rgb = 0x7FFF;
      EXPECT_EQ(ddtest::ReadPixel(s->Surface, 0, 0) & rgb, black & rgb) << t.name;
      EXPECT_EQ(ddtest::ReadPixel(s->Surface, 127, 127) & rgb, black & rgb) << t.name;
      EXPECT_NE(ddtest::ReadPixel(s->Surface, 64, 64) & rgb, black & rgb) << t.name;
    }
  }
  EXPECT_EQ(LogText(dir, "kiln.debug"), "");
}

}  // namespace
