#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/host/services/FontRaster.h"
#include "platform/host/services/ImageCodecs.h"
#include "support/TestSupport.h"

using namespace host::services;

namespace {

Image Gradient(int w, int h, int channels) {
  Image img;
  img.width = w;
  img.height = h;
  img.channels = channels;
  img.pixels.resize(static_cast<std::size_t>(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &img.pixels[(static_cast<std::size_t>(y) * w + x) * channels];
      p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
      p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
      p[2] = static_cast<uint8_t>(128 + (x - y) / 2);
      if (channels == 4) p[3] = static_cast<uint8_t>((x * 7 + y) & 0xFF);
    }
  return img;
}

TEST(Jpeg, EncodedPictureDecodesCloseToTheOriginal) {
  const Image src = Gradient(64, 48, 3);
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(EncodeJpeg(src, 95, jpeg));
  ASSERT_GT(jpeg.size(), 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  Image out;
  const CodecResult r = DecodeJpeg(jpeg.data(), jpeg.size(), out);
  ASSERT_TRUE(r) << r.error;
  ASSERT_EQ(out.width, 64);
  ASSERT_EQ(out.height, 48);
  ASSERT_EQ(out.channels, 3);
  ASSERT_EQ(out.pixels.size(), src.pixels.size());
  long total = 0;
  for (std::size_t i = 0; i < src.pixels.size(); ++i) total += std::abs(int(src.pixels[i]) - int(out.pixels[i]));
  EXPECT_LT(double(total) / src.pixels.size(), 4.0);
}

TEST(Jpeg, CorruptDataFailsWithAMessage) {
  const Image src = Gradient(64, 48, 3);
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(EncodeJpeg(src, 90, jpeg));
  Image out;
  out.width = 7;

  std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
  CodecResult r = DecodeJpeg(cut.data(), cut.size(), out);
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(out.width, 7) << "a failed decode leaves the output alone";

  std::vector<uint8_t> garbage(500);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  EXPECT_FALSE(DecodeJpeg(garbage.data(), garbage.size(), out));

  std::vector<uint8_t> headerOnly(jpeg.begin(), jpeg.begin() + 20);
  EXPECT_FALSE(DecodeJpeg(headerOnly.data(), headerOnly.size(), out));
  EXPECT_FALSE(DecodeJpeg(nullptr, 0, out));

  // A damaged Huffman table: the library's error comes back as a failure, not an exit.
  std::vector<uint8_t> damaged = jpeg;
  bool found = false;
  for (std::size_t i = 2; i + 4 < damaged.size() && !found; ++i)
    if (damaged[i] == 0xFF && damaged[i + 1] == 0xC4) damaged[i + 4] = 0x7F, found = true;
  ASSERT_TRUE(found);
  r = DecodeJpeg(damaged.data(), damaged.size(), out);
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("JPEG"), std::string::npos);
  EXPECT_FALSE(EncodeJpeg(Gradient(4, 4, 4), 90, jpeg)) << "only RGB pictures are encoded";
}

TEST(Jpeg, MangledFilesNeverCrashAndNeverGiveAWrongSize) {
  const Image src = Gradient(40, 24, 3);
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(EncodeJpeg(src, 80, jpeg));
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bad = jpeg;
    const int edits = 1 + static_cast<int>(next() % 8);
    for (int e = 0; e < edits; ++e) bad[next() % bad.size()] = static_cast<uint8_t>(next() >> 24);
    if (round % 3 == 0) bad.resize(next() % bad.size() + 1);
    Image out;
    if (DecodeJpeg(bad.data(), bad.size(), out)) {
      ASSERT_EQ(out.pixels.size(), static_cast<std::size_t>(out.width) * out.height * 3);
    }
  }
}

TEST(Png, WrittenFilesReadBackExactly) {
  testsupport::TempDir dir;
  for (int channels : {3, 4}) {
    const Image src = Gradient(33, 17, channels);
    const std::string path = dir.File("p" + std::to_string(channels) + ".png");
    ASSERT_TRUE(WritePng(path, src));
    Image back;
    const CodecResult r = ReadPng(path, back);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(back.width, 33);
    EXPECT_EQ(back.height, 17);
    EXPECT_EQ(back.channels, channels);
    EXPECT_EQ(back.pixels, src.pixels);
  }
  // A frame of 0x00RRGGBB pixels with a pitch wider than the picture.
  std::vector<uint32_t> frame(10 * 4, 0xDEADBEEF);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) frame[y * 10 + x] = static_cast<uint32_t>(x << 16 | y << 8 | (x + y));
  const std::string path = dir.File("frame.png");
  ASSERT_TRUE(WritePngXrgb(path, frame.data(), 8, 3, 10));
  Image back;
  ASSERT_TRUE(ReadPng(path, back));
  ASSERT_EQ(back.channels, 3);
  EXPECT_EQ(back.pixels[(2 * 8 + 5) * 3 + 0], 5);
  EXPECT_EQ(back.pixels[(2 * 8 + 5) * 3 + 1], 2);
  EXPECT_EQ(back.pixels[(2 * 8 + 5) * 3 + 2], 7);
}

TEST(Png, BadPathsAndBadFilesFailCleanly) {
  testsupport::TempDir dir;
  EXPECT_FALSE(WritePng(dir.File("no/such/folder/x.png"), Gradient(4, 4, 3)));
  Image empty;
  EXPECT_FALSE(WritePng(dir.File("empty.png"), empty));
  Image out;
  EXPECT_FALSE(ReadPng(dir.File("missing.png"), out));
  testsupport::WriteFileText(dir.File("text.png"), "this is not a picture at all");
  EXPECT_FALSE(ReadPng(dir.File("text.png"), out));
  // A real PNG cut short.
  ASSERT_TRUE(WritePng(dir.File("whole.png"), Gradient(40, 40, 3)));
  auto bytes = testsupport::ReadFileBytes(dir.File("whole.png"));
  bytes.resize(bytes.size() / 2);
  testsupport::WriteFileBytes(dir.File("cut.png"), bytes);
  EXPECT_FALSE(ReadPng(dir.File("cut.png"), out));
}

TEST(Utf8, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(DecodeUtf8("A\xE6\x95\xB5"), U"A敵");
  EXPECT_EQ(DecodeUtf8("\xFF"), U"\uFFFD");
  EXPECT_EQ(DecodeUtf8(std::string_view("\xE6\x95", 2)), U"\uFFFD");  // cut off at the end
  EXPECT_EQ(DecodeUtf8("\xC0\xAF"), U"\uFFFD");                       // overlong
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), U"\uFFFD");                   // a surrogate
  EXPECT_EQ(DecodeUtf8("\xE6x"), U"\uFFFDx");                         // the next character survives
}

TEST(Fonts, WindowsFacesMapToStandIns) {
  EXPECT_EQ(FontLibrary::StandInFamily("Tahoma", 0), "DejaVu Sans");
  EXPECT_EQ(FontLibrary::StandInFamily("tahoma ", 0), "DejaVu Sans");
  EXPECT_EQ(FontLibrary::StandInFamily("MS UI Gothic", 128), "IPAPGothic");
  EXPECT_EQ(FontLibrary::StandInFamily("ＭＳ Ｐゴシック", 128), "IPAPGothic");
  EXPECT_EQ(FontLibrary::StandInFamily("MS PGothic", 128), "IPAPGothic");
  EXPECT_EQ(FontLibrary::StandInFamily("ＭＳ ゴシック", 128), "IPAGothic");
  EXPECT_EQ(FontLibrary::StandInFamily("Courier New", 0), "DejaVu Sans Mono");
  EXPECT_EQ(FontLibrary::StandInFamily("Some Face", 0), "Some Face");

  FontLibrary lib;
  auto tahoma = lib.Open({"Tahoma", 0, -17, 400, false, false});
  ASSERT_NE(tahoma, nullptr);
  EXPECT_NE(tahoma->Metrics().family.find("DejaVu"), std::string::npos) << tahoma->Metrics().family;
  EXPECT_EQ(lib.Open({"TAHOMA", 0, -17, 400, false, false}), tahoma) << "opened fonts are cached";
  auto gothic = lib.Open({"ＭＳ Ｐゴシック", 128, -12, 400, false, false});
  ASSERT_NE(gothic, nullptr);
  EXPECT_TRUE(gothic->Metrics().family.find("Gothic") != std::string::npos ||
              gothic->Metrics().family.find("ゴシック") != std::string::npos)
      << gothic->Metrics().family;
  // An unknown face still gives a usable font.
  auto unknown = lib.Open({"No Such Face 123", 0, -12, 400, false, false});
  ASSERT_NE(unknown, nullptr);
  EXPECT_GT(unknown->TextWidth("abc"), 0);
}

TEST(Fonts, MonochromeByDefaultBoldAndItalicChangeTheInk) {
  FontLibrary lib;
  auto plain = lib.Open({"Tahoma", 0, -20, 400, false, false});
  auto bold = lib.Open({"Tahoma", 0, -20, 700, false, false});
  auto italic = lib.Open({"Tahoma", 0, -20, 400, true, false});
  auto smooth = lib.Open({"Tahoma", 0, -20, 400, false, true});
  TextBitmap p, b, i, s;
  plain->Rasterize("Hello", p);
  bold->Rasterize("Hello", b);
  italic->Rasterize("Hello", i);
  smooth->Rasterize("Hello", s);
  auto ink = [](const TextBitmap& t) {
    long n = 0;
    for (uint8_t v : t.coverage) n += v;
    return n;
  };
  for (uint8_t v : p.coverage) ASSERT_TRUE(v == 0 || v == 255);
  bool partial = false;
  for (uint8_t v : s.coverage) partial = partial || (v != 0 && v != 255);
  EXPECT_TRUE(partial);
  EXPECT_GT(ink(b), ink(p) * 11 / 10);
  EXPECT_NE(i.coverage, p.coverage);
  EXPECT_EQ(p.advance, plain->TextWidth("Hello"));
  // Ink of an upright latin string lies inside its cell.
  EXPECT_GE(p.left, 0);
  EXPECT_GE(p.top, 0);
  EXPECT_LE(p.left + p.width, p.advance);
  EXPECT_LE(p.top + p.height, plain->Metrics().height);
}

TEST(Fonts, OneFontServesSeveralThreads) {
  FontLibrary lib;
  auto f = lib.Open({"MS UI Gothic", 128, -14, 400, false, false});
  ASSERT_NE(f, nullptr);
  TextBitmap reference;
  f->Rasterize("敵を倒した！ 12345", reference);
  std::vector<std::thread> threads;
  std::vector<int> same(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int k = 0; k < 20; ++k) {
        TextBitmap b;
        f->Rasterize("敵を倒した！ 12345", b);
        same[t] += b.coverage == reference.coverage;
      }
    });
  for (auto& th : threads) th.join();
  for (int n : same) EXPECT_EQ(n, 20);
}

}  // namespace
