// BMP loading into surfaces (bytes of file per second) and full-screen blits of a
// 640 x 480 back buffer to the windowed primary surface (frames per second), at the
// game's two depths. The blit includes showing the picture (conversion to 0x00RRGGBB
// and the window's Present).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "kiln/KilnLog.h"
#include "kiln/TKilnGenSurface.h"
#include "platform/ddraw/DDrawMachine.h"
#include "support/PixelFormats.h"

namespace {

DDPIXELFORMAT Format(int bits) {
  return bits == 16 ? pixfmt::Rgb565() : pixfmt::Rgb(static_cast<DWORD>(bits), 0xFF0000, 0xFF00, 0xFF);
}

std::vector<uint8_t> Bmp(int w, int h, int bits) {
  const int row = (w * bits / 8 + 3) & ~3;
  std::vector<uint8_t> b(54 + static_cast<size_t>(row) * h);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put(2, static_cast<uint32_t>(b.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(w), 4);
  put(22, static_cast<uint32_t>(h), 4);
  put(26, 1, 2);
  put(28, static_cast<uint32_t>(bits), 2);
  for (size_t i = 54; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7);
  return b;
}

// Shows pictures nowhere, the way a minimised window would, but takes the copy a real one gets.
class NullWindow final : public ddraw::IPresentTarget {
 public:
  void ClientRect(RECT& rect) override { rect = {0, 0, 640, 480}; }
  void SetFullscreen(bool) override {}
  void Present(const uint32_t* pixels, int width, int height, int pitch) override {
    for (int y = 0; y < height; ++y) std::memcpy(&copy[static_cast<size_t>(y) * width], pixels + y * pitch, 4u * width);
  }
  std::vector<uint32_t> copy = std::vector<uint32_t>(640 * 480);
};

struct Rig {
  explicit Rig(int desktopBits) {
    ddraw::ResetMachine();
    ddraw::MachineConfig m;
    m.desktopBitDepth = desktopBits;
    m.desktopWidth = 640;
    m.desktopHeight = 480;
    m.waitForVerticalBlank = false;
    ddraw::SetMachine(m);
    KilnDebugUnit().ResetForTest(0);
    void* out = nullptr;
    DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr);
    dd = static_cast<IDirectDraw7*>(out);
    dd->SetCooperativeLevel(window, DDSCL_NORMAL);
  }
  ~Rig() {
    dd->Release();
    ddraw::ResetMachine();
  }
  IDirectDrawSurface7* Surface(int w, int h, int bits, DWORD caps) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | (w ? DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT : 0);
    d.dwWidth = static_cast<DWORD>(w);
    d.dwHeight = static_cast<DWORD>(h);
    d.ddsCaps.dwCaps = caps;
    if (w) d.ddpfPixelFormat = Format(bits);
    IDirectDrawSurface7* s = nullptr;
    dd->CreateSurface(&d, &s, nullptr);
    return s;
  }
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x2000));
  IDirectDraw7* dd = nullptr;
};

// A 256 x 256 texture from 24- or 32-bit files, as the game loads its textures.
void BM_LoadBMP(benchmark::State& state) {
  const int surfaceBits = static_cast<int>(state.range(0));
  const int fileBits = static_cast<int>(state.range(1));
  Rig rig(32);
  IDirectDrawSurface7* raw = rig.Surface(256, 256, surfaceBits, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
  TKilnGenSurface surface(nullptr, 256, 256, raw);
  const auto file = Bmp(256, 256, fileBits);
  rtl::TMemoryStream stream;
  stream.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
  for (auto _ : state) {
    stream.SetPosition(0);
    surface.LoadBMP(stream);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
  raw->Release();
}
BENCHMARK(BM_LoadBMP)->Args({16, 24})->Args({16, 32})->Args({32, 24})->Args({32, 32});

void BM_FullScreenBlt(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  Rig rig(bits);
  NullWindow window;
  ddraw::ScopedWindowBinding bind(rig.window, &window);
  IDirectDrawSurface7* primary = rig.Surface(0, 0, bits, DDSCAPS_PRIMARYSURFACE);
  IDirectDrawSurface7* back = rig.Surface(640, 480, bits, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
  RECT r{0, 0, 640, 480};
  for (auto _ : state) primary->Blt(&r, back, &r, DDBLT_WAIT, nullptr);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  back->Release();
  primary->Release();
}
BENCHMARK(BM_FullScreenBlt)->Arg(16)->Arg(32);

}  // namespace

BENCHMARK_MAIN();
