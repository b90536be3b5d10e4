#include <gtest/gtest.h>

#include <cstring>

#include "RecordingDevice.h"
#include "SXlib/TSXMesh.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/rtl/Classes.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

namespace {

using sxtest::RecordingDevice;

// Builds a mesh image: header, vertices (each byte = vertex number), indices.
std::vector<uint8_t> MeshImage(const char* magic, uint16_t nv, uint16_t ni, uint32_t fvf, int32_t stride,
                               const std::vector<uint16_t>& indices, bool junk = false) {
  std::vector<uint8_t> b(256, 0);
  std::memcpy(b.data(), magic, 16);
  std::memcpy(&b[16], &nv, 2);
  std::memcpy(&b[18], &ni, 2);
  std::memcpy(&b[20], &fvf, 4);
  std::memcpy(&b[24], &stride, 4);
  if (junk)
    for (int i = 20; i < 28; ++i) b[i] = 0xEE;
  for (int v = 0; v < nv; ++v)
    for (int k = 0; k < stride; ++k) b.push_back(static_cast<uint8_t>(v));
  for (uint16_t i : indices) {
    b.push_back(i & 0xFF);
    b.push_back(i >> 8);
  }
  return b;
}

class MeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kiln.Direct3D = &device;
    kiln.D3DDevice = &device;
    KilnDebugUnit().ResetForTest(ddoDebugMessage);
  }
  void TearDown() override { KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage); }
  std::string LastLogLine() {
    std::string log = win::AnsiToUtf8(testsupport::ReadFileText(dir.File("kiln.debug")));
    return log.substr(log.find(" ... ") + 5);
  }
  rtl::TMemoryStream Stream(const std::vector<uint8_t>& bytes) {
    rtl::TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
  }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  RecordingDevice device;
  TKiln kiln;
};

const char kV0[] = "Simplified_X00  ";
const char kV1[] = "Simplified_X01  ";

TEST_F(MeshTest, VersionZeroIgnoresTheFormatFields) {
  auto s = Stream(MeshImage(kV0, 3, 3, 0, 40, {0, 1, 2}, /*junk=*/true));
  TSXMesh mesh(&kiln);
  mesh.LoadFromStream(s);
  EXPECT_EQ(mesh.VertexFormat, 0x1D2u);
  EXPECT_EQ(mesh.VertexSize, 40);
  EXPECT_EQ(mesh.Indices, (std::vector<uint16_t>{0, 1, 2}));
  EXPECT_EQ(s.Position(), 256 + 3 * 40 + 6);
  ASSERT_EQ(device.buffers.size(), 1u);
  EXPECT_EQ(device.buffers[0]->data[40], 1);  // vertex 1 copied byte for byte
  EXPECT_EQ(device.Matching("CreateVertexBuffer")[0], "CreateVertexBuffer caps=2048 fvf=466 n=3");
}

TEST_F(MeshTest, VersionOneReadsItsOwnStride) {
  auto s = Stream(MeshImage(kV1, 4, 6, 0x152, 36, {0, 1, 2, 2, 3, 0}));
  TSXMesh mesh(&kiln);
  mesh.LoadFromStream(s);
  EXPECT_EQ(mesh.VertexFormat, 0x152u);
  EXPECT_EQ(mesh.VertexSize, 36);
  EXPECT_EQ(mesh.Indices[3], 2);
  EXPECT_EQ(device.buffers[0]->data[36 * 3], 3);
}

TEST_F(MeshTest, MeshImageAtANonZeroPosition) {
  std::vector<uint8_t> bytes(100, 0xAB);
  auto image = MeshImage(kV0, 3, 3, 0, 40, {2, 1, 0});
  bytes.insert(bytes.end(), image.begin(), image.end());
  bytes.push_back(0x55);  // other data after the mesh
  auto s = Stream(bytes);
  s.SetPosition(100);
  TSXMesh mesh(&kiln);
  mesh.LoadFromStream(s);
  EXPECT_EQ(mesh.Indices, (std::vector<uint16_t>{2, 1, 0}));
  EXPECT_EQ(device.buffers[0]->data[80], 2);
}

TEST_F(MeshTest, TransformAndLightingDeviceGetsVideoMemoryBuffers) {
  kiln.DeviceKind = TKilnDeviceKind::dkTnLHAL;
  TSXMesh mesh(&kiln);
  mesh.SetSize(10, 3);
  EXPECT_EQ(device.buffers[0]->desc.dwCaps, 0u);
  mesh.SetSize(4, 3);  // the old buffer is released
  EXPECT_TRUE(device.buffers[0]->released);
}

TEST_F(MeshTest, DrawSendsTheWholeListOnceAndNothingWhenEmpty) {
  TSXMesh mesh(&kiln);
  mesh.Draw(0);
  EXPECT_TRUE(device.Matching("Draw").empty());
  mesh.SetSize(3, 65535);
  mesh.Draw(0);
  EXPECT_EQ(device.Matching("Draw"), (std::vector<std::string>{"Draw 4 0 3 65535 0"}));
}

TEST_F(MeshTest, BadFilesEndTheProgramWithTheirMessage) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* message;
  };
  std::string nulMagic(kV1, 14);
  nulMagic += std::string(2, '\0');
  const Case cases[] = {
      {MeshImage(nulMagic.c_str(), 3, 3, 0x1D2, 40, {0, 1, 2}), "SXLib: 不正なSXファイルです"},
      {MeshImage(kV0, 3, 0, 0, 40, {}), "SXLib: ストリームからの読み込み中にエラーが発生しました"},
      // indices past the vertices
      {MeshImage(kV0, 3, 3, 0, 40, {0, 1, 3}), "SXLib: ストリームからの読み込み中にエラーが発生しました"},
      // stride that disagrees with the format, zero, negative
      {MeshImage(kV1, 3, 3, 0x1D2, 36, {0, 1, 2}), "SXLib: ストリームからの読み込み中にエラーが発生しました"},
      {MeshImage(kV1, 3, 3, 0x1D2, 0, {0, 1, 2}), "SXLib: ストリームからの読み込み中にエラーが発生しました"},
      {MeshImage(kV1, 3, 3, 0x1D2, -40, {0, 1, 2}), "SXLib: ストリームからの読み込み中にエラーが発生しました"},
      // counts the file cannot hold
      {MeshImage(kV0, 3, 3, 0, 40, {0, 1}), "SXLib: ストリームからの読み込み中にエラーが発生しました"},
  };
  for (const Case& c : cases) {
    auto s = Stream(c.bytes);
    TSXMesh mesh(&kiln);
    EXPECT_THROW(mesh.LoadFromStream(s), rtl::EHalt);
    EXPECT_EQ(LastLogLine(), std::string(c.message) + "\r\n");
    KilnDebugUnit().ResetForTest(ddoDebugMessage);
  }
  // Too short for the header: the stream's own read error reaches the caller.
  auto s = Stream(std::vector<uint8_t>(kV0, kV0 + 16));
  TSXMesh mesh(&kiln);
  EXPECT_THROW(mesh.LoadFromStream(s), rtl::EReadError);
}

TEST_F(MeshTest, MissingFileAndFailedLock) {
  TSXMesh mesh(&kiln);
  EXPECT_THROW(mesh.LoadFromFile(dir.File("none.sx")), rtl::EHalt);
  EXPECT_EQ(LastLogLine(), "SXLib: " + dir.File("none.sx") + " が、開けません\r\n");
  KilnDebugUnit().ResetForTest(ddoDebugMessage);
  mesh.SetSize(3, 3);
  mesh.Optimize();  // an optimised buffer cannot be locked any more
  EXPECT_THROW(mesh.Lock(), rtl::EHalt);
  EXPECT_EQ(LastLogLine(), "SXLib: VertexBufferがロックできません\r\n");
}

}  // namespace
