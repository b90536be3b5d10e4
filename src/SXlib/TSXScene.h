// Turns a frame tree into Direct3D draw calls: camera, projection and viewport, one
// traversal per displayed frame, and four queues drawn in a fixed order with fixed
// states (opaque, additive, alpha-blended, subtractive).
#pragma once

#include <memory>

#include "SXlib/TSXRenderingQueue.h"

class TSXScene {
 public:
  explicit TSXScene(TKiln* device);
  ~TSXScene();

  TSXFrame* Camera = nullptr;
  TKiln* Device;
  TMatrix4 Projection = MatIdentity();
  D3DVIEWPORT7 Viewport{};
  std::unique_ptr<TSXRenderingQueue> OpaqueQueue;
  std::unique_ptr<TSXRenderingQueue> AlphaQueue;
  std::unique_ptr<TSXRenderingQueue> AdditiveQueue;
  std::unique_ptr<TSXRenderingQueue> SubtractiveQueue;

  // right < left or bottom < top raises the integer-overflow error before the device is touched.
  void SetViewport(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom);
  void SetProjection(float fov, float aspect, float nearZ, float farZ);
  // Clears the viewport's rectangle; a corner outside a non-negative 32-bit value raises the range error.
  HRESULT Clear(DWORD flags, D3DCOLOR color, float z, DWORD stencil);
  void Render(TSXFrame* root);

 private:
  struct Current {
    TKilnTexture* texture = nullptr;
    D3DMATERIAL7 material{};
    uint8_t blendMode = 0;
  };
  void Traverse(TSXFrame* f, const TMatrix4& parentMatrix, bool lockBlend, bool lockTexture, bool lockMaterial,
                Current& current);
};
