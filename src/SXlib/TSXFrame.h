// The node of the scene graph: a transform relative to its parent, an optional mesh
// with its texture, material and drawing switches, and the child frames it owns.
//
// Every relative operation names a reference frame R: R == this means the frame's
// own current space, R == Parent (nullptr for a frame without parent) its local
// space, nullptr (for a frame with a parent) world space, anything else that
// frame's space. No operation here allocates.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/d3d/D3DTypes.h"
#include "s_MathPack/s_MathPack.h"

class TSXFrame;
class TSXMesh;
class TKilnTexture;

// A list of frame references; it never owns the frames.
class TSXFrameList {
 public:
  void CopyFrom(const TSXFrameList& other) { items_ = other.items_; }
  void Add(TSXFrame* f) { items_.push_back(f); }
  bool Remove(TSXFrame* f);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  TSXFrame* operator[](int i) const { return items_[static_cast<size_t>(i)]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  // Room for a tree of the game's depth, so building the lists of new frames rarely reallocates.
  void Reserve(size_t n) { items_.reserve(n); }

 private:
  std::vector<TSXFrame*> items_;
};

using TSXRenderEvent = std::function<void(TSXFrame*)>;

class TSXFrame {
 private:
  struct PassKey {};

 public:
  // A frame without parent, owned by the caller (the world frame, the camera).
  static std::unique_ptr<TSXFrame> CreateRoot();
  // A child frame, owned by its parent: it lives until the parent dies or Destroy is called.
  static TSXFrame* Create(TSXFrame* parent);
  // Frees a child frame and its subtree, removing it from its parent's Children.
  static void Destroy(TSXFrame* child);

  TSXFrame(TSXFrame* parent, PassKey);
  ~TSXFrame();
  TSXFrame(const TSXFrame&) = delete;
  TSXFrame& operator=(const TSXFrame&) = delete;

  TMatrix4 LocalMatrix;
  TMatrix4 MeshMatrix;
  uint8_t Visibility = 0;
  bool LockBlendMode = false;
  bool LockTexture = false;
  bool LockMaterial = false;
  TMatrix4 CachedWorld{};
  TKilnTexture* Texture = nullptr;
  TSXMesh* Mesh = nullptr;
  D3DMATERIAL7 Material;
  uint8_t Lighting = 1;
  uint8_t Specular = 1;
  uint8_t BlendMode = 0;
  TSXRenderEvent OnRender;
  int32_t Tag = 0;

  TSXFrame* Parent() const { return parent_; }
  const TSXFrameList& Ancestors() const { return ancestors_; }
  const TSXFrameList& Children() const { return children_; }

  void GetWorldMatrix(TMatrix4& out) const;
  void GetInverseWorldMatrix(TMatrix4& out) const;
  void GetMatrix(const TSXFrame* ref, TMatrix4& out) const;
  void SetMatrix(const TSXFrame* ref, const TMatrix4& m);
  void SetRotation(const TSXFrame* ref, const TMatrix4& m);
  void SetPosition(const TSXFrame* ref, const TVector3& p);
  void GetPosition(const TSXFrame* ref, TVector3& out) const;
  void SetOrientation(const TSXFrame* ref, const TVector3& dir, const TVector3& up);
  void GetOrientation(const TSXFrame* ref, TVector3& dir, TVector3& up) const;
  void LookAt(const TSXFrame* target, const TVector3& point, TAngle roll, const TSXFrame* upFrame);
  void LocalToWorld(const TVector3& p, TVector3& out) const;
  void WorldToLocal(const TVector3& p, TVector3& out) const;

  // Value-returning forms for readable call sites.
  TMatrix4 GetMatrix(const TSXFrame* ref) const {
    TMatrix4 m;
    GetMatrix(ref, m);
    return m;
  }
  TVector3 GetPosition(const TSXFrame* ref) const {
    TVector3 v;
    GetPosition(ref, v);
    return v;
  }

 private:
  TSXFrame* parent_;
  TSXFrameList ancestors_;
  TSXFrameList children_;
  // The children's storage, in the same order as children_.
  std::vector<std::unique_ptr<TSXFrame>> owned_;
};
