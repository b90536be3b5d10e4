// Collects the mesh draws of one blend mode during a traversal and replays them in
// the order they were added, sending texture, lighting and specular only on change.
#pragma once

#include <cstdint>
#include <vector>

#include "SXlib/TSXFrame.h"

class TKiln;
class TSXScene;
class TSXMesh;
class TKilnTexture;

struct TSXQueueItem {
  TSXFrame* Frame = nullptr;
  TSXMesh* Mesh = nullptr;
  TMatrix4 Matrix{};
  TKilnTexture* Texture = nullptr;
  D3DMATERIAL7 Material{};
  TSXRenderEvent OnRender;
};

class TSXRenderingQueue {
 public:
  TSXRenderingQueue(TKiln* device, TSXScene* scene);

  void Add(TSXFrame* frame, TSXMesh* mesh, const TSXRenderEvent& onRender, const D3DMATERIAL7& material,
           TKilnTexture* texture, const TMatrix4& matrix);
  void Flush();

  int32_t Capacity() const { return capacity_; }
  int32_t Count() const { return count_; }
  const TSXQueueItem& Item(int32_t i) const { return items_[static_cast<size_t>(i)]; }

 private:
  TKiln* device_;
  TSXScene* scene_;
  std::vector<TSXQueueItem> items_;
  int32_t capacity_ = 32;
  int32_t count_ = 0;
};
