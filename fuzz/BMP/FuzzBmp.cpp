// Loads arbitrary bytes as a BMP picture into a surface of every pixel format.
#include <cstddef>
#include <cstdint>

#include "kiln/KilnLog.h"
#include "kiln/TKilnGenSurface.h"
#include "platform/ddraw/DDrawMachine.h"
#include "support/PixelFormats.h"

namespace {

struct Rig {
  IDirectDraw7* dd = nullptr;
  IDirectDrawSurface7* surfaces[8] = {};
  Rig() {
    ddraw::MachineConfig m;
    m.desktopBitDepth = 32;
    m.desktopWidth = 640;
    m.desktopHeight = 480;
    ddraw::SetMachine(m);
    KilnDebugUnit().ResetForTest(0);  // no log file, no halting
    void* out = nullptr;
    DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr);
    dd = static_cast<IDirectDraw7*>(out);
    dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    using pixfmt::Rgb;
    const DDPIXELFORMAT formats[8] = {pixfmt::Pal8(),
                                      Rgb(16, 0xF800, 0x07E0, 0x001F),
                                      Rgb(16, 0x7C00, 0x03E0, 0x001F),
                                      Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
                                      Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000),
                                      Rgb(24, 0xFF0000, 0xFF00, 0xFF),
                                      Rgb(32, 0xFF0000, 0xFF00, 0xFF),
                                      Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)};
    for (int i = 0; i < 8; ++i) {
      DDSURFACEDESC2 d{};
      d.dwSize = sizeof d;
      d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
      d.dwWidth = 13 + i;  // odd widths leave padding at the row ends
      d.dwHeight = 9;
      d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
      d.ddpfPixelFormat = formats[i];
      dd->CreateSurface(&d, &surfaces[i], nullptr);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig rig;
  for (IDirectDrawSurface7* s : rig.surfaces) {
    if (!s) continue;
    TKilnGenSurface surface(nullptr, 0, 0, s);
    rtl::TMemoryStream stream;
    if (size) stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    surface.LoadBMP(stream);
  }
  return 0;
}
