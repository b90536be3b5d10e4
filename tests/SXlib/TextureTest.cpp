#include <gtest/gtest.h>

#include "RecordingDevice.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnTexture.h"
#include "platform/win/CodePage.h"
#include "support/PixelFormats.h"
#include "support/TestSupport.h"

namespace {

const DDPIXELFORMAT k565 = pixfmt::Rgb(16, 0xF800, 0x07E0, 0x001F, 0);
const DDPIXELFORMAT k1555 = pixfmt::Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const DDPIXELFORMAT k555 = pixfmt::Rgb(16, 0x7C00, 0x03E0, 0x001F, 0);
const DDPIXELFORMAT k4444 = pixfmt::Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000);

class TextureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kiln.Direct3D = &device;
    kiln.D3DDevice = &device;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&kiln.DirectDraw), IID_IDirectDraw7, nullptr),
              DD_OK);
    ASSERT_EQ(kiln.DirectDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    KilnDebugUnit().ResetForTest(ddoDebugMessage | ddoDetailedLog);
  }
  void TearDown() override {
    kiln.DirectDraw->Release();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  }
  std::vector<std::string> LogLines() {
    std::string log = win::AnsiToUtf8(testsupport::ReadFileText(dir.File("kiln.debug")));
    std::vector<std::string> lines;
    size_t pos = 0;
    while ((pos = log.find(" ... ", pos)) != std::string::npos) {
      size_t end = log.find("\r\n", pos);
      lines.push_back(log.substr(pos + 5, end - pos - 5));
      pos = end;
    }
    return lines;
  }
  bool Logged(const std::string& line) {
    auto lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  sxtest::RecordingDevice device;
  TKiln kiln;
};

TEST(TextureFormats, ListsAreSplitTrimmedAndEmptyPiecesDropped) {
  EXPECT_EQ(SplitTextureFormats(" ARGB4444 ;; RGB555 "), (std::vector<std::string>{"ARGB4444", "RGB555"}));
  EXPECT_TRUE(SplitTextureFormats("").empty());
  EXPECT_TRUE(SplitTextureFormats(" ; ").empty());
}

TEST(TextureFormats, NamesMatchByBitCounts) {
  EXPECT_TRUE(TextureFormatMatches("RGB555", k555));
  EXPECT_TRUE(TextureFormatMatches("RGB555", k1555));  // the alpha mask is not compared
  EXPECT_FALSE(TextureFormatMatches("ARGB1555", k555));
  EXPECT_TRUE(TextureFormatMatches("ARGB1555", k1555));
  EXPECT_TRUE(TextureFormatMatches("RGB565", k565));
  EXPECT_FALSE(TextureFormatMatches("RGB5650", k565));
  EXPECT_FALSE(TextureFormatMatches("PAL8", k565));
  EXPECT_TRUE(TextureFormatMatches("PAL8", pixfmt::Rgb(8, 0, 0, 0, 0, DDPF_PALETTEINDEXED8)));
  EXPECT_THROW(TextureFormatMatches("RGB5x5", k555), rtl::EConvertError);
}

TEST_F(TextureTest, FirstChoiceWinsAndStopsTheEnumeration) {
  device.textureFormats = {k565, k1555, k4444, k555};
  TKilnTexture t(&kiln, 16, 16, 0, "ARGB4444;ARGB1555");
  EXPECT_EQ(t.AMask, 0xF000u);
  EXPECT_EQ(device.formatsEnumerated, 3);  // stopped at the 4-4-4-4 format
  EXPECT_TRUE(Logged("第1希望 : ARGB4444 に合致"));
  EXPECT_TRUE(Logged("第2希望 : ARGB1555 に合致"));
}

TEST_F(TextureTest, SecondChoiceWhenTheFirstIsMissing) {
  device.textureFormats = {k565, k1555, k555};
  TKilnTexture t(&kiln, 16, 16, 0, "ARGB4444;ARGB1555");
  EXPECT_EQ(t.AMask, 0x8000u);
  EXPECT_EQ(device.formatsEnumerated, 3);
  EXPECT_FALSE(Logged("第1希望 : ARGB4444 に合致"));
}

TEST_F(TextureTest, LuminanceFormatsAreSkippedAndNoMatchFallsBackToTheDefault) {
  DDPIXELFORMAT lum = pixfmt::Rgb(8, 0xFF, 0, 0, 0, DDPF_LUMINANCE);
  device.textureFormats = {lum, k565};
  TKilnTexture t(&kiln, 16, 16, 0, "RGB332");
  EXPECT_TRUE(Logged("希望のテクスチャフォーマットが見つかりませんでした。デフォルトのフォーマットを使用します"));
  EXPECT_NE(t.Surface, nullptr);
  EXPECT_TRUE(Logged("テクスチャをシステムメモリに配置します"));
  // The luminance format was not even written as enumerated.
  int enumerated = 0;
  for (const auto& l : LogLines()) enumerated += l.rfind("列挙されたテクスチャフォーマット", 0) == 0;
  EXPECT_EQ(enumerated, 1);
}

TEST_F(TextureTest, EmptyListEnumeratesNothing) {
  device.textureFormats = {k565};
  TKilnTexture t(&kiln, 8, 8, 0, "");
  EXPECT_EQ(device.formatsEnumerated, 0);
  EXPECT_NE(t.Surface, nullptr);
}

TEST_F(TextureTest, RegistryNumbersAndRenumbers) {
  device.textureFormats = {k565};
  auto a = std::make_unique<TKilnTexture>(&kiln, 8, 8, 0, "RGB565");
  auto b = std::make_unique<TKilnTexture>(&kiln, 8, 8, 0, "RGB565");
  auto c = std::make_unique<TKilnTexture>(&kiln, 8, 8, 0, "RGB565");
  EXPECT_TRUE(Logged("テクスチャリストの2番に追加しました"));
  a.reset();
  EXPECT_TRUE(Logged("テクスチャリストの0番が解放されました"));
  c.reset();
  EXPECT_TRUE(Logged("テクスチャリストの1番が解放されました"));  // c moved up to 1
  EXPECT_EQ(kiln.Textures.Count(), 1);
  EXPECT_EQ(kiln.Textures.Texture(0), b.get());
}

TEST_F(TextureTest, RebuildReloadsFromWhereTheImageLastCameFrom) {
  device.textureFormats = {k565};
  TKilnTexture t(&kiln, 8, 8, 0, "RGB565");
  t.SourceArchive = "old.kna";
  t.SourceID = "x";
  t.FromArchive = true;
  t.LoadFromFile(dir.File("missing.bmp"));  // a file load after an archive load
  EXPECT_FALSE(t.FromArchive);
  kiln.Textures.ReleaseAll();
  EXPECT_EQ(t.Surface, nullptr);
  kiln.Textures.RebuildAll();
  EXPECT_NE(t.Surface, nullptr);
  EXPECT_TRUE(Logged("0番のテクスチャを再構築します"));
  EXPECT_TRUE(Logged("DirectDrawオブジェクトの解放に伴い、0番のテクスチャを解放します"));
}

}  // namespace
