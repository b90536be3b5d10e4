#include "SXlib/TSXScene.h"

#include <cmath>

#include "SXlib/TSXMesh.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/rtl/SysUtils.h"

TSXScene::TSXScene(TKiln* device)
    : Device(device),
      OpaqueQueue(std::make_unique<TSXRenderingQueue>(device, this)),
      AlphaQueue(std::make_unique<TSXRenderingQueue>(device, this)),
      AdditiveQueue(std::make_unique<TSXRenderingQueue>(device, this)),
      SubtractiveQueue(std::make_unique<TSXRenderingQueue>(device, this)) {}

TSXScene::~TSXScene() = default;

void TSXScene::SetViewport(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
  if (right < left || bottom < top) throw rtl::EIntOverflow();
  Viewport = D3DVIEWPORT7{left, top, right - left, bottom - top, 0.0f, 1.0f};
  if (Device->D3DDevice) Device->D3DDevice->SetViewport(&Viewport);
}

void TSXScene::SetProjection(float fov, float aspect, float nearZ, float farZ) {
  Projection = MatIdentity();
  const double c = std::cos(double(fov) / 2), s = std::sin(double(fov) / 2);
  const double q = double(farZ) / (double(farZ) - nearZ);
  Projection(0, 0) = static_cast<float>(aspect * c / s);
  Projection(1, 1) = static_cast<float>(c / s);
  Projection(2, 2) = static_cast<float>(q);
  Projection(2, 3) = 1;
  Projection(3, 2) = static_cast<float>(-nearZ * q);
  Projection(3, 3) = 0;
  if (Device->D3DDevice)
    Device->D3DDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, reinterpret_cast<const D3DMATRIX*>(&Projection));
}

HRESULT TSXScene::Clear(DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  auto fit = [](uint64_t v) {
    if (v > 0x7FFFFFFFu) throw rtl::ERangeError();
    return static_cast<LONG>(v);
  };
  D3DRECT r{fit(Viewport.dwX), fit(Viewport.dwY), fit(uint64_t(Viewport.dwX) + Viewport.dwWidth),
            fit(uint64_t(Viewport.dwY) + Viewport.dwHeight)};
  if (!Device->D3DDevice) return E_FAIL;
  return Device->D3DDevice->Clear(1, &r, flags, color, z, stencil);
}

void TSXScene::Render(TSXFrame* root) {
  if (!Camera) {
    KilnLog("SXLib: カメラフレームが設定されていません");
    return;
  }
  IDirect3DDevice7* d = Device->D3DDevice;
  if (!d || !root) return;
  TMatrix4 view;
  Camera->GetInverseWorldMatrix(view);
  d->SetTransform(D3DTRANSFORMSTATE_VIEW, reinterpret_cast<const D3DMATRIX*>(&view));

  TMatrix4 parent = MatIdentity();
  if (root->Parent()) root->Parent()->GetWorldMatrix(parent);
  Current current;
  Traverse(root, parent, false, false, false, current);

  d->SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
  d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
  OpaqueQueue->Flush();

  d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);

  d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
  d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  AdditiveQueue->Flush();

  d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  AlphaQueue->Flush();

  d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
  d->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCCOLOR);
  SubtractiveQueue->Flush();

  d->SetTexture(0, nullptr);
}

void TSXScene::Traverse(TSXFrame* f, const TMatrix4& parentMatrix, bool lockBlend, bool lockTexture, bool lockMaterial,
                        Current& current) {
  if ((!f->Mesh && f->Children().Count() == 0) || f->Visibility == 1) return;
  MatMultiply(f->LocalMatrix, parentMatrix, f->CachedWorld);
  if (f->Mesh) {
    TMatrix4 draw;
    MatMultiply(f->MeshMatrix, f->CachedWorld, draw);
    if (!lockTexture) current.texture = f->Texture;
    if (!lockMaterial) current.material = f->Material;
    if (!lockBlend) current.blendMode = f->BlendMode;
    if (f->Visibility == 0) {
      TSXRenderingQueue* q = nullptr;
      switch (current.blendMode) {
        case 0:
          q = OpaqueQueue.get();
          break;
        case 1:
          q = AdditiveQueue.get();
          break;
        case 2:
          q = AlphaQueue.get();
          break;
        case 3:
          q = SubtractiveQueue.get();
          break;
        default:
          break;
      }
      if (q) q->Add(f, f->Mesh, f->OnRender, current.material, current.texture, draw);
    }
  }
  for (TSXFrame* c : f->Children())
    Traverse(c, f->CachedWorld, lockBlend || f->LockBlendMode, lockTexture || f->LockTexture,
             lockMaterial || f->LockMaterial, current);
}
