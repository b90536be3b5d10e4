// The display component's per-frame and per-event costs on the emulated machine:
// presenting a frame (windowed copy, full-screen flip), a whole set-up (a mode change
// with the device cascade), and a paint of the active form with textures to reload.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kiln/KilnLog.h"
#include "kiln/KilnTestUtil.h"
#include "kiln/TKiln.h"
#include "platform/ddraw/DDrawMachine.h"

namespace {

HWND Window() { return reinterpret_cast<HWND>(std::uintptr_t{0x4242}); }

// A form that is always active and sits at (100, 50).
class BenchOwner final : public TKilnOwner {
 public:
  forms::TObject form;
  forms::TNotifyEvent onCreate, onPaint;
  forms::TObject* Form() override { return &form; }
  HWND Handle() override { return Window(); }
  std::string Caption() override { return "bench"; }
  void Show() override {}
  int Left() override { return 100; }
  int Top() override { return 50; }
  int Width() override { return 640; }
  int Height() override { return 480; }
  void SetBounds(int, int, int, int) override {}
  TWindowState WindowState() override { return TWindowState::wsNormal; }
  void SetWindowState(TWindowState) override {}
  bool Active() override { return true; }
  RECT ClientRect() override { return RECT{0, 0, 640, 480}; }
  POINT ClientToScreen(POINT p) override { return POINT{p.x + 100, p.y + 50}; }
  int ScreenWidth() override { return static_cast<int>(ddraw::CurrentDisplayMode().width); }
  int ScreenHeight() override { return static_cast<int>(ddraw::CurrentDisplayMode().height); }
  forms::TNotifyEvent& OnCreate() override { return onCreate; }
  forms::TNotifyEvent& OnPaint() override { return onPaint; }
  TKilnWndProc SetWindowProc(HWND, TKilnWndProc) override { return nullptr; }
  void BringWindowToTop(HWND) override {}
  void DrawMenuBar(HWND) override {}
  void RedrawWindow(HWND, UINT) override {}
  void Terminate() override {}
};

// Takes the picture the way a window would, without showing it anywhere.
class NullTarget final : public ddraw::IPresentTarget {
 public:
  void ClientRect(RECT& r) override { r = RECT{100, 50, 740, 530}; }
  void SetFullscreen(bool) override {}
  void Present(const uint32_t* pixels, int, int, int) override { benchmark::DoNotOptimize(pixels); }
};

struct Rig {
  Rig() {
    ddraw::MachineConfig m;
    m.desktopBitDepth = 32;
    m.desktopWidth = 1024;
    m.desktopHeight = 768;
    m.waitForVerticalBlank = false;  // the wait would measure the emulated refresh, not the work
    ddraw::SetMachine(m);
    KilnDebugUnit().SetSwitches(0);
    kiln = std::make_unique<TKiln>(owner);
    kiln->Use3D = true;
    kiln->D3DOptions = DontUseTnLHAL | MakeZBuffer;
    owner.onCreate(&owner.form);
  }
  ~Rig() {
    kiln.reset();
    ddraw::ResetMachine();
  }
  NullTarget target;
  ddraw::ScopedWindowBinding binding{Window(), &target};
  BenchOwner owner;
  std::unique_ptr<TKiln> kiln;
};

void BM_FlipWindowed(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) rig.kiln->Flip();
}
BENCHMARK(BM_FlipWindowed);

void BM_FlipFullScreen16(benchmark::State& state) {
  Rig rig;
  rig.kiln->SetFullScreenMode(640, 480, 16, 0, "");
  for (auto _ : state) rig.kiln->Flip();
}
BENCHMARK(BM_FlipFullScreen16);

// A mode change: everything released and built again, device cascade included.
void BM_InitializeWindowed640(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) rig.kiln->Initialize(false, 640, 480, 0, 0, "");
  // Reported so that a set-up that failed half-way does not pass for a fast one.
  state.counters["device"] = rig.kiln->D3DDevice != nullptr;
  state.counters["kind"] = static_cast<double>(rig.kiln->DeviceKind);
}
BENCHMARK(BM_InitializeWindowed640)->Unit(benchmark::kMillisecond);

// A paint of the active form: every texture's image is read from its file again.
void BM_PaintWithTextures(benchmark::State& state) {
  Rig rig;
  const auto folder = std::filesystem::temp_directory_path() / "bench_kiln_textures";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "tile.bmp").string();
  const auto bmp = kilntest::MakeBmp(128, 128, 24, std::vector<uint32_t>(128 * 128, 0x336699));
  if (std::FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(bmp.data(), 1, bmp.size(), f);
    std::fclose(f);
  }
  std::vector<std::unique_ptr<TKilnTexture>> textures;
  for (int64_t i = 0; i < state.range(0); ++i) {
    textures.push_back(std::make_unique<TKilnTexture>(rig.kiln.get(), 128, 128, 0, "RGB555"));
    textures.back()->LoadFromFile(file);
  }
  for (auto _ : state) rig.owner.onPaint(&rig.owner.form);
  textures.clear();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PaintWithTextures)->Arg(1)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
