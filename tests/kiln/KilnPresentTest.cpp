#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kiln/KilnLog.h"
#include "kiln/KilnPresentFrame.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/host/Hosts.h"
#include "platform/host/services/ImageCodecs.h"

using namespace ddtest;
using kilntest::CheckFrame;
using kilntest::PresentFrame;

namespace {

class KilnPresent : public ::testing::Test {
 protected:
  void SetUp() override {
    ddraw::ResetMachine();
    ddraw::SetMachine(TestMachine());
    KilnDebugUnit().ResetForTest(0);
  }
  void TearDown() override {
    ddraw::ResetMachine();
    KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
  }
};

TEST_F(KilnPresent, HeadlessScreenShowsTheFlippedFrame) {
  auto host = host::CreateHeadlessHost({});
  auto window = host->CreateWindow({});
  int w = 0, h = 0;
  const auto shown = PresentFrame(*window, w, h);
  CheckFrame(shown, w, h, "ddraw-present-headless.png");
}

}  // namespace
