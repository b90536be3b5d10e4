// Inside a scene the fast device leaves its draws' pixels to its render threads. Whatever the
// program does with the surfaces in the middle of a scene (reading the target, drawing on it with
// GDI, changing or letting go of a texture) must see what a device that finishes each draw at
// once would show.
#include "D3DTestUtil.h"
#include "platform/gdi/Gdi.h"

namespace d3dtest {
namespace {

class SceneBatch : public D3DFixture {
 protected:
  void TearDown() override {
    d3d::SetRenderThreads(threadsBefore_);
    D3DFixture::TearDown();
  }

  // A 16-bit texture of one colour.
  Ref<IDirectDrawSurface7> SolidTexture(uint16_t rgb565) {
    const DDPIXELFORMAT f = Rgb565();
    Ref<IDirectDrawSurface7> t = MakeSurface(DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 8, &f);
    if (t) Fill(t.Get(), rgb565);
    return t;
  }
  static void Fill(IDirectDrawSurface7* s, uint16_t value) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    for (DWORD y = 0; y < d.dwHeight; ++y)
      for (DWORD x = 0; x < d.dwWidth; ++x)
        std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + 2 * x, &value, 2);
    s->Unlock(nullptr);
  }

  // Plays one scene on a device with `threads` render threads and returns every picture the
  // program took of its surfaces along the way.
  std::vector<std::vector<Rgb>> PlayScene(int threads) {
    d3d::SetRenderThreads(threads);
    std::vector<std::vector<Rgb>> seen;
    Ref<IDirectDrawSurface7> target = MakeTarget(Xrgb8888(), 96, 64);
    Ref<IDirectDrawSurface7> zbuffer = AttachZBuffer(target.Get());
    Ref<IDirect3DDevice7> device = MakeDevice(IID_IDirect3DRGBDevice, target.Get());
    if (!device) return seen;
    auto look = [&](IDirectDrawSurface7* s) {
      int w = 0, h = 0;
      seen.push_back(ReadPixels(s, w, h));
    };
    Ref<IDirectDrawSurface7> red = SolidTexture(0xF800), blue = SolidTexture(0x001F);
    Ref<IDirect3DVertexBuffer7> quads[4] = {
        MakeBuffer(kScreenFvf, ScreenQuad(0, 0, 60, 40, 0.5f, 0xFFFFFFFF)),
        MakeBuffer(kScreenFvf, ScreenQuad(30, 10, 96, 64, 0.4f, 0xFFFFFFFF)),
        MakeBuffer(kScreenFvf, ScreenQuad(10, 20, 50, 60, 0.3f, 0xFFC0C0C0)),
        MakeBuffer(kScreenFvf, ScreenQuad(5, 5, 90, 30, 0.2f, 0xFF808080)),
    };
    const std::vector<WORD> indices = QuadIndices();
    auto draw = [&](IDirect3DVertexBuffer7* vb) {
      EXPECT_EQ(device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, vb, 0, 4, indices.data(), 6, 0), D3D_OK);
    };
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->SetTexture(0, red.Get()), D3D_OK);
    draw(quads[0].Get());
    look(target.Get());  // the target read in the middle of the scene
    draw(quads[1].Get());
    // The texture changed by the program after a draw that used it: that draw keeps the old
    // texels, the next one has the new.
    Fill(red.Get(), 0x07E0);
    draw(quads[2].Get());
    // GDI on the target between draws.
    HDC dc = nullptr;
    EXPECT_EQ(target->GetDC(&dc), DD_OK);
    if (dc) {
      RECT r{40, 30, 70, 50};
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      target->ReleaseDC(dc);
    }
    // A texture the program lets go of while a draw that samples it may still be pending.
    EXPECT_EQ(device->SetTexture(0, blue.Get()), D3D_OK);
    draw(quads[3].Get());
    EXPECT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    blue.Reset();
    // A copy of the target made in the scene.
    Ref<IDirectDrawSurface7> copy = MakeTarget(Xrgb8888(), 96, 64);
    EXPECT_EQ(copy->Blt(nullptr, target.Get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
    look(copy.Get());
    draw(quads[2].Get());
    EXPECT_EQ(device->EndScene(), D3D_OK);
    look(target.Get());
    return seen;
  }

 private:
  int threadsBefore_ = d3d::RenderThreads();
};

TEST_F(SceneBatch, TheProgramSeesEveryDrawBeforeItTouchesASurface) {
  const std::vector<std::vector<Rgb>> one = PlayScene(1);
  ASSERT_EQ(one.size(), 3u);
  // The pictures differ from each other, so a late or lost draw shows.
  EXPECT_GT(Compare(one[0], one[1], 0).fractionOff, 0.1);
  EXPECT_GT(Compare(one[1], one[2], 0).fractionOff, 0.05);
  for (const int threads : {2, 4}) {
    const std::vector<std::vector<Rgb>> many = PlayScene(threads);
    ASSERT_EQ(many.size(), one.size());
    for (size_t k = 0; k < one.size(); ++k)
      EXPECT_EQ(Compare(many[k], one[k], 0).fractionOff, 0.0) << "picture " << k << " on " << threads << " threads";
  }
}

}  // namespace
}  // namespace d3dtest
