#include <gtest/gtest.h>

#include "SXlib/TSXFrame.h"

namespace {

class Frames : public ::testing::Test {
 protected:
  void SetUp() override { InitTrigTables(); }
  std::unique_ptr<TSXFrame> root = TSXFrame::CreateRoot();
};

void ExpectMatrixNear(const TMatrix4& a, const TMatrix4& b, float tol = 1e-4f) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a(i, j), b(i, j), tol) << "(" << i << "," << j << ")";
}

void ExpectVecNear(const TVector3& v, float x, float y, float z, float tol = 1e-4f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

TMatrix4 RotY(TAngle a) {
  TMatrix4 m;
  MatRotationY(a, m);
  return m;
}

TEST_F(Frames, NewFrameHasTheDocumentedInitialState) {
  TSXFrame* f = TSXFrame::Create(root.get());
  ExpectMatrixNear(f->LocalMatrix, MatIdentity(), 0);
  EXPECT_EQ(f->Parent(), root.get());
  ASSERT_EQ(f->Ancestors().Count(), 1);
  EXPECT_EQ(f->Ancestors()[0], root.get());
  EXPECT_EQ(f->Material.power, 10.0f);
  EXPECT_EQ(f->Material.ambient.r, 0.0f);
  EXPECT_EQ(f->Material.ambient.a, 1.0f);
  EXPECT_EQ(f->Lighting, 1);
  EXPECT_EQ(f->Specular, 1);
  EXPECT_EQ(f->BlendMode, 0);
  TSXFrame* g = TSXFrame::Create(f);
  ASSERT_EQ(g->Ancestors().Count(), 2);
  EXPECT_EQ(g->Ancestors()[1], f);
}

TEST_F(Frames, GetMatrixRelativeToItselfIsIdentityAndSetMatrixPreMultiplies) {
  TSXFrame* f = TSXFrame::Create(root.get());
  f->LocalMatrix = RotY(300);
  f->LocalMatrix(3, 0) = 5;
  ExpectMatrixNear(f->GetMatrix(f), MatIdentity(), 0);
  TMatrix4 m = RotY(100), expected;
  MatMultiply(m, f->LocalMatrix, expected);
  f->SetMatrix(f, m);
  ExpectMatrixNear(f->LocalMatrix, expected, 0);
}

TEST_F(Frames, WorldMatrixIncludesTheMovedTopFrame) {
  TSXFrame* a = TSXFrame::Create(root.get());
  TSXFrame* b = TSXFrame::Create(a);
  root->LocalMatrix(3, 1) = 100;  // the top frame is moved
  a->LocalMatrix = RotY(1024);
  b->SetPosition(a, TVector3{0, 0, 1});
  TVector3 w;
  b->LocalToWorld(TVector3{0, 0, 0}, w);
  ExpectVecNear(w, 1, 100, 0);  // a's z axis points along world x
  TVector3 back;
  b->WorldToLocal(w, back);
  ExpectVecNear(back, 0, 0, 0);
}

TEST_F(Frames, ParentlessFrameTreatsNoneAsItsParent) {
  auto cam = TSXFrame::CreateRoot();
  cam->LocalMatrix = RotY(512);
  cam->SetPosition(nullptr, TVector3{1, 2, 3});
  EXPECT_EQ(cam->LocalMatrix(3, 0), 1);
  EXPECT_EQ(cam->LocalMatrix(3, 2), 3);
  EXPECT_EQ(cam->LocalMatrix(0, 0), RotY(512)(0, 0));  // rotation untouched
  ExpectMatrixNear(cam->GetMatrix(nullptr), cam->LocalMatrix, 0);
  // A parentless frame set relative to another frame: L = M . W(R).
  TSXFrame* other = TSXFrame::Create(root.get());
  other->LocalMatrix = RotY(1024);
  cam->SetMatrix(other, MatIdentity());
  ExpectMatrixNear(cam->LocalMatrix, RotY(1024));
}

TEST_F(Frames, SetPositionRelativeToARotatedSiblingKeepsTheRotation) {
  TSXFrame* sibling = TSXFrame::Create(root.get());
  sibling->LocalMatrix = RotY(1024);
  sibling->SetPosition(root.get(), TVector3{10, 0, 0});
  TSXFrame* f = TSXFrame::Create(root.get());
  f->LocalMatrix = RotY(200);
  const TMatrix4 before = f->LocalMatrix;
  f->SetPosition(sibling, TVector3{0, 0, 5});
  // The sibling's z axis is world x: its point (0, 0, 5) is world (15, 0, 0).
  ExpectVecNear(f->GetPosition(root.get()), 15, 0, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(f->LocalMatrix(i, j), before(i, j));
  // And read back in the sibling's space.
  ExpectVecNear(f->GetPosition(sibling), 0, 0, 5);
}

TEST_F(Frames, SetRotationKeepsThePosition) {
  TSXFrame* f = TSXFrame::Create(root.get());
  f->SetPosition(root.get(), TVector3{4, 5, 6});
  f->SetRotation(f, RotY(700));
  ExpectVecNear(f->GetPosition(root.get()), 4, 5, 6, 0);
  TVector3 dir, up;
  f->GetOrientation(root.get(), dir, up);
  ExpectVecNear(dir, RotY(700)(2, 0), 0, RotY(700)(2, 2));
}

TEST_F(Frames, SetOrientationInTheParentWritesTheRowsDirectly) {
  TSXFrame* f = TSXFrame::Create(root.get());
  f->SetPosition(root.get(), TVector3{1, 1, 1});
  f->SetOrientation(root.get(), TVector3{1, 0, 0}, TVector3{0, 1, 0});
  // right = up x dir = (0,1,0) x (1,0,0) = (0,0,-1)
  ExpectVecNear(TVector3{f->LocalMatrix(0, 0), f->LocalMatrix(0, 1), f->LocalMatrix(0, 2)}, 0, 0, -1);
  ExpectVecNear(TVector3{f->LocalMatrix(2, 0), f->LocalMatrix(2, 1), f->LocalMatrix(2, 2)}, 1, 0, 0);
  ExpectVecNear(f->GetPosition(root.get()), 1, 1, 1, 0);
}

TEST_F(Frames, LookAtTurnsTheZAxisTowardsTheTarget) {
  TSXFrame* f = TSXFrame::Create(root.get());
  TSXFrame* target = TSXFrame::Create(root.get());
  f->SetPosition(root.get(), TVector3{0, 0, 0});
  target->SetPosition(root.get(), TVector3{0, 0, 0});
  // Up frame perpendicular to the direction: the frame's y is the up frame's y.
  f->LookAt(target, TVector3{10, 0, 0}, 0, root.get());
  TVector3 dir, up;
  f->GetOrientation(root.get(), dir, up);
  ExpectVecNear(dir, 1, 0, 0);
  ExpectVecNear(up, 0, 1, 0);
}

TEST_F(Frames, LookAtAlongTheUpAxisFallsBackToTheUpFramesXAxis) {
  TSXFrame* f = TSXFrame::Create(root.get());
  f->LookAt(root.get(), TVector3{0, 50, 0}, 0, root.get());
  TVector3 dir, up;
  f->GetOrientation(root.get(), dir, up);
  ExpectVecNear(dir, 0, 1, 0);
  TMatrix4 m = f->GetMatrix(root.get());
  ExpectVecNear(TVector3{m(0, 0), m(0, 1), m(0, 2)}, 1, 0, 0);  // x axis = the up frame's x
  // up = dir x right = (0,1,0) x (1,0,0) = (0,0,-1)
  ExpectVecNear(up, 0, 0, -1);
}

TEST_F(Frames, LookAtWithRollKeepsTheTargetAndTurnsXAndY) {
  TSXFrame* f = TSXFrame::Create(root.get());
  f->LookAt(root.get(), TVector3{0, 0, 10}, 1024, root.get());
  TVector3 dir, up;
  f->GetOrientation(root.get(), dir, up);
  ExpectVecNear(dir, 0, 0, 1);
  // Without roll x = (1,0,0), y = (0,1,0); rotation Z(1024) pre-multiplied turns them a quarter.
  ExpectVecNear(up, -1, 0, 0);
  TMatrix4 m = f->GetMatrix(root.get());
  ExpectVecNear(TVector3{m(0, 0), m(0, 1), m(0, 2)}, 0, 1, 0);
}

TEST_F(Frames, DestroyingASubtreeKeepsTheSiblingsOrder) {
  TSXFrame* a = TSXFrame::Create(root.get());
  TSXFrame* b = TSXFrame::Create(root.get());
  TSXFrame* c = TSXFrame::Create(root.get());
  TSXFrame::Create(b);
  TSXFrame::Create(TSXFrame::Create(b));
  TSXFrame::Destroy(b);
  ASSERT_EQ(root->Children().Count(), 2);
  EXPECT_EQ(root->Children()[0], a);
  EXPECT_EQ(root->Children()[1], c);
  TSXFrame* d = TSXFrame::Create(root.get());
  EXPECT_EQ(root->Children()[2], d);
}

TEST_F(Frames, FrameListCopyReplacesTheContents) {
  TSXFrameList a, b;
  TSXFrame* f = TSXFrame::Create(root.get());
  a.Add(f);
  a.Add(root.get());
  b.Add(f);
  b.CopyFrom(a);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b[1], root.get());
}

}  // namespace
