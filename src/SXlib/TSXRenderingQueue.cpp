#include "SXlib/TSXRenderingQueue.h"

#include "SXlib/TSXMesh.h"
#include "kiln/TKiln.h"
#include "kiln/TKilnTexture.h"

TSXRenderingQueue::TSXRenderingQueue(TKiln* device, TSXScene* scene) : device_(device), scene_(scene), items_(32) {}

void TSXRenderingQueue::Add(TSXFrame* frame, TSXMesh* mesh, const TSXRenderEvent& onRender,
                            const D3DMATERIAL7& material, TKilnTexture* texture, const TMatrix4& matrix) {
  if (count_ >= capacity_) {
    capacity_ *= 2;
    items_.resize(static_cast<size_t>(capacity_));
  }
  TSXQueueItem& item = items_[static_cast<size_t>(count_)];
  item.Frame = frame;
  item.Mesh = mesh;
  item.Matrix = matrix;
  item.Texture = texture;
  item.Material = material;
  item.OnRender = onRender;
  ++count_;
}

void TSXRenderingQueue::Flush() {
  IDirect3DDevice7* d = device_->D3DDevice;
  if (!d) {
    count_ = 0;
    return;
  }
  d->SetTexture(0, nullptr);
  TKilnTexture* texture = nullptr;
  d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  DWORD specular = 1;
  d->SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
  DWORD lighting = 1;
  for (int32_t i = 0; i < count_; ++i) {
    TSXQueueItem& item = items_[static_cast<size_t>(i)];
    if (item.Frame->Lighting != lighting) {
      lighting = item.Frame->Lighting;
      d->SetRenderState(D3DRENDERSTATE_LIGHTING, lighting);
    }
    if (item.Frame->Specular != specular) {
      specular = item.Frame->Specular;
      d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, specular);
    }
    d->SetTransform(D3DTRANSFORMSTATE_WORLD, reinterpret_cast<const D3DMATRIX*>(&item.Matrix));
    d->SetMaterial(&item.Material);
    if (item.Texture != texture) {
      d->SetTexture(0, item.Texture ? item.Texture->Surface : nullptr);
      texture = item.Texture;
    }
    if (item.OnRender) item.OnRender(item.Frame);
    item.Mesh->Draw(0);
  }
  d->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  count_ = 0;
}
