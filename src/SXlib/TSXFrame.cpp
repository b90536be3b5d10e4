#include "SXlib/TSXFrame.h"

#include <algorithm>

bool TSXFrameList::Remove(TSXFrame* f) {
  auto it = std::find(items_.begin(), items_.end(), f);
  if (it == items_.end()) return false;
  items_.erase(it);
  return true;
}

namespace {

const D3DMATERIAL7 kDefaultMaterial = {
    {1, 1, 1, 1},  // diffuse
    {0, 0, 0, 1},  // ambient
    {1, 1, 1, 1},  // specular
    {0, 0, 0, 1},  // emissive
    10.0f,         // power
};

void SetRow3(TMatrix4& m, const TVector3& p) {
  m(3, 0) = p.x;
  m(3, 1) = p.y;
  m(3, 2) = p.z;
}

TVector3 Row(const TMatrix4& m, int r) { return TVector3{m(r, 0), m(r, 1), m(r, 2)}; }

TVector3 Transform(const TVector3& p, const TMatrix4& m) {
  TVector4 h, out;
  VecToHomogeneous(p, h);
  Vec4Transform(h, m, out);
  return TVector3{out.x, out.y, out.z};
}

}  // namespace

std::unique_ptr<TSXFrame> TSXFrame::CreateRoot() { return std::make_unique<TSXFrame>(nullptr, PassKey{}); }

TSXFrame* TSXFrame::Create(TSXFrame* parent) {
  if (!parent) return nullptr;
  auto child = std::make_unique<TSXFrame>(parent, PassKey{});
  TSXFrame* raw = child.get();
  parent->owned_.push_back(std::move(child));
  return raw;
}

void TSXFrame::Destroy(TSXFrame* child) {
  if (!child || !child->parent_) return;
  auto& owned = child->parent_->owned_;
  auto it = std::find_if(owned.begin(), owned.end(), [&](const auto& p) { return p.get() == child; });
  if (it == owned.end()) return;
  std::unique_ptr<TSXFrame> doomed = std::move(*it);
  owned.erase(it);
  doomed.reset();
}

TSXFrame::TSXFrame(TSXFrame* parent, PassKey)
    : LocalMatrix(MatIdentity()), MeshMatrix(MatIdentity()), Material(kDefaultMaterial), parent_(parent) {
  if (parent_) {
    ancestors_.Reserve(static_cast<size_t>(parent_->ancestors_.Count()) + 1);
    ancestors_.CopyFrom(parent_->ancestors_);
    ancestors_.Add(parent_);
    parent_->children_.Add(this);
  }
}

TSXFrame::~TSXFrame() {
  // Children go first child first; each takes itself out of children_ as it dies.
  while (!owned_.empty()) {
    std::unique_ptr<TSXFrame> child = std::move(owned_.front());
    owned_.erase(owned_.begin());
    child.reset();
  }
  if (parent_) parent_->children_.Remove(this);
}

void TSXFrame::GetWorldMatrix(TMatrix4& out) const {
  // W = L(self) . L(parent) . ... . L(top): walk the ancestors from the nearest up.
  out = LocalMatrix;
  for (int i = ancestors_.Count() - 1; i >= 0; --i) {
    TMatrix4 t;
    MatMultiply(out, ancestors_[i]->LocalMatrix, t);
    out = t;
  }
}

void TSXFrame::GetInverseWorldMatrix(TMatrix4& out) const {
  TMatrix4 w;
  GetWorldMatrix(w);
  MatInvertRigid(w, out);
}

void TSXFrame::GetMatrix(const TSXFrame* ref, TMatrix4& out) const {
  if (ref == this) {
    out = MatIdentity();
  } else if (ref == parent_) {
    out = LocalMatrix;
  } else if (!ref) {
    GetWorldMatrix(out);
  } else {
    TMatrix4 w, wr, inv;
    GetWorldMatrix(w);
    ref->GetWorldMatrix(wr);
    MatInvertRigid(wr, inv);
    MatMultiply(w, inv, out);
  }
}

void TSXFrame::SetMatrix(const TSXFrame* ref, const TMatrix4& m) {
  TMatrix4 t;
  if (ref == this) {
    MatMultiply(m, LocalMatrix, t);
    LocalMatrix = t;
  } else if (ref == parent_) {
    LocalMatrix = m;
  } else if (parent_) {
    TMatrix4 wp, invP;
    parent_->GetWorldMatrix(wp);
    MatInvertRigid(wp, invP);
    if (ref) {
      TMatrix4 wr, mw;
      ref->GetWorldMatrix(wr);
      MatMultiply(m, wr, mw);
      MatMultiply(mw, invP, t);
    } else {
      MatMultiply(m, invP, t);
    }
    LocalMatrix = t;
  } else {
    TMatrix4 wr;
    ref->GetWorldMatrix(wr);
    MatMultiply(m, wr, t);
    LocalMatrix = t;
  }
}

void TSXFrame::SetRotation(const TSXFrame* ref, const TMatrix4& m) {
  const TVector3 pos = Row(LocalMatrix, 3);
  SetMatrix(ref, m);
  SetRow3(LocalMatrix, pos);
}

void TSXFrame::SetPosition(const TSXFrame* ref, const TVector3& p) {
  if (ref == parent_) {
    SetRow3(LocalMatrix, p);
    return;
  }
  float rot[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) rot[i][j] = LocalMatrix(i, j);
  TMatrix4 t = LocalMatrix;
  SetRow3(t, p);
  SetMatrix(ref, t);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) LocalMatrix(i, j) = rot[i][j];
}

void TSXFrame::GetPosition(const TSXFrame* ref, TVector3& out) const {
  if (ref == parent_) {
    out = Row(LocalMatrix, 3);
    return;
  }
  TMatrix4 m;
  GetMatrix(ref, m);
  out = Row(m, 3);
}

void TSXFrame::SetOrientation(const TSXFrame* ref, const TVector3& dir, const TVector3& up) {
  TVector3 cross, right;
  VecCross(up, dir, cross);
  VecNormalize(cross, right);
  if (ref == parent_) {
    const TVector3 rows[3] = {right, up, dir};
    for (int i = 0; i < 3; ++i) {
      LocalMatrix(i, 0) = rows[i].x;
      LocalMatrix(i, 1) = rows[i].y;
      LocalMatrix(i, 2) = rows[i].z;
    }
    return;
  }
  const TVector3 pos = Row(LocalMatrix, 3);
  TMatrix4 m{
      {{right.x, right.y, right.z, 0}, {up.x, up.y, up.z, 0}, {dir.x, dir.y, dir.z, 0}, {pos.x, pos.y, pos.z, 1}}};
  SetMatrix(ref, m);
  SetRow3(LocalMatrix, pos);
}

void TSXFrame::GetOrientation(const TSXFrame* ref, TVector3& dir, TVector3& up) const {
  TMatrix4 m;
  GetMatrix(ref, m);
  dir = Row(m, 2);
  up = Row(m, 1);
}

void TSXFrame::LocalToWorld(const TVector3& p, TVector3& out) const {
  TMatrix4 w;
  GetWorldMatrix(w);
  out = Transform(p, w);
}

void TSXFrame::WorldToLocal(const TVector3& p, TVector3& out) const {
  TMatrix4 inv;
  GetInverseWorldMatrix(inv);
  out = Transform(p, inv);
}

void TSXFrame::LookAt(const TSXFrame* target, const TVector3& point, TAngle roll, const TSXFrame* upFrame) {
  if (!target || !upFrame) return;
  // Everything is worked out in this frame's own space.
  auto toHere = [this](const TSXFrame* from, const TVector3& p) {
    TVector3 world, local;
    from->LocalToWorld(p, world);
    WorldToLocal(world, local);
    return local;
  };
  TVector3 dir;
  VecNormalize(toHere(target, point), dir);

  const TVector3 o = toHere(upFrame, TVector3{0, 0, 0});
  const TVector3 y = toHere(upFrame, TVector3{0, 1, 0});
  TVector3 up, right, d;
  VecSub(y, o, d);
  VecNormalize(d, up);

  VecCross(up, dir, right);
  float len;
  VecLength(len, right);
  if (len < 0.0001f) VecSub(toHere(upFrame, TVector3{1, 0, 0}), o, right);
  VecNormalize(right, right);
  TVector3 c;
  VecCross(dir, right, c);
  VecNormalize(c, up);

  SetOrientation(this, dir, up);
  if (roll != 0) {
    TMatrix4 rz;
    MatRotationZ(roll, rz);
    SetMatrix(this, rz);
  }
}
