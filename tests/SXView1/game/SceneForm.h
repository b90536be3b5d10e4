// The main form with the play tick and the camera opened to tests, counting the frames
// it presents.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "SXView1/TForm1.h"

class SceneForm : public TForm1 {
 public:
  using TForm1::CameraMatrixInPlayer;
  using TForm1::PlayFrame;
  using TForm1::SetCameraMatrixInPlayer;
  using TForm1::TForm1;

  int Flips = 0;
  // While set, the ship step reads these controls instead of the input component.
  std::optional<TShipControls> Controls;

  TShipControls ReadControls() override { return Controls ? *Controls : TForm1::ReadControls(); }

 protected:
  void KNFlip() override {
    ++Flips;
    TForm1::KNFlip();
  }
};

inline void ExpectMatrixNear(const TMatrix4& expected, const TMatrix4& actual, float tolerance = 1e-4f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(expected.m[r][c], actual.m[r][c], tolerance) << "element (" << r << ", " << c << ")";
}

inline void ExpectVectorNear(const TVector3& expected, const TVector3& actual, float tolerance = 1e-4f) {
  EXPECT_NEAR(expected.x, actual.x, tolerance);
  EXPECT_NEAR(expected.y, actual.y, tolerance);
  EXPECT_NEAR(expected.z, actual.z, tolerance);
}
