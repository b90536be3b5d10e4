#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "KNArc/KNArcTestUtil.h"
#include "common/DataReport.h"
#include "kiln/KilnLog.h"
#include "kiln/KilnTestUtil.h"
#include "kiln/TKilnGenSurface.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/forms/Graphics.h"
#include "platform/gdi/Gdi.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

using namespace ddtest;
using namespace kilntest;

namespace {

std::unique_ptr<rtl::TMemoryStream> StreamOf(const Bytes& bytes) {
  auto s = std::make_unique<rtl::TMemoryStream>();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

class KilnSurface : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  IDirectDraw7* dd = nullptr;
  std::vector<IDirectDrawSurface7*> made;

  void SetUp() override {
    ddraw::ResetMachine();
    ddraw::SetMachine(TestMachine());
    KilnDebugUnit().ResetForTest(ddoDebugMessage);  // lines written, no halting
    dd = CreateDD();
    dd->SetCooperativeLevel(FakeHwnd(), DDSCL_NORMAL);
  }
  void TearDown() override {
    for (auto* s : made) s->Release();
    dd->Release();
    ddraw::ResetMachine();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  }
  IDirectDrawSurface7* Raw(int w, int h, const DDPIXELFORMAT& f, DWORD caps = DDSCAPS_OFFSCREENPLAIN) {
    DDSURFACEDESC2 d = OffscreenDesc(w, h, &f, caps);
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    made.push_back(s);
    return s;
  }
  std::unique_ptr<TKilnGenSurface> Gen(int w, int h, const DDPIXELFORMAT& f, DWORD caps = DDSCAPS_OFFSCREENPLAIN) {
    return std::make_unique<TKilnGenSurface>(nullptr, w, h, Raw(w, h, f, caps));
  }
  std::string Log() {
    if (!std::filesystem::exists(dir.File("kiln.debug"))) return "";
    return win::AnsiToUtf8(testsupport::ReadFileText(dir.File("kiln.debug")));
  }
  void Load(TKilnGenSurface& s, const Bytes& bmp) { s.LoadBMP(*StreamOf(bmp)); }
};

const DDPIXELFORMAT kX555 = Rgb(16, 0x7C00, 0x03E0, 0x001F);
const DDPIXELFORMAT kA1555 = Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const DDPIXELFORMAT k565 = Rgb(16, 0xF800, 0x07E0, 0x001F);
const DDPIXELFORMAT kX888 = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
const DDPIXELFORMAT kA888 = Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);

TEST_F(KilnSurface, PackColorAndTheChannelAnalysisForEveryFormat) {
  struct Expect {
    int aShift, rShift, gShift, bShift, aLoss, rLoss, gLoss, bLoss;
    DWORD packed;  // PackColor(0x80, 0xFF, 0x40, 0x08)
  };
  const std::map<std::string, Expect> expected = {
      {"PAL8", {32, 32, 32, 32, 8, 8, 8, 8, 0}},          {"RGB565", {32, 11, 5, 0, 8, 3, 2, 3, 0xFA01}},
      {"X1R5G5B5", {32, 10, 5, 0, 8, 3, 3, 3, 0x7D01}},   {"A1R5G5B5", {15, 10, 5, 0, 7, 3, 3, 3, 0xFD01}},
      {"A4R4G4B4", {12, 8, 4, 0, 4, 4, 4, 4, 0x8F40}},    {"R8G8B8", {32, 16, 8, 0, 8, 0, 0, 0, 0xFF4008}},
      {"X8R8G8B8", {32, 16, 8, 0, 8, 0, 0, 0, 0xFF4008}}, {"A8R8G8B8", {24, 16, 8, 0, 0, 0, 0, 0, 0x80FF4008}},
  };
  for (const auto& [name, format] : ColourFormats()) {
    SCOPED_TRACE(name);
    auto s = Gen(4, 4, format);
    const Expect& e = expected.at(name);
    EXPECT_EQ(s->AShift, e.aShift);
    EXPECT_EQ(s->RShift, e.rShift);
    EXPECT_EQ(s->GShift, e.gShift);
    EXPECT_EQ(s->BShift, e.bShift);
    EXPECT_EQ(s->ALoss, e.aLoss);
    EXPECT_EQ(s->RLoss, e.rLoss);
    EXPECT_EQ(s->GLoss, e.gLoss);
    EXPECT_EQ(s->BLoss, e.bLoss);
    EXPECT_EQ(s->PackColor(0x80, 0xFF, 0x40, 0x08), e.packed);
    if (format.dwFlags & DDPF_PALETTEINDEXED8) continue;
    // A packed colour written through a lock is the colour GDI reads back.
    ASSERT_EQ(WritePixel(s->Surface, 2, 3, s->PackColor(255, 255, 0, 255)), DD_OK);
    HDC dc = nullptr;
    ASSERT_EQ(s->Surface->GetDC(&dc), DD_OK);
    EXPECT_EQ(GetPixel(dc, 2, 3), RGB(255, 0, 255));
    s->Surface->ReleaseDC(dc);
  }
}

TEST_F(KilnSurface, DetailLineNamesTheMasks) {
  KilnDebugUnit().ResetForTest(ddoDebugMessage | ddoDetailedLog);
  Gen(2, 2, kA1555);
  EXPECT_NE(Log().find("PixelFormat: AMask=00008000 RMask=00007c00 GMask=000003e0 BMask=0000001f"), std::string::npos);
}

TEST_F(KilnSurface, TrueColourImagesArePackedIntoTheSurfaceFormat) {
  // 24 bits into 5-5-5: the low three bits of each channel are dropped.
  auto s555 = Gen(2, 1, kX555);
  Load(*s555, MakeBmp(2, 1, 24, {0x874B2D, 0xFFFFFF}));
  EXPECT_EQ(ReadPixel(s555->Surface, 0, 0), 0x4125u);
  EXPECT_EQ(ReadPixel(s555->Surface, 1, 0), 0x7FFFu);

  // 32 bits: the fourth byte is the alpha, 0 included.
  auto s8888 = Gen(2, 1, kA888);
  Load(*s8888, MakeBmp(2, 1, 32, {0x00112233, 0x7F445566}));
  EXPECT_EQ(ReadPixel(s8888->Surface, 0, 0), 0x00112233u);
  EXPECT_EQ(ReadPixel(s8888->Surface, 1, 0), 0x7F445566u);
  auto s1555 = Gen(1, 1, kA1555);
  Load(*s1555, MakeBmp(1, 1, 32, {0x00FFFFFF}));
  EXPECT_EQ(ReadPixel(s1555->Surface, 0, 0), 0x7FFFu);

  // 16 bits (1-5-5-5): channels widened by three bits, the top bit gives 0 or 255 alpha.
  auto s565 = Gen(2, 1, k565);
  Load(*s565, MakeBmp(2, 1, 16, {0x7FFF, 0x8421}));
  EXPECT_EQ(ReadPixel(s565->Surface, 0, 0), 0xFFDFu);
  EXPECT_EQ(ReadPixel(s565->Surface, 1, 0), 0x0841u);
  auto sA = Gen(2, 1, kA888);
  Load(*sA, MakeBmp(2, 1, 16, {0x7C00, 0x801F}));
  EXPECT_EQ(ReadPixel(sA->Surface, 0, 0), 0x00F80000u);
  EXPECT_EQ(ReadPixel(sA->Surface, 1, 0), 0xFF0000F8u);

  // 24 bits into a 24-bit surface keeps three bytes a pixel.
  auto s24 = Gen(3, 1, Rgb(24, 0xFF0000, 0xFF00, 0xFF));
  Load(*s24, MakeBmp(3, 1, 24, {0x010203, 0x040506, 0x070809}));
  EXPECT_EQ(ReadPixel(s24->Surface, 2, 0), 0x070809u);
  EXPECT_EQ(Log(), "");
}

TEST_F(KilnSurface, PaletteImagesCopyIndicesOrLookUpTheirColours) {
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x123456};
  const Bytes bmp = MakeBmp(4, 1, 8, {3, 2, 1, 0}, palette);
  auto indexed = Gen(4, 1, Pal8());
  Load(*indexed, bmp);
  EXPECT_EQ(ReadPixel(indexed->Surface, 0, 0), 3u);
  EXPECT_EQ(ReadPixel(indexed->Surface, 1, 0), 2u);
  auto rgb = Gen(4, 1, kA888);
  Load(*rgb, bmp);
  EXPECT_EQ(ReadPixel(rgb->Surface, 0, 0), 0xFF123456u);
  EXPECT_EQ(ReadPixel(rgb->Surface, 2, 0), 0xFFFF0000u);
}

TEST_F(KilnSurface, DeepImagesReachEightBitSurfacesThroughGdi) {
  auto s = Gen(2, 2, Pal8());
  Load(*s, MakeBmp(2, 2, 24, {0xFF0000, 0x0000FF, 0xFFFFFF, 0x000000}));
  auto colour = [&](int x, int y) {
    const PALETTEENTRY& e = gdi::DefaultPalette()[ReadPixel(s->Surface, x, y) & 0xFF];
    return RGB(e.peRed, e.peGreen, e.peBlue);
  };
  EXPECT_EQ(colour(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(colour(1, 0), RGB(0, 0, 255));
  EXPECT_EQ(colour(0, 1), RGB(255, 255, 255));
  EXPECT_EQ(colour(1, 1), RGB(0, 0, 0));
  auto bad = Gen(2, 2, Pal8());
  Bytes broken = MakeBmp(2, 2, 24, {});
  broken.resize(60);
  Load(*bad, broken);
  EXPECT_NE(Log().find("不正なビットマップです"), std::string::npos);
}

TEST_F(KilnSurface, RowsAreClippedToTheSurfaceFromTheBottomUp) {
  // Image rows, top first: 1 2 3 4. A two-row surface gets the bottom two, the right way up.
  std::vector<uint32_t> px;
  for (uint32_t row = 1; row <= 4; ++row)
    for (uint32_t x = 0; x < 6; ++x) px.push_back(row * 0x10 + x);
  auto s = Gen(3, 2, kX888);
  Load(*s, MakeBmp(6, 4, 24, px));
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0x30u);
  EXPECT_EQ(ReadPixel(s->Surface, 2, 1), 0x42u);
  // A smaller image sits in the top-left corner; the rest keeps what it had.
  auto big = Gen(4, 4, kX888);
  WritePixel(big->Surface, 3, 3, 0xABCDEF);
  Load(*big, MakeBmp(2, 2, 24, {0x1, 0x2, 0x3, 0x4}));
  EXPECT_EQ(ReadPixel(big->Surface, 0, 0), 0x1u);
  EXPECT_EQ(ReadPixel(big->Surface, 1, 1), 0x4u);
  EXPECT_EQ(ReadPixel(big->Surface, 3, 3), 0xABCDEFu);
  // Top-down files are loaded the right way up as well.
  auto td = Gen(2, 2, kX888);
  Load(*td, MakeBmp(2, -2, 24, {0x1, 0x2, 0x3, 0x4}));
  EXPECT_EQ(ReadPixel(td->Surface, 0, 0), 0x1u);
  EXPECT_EQ(ReadPixel(td->Surface, 1, 1), 0x4u);
}

TEST_F(KilnSurface, ColorMatchFindsThePixelValueAndPutsThePixelBack) {
  auto s = Gen(4, 4, k565);
  ASSERT_EQ(WritePixel(s->Surface, 0, 0, 0x1234), DD_OK);
  EXPECT_EQ(s->ColorMatch(RGB(0, 0, 0)), 0u);
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0x1234u);
  EXPECT_EQ(s->ColorMatch(RGB(255, 255, 255)), 0xFFFFu);
  EXPECT_EQ(s->ColorMatch(RGB(255, 0, 0)), 0xF800u);
  auto s32 = Gen(2, 2, kX888);
  EXPECT_EQ(s32->ColorMatch(RGB(0x12, 0x34, 0x56)), 0x123456u);
  auto pal = Gen(2, 2, Pal8());
  const DWORD index = pal->ColorMatch(RGB(0, 0, 255));
  EXPECT_LT(index, 256u);
  EXPECT_EQ(gdi::DefaultPalette()[index].peBlue, 255);
  EXPECT_EQ(s->ColorMatch(0x80000000u), 0u);  // not a colour
}

TEST_F(KilnSurface, ALostSurfaceLoadsNothingAndMatchesNothing) {
  CountingSurface counting(Raw(4, 4, k565, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY));
  TKilnGenSurface s(nullptr, 4, 4, &counting);
  ddraw::LoseSurfaces();
  EXPECT_TRUE(s.IsLost());
  counting.calls.clear();
  Load(s, MakeBmp(4, 4, 24, {0xFFFFFF}));
  EXPECT_EQ(s.ColorMatch(RGB(255, 255, 255)), 0u);
  EXPECT_EQ(counting.calls["Lock"], 0);
  EXPECT_EQ(counting.calls["GetDC"], 0);
  EXPECT_EQ(counting.Total(), counting.calls["IsLost"]);
  EXPECT_EQ(s.Restore(), DD_OK);
  EXPECT_FALSE(s.IsLost());
  EXPECT_EQ(s.Restore(), DD_OK);
}

TEST_F(KilnSurface, BadFilesLeaveTheSurfaceAndSayWhy) {
  auto s = Gen(4, 2, kX888);
  auto keep = [&] { ASSERT_EQ(WritePixel(s->Surface, 0, 1, 0x777777), DD_OK); };
  auto kept = [&] { return ReadPixel(s->Surface, 0, 1) == 0x777777u; };
  auto logged = [&](const std::string& text) { return Log().find(text) != std::string::npos; };

  keep();
  Bytes notBmp = MakeBmp(2, 2, 24, {0xFFFFFF});
  notBmp[0] = 'X';
  Load(*s, notBmp);
  EXPECT_TRUE(kept());
  EXPECT_TRUE(logged("debug#00001 ... 不正なBMPファイルです"));

  Load(*s, Bytes{'B', 'M', 0});
  EXPECT_TRUE(logged("ビットマップの読みこみ中に、エラーが発生しました"));
  Bytes shortInfo = MakeBmp(2, 2, 24, {});
  shortInfo.resize(30);
  Load(*s, shortInfo);
  EXPECT_TRUE(logged("LoadBMP中に、読み込みエラーが発生しました"));

  Load(*s, MakeBmp(8, 2, 4, {}));
  EXPECT_TRUE(logged("色数が8ビット～32ビットの範囲のビットマップを、LoadBMPには指定してください(Error Code(1))"));
  EXPECT_TRUE(kept());
}

TEST_F(KilnSurface, MalformedHeadersNeverReachOutsideTheFile) {
  auto s = Gen(4, 2, kX888);
  const std::string readError = "LoadBMP中に、読み込みエラーが発生しました";
  const std::string notBmp = "不正なBMPファイルです";
  auto count = [&](const std::string& text) {
    const std::string log = Log();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  ASSERT_EQ(WritePixel(s->Surface, 0, 1, 0x777777), DD_OK);

  // Rows cut short: what was read stays, the rest does not, and the surface is unlocked again.
  Bytes truncated = MakeBmp(4, 2, 24, {0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x8});
  truncated.resize(truncated.size() - 4);
  Load(*s, truncated);
  EXPECT_EQ(count(readError), 1);
  EXPECT_EQ(ReadPixel(s->Surface, 0, 1), 0x5u);  // the file's first row is the bottom one
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0u);

  Bytes farOffset = MakeBmp(2, 2, 24, {});
  kilntest::Put(farOffset, 10, 0x7FFFFFF0, 4);
  Load(*s, farOffset);
  EXPECT_EQ(count(readError), 2);

  // A width no file of this size can hold is refused before any row memory is set aside.
  Bytes absurd = MakeBmp(2, 2, 32, {});
  kilntest::Put(absurd, 18, 0x7FFFFFFF, 4);
  Load(*s, absurd);
  EXPECT_EQ(count(readError), 3);

  for (uint32_t width : {0u, 0x80000000u}) {
    Bytes b = MakeBmp(2, 2, 24, {});
    kilntest::Put(b, 18, width, 4);
    Load(*s, b);
  }
  Bytes noRows = MakeBmp(2, 2, 24, {});
  kilntest::Put(noRows, 22, 0, 4);
  Load(*s, noRows);
  Load(*s, MakeBmp(2, 2, 8, {}, {0}, 1));  // run-length compressed
  Bytes coreHeader = MakeBmp(2, 2, 24, {});
  kilntest::Put(coreHeader, 14, 12, 4);
  Load(*s, coreHeader);
  EXPECT_EQ(count(notBmp), 5);
  Load(*s, MakeBmp(2, 2, 12, {}));
  EXPECT_EQ(count("(Error Code(1))"), 1);

  // A colour table shorter than 256 entries: indices past its end are black.
  Bytes shortTable = MakeBmp(3, 1, 8, {0, 1, 200}, {0x112233, 0x445566});
  auto rgb = Gen(3, 1, kX888);
  Load(*rgb, shortTable);
  EXPECT_EQ(ReadPixel(rgb->Surface, 1, 0), 0x445566u);
  EXPECT_EQ(ReadPixel(rgb->Surface, 2, 0), 0u);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  EXPECT_EQ(s->Surface->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);  // nothing left it locked
  s->Surface->Unlock(nullptr);
}

TEST_F(KilnSurface, FilesAndArchiveEntriesAreLoadedOrReported) {
  auto s = Gen(2, 1, kX888);
  testsupport::WriteFileBytes(dir.File("Ship.BMP"), MakeBmp(2, 1, 24, {0xABCDEF, 0x1}));
  s->LoadFromFile(dir.File("ship.bmp"));  // names are matched as the Windows file system does
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0xABCDEFu);
  s->LoadFromFile(dir.File("none.bmp"));
  EXPECT_NE(Log().find(dir.File("none.bmp") + "が、見つかりません"), std::string::npos);

  const Bytes bmp = MakeBmp(2, 1, 24, {0x123456, 0x2});
  testsupport::WriteFileBytes(dir.File("data.kna"),
                              knarctest::MakeArchive(0, {{"logo.bmp", bmp, static_cast<uint32_t>(bmp.size())}}));
  s->LoadFromArchive(dir.File("data.kna"), "logo.bmp");
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0x123456u);
  s->LoadFromArchive(dir.File("data.kna"), "missing.bmp");
  s->LoadFromArchive(dir.File("nothing.kna"), "logo.bmp");
  const std::string log = Log();
  const std::string line = "アーカイブからのビットマップの読み取りに失敗しました";
  ASSERT_NE(log.find(line), std::string::npos);
  EXPECT_NE(log.find(line, log.find(line) + 1), std::string::npos);
}

TEST_F(KilnSurface, ColourKeyDescriptionAndCopiesFromADeviceContext) {
  auto s = Gen(8, 8, k565);
  EXPECT_EQ(s->SetColorKey(0x1F), DD_OK);
  EXPECT_EQ(s->ColorKey, 0x1Fu);
  DDCOLORKEY key{};
  ASSERT_EQ(s->Surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(key.dwColorSpaceLowValue, 0x1Fu);
  EXPECT_EQ(key.dwColorSpaceHighValue, 0x1Fu);
  DDSURFACEDESC2 desc{};
  s->UpdateDesc(desc);
  EXPECT_NE(desc.dwFlags & DDSD_CKSRCBLT, 0u);
  EXPECT_EQ(desc.dwWidth, 8u);

  forms::TBitmap picture(4, 4);
  SetPixel(picture.DC(), 1, 2, RGB(0, 255, 0));
  s->BltFromDC(3, 3, 4, 4, picture.DC(), 0, 0);
  EXPECT_EQ(ReadPixel(s->Surface, 4, 5), 0x07E0u);
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0u);
}

}  // namespace

namespace {

// A bit-field BMP with a 56-byte header: the red, green, blue and alpha masks after the
// 40 bytes of the plain header, then one row of pixels.
Bytes BitFieldBmp(int bits, const std::vector<uint32_t>& masks, const std::vector<uint32_t>& pixels) {
  const int bytes = bits / 8;
  const size_t row = (pixels.size() * bytes + 3) & ~size_t(3);
  Bytes b(70 + row, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put(b, 2, static_cast<uint32_t>(b.size()), 4);
  Put(b, 10, 70, 4);
  Put(b, 14, 56, 4);
  Put(b, 18, static_cast<uint32_t>(pixels.size()), 4);
  Put(b, 22, 1, 4);
  Put(b, 26, 1, 2);
  Put(b, 28, static_cast<uint32_t>(bits), 2);
  Put(b, 30, 3, 4);  // BI_BITFIELDS
  for (size_t i = 0; i < 4; ++i) Put(b, 54 + 4 * i, masks[i], 4);
  for (size_t i = 0; i < pixels.size(); ++i) Put(b, 70 + i * bytes, pixels[i], bytes);
  return b;
}

}  // namespace

TEST_F(KilnSurface, NarrowAlphaFieldsAreScaledToTheFullRange) {
  // One alpha bit: set is opaque (255), not 128.
  auto s = Gen(2, 1, kA888);
  Load(*s, BitFieldBmp(16, {0x7C00, 0x03E0, 0x001F, 0x8000}, {0xFC00, 0x001F}));
  EXPECT_EQ(ReadPixel(s->Surface, 0, 0), 0xFFF80000u);
  EXPECT_EQ(ReadPixel(s->Surface, 1, 0), 0x000000F8u);
  // Two alpha bits: 3 is opaque (255, not 192), 2 is two thirds (170), 1 a third (85).
  auto t = Gen(4, 1, kA888);
  Load(*t, BitFieldBmp(32, {0xFF0000, 0xFF00, 0xFF, 0xC0000000}, {0xC0112233, 0x80112233, 0x40112233, 0x00112233}));
  EXPECT_EQ(ReadPixel(t->Surface, 0, 0), 0xFF112233u);
  EXPECT_EQ(ReadPixel(t->Surface, 1, 0), 0xAA112233u);
  EXPECT_EQ(ReadPixel(t->Surface, 2, 0), 0x55112233u);
  EXPECT_EQ(ReadPixel(t->Surface, 3, 0), 0x00112233u);
}

TEST_F(KilnSurface, ABrokenPictureFileIsToldOnceByNameAndTheGameGoesOn) {
  std::vector<std::string> told;
  data::ForgetReports();
  data::SetDataSink([&](const std::vector<data::TDataProblem>& p) {
    for (const auto& x : p) told.push_back(data::Describe(x));
  });
  auto s = Gen(2, 1, kX888);
  Bytes cut = MakeBmp(2, 1, 24, {0xABCDEF, 0x1});
  cut.resize(40);
  testsupport::WriteFileBytes(dir.File("cut.bmp"), cut);
  s->LoadFromFile(dir.File("cut.bmp"));
  s->LoadFromFile(dir.File("cut.bmp"));  // a texture reloads after every restore: said once
  std::filesystem::create_directories(dir.Path() / "folder.bmp");
  s->LoadFromFile(dir.File("folder.bmp"));
  // A 2 GB file is refused by its size, unread.
  {
    std::ofstream(dir.File("huge.bmp")).close();
    std::filesystem::resize_file(dir.File("huge.bmp"), uintmax_t(2) << 30);
  }
  s->LoadFromFile(dir.File("huge.bmp"));
  s->LoadFromFile(dir.File("none.bmp"));
  data::SetDataSink(nullptr);
  ASSERT_EQ(told.size(), 4u);
  EXPECT_EQ(told[0], dir.File("cut.bmp") +
                         ": is cut short inside its information header; the game goes on without this picture.");
  EXPECT_EQ(told[1], dir.File("folder.bmp") + ": is a folder, not a file; the game goes on without this picture.");
  EXPECT_NE(told[2].find("huge.bmp: is 2147483648 bytes (2.0 GiB), more than the 67108864 bytes"), std::string::npos)
      << told[2];
  EXPECT_EQ(told[3], dir.File("none.bmp") + ": is missing; the game goes on without this picture.");
  // The log keeps its own line for each load.
  EXPECT_NE(Log().find(dir.File("folder.bmp") + "が、見つかりません"), std::string::npos);
  EXPECT_TRUE(s->LoadProblem().size() > 0);
}
