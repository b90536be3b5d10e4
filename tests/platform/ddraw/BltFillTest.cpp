// Colour fills through Blt: what the platform refuses, and that the refusal comes before the
// destination rectangle is looked at and leaves every pixel as it was.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ddraw/DDrawMachine.h"
#include "platform/ddraw/DDrawTestUtil.h"

using namespace ddtest;

namespace {

class BltFill : public SurfaceFixtureOf<::testing::Test> {
 protected:
  void SetUp() override {
    Start(TestMachine());
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0xF800;
  }
  IDirectDrawSurface7* Plain565(DWORD w = 8, DWORD h = 8) {
    return Make(w, h, Rgb(16, 0xF800, 0x07E0, 0x001F), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  }

  DDBLTFX fx{};
};

TEST_F(BltFill, AColourFillOnADepthBufferIsRefused) {
  IDirectDrawSurface7* z = Make(8, 8, Depth(16, 0xFFFF), DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
  ASSERT_NE(z, nullptr);
  ASSERT_EQ(WritePixel(z, 3, 3, 0x1234), DD_OK);
  EXPECT_EQ(z->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DDERR_INVALIDPARAMS);
  RECT part{0, 0, 4, 4};
  EXPECT_EQ(z->Blt(&part, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
  EXPECT_EQ(ReadPixel(z, 3, 3), 0x1234u);
  EXPECT_EQ(ReadPixel(z, 0, 0), 0u);
}

TEST_F(BltFill, AColourFillThatNamesASourceIsRefusedBeforeItsRectangle) {
  IDirectDrawSurface7* dst = Plain565();
  IDirectDrawSurface7* src = Plain565();
  ASSERT_EQ(WritePixel(src, 0, 0, 0x001F), DD_OK);
  // With a good rectangle, with none, and with rectangles that would be refused on their own:
  // the parameters are wrong first.
  RECT good{0, 0, 4, 4}, inverted{4, 4, 0, 0}, outside{6, 6, 20, 20};
  EXPECT_EQ(dst->Blt(&good, src, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dst->Blt(&inverted, src, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dst->Blt(&outside, src, &good, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
  // No effects record is as wrong, whatever the rectangle.
  EXPECT_EQ(dst->Blt(&outside, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(ReadPixel(dst, x, y), 0u) << x << "," << y;

  // The same fill without the source does what it says, and a bad rectangle alone is a
  // rectangle error.
  ASSERT_EQ(dst->Blt(&good, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  EXPECT_EQ(ReadPixel(dst, 3, 3), 0xF800u);
  EXPECT_EQ(ReadPixel(dst, 4, 4), 0u);
  EXPECT_EQ(dst->Blt(&inverted, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->Blt(&outside, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
}

}  // namespace
