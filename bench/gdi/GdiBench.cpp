// What the head-up display and the title cost per frame, and the picture codecs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "platform/gdi/Gdi.h"
#include "platform/host/services/ImageCodecs.h"

namespace {

HFONT Font(const char* face, LONG height, BYTE charset = ANSI_CHARSET) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = charset;
  std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
  return CreateFontIndirectA(&lf);
}

void Outlined(HDC dc, int x, int y, const std::string& s) {
  const int n = static_cast<int>(s.size());
  SetTextColor(dc, 0);
  TextOutA(dc, x - 1, y, s.data(), n);
  TextOutA(dc, x + 1, y, s.data(), n);
  TextOutA(dc, x, y - 1, s.data(), n);
  TextOutA(dc, x, y + 1, s.data(), n);
  SetTextColor(dc, 0xFFFFFF);
  TextOutA(dc, x, y, s.data(), n);
}

// The texts of one play frame: status line, a message and the stage caption.
void BM_HudText(benchmark::State& state) {
  gdi::MemoryTarget back(640, 480, gdi::PixelFormat::Rgb565());
  HDC dc = gdi::CreateTargetDC(&back);
  HFONT status = Font("Tahoma", gdi::HeightFromPoints(13));
  HFONT message = Font("MS UI Gothic", gdi::HeightFromPoints(14), SHIFTJIS_CHARSET);
  HFONT caption = Font("Tahoma", gdi::HeightFromPoints(30));
  SetBkMode(dc, TRANSPARENT);
  for (auto _ : state) {
    SelectObject(dc, status);
    Outlined(dc, 10, 10, "ENERGY :");
    Outlined(dc, 320, 10, "STOCK : 03");
    Outlined(dc, 450, 10, "SCORE : 00012340");
    SelectObject(dc, message);
    Outlined(dc, 74, 430, "敵機を撃墜！　よくやった。");
    SelectObject(dc, caption);
    Outlined(dc, 151, 131, "STAGE 12 READY?");
  }
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  DeleteDC(dc);
  DeleteObject(status);
  DeleteObject(message);
  DeleteObject(caption);
}
BENCHMARK(BM_HudText)->Unit(benchmark::kMicrosecond);

// The radar: the XOR circle, the ship marker and twelve blips.
void BM_RadarShapes(benchmark::State& state) {
  gdi::MemoryTarget back(640, 480, gdi::PixelFormat::Rgb565());
  HDC dc = gdi::CreateTargetDC(&back);
  HPEN green = CreatePen(PS_SOLID, 1, 0x00FF00);
  HBRUSH blip = CreateSolidBrush(0x33337F);
  for (auto _ : state) {
    SetROP2(dc, R2_XORPEN);
    SelectObject(dc, green);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, 490, 330, 639, 479);
    MoveToEx(dc, 565, 400, nullptr);
    LineTo(dc, 560, 410);
    LineTo(dc, 570, 410);
    LineTo(dc, 565, 400);
    SelectObject(dc, blip);
    for (int i = 0; i < 12; ++i) Ellipse(dc, 500 + i * 10, 400, 508 + i * 10, 408);
  }
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  DeleteDC(dc);
  DeleteObject(green);
  DeleteObject(blip);
}
BENCHMARK(BM_RadarShapes)->Unit(benchmark::kMicrosecond);

// A whole 640 x 480 picture copied between two formats (arg 0) or within one (arg 1).
void BM_BitBltScreen(benchmark::State& state) {
  const bool sameFormat = state.range(0) == 1;
  gdi::MemoryTarget src(640, 480, sameFormat ? gdi::PixelFormat::Xrgb8888() : gdi::PixelFormat::Rgb565());
  gdi::MemoryTarget dst(640, 480, gdi::PixelFormat::Xrgb8888());
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) src.SetValue(x, y, static_cast<uint32_t>(x * 31 + y * 7));
  HDC s = gdi::CreateTargetDC(&src), d = gdi::CreateTargetDC(&dst);
  for (auto _ : state) BitBlt(d, 0, 0, 640, 480, s, 0, 0, SRCCOPY);
  state.SetItemsProcessed(state.iterations() * 640 * 480);
  DeleteDC(s);
  DeleteDC(d);
}
BENCHMARK(BM_BitBltScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The title picture: a 640 x 480 baseline JPEG.
void BM_JpegDecodeTitle(benchmark::State& state) {
  host::services::Image img;
  img.width = 640;
  img.height = 480;
  img.pixels.resize(640 * 480 * 3);
  for (std::size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>((i * 7) ^ (i >> 9));
  std::vector<uint8_t> jpeg;
  host::services::EncodeJpeg(img, 85, jpeg);
  for (auto _ : state) {
    host::services::Image out;
    benchmark::DoNotOptimize(host::services::DecodeJpeg(jpeg.data(), jpeg.size(), out));
  }
}
BENCHMARK(BM_JpegDecodeTitle)->Unit(benchmark::kMillisecond);

// One headless frame written as PNG.
void BM_PngFrame(benchmark::State& state) {
  std::vector<uint32_t> frame(640 * 480);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint32_t>((i % 640) << 16 | (i / 640) << 4);
  const std::string path = "/tmp/tavvy-bench-frame.png";
  for (auto _ : state) benchmark::DoNotOptimize(host::services::WritePngXrgb(path, frame.data(), 640, 480, 640));
  std::remove(path.c_str());
}
BENCHMARK(BM_PngFrame)->Unit(benchmark::kMillisecond);

}  // namespace
