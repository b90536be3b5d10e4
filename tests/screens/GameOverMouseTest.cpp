// The mouse moves the camera during play only: once the last ship is lost, a drag over the
// game-over screen changes nothing in the frozen scene.
#include <cstring>

#include "ScreensFixture.h"

namespace {

class GameOverMouseTest : public ScreensTest {
 protected:
  // Mouse motion as it comes from the window, with the given buttons held.
  void Drag(forms::TShiftState buttons, int fromX, int fromY, int dx, int dy, int steps) {
    for (int i = 0; i <= steps; ++i) {
      host::Event e;
      e.type = host::EventType::MouseMove;
      e.window = &form_->Window();
      e.x = fromX + dx * i;
      e.y = fromY + dy * i;
      e.shift = buttons;
      form_->HandleEvent(e);
    }
  }
};

TEST_F(GameOverMouseTest, ADragDuringGameOverChangesNothingInTheFrame) {
  ScreensForm& f = Start();
  Press(13);
  RunTicks(3);
  ASSERT_EQ(f.GameState, 1);
  ASSERT_TRUE(f.OnMouseMove);
  // In play the same drag turns the camera (the control this test relies on works).
  const TMatrix4 before = f.CameraMatrix;
  Drag(forms::ssRight, 300, 200, 7, 3, 5);
  EXPECT_NE(std::memcmp(&before, &f.CameraMatrix, sizeof(TMatrix4)), 0);

  // The last ship is lost at the end of its count-down: the game is over.
  f.Stock = 0;
  f.DeathTime = 1;
  RunTicks(1);
  ASSERT_EQ(f.GameState, 2);
  EXPECT_FALSE(f.OnMouseMove);
  RunTicks(1);
  const TPixels shown = Presented();
  const TMatrix4 frozen = f.CameraMatrix;
  const TMatrix4 camera = f.CameraFrame->GetMatrix(f.RootFrame.get());
  // Right drag (turn), left drag (move along the view), both with Shift.
  Drag(forms::ssRight, 300, 200, 9, -4, 6);
  Drag(forms::ssLeft, 320, 240, 0, 12, 6);
  Drag(forms::ssRight | forms::ssLeft | forms::ssShift, 100, 100, 20, 20, 4);
  EXPECT_EQ(std::memcmp(&frozen, &f.CameraMatrix, sizeof(TMatrix4)), 0);
  const TMatrix4 after = f.CameraFrame->GetMatrix(f.RootFrame.get());
  EXPECT_EQ(std::memcmp(&camera, &after, sizeof(TMatrix4)), 0);
  RunTicks(1);
  EXPECT_EQ(f.GameState, 2);
  EXPECT_EQ(Presented().pixels, shown.pixels);
}

}  // namespace
