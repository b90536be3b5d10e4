// The devices on a target at a render scale: the program's viewport and screen coordinates
// land on the fine grid with the pixel-centre convention kept, and the picture, box-filtered
// down, is the one drawn at scale 1.
#include "D3DTestUtil.h"

namespace d3dtest {
namespace {

constexpr float kPi = 3.14159265f;

// The target's real pixels as 8-bit RGB (X8R8G8B8 targets).
std::vector<Rgb> FinePixels(IDirectDrawSurface7* s, int& w, int& h) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof d;
  std::vector<Rgb> out;
  if (ddraw::LockRenderPixels(s, &d) != DD_OK) return out;
  w = static_cast<int>(d.dwWidth);
  h = static_cast<int>(d.dwHeight);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t v;
      std::memcpy(&v, static_cast<const uint8_t*>(d.lpSurface) + std::size_t(y) * d.lPitch + 4 * x, 4);
      out.push_back({int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)});
    }
  s->Unlock(nullptr);
  return out;
}

// Each k x k block's mean.
std::vector<Rgb> BoxDown(const std::vector<Rgb>& fine, int w, int h, int k) {
  std::vector<Rgb> out;
  for (int y = 0; y < h / k; ++y)
    for (int x = 0; x < w / k; ++x) {
      int r = 0, g = 0, b = 0;
      for (int j = 0; j < k; ++j)
        for (int i = 0; i < k; ++i) {
          const Rgb& p = fine[std::size_t(y * k + j) * w + (x * k + i)];
          r += p.r, g += p.g, b += p.b;
        }
      const int n = k * k;
      out.push_back({(r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n});
    }
  return out;
}

class RenderScale : public DeviceFixture, public ::testing::WithParamInterface<const GUID*> {
 protected:
  void Start(int k, DWORD size = 64) {
    device.Reset();
    zbuffer.Reset();
    target.Reset();
    ddraw::MachineConfig m = ddraw::Machine();
    m.renderScale = k;
    ddraw::SetMachine(m);
    target = MakeTarget(Xrgb8888(), size, size);
    zbuffer = AttachZBuffer(target.Get());
    device = MakeDevice(*GetParam(), target.Get());
    ASSERT_TRUE(device);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
  }
  // A lit, Gouraud-shaded scene with slanted edges and depth: two tilted quads crossing.
  void DrawScene() {
    const D3DMATRIX proj = Perspective(kPi / 2, 1.0f, 1.0f, 100.0f);
    ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj), D3D_OK);
    D3DMATERIAL7 mat{};
    mat.diffuse = {1, 0.8f, 0.4f, 1};
    mat.ambient = {0.2f, 0.2f, 0.3f, 1};
    ASSERT_EQ(device->SetMaterial(&mat), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF404040), D3D_OK);
    D3DLIGHT7 light{};
    light.dltType = D3DLIGHT_POINT;
    light.dcvDiffuse = {1, 1, 1, 1};
    light.dvPosition = {-3, 4, 2};
    light.dvRange = 100;
    light.dvAttenuation0 = 1;
    ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
    ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
    // Corners clockwise on the screen from the top left.
    const std::vector<PosNormal> a = {
        {-5, 5, 7, -0.3f, 0.2f, -1}, {6, 6, 12, 0.3f, 0.2f, -1}, {7, -4, 14, 0.3f, 0, -1}, {-6, -5, 8, -0.3f, 0, -1}};
    const std::vector<PosNormal> b = {
        {-7, 3, 14, 0, 0.5f, -1}, {5, 2, 7, 0, 0.5f, -1}, {6, -1, 7, 0, -0.5f, -1}, {-7, 1, 14, 0, -0.5f, -1}};
    ASSERT_EQ(DrawList(device.Get(), kPosNormalFvf, a, QuadIndices()), D3D_OK);
    ASSERT_EQ(DrawList(device.Get(), kPosNormalFvf, b, QuadIndices()), D3D_OK);
  }
};

TEST_P(RenderScale, ScreenCoordinatesLandOnTheCentresOfTheirBlocks) {
  Start(2, 32);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZENABLE, FALSE), D3D_OK);
  // Corners half a pixel before the first and after the last pixel: pixels 10..19 exactly.
  ASSERT_EQ(DrawList(device.Get(), kScreenFvf, ScreenQuad(9.5f, 9.5f, 19.5f, 19.5f, 0.5f, 0xFFFFFFFF), QuadIndices()),
            D3D_OK);
  int w = 0, h = 0;
  std::vector<Rgb> px = FinePixels(target.Get(), w, h);
  ASSERT_EQ(w, 64);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside = x >= 20 && x < 40 && y >= 20 && y < 40;
      ASSERT_EQ(px[std::size_t(y) * w + x].g, inside ? 255 : 0) << x << "," << y;
    }
  // Corners on whole numbers cut pixels in half: the fine grid shows the halves.
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
  ASSERT_EQ(DrawList(device.Get(), kScreenFvf, ScreenQuad(4, 4, 8, 8, 0.5f, 0xFFFFFFFF), QuadIndices()), D3D_OK);
  px = FinePixels(target.Get(), w, h);
  EXPECT_EQ(px[std::size_t(10) * w + 8].g, 0);
  EXPECT_EQ(px[std::size_t(10) * w + 9].g, 255);
  EXPECT_EQ(px[std::size_t(10) * w + 16].g, 255);
  EXPECT_EQ(px[std::size_t(10) * w + 17].g, 0);

  // The viewport and clear rectangles are the program's: the right half, on the fine grid.
  const D3DVIEWPORT7 vp{16, 0, 16, 32, 0, 1};
  ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 0, 0), D3D_OK);
  px = FinePixels(target.Get(), w, h);
  EXPECT_EQ(px[std::size_t(50) * w + 31].b, 0);
  EXPECT_EQ(px[std::size_t(50) * w + 32].b, 255);
  // A viewport beyond the described target is still refused.
  const D3DVIEWPORT7 beyond{16, 0, 32, 32, 0, 1};
  EXPECT_EQ(device->SetViewport(&beyond), DDERR_INVALIDPARAMS);
}

// The measure: PSNR over the three 8-bit channels of the whole 160 x 160 picture, the k x k
// blocks of the scaled picture averaged, against the picture drawn at scale 1.
TEST_P(RenderScale, TheScaledSceneBoxFilteredDownMatchesTheSceneAtScaleOne) {
  Start(1, 160);
  DrawScene();
  int w = 0, h = 0;
  const std::vector<Rgb> one = FinePixels(target.Get(), w, h);
  ASSERT_EQ(w, 160);
  for (int k : {2, 3}) {
    Start(k, 160);
    DrawScene();
    const std::vector<Rgb> fine = FinePixels(target.Get(), w, h);
    ASSERT_EQ(w, 160 * k);
    const ImageDiff diff = Compare(BoxDown(fine, w, h, k), one);
    DumpPng(target.Get(), "scene" + std::to_string(k));
    EXPECT_GE(diff.psnr, 30.0) << "k = " << k;
    // It is a different picture, not a magnified one: some blocks hold more than one colour.
    int mixed = 0;
    for (int y = 0; y < 160; ++y)
      for (int x = 0; x < 160; ++x) {
        const Rgb& a = fine[std::size_t(y * k) * w + x * k];
        const Rgb& b = fine[std::size_t(y * k + k - 1) * w + x * k + k - 1];
        mixed += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 24;
      }
    EXPECT_GT(mixed, 20) << "k = " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Devices, RenderScale, ::testing::Values(&IID_IDirect3DRGBDevice, &IID_IDirect3DRefDevice),
                         [](const auto& info) {
                           return info.index == 0 ? std::string("Fast") : std::string("Reference");
                         });

}  // namespace
}  // namespace d3dtest
