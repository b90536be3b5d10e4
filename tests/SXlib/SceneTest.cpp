#include <gtest/gtest.h>

#include "RecordingDevice.h"
#include "SXlib/TSXLight.h"
#include "SXlib/TSXMaterial.h"
#include "SXlib/TSXMesh.h"
#include "SXlib/TSXScene.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnTexture.h"
#include "platform/rtl/SysUtils.h"
#include "platform/win/CodePage.h"
#include "support/TestSupport.h"

namespace {

using sxtest::RecordingDevice;

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTrigTables();
    kiln.Direct3D = &device;
    kiln.D3DDevice = &device;
    KilnDebugUnit().ResetForTest(ddoDebugMessage);
    ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&kiln.DirectDraw), IID_IDirectDraw7, nullptr),
              DD_OK);
    ASSERT_EQ(kiln.DirectDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  }
  void TearDown() override {
    if (kiln.DirectDraw) kiln.DirectDraw->Release();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  }
  // A real texture surface; empty formats take the driver's default.
  std::unique_ptr<TKilnTexture> Texture() { return std::make_unique<TKilnTexture>(&kiln, 8, 8, 0, ""); }

  // A one-triangle mesh built by hand.
  std::unique_ptr<TSXMesh> Triangle() {
    auto m = std::make_unique<TSXMesh>(&kiln);
    m->SetSize(3, 3);
    m->Lock();
    m->Unlock();
    m->Indices = {0, 1, 2};
    return m;
  }
  std::string Log() { return testsupport::ReadFileText(dir.File("kiln.debug")); }

  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  RecordingDevice device;
  TKiln kiln;
};

TEST_F(SceneTest, RenderWithoutCameraLogsOnceAndTouchesNothing) {
  TSXScene scene(&kiln);
  auto root = TSXFrame::CreateRoot();
  auto mesh = Triangle();
  TSXFrame::Create(root.get())->Mesh = mesh.get();
  device.calls.clear();
  scene.Render(root.get());
  EXPECT_TRUE(device.calls.empty());
  EXPECT_EQ(Log(), "debug#00001 ... " + win::Utf8ToAnsi("SXLib: カメラフレームが設定されていません") + "\r\n");
}

TEST_F(SceneTest, PassesRunInOrderWithTheirStates) {
  TSXScene scene(&kiln);
  auto root = TSXFrame::CreateRoot();
  auto camera = TSXFrame::CreateRoot();
  scene.Camera = camera.get();
  auto mesh = Triangle();
  TSXFrame* opaque = TSXFrame::Create(root.get());
  opaque->Mesh = mesh.get();
  TSXFrame* additive = TSXFrame::Create(root.get());
  additive->Mesh = mesh.get();
  additive->BlendMode = 1;
  TSXFrame* never = TSXFrame::Create(root.get());
  never->Mesh = mesh.get();
  never->BlendMode = 4;  // no queue takes it
  device.calls.clear();
  scene.Render(root.get());
  EXPECT_EQ(device.Matching("Draw").size(), 2u);
  // The additive pass runs with ONE/ONE and z-writes off, after the opaque pass.
  auto& c = device.calls;
  auto pos = [&](const std::string& s) { return std::find(c.begin(), c.end(), s) - c.begin(); };
  EXPECT_LT(pos("RS 14=1"), pos("RS 14=0"));
  EXPECT_LT(pos("RS 19=2"), pos("RS 19=5"));
  EXPECT_EQ(c.back(), "SetTexture 0 none");
  EXPECT_EQ(c[0], "SetTransform 2");  // the view first
}

TEST_F(SceneTest, VisibilityRules) {
  TSXScene scene(&kiln);
  auto root = TSXFrame::CreateRoot();
  auto camera = TSXFrame::CreateRoot();
  scene.Camera = camera.get();
  auto mesh = Triangle();
  auto texture = Texture();
  ASSERT_NE(texture->Surface, nullptr) << win::AnsiToUtf8(testsupport::ReadFileText(dir.File("kiln.debug")));
  TSXFrame* hidden = TSXFrame::Create(root.get());
  hidden->Mesh = mesh.get();
  hidden->Visibility = 2;  // not drawn itself, children visited
  hidden->Texture = texture.get();
  hidden->LockTexture = true;
  TSXFrame* child = TSXFrame::Create(hidden);
  child->Mesh = mesh.get();
  TSXFrame* skipped = TSXFrame::Create(root.get());
  skipped->Visibility = 1;
  skipped->Mesh = mesh.get();
  TSXFrame::Create(skipped)->Mesh = mesh.get();
  scene.Render(root.get());
  ASSERT_EQ(scene.OpaqueQueue->Count(), 0);  // flushed
  EXPECT_EQ(device.Matching("Draw").size(), 1u);
  // The locked descendant drew with the hidden frame's texture.
  EXPECT_EQ(device.Matching("SetTexture 0 surface").size(), 1u) << ::testing::PrintToString(device.calls);
}

TEST_F(SceneTest, ProjectionAndViewport) {
  TSXScene scene(&kiln);
  scene.SetProjection(0.7853982f, 0.75f, 1, 5000);
  EXPECT_NEAR(scene.Projection(0, 0), 1.81066f, 1e-4f);
  EXPECT_NEAR(scene.Projection(1, 1), 2.41421f, 1e-4f);
  EXPECT_NEAR(scene.Projection(2, 2), 1.0002f, 1e-4f);
  EXPECT_NEAR(scene.Projection(3, 2), -1.0002f, 1e-4f);
  EXPECT_EQ(scene.Projection(2, 3), 1.0f);
  EXPECT_EQ(scene.Projection(3, 3), 0.0f);
  EXPECT_EQ(device.lastProjection.m[0][0], scene.Projection(0, 0));

  scene.SetViewport(0, 0, 640, 480);
  EXPECT_EQ(scene.Viewport.dwWidth, 640u);
  EXPECT_EQ(scene.Viewport.dwHeight, 480u);
  EXPECT_EQ(scene.Clear(3, 0xFF000000, 1.0f, 0), D3D_OK);
  EXPECT_EQ(device.lastClear.x2, 640);
  EXPECT_EQ(device.lastClear.y2, 480);
  device.calls.clear();
  EXPECT_THROW(scene.SetViewport(10, 0, 5, 480), rtl::EIntOverflow);
  EXPECT_TRUE(device.calls.empty());
  scene.Viewport.dwX = 0x7FFFFFFF;
  scene.Viewport.dwWidth = 10;
  EXPECT_THROW(scene.Clear(3, 0, 1, 0), rtl::ERangeError);
}

TEST_F(SceneTest, QueueFlushSavesRedundantCalls) {
  TSXScene scene(&kiln);
  TSXRenderingQueue queue(&kiln, &scene);
  device.calls.clear();
  queue.Flush();  // empty
  EXPECT_EQ(device.calls, (std::vector<std::string>{"SetTexture 0 none", "RS 29=1", "RS 137=1", "RS 137=0"}));

  auto root = TSXFrame::CreateRoot();
  auto mesh = Triangle();
  TSXFrame* f = TSXFrame::Create(root.get());
  f->Mesh = mesh.get();
  auto a = Texture(), b = Texture();
  // Two texture objects sharing one surface.
  b->ReleaseSurface();
  b->Surface = a->Surface;
  a->Surface->AddRef();
  D3DMATERIAL7 m{};
  queue.Add(f, mesh.get(), nullptr, m, a.get(), MatIdentity());
  queue.Add(f, mesh.get(), nullptr, m, a.get(), MatIdentity());
  queue.Add(f, mesh.get(), nullptr, m, b.get(), MatIdentity());
  device.calls.clear();
  queue.Flush();
  EXPECT_EQ(device.Matching("SetTexture").size(), 3u);  // none, a once, b once
  EXPECT_EQ(device.Matching("SetMaterial").size(), 3u);
  EXPECT_EQ(device.Matching("SetTransform 1").size(), 3u);
}

TEST_F(SceneTest, QueueGrowsByDoublingAndKeepsItems) {
  TSXScene scene(&kiln);
  TSXRenderingQueue queue(&kiln, &scene);
  auto root = TSXFrame::CreateRoot();
  std::vector<TSXFrame*> frames;
  for (int i = 0; i < 33; ++i) frames.push_back(TSXFrame::Create(root.get()));
  D3DMATERIAL7 m{};
  for (int i = 0; i < 33; ++i) {
    m.power = float(i);
    queue.Add(frames[i], nullptr, nullptr, m, nullptr, MatIdentity());
  }
  EXPECT_EQ(queue.Capacity(), 64);
  EXPECT_EQ(queue.Count(), 33);
  EXPECT_EQ(queue.Item(0).Frame, frames[0]);
  EXPECT_EQ(queue.Item(31).Material.power, 31.0f);
}

TEST_F(SceneTest, LightingAndSpecularFollowTheFramesAtFlushTime) {
  TSXScene scene(&kiln);
  TSXRenderingQueue queue(&kiln, &scene);
  auto root = TSXFrame::CreateRoot();
  auto mesh = Triangle();
  TSXFrame* a = TSXFrame::Create(root.get());
  TSXFrame* b = TSXFrame::Create(root.get());
  D3DMATERIAL7 m{};
  queue.Add(
      a, mesh.get(), [&](TSXFrame*) { b->Lighting = 0; }, m, nullptr, MatIdentity());
  queue.Add(b, mesh.get(), nullptr, m, nullptr, MatIdentity());
  device.calls.clear();
  queue.Flush();
  // b's lighting was switched off by a's callback, before b was drawn.
  EXPECT_EQ(device.Matching("RS 137"), (std::vector<std::string>{"RS 137=1", "RS 137=0", "RS 137=0"}));
}

TEST_F(SceneTest, LightsAndMaterials) {
  TSXLightGroup group(&kiln, 147);
  EXPECT_NE(group.GetLight(146), nullptr);
  EXPECT_EQ(group.GetLight(147), nullptr);
  EXPECT_NE(Log().find("TSXLightGroup @ SXLib:"), std::string::npos);
  EXPECT_THROW(TSXLightGroup(&kiln, 0), rtl::EIntOverflow);

  TSXLight* l = group.GetLight(5);
  EXPECT_EQ(l->LightData.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_EQ(l->LightData.dcvDiffuse.r, 1.0f);
  EXPECT_EQ(l->LightData.dvDirection.z, 1.0f);
  device.calls.clear();
  l->SetPoint(TVector3{1, 2, 3});
  l->SetRangeAttenuation(100, 1, 0, 0.5f);
  l->SetEnabled(1);
  EXPECT_EQ(device.calls, (std::vector<std::string>{"SetLight 5", "SetLight 5", "SetLight 5", "LightEnable 5 -1"}));
  EXPECT_EQ(device.lights[5].dltType, D3DLIGHT_POINT);
  EXPECT_EQ(device.lights[5].dvAttenuation2, 0.5f);

  TSXMaterial mat(&kiln);
  EXPECT_EQ(mat.MaterialData.diffuse.a, 0.0f);
  mat.SetEmissive(8, 8, 8);
  EXPECT_EQ(mat.MaterialData.emissive.g, 8.0f);
  EXPECT_EQ(mat.MaterialData.emissive.a, 0.0f);
  EXPECT_EQ(device.calls.back(), "SetMaterial power=0.000000");
}

}  // namespace
