#include <gtest/gtest.h>

#include <cstring>

#include "platform/forms/Graphics.h"
#include "platform/host/Hosts.h"
#include "platform/host/services/ImageCodecs.h"
#include "support/TestSupport.h"

namespace {

using forms::TBitmap;

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A BMP file: `rows` are the file's stored rows (already padded), `extra` goes between
// the header and the pixels (colour table or masks).
std::vector<uint8_t> Bmp(int width, int height, int bits, uint32_t compression, const std::vector<uint8_t>& extra,
                         const std::vector<uint8_t>& rows, uint32_t clrUsed = 0) {
  std::vector<uint8_t> b(54);
  b[0] = 'B';
  b[1] = 'M';
  uint32_t off = static_cast<uint32_t>(54 + extra.size());
  Put32(b, 2, static_cast<uint32_t>(off + rows.size()));
  Put32(b, 10, off);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(width));
  Put32(b, 22, static_cast<uint32_t>(height));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<uint16_t>(bits));
  Put32(b, 30, compression);
  Put32(b, 34, static_cast<uint32_t>(rows.size()));
  Put32(b, 46, clrUsed);
  b.insert(b.end(), extra.begin(), extra.end());
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

std::unique_ptr<TBitmap> Load(const std::vector<uint8_t>& bytes) {
  rtl::TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  auto bm = std::make_unique<TBitmap>();
  bm->LoadFromStream(s);
  return bm;
}

void LoadInto(TBitmap& bm, const std::vector<uint8_t>& bytes) {
  rtl::TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  bm.LoadFromStream(s);
}

class GraphicsTest : public ::testing::Test {
 protected:
  std::unique_ptr<host::IHost> host_ = host::CreateHeadlessHost({});
};

TEST_F(GraphicsTest, LoadsBmpFilesOfEveryDepthTheGameUses) {
  // 24 bits, bottom-up, 3 pixels wide (rows padded to 12 bytes): bottom row stored first.
  std::vector<uint8_t> rows24 = {0,   0,   255, 0, 255, 0, 255, 0,  0,  0, 0, 0,   // bottom: red, green, blue
                                 255, 255, 255, 0, 0,   0, 10,  20, 30, 0, 0, 0};  // top: white, black, (30, 20, 10)
  TBitmap bm;
  LoadInto(bm, Bmp(3, 2, 24, 0, {}, rows24));
  ASSERT_EQ(bm.Width(), 3);
  ASSERT_EQ(bm.Height(), 2);
  auto px = bm.ToXrgb();
  EXPECT_EQ(px, (std::vector<uint32_t>{0xFFFFFF, 0x000000, 0x1E140A, 0xFF0000, 0x00FF00, 0x0000FF}));
  EXPECT_EQ(bm.Canvas().Pixel(0, 1), 0x0000FFu);  // GDI colour of red

  // 8 bits with a two-colour table, top-down (negative height).
  std::vector<uint8_t> table = {0, 0, 0, 0, 0, 128, 255, 0};  // black, orange (255, 128, 0)
  TBitmap bm8;
  LoadInto(bm8, Bmp(2, -1, 8, 0, table, {1, 0, 0, 0}, 2));
  EXPECT_EQ(bm8.ToXrgb(), (std::vector<uint32_t>{0xFF8000, 0x000000}));

  // 16 bits 5-5-5 and 5-6-5 through bit masks.
  TBitmap bm555;
  LoadInto(bm555, Bmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00}));
  EXPECT_EQ(bm555.ToXrgb(), (std::vector<uint32_t>{0xFF0000, 0x0000FF}));
  std::vector<uint8_t> masks565(12);
  Put32(masks565, 0, 0xF800);
  Put32(masks565, 4, 0x07E0);
  Put32(masks565, 8, 0x001F);
  TBitmap bm565;
  LoadInto(bm565, Bmp(2, 1, 16, 3, masks565, {0xE0, 0x07, 0x00, 0xF8}));
  EXPECT_EQ(bm565.ToXrgb(), (std::vector<uint32_t>{0x00FF00, 0xFF0000}));

  // 32 bits.
  TBitmap bm32;
  LoadInto(bm32, Bmp(1, 1, 32, 0, {}, {0x33, 0x22, 0x11, 0x00}));
  EXPECT_EQ(bm32.ToXrgb(), (std::vector<uint32_t>{0x112233}));
}

TEST_F(GraphicsTest, BadBmpFilesRaiseAClearErrorAndReadNothingOutside) {
  auto expectInvalid = [](const std::vector<uint8_t>& bytes, const char* fragment) {
    try {
      Load(bytes);
      ADD_FAILURE() << "no error for " << fragment;
    } catch (const forms::EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("Bitmap image is not valid", 0), 0u);
    }
  };
  std::vector<uint8_t> ok = Bmp(2, 2, 24, 0, {}, std::vector<uint8_t>(16, 7));
  auto bad = ok;
  bad[0] = 'X';
  expectInvalid(bad, "no BM signature");
  expectInvalid(Bmp(2, 2, 4, 0, {}, std::vector<uint8_t>(8)), "4 bits per pixel");
  expectInvalid(Bmp(2, 2, 8, 1, {}, std::vector<uint8_t>(8)), "compression 1");
  expectInvalid(Bmp(0, 2, 24, 0, {}, {}), "size 0 x 2");
  expectInvalid(Bmp(100000, 2, 24, 0, {}, {}), "size 100000 x 2");
  // A large picture promised by a small file: refused before anything is allocated or read.
  expectInvalid(Bmp(30000, 30000, 32, 0, {}, std::vector<uint8_t>(64)), "cut short");
  auto cut = ok;
  cut.resize(cut.size() - 1);
  expectInvalid(cut, "cut short");
  auto core = ok;
  Put32(core, 14, 12);
  expectInvalid(core, "header of 12 bytes");
  expectInvalid(Bmp(2, 1, 8, 0, {}, {0, 0, 0, 0}, 300), "300 colours");
  // Too short for a header at all: the stream's read error.
  EXPECT_THROW(Load({'B', 'M', 1, 2}), rtl::EReadError);
  EXPECT_THROW(Load({}), rtl::EReadError);
  // Missing file: the platform's file-open error.
  TBitmap bm;
  EXPECT_THROW(bm.LoadFromFile("/nonexistent/tavvy.bmp"), rtl::EFOpenError);
}

TEST_F(GraphicsTest, GarbageNeverCrashesTheBmpLoader) {
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  std::vector<uint8_t> base = Bmp(3, 3, 8, 0, std::vector<uint8_t>(1024, 9), std::vector<uint8_t>(12, 1));
  for (int round = 0; round < 300; ++round) {
    auto bytes = base;
    for (int k = 0; k < 6; ++k) bytes[next() % 60] = next();
    bytes.resize(next() % 2 ? bytes.size() : next() % bytes.size());
    try {
      auto bm = Load(bytes);
      EXPECT_EQ(bm->ToXrgb().size(), size_t(bm->Width()) * size_t(bm->Height()));
    } catch (const rtl::Exception&) {
    }
  }
}

TEST_F(GraphicsTest, SavedBitmapsLoadBack) {
  TBitmap bm(5, 3);
  bm.Canvas().Brush.Color = 0x00FF00;  // GDI green
  bm.Canvas().FillRect(RECT{1, 1, 4, 2});
  rtl::TMemoryStream s;
  bm.SaveToStream(s);
  s.SetPosition(0);
  TBitmap back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.ToXrgb(), bm.ToXrgb());
  EXPECT_EQ(back.ToXrgb()[5 + 2], 0x00FF00u);
  EXPECT_EQ(back.ToXrgb()[0], 0xFFFFFFu);  // new bitmaps start white
}

TEST_F(GraphicsTest, CanvasShapesFollowGdiGeometryAndModes) {
  TBitmap bm(20, 20);
  auto& c = bm.Canvas();
  c.Brush.Color = forms::clBlack;
  c.FillRect(RECT{0, 0, 20, 20});
  c.Pen.Color = 0x0000FF;
  c.Brush.Color = 0xFF0000;
  c.Rectangle(2, 3, 8, 9);
  // Right and bottom edges are left out: the outline runs from 2..7 and 3..8.
  EXPECT_EQ(c.Pixel(2, 3), 0x0000FFu);
  EXPECT_EQ(c.Pixel(7, 8), 0x0000FFu);
  EXPECT_EQ(c.Pixel(8, 8), 0u);
  EXPECT_EQ(c.Pixel(7, 9), 0u);
  EXPECT_EQ(c.Pixel(4, 5), 0xFF0000u);

  auto before = bm.ToXrgb();
  c.Pen.Mode = forms::TPenMode::pmXor;
  c.Pen.Color = 0x00FFFF;
  c.Brush.Style = forms::TBrushStyle::bsClear;
  c.Ellipse(1, 1, 15, 12);
  c.MoveTo(0, 19);
  c.LineTo(19, 0);
  EXPECT_NE(bm.ToXrgb(), before);
  c.Ellipse(1, 1, 15, 12);
  c.MoveTo(0, 19);
  c.LineTo(19, 0);
  EXPECT_EQ(bm.ToXrgb(), before);
}

TEST_F(GraphicsTest, TextWithAClearBrushLeavesTheBackground) {
  TBitmap bm(120, 30);
  auto& c = bm.Canvas();
  c.Brush.Color = 0x00FF00;
  c.FillRect(RECT{0, 0, 120, 30});
  c.Font.Name = "Tahoma";
  c.Font.Charset = ANSI_CHARSET;
  c.Font.SetSize(11);
  EXPECT_EQ(c.Font.Height(), -15);
  c.Font.Color = 0x0000FF;
  c.Brush.Style = forms::TBrushStyle::bsClear;
  c.TextOut(2, 2, "Hello");
  int red = 0, other = 0;
  for (uint32_t p : bm.ToXrgb()) {
    if (p == 0xFF0000) {
      ++red;
    } else if (p != 0x00FF00) {
      ++other;
    }
  }
  EXPECT_GT(red, 20);
  EXPECT_EQ(other, 0);
  // An opaque brush paints the text box first.
  c.Brush.Style = forms::TBrushStyle::bsSolid;
  c.Brush.Color = 0xFFFFFF;
  c.TextOut(60, 2, "Hi");
  EXPECT_EQ(c.Pixel(60, 2), 0xFFFFFFu);
  EXPECT_GT(c.TextWidth("Hello"), c.TextWidth("Hi"));
}

TEST_F(GraphicsTest, JpegPicturesDecodeAndBadOnesAreRefused) {
  host::services::Image img;
  img.width = 16;
  img.height = 8;
  img.channels = 3;
  img.pixels.resize(16 * 8 * 3);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = &img.pixels[size_t(y * 16 + x) * 3];
      p[0] = x < 8 ? 255 : 0;
      p[2] = x < 8 ? 0 : 255;
    }
  }
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(host::services::EncodeJpeg(img, 95, jpeg));
  forms::TJPEGImage pic;
  pic.LoadFromMemory(jpeg.data(), jpeg.size());
  EXPECT_EQ(pic.Width(), 16);
  EXPECT_EQ(pic.Height(), 8);
  TBitmap target(16, 8);
  target.Canvas().Draw(0, 0, pic);
  COLORREF left = target.Canvas().Pixel(2, 4), right = target.Canvas().Pixel(13, 4);
  EXPECT_GT(GetRValue(left), 200);
  EXPECT_LT(GetBValue(left), 60);
  EXPECT_GT(GetBValue(right), 200);
  EXPECT_LT(GetRValue(right), 60);

  std::vector<uint8_t> broken(jpeg.begin(), jpeg.begin() + 20);
  EXPECT_THROW(pic.LoadFromMemory(broken.data(), broken.size()), forms::EInvalidGraphic);
  std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'};
  EXPECT_THROW(pic.LoadFromMemory(text.data(), text.size()), forms::EInvalidGraphic);
}

}  // namespace
