// The frame the presentation tests show: a stretched picture, text and a shape, flipped.
#pragma once

#include <string>
#include <vector>

#include "kiln/KilnTestUtil.h"
#include "kiln/TKilnCanvas.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/host/Host.h"
#include "platform/host/services/ImageCodecs.h"

namespace kilntest {

using namespace ddtest;

// A full-screen 16-bit frame as the game makes one: a picture stretched over the back
// buffer, text and a shape on top, then a flip. Returns what the window showed.
inline std::vector<uint32_t> PresentFrame(host::IWindow& window, int& width, int& height) {
  ddraw::HostWindowTarget target(window);
  ddraw::ScopedWindowBinding bind(FakeHwnd(7), &target);
  IDirectDraw7* dd = CreateDD();
  EXPECT_EQ(dd->SetCooperativeLevel(FakeHwnd(7), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  DDSURFACEDESC2 chain{};
  chain.dwSize = sizeof chain;
  chain.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  chain.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  chain.dwBackBufferCount = 1;
  IDirectDrawSurface7* front = nullptr;
  EXPECT_EQ(dd->CreateSurface(&chain, &front, nullptr), DD_OK);
  DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
  IDirectDrawSurface7* backRaw = nullptr;
  EXPECT_EQ(front->GetAttachedSurface(&caps, &backRaw), DD_OK);

  // A 64 x 48 colour ramp loaded from a BMP, stretched to the whole screen.
  std::vector<uint32_t> ramp;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ramp.push_back(uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | 0x60);
  DDSURFACEDESC2 pd = OffscreenDesc(64, 48);
  IDirectDrawSurface7* pictureRaw = nullptr;
  EXPECT_EQ(dd->CreateSurface(&pd, &pictureRaw, nullptr), DD_OK);
  TKilnGenSurface picture(nullptr, 64, 48, pictureRaw);
  const auto bmp = kilntest::MakeBmp(64, 48, 24, ramp);
  rtl::TMemoryStream stream;
  stream.WriteBuffer(bmp.data(), static_cast<int64_t>(bmp.size()));
  stream.SetPosition(0);
  picture.LoadBMP(stream);
  TKilnGenSurface back(nullptr, 640, 480, backRaw);
  EXPECT_EQ(back.Surface->Blt(nullptr, pictureRaw, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  {
    TKilnCanvas canvas(back);
    canvas.Brush.Style = forms::TBrushStyle::bsClear;
    canvas.Font.Color = forms::clWhite;
    canvas.Font.SetHeight(-32);
    canvas.TextOut(40, 40, "TAVVYHOP 16-bit");
    canvas.Pen.Color = 0x00FFFF;
    canvas.Pen.Width = 3;
    canvas.Ellipse(400, 200, 600, 400);
  }
  EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  pictureRaw->Release();
  backRaw->Release();
  front->Release();
  dd->Release();
  return window.LastPresented(width, height);
}

inline void CheckFrame(const std::vector<uint32_t>& shown, int width, int height, const std::string& png) {
  ASSERT_EQ(width, 640);
  ASSERT_EQ(height, 480);
  // Pixel (5, 470) comes from ramp texel (0, 47): red 0, green 235, blue 0x60, in RGB565.
  EXPECT_EQ(shown[470 * 640 + 5], (0u << 16) | (0xEBu << 8) | 0x63u);
  EXPECT_EQ(shown[300 * 640 + 599], 0xFFFF00u);  // the yellow pen (GDI colour 0x00FFFF)
  ASSERT_TRUE(host::services::WritePngXrgb(png, shown.data(), width, height, width));
  host::services::Image back;
  ASSERT_TRUE(host::services::ReadPng(png, back));
  EXPECT_EQ(back.width, 640);
}

}  // namespace kilntest
