#include <gtest/gtest.h>

#include <memory>

#include "kiln/KilnLog.h"
#include "kiln/KilnPresentFrame.h"
#include "platform/ddraw/DDrawTestUtil.h"
#include "platform/host/Hosts.h"

namespace {

TEST(KilnSdlPresent, SdlWindowShowsTheFlippedFrame) {
  ddraw::ResetMachine();
  ddraw::SetMachine(ddtest::TestMachine());
  KilnDebugUnit().ResetForTest(0);
  std::unique_ptr<host::IHost> host;
  try {
    host = host::CreateSdlHost();
  } catch (const host::HostStartError& e) {
    GTEST_SKIP() << "no display: " << e.what();
  }
  auto window = host->CreateWindow({});
  int w = 0, h = 0;
  const auto shown = kilntest::PresentFrame(*window, w, h);
  kilntest::CheckFrame(shown, w, h, "ddraw-present-sdl.png");
  ddraw::ResetMachine();
  KilnDebugUnit().ResetForTest(ddoHaltOnError | ddoDebugMessage);
}

}  // namespace
