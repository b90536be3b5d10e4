#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Ddidex/TDDIDEX.h"
#include "platform/dinput/FakeInputHost.h"
#include "platform/rtl/SysUtils.h"
#include "platform/win/CodePage.h"
#include "platform/win/WinWindows.h"
#include "support/TestSupport.h"

namespace {

using testinput::FakeInputHost;
using testinput::ScopedHost;

// A window of this process for the components to set their cooperative levels with.
HWND FakeWindow() {
  static const win::WindowRegistration window(reinterpret_cast<HWND>(0x1000));
  return window.Handle();
}

class Joy : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  testsupport::ScopedModuleDir module{dir.Path().string()};
  FakeInputHost machine;
  ScopedHost scoped{&machine};

  void TearDown() override { DDIDDebugUnit().ResetForTest(dioHaltOnError | dioDebugMessage); }

  // A component as the main form has it: created, stored options applied, then loaded.
  std::unique_ptr<TDDIDEX> Loaded(TDDIDDebugOption option = dioHaltOnError) {
    auto joy = std::make_unique<TDDIDEX>(FakeWindow());
    joy->SetDebugOption(option);
    joy->Loaded();
    return joy;
  }

  std::string LogText() {
    const std::string path = dir.File("ddid.debug");
    return std::filesystem::exists(path) ? testsupport::ReadFileText(path) : std::string();
  }
};

TEST_F(Joy, OpposingDirectionKeysCancelAndOneGivesFullDeflection) {
  auto joy = Loaded();
  machine.Press(DIK_UP);
  machine.Press(DIK_DOWN);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_EQ(joy->State().lY, 0);
  EXPECT_EQ(joy->GetDirections().lY, 0);

  machine.ReleaseKey(DIK_DOWN);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_EQ(joy->State().lY, -32767);
  EXPECT_EQ(joy->State().lX, 0);
  EXPECT_EQ(joy->GetDirections().lY, -1);

  // The two rows count alike: an arrow against the opposite numeric-pad key cancels too.
  machine.ReleaseAll();
  machine.Press(DIK_LEFT);
  machine.Press(DIK_NUMPAD6);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_EQ(joy->State().lX, 0);
  machine.ReleaseKey(DIK_LEFT);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_EQ(joy->State().lX, 32767);
}

TEST_F(Joy, NumericPadDiagonalsDriveBothAxes) {
  auto joy = Loaded();
  struct Case {
    DWORD key;
    LONG x, y;
  };
  for (const Case& c :
       {Case{DIK_NUMPAD7, -32767, -32767}, Case{DIK_NUMPAD9, 32767, -32767}, Case{DIK_NUMPAD1, -32767, 32767},
        Case{DIK_NUMPAD3, 32767, 32767}, Case{DIK_NUMPAD8, 0, -32767}, Case{DIK_NUMPAD5, 0, 0}}) {
    machine.ReleaseAll();
    machine.Press(c.key);
    ASSERT_TRUE(joy->Poll(0, false));
    EXPECT_EQ(joy->State().lX, c.x) << "key " << c.key;
    EXPECT_EQ(joy->State().lY, c.y) << "key " << c.key;
  }
  // Up-left with down-right: both axes cancel.
  machine.Press(DIK_NUMPAD7);
  machine.Press(DIK_NUMPAD3);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_EQ(joy->State().lX, 0);
  EXPECT_EQ(joy->State().lY, 0);
}

TEST_F(Joy, KeysBecomeButtonsThroughBothRowsOfTheKeyMap) {
  auto joy = Loaded();
  machine.Press(DIK_SPACE);   // row 1, button 0
  machine.Press(DIK_ESCAPE);  // row 1, button 1
  machine.Press(DIK_0);       // row 0, button 15
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_TRUE(joy->Button(0));
  EXPECT_TRUE(joy->Button(1));
  EXPECT_FALSE(joy->Button(2));
  EXPECT_TRUE(joy->Button(15));
  EXPECT_EQ(joy->State().rgbButtons[15], 0x80);

  // The game's assignment: button 5 moves from D to Q.
  joy->SetKeyMap(0, 5, DIK_Q);
  machine.ReleaseAll();
  machine.Press(DIK_D);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_FALSE(joy->Button(5));
  machine.Press(DIK_Q);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_TRUE(joy->Button(5));

  // A code beyond the 256 keys never fires (and is never read).
  joy->SetKeyMap(1, 20, 0x12345);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_FALSE(joy->Button(20));
}

TEST_F(Joy, RangeErrorsOfButtonSetKeyMapAndPoll) {
  auto joy = Loaded();
  machine.fakeSticks.Add("Pad");
  joy->Initialize();
  machine.fakeSticks.sticks[0].state.buttons[31] = 0x80;
  ASSERT_TRUE(joy->Poll(2, false));
  EXPECT_TRUE(joy->Button(31));
  EXPECT_FALSE(joy->Button(30));
  EXPECT_THROW(joy->Button(32), rtl::ERangeError);
  EXPECT_THROW(joy->Button(-1), rtl::ERangeError);
  EXPECT_THROW(joy->SetKeyMap(2, 0, DIK_A), rtl::ERangeError);
  EXPECT_THROW(joy->SetKeyMap(0, 40, DIK_A), rtl::ERangeError);
  EXPECT_NO_THROW(joy->SetKeyMap(1, 39, DIK_A));
  EXPECT_THROW(joy->Poll(18, false), rtl::ERangeError);
  EXPECT_THROW(joy->Poll(-1, true), rtl::ERangeError);
  EXPECT_FALSE(joy->Poll(17, true));  // the last slot exists but is empty
}

TEST_F(Joy, MergingKeyboardAndJoystickIsAnOrOfRawValues) {
  auto& pad = machine.fakeSticks.Add("Pad");
  auto joy = Loaded();
  ASSERT_EQ(joy->JoystickCount(), 1);

  pad.state.axes[1] = 20000;
  pad.state.axes[0] = 20000;
  machine.Press(DIK_UP);
  ASSERT_TRUE(joy->PollDevices({0, 2}));
  const LONG padY = joy->ApplyDeadZone(20000);
  EXPECT_EQ(joy->State().lY, -32767 | padY);
  EXPECT_EQ(joy->GetDirections().lY, -1);  // any negative contributor wins
  EXPECT_EQ(joy->State().lX, padY);        // 0 from the keyboard keeps the pad's value
  EXPECT_EQ(joy->GetDirections().lX, 1);

  pad.state.hats[0] = 27000;
  pad.state.buttons[2] = 0x80;
  machine.ReleaseAll();
  machine.Press(DIK_Z);
  ASSERT_TRUE(joy->PollDevices({0, 2}));
  const TDDIDDirections d = joy->GetDirections();
  EXPECT_EQ(d.rgdwPOV[0], 27000u);
  EXPECT_EQ(d.rgdwPOV[1], 0xFFFFFFFFu);
  EXPECT_TRUE(joy->Button(0));
  EXPECT_TRUE(joy->Button(2));

  // Unmerged, the joystick's record replaces what the keyboard put there.
  ASSERT_TRUE(joy->Poll(2, false));
  EXPECT_FALSE(joy->Button(0));
}

TEST_F(Joy, DeadZoneOfJoystickAxes) {
  auto& pad = machine.fakeSticks.Add("Pad");
  auto joy = Loaded();
  struct Case {
    int32_t raw;
    LONG expected;
  };
  auto check = [&](int zone, std::initializer_list<Case> cases) {
    joy->DeadZone = zone;
    for (const Case& c : cases) {
      for (auto& a : pad.state.axes) a = c.raw;
      ASSERT_TRUE(joy->Poll(2, false));
      const DIJOYSTATE& s = joy->State();
      for (LONG v : {s.lX, s.lY, s.lZ, s.lRx, s.lRy, s.lRz, s.rglSlider[0], s.rglSlider[1]})
        EXPECT_EQ(v, c.expected) << "zone " << zone << " raw " << c.raw;
    }
  };
  check(5, {{1638, 0}, {-1638, 0}, {1639, 1}, {-1639, -1}, {32767, 32767}, {-32768, -32768}, {16384, 15522}});
  check(0, {{1, 1}, {-32768, -32768}, {1638, 1638}});
  check(100, {{32767, 0}, {-32768, 0}});
  check(250, {{32767, 0}});
}

TEST_F(Joy, WithoutJoystickThePollFailsAndKeepsTheKeyboardPart) {
  auto joy = Loaded();
  EXPECT_EQ(joy->JoystickCount(), 0);
  EXPECT_TRUE(joy->JoystickNames().empty());
  machine.Press(DIK_RIGHT);
  machine.Press(DIK_X);
  EXPECT_TRUE(joy->PollDevices({0, 2}));
  EXPECT_FALSE(joy->Poll(2, true));
  EXPECT_EQ(joy->State().lX, 32767);
  EXPECT_TRUE(joy->Button(1));
  EXPECT_EQ(joy->GetDirections().lX, 1);
}

TEST_F(Joy, MousePollAssignsMotionAndMergesButtons) {
  auto joy = Loaded();
  machine.Press(DIK_DOWN);
  machine.mouseDx = -4;
  machine.mouseDy = -9;
  machine.mouseButtons[2] = 0x80;
  EXPECT_TRUE(joy->PollDevices({0, 1}));
  EXPECT_EQ(joy->State().lX, -4);
  EXPECT_EQ(joy->State().lY, -9);  // assigned, not merged with the keyboard's +32767
  EXPECT_TRUE(joy->Button(2));
}

TEST_F(Joy, InitializeAgainRestoresTheDefaultKeyMapAndReleasesFirst) {
  machine.fakeSticks.Add("Pad");
  auto joy = Loaded();
  joy->SetKeyMap(0, 5, DIK_Q);
  joy->SetKeyMap(1, 32, DIK_W);
  joy->Initialize();
  EXPECT_EQ(joy->KeyMap(0, 5), DIK_D);
  EXPECT_EQ(joy->KeyMap(1, 32), DIK_NUMPAD8);
  EXPECT_EQ(joy->KeyMap(1, 2), 0u);
  ASSERT_EQ(joy->JoystickNames().size(), 1u);  // not added twice
  EXPECT_EQ(joy->JoystickCount(), 1);
  machine.Press(DIK_D);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_TRUE(joy->Button(5));
}

TEST_F(Joy, ForceFeedbackPadsComeFirstAndAreNotAddedTwice) {
  machine.fakeSticks.Add("Plain");
  machine.fakeSticks.Add("Rumble", true);
  machine.fakeSticks.Add("Rumble");  // same product without force feedback: skipped
  machine.fakeSticks.Add("Plain");   // other duplicates are kept
  auto joy = Loaded();
  ASSERT_EQ(joy->JoystickCount(), 3);
  EXPECT_EQ(joy->JoystickNames(), (std::vector<std::string>{"Rumble", "Plain", "Plain"}));
  EXPECT_TRUE(joy->ForceFeedback(0));
  EXPECT_FALSE(joy->ForceFeedback(1));

  // Slot 0 reads the force-feedback pad (the second stick of the machine).
  machine.fakeSticks.sticks[1].state.axes[0] = -30000;
  ASSERT_TRUE(joy->Poll(2, false));
  EXPECT_LT(joy->State().lX, 0);
}

TEST_F(Joy, AtMostSixteenJoysticksAreTaken) {
  for (int i = 0; i < 18; ++i) machine.fakeSticks.Add("Pad " + std::to_string(i));
  auto joy = Loaded();
  EXPECT_EQ(joy->JoystickCount(), 16);
  EXPECT_EQ(joy->JoystickNames().back(), "Pad 15");
  machine.fakeSticks.sticks[15].state.buttons[7] = 0x80;
  ASSERT_TRUE(joy->Poll(17, false));
  EXPECT_TRUE(joy->Button(7));
}

TEST_F(Joy, LostFocusMakesTheNextPollsReacquire) {
  machine.fakeSticks.Add("Pad");
  auto joy = Loaded();
  machine.Press(DIK_Z);
  ASSERT_TRUE(joy->Poll(0, false));

  machine.focus = false;
  EXPECT_FALSE(joy->Poll(0, false));  // re-acquiring fails while another window has the focus
  EXPECT_FALSE(joy->Button(0));
  EXPECT_FALSE(joy->Poll(1, false));
  EXPECT_FALSE(joy->Poll(2, false));  // joysticks are foreground devices too

  machine.focus = true;
  EXPECT_TRUE(joy->Poll(0, false));  // the keyboard re-acquires and reads at once
  EXPECT_TRUE(joy->Button(0));
  EXPECT_FALSE(joy->Poll(1, false));  // the mouse re-acquires and skips this read
  EXPECT_TRUE(joy->Poll(1, false));
  EXPECT_FALSE(joy->Poll(2, false));
  EXPECT_TRUE(joy->Poll(2, false));
}

TEST_F(Joy, BackgroundKeyboardReadsWithoutFocus) {
  auto joy = std::make_unique<TDDIDEX>(FakeWindow());
  joy->BackGround = true;
  joy->Loaded();
  machine.focus = false;
  machine.Press(DIK_C);
  ASSERT_TRUE(joy->Poll(0, false));
  EXPECT_TRUE(joy->Button(2));
  EXPECT_FALSE(joy->Poll(1, false));  // the mouse stays a foreground device
}

TEST_F(Joy, FailuresAreLoggedRaisedOrHaltAsTheOptionsSay) {
  ScopedHost noMachine(nullptr);
  try {
    auto joy = Loaded(dioDebugMessage | dioExceptOnError);
    FAIL() << "Loaded() should have raised";
  } catch (const EDDID& e) {
    EXPECT_EQ(e.Message(), "DirectInputの作成に失敗しました(Error Code(80070015))");
  }
  EXPECT_EQ(LogText(),
            "debug#00001 ... " + win::Utf8ToAnsi("DirectInputの作成に失敗しました") + "(Error Code(80070015))\r\n");

  // Switched off: nothing written, no devices, polls just fail.
  auto quiet = Loaded(0);
  EXPECT_FALSE(quiet->Poll(0, false));
  EXPECT_EQ(DDIDDebugUnit().Counter(), 1);

  EXPECT_THROW(Loaded(dioHaltOnError), rtl::EHalt);
}

TEST_F(Joy, WithoutItsOwnersWindowTheCooperativeLevelIsReported) {
  // As the component would be if the form did not hand it its window: the keyboard and the
  // mouse each report the refused level with the handle error.
  auto joy = std::make_unique<TDDIDEX>(nullptr);
  joy->SetDebugOption(dioDebugMessage);
  joy->Loaded();
  const std::string line =
      win::Utf8ToAnsi("DirectInputDeviceの協調レベルの設定に失敗しました") + "(Error Code(80070006))\r\n";
  EXPECT_EQ(LogText(), "debug#00001 ... " + line + "debug#00002 ... " + line);
  EXPECT_THROW(
      {
        auto halted = std::make_unique<TDDIDEX>(reinterpret_cast<HWND>(0x7777));
        halted->SetDebugOption(dioHaltOnError);
        halted->Loaded();
      },
      rtl::EHalt);
  // Given a window of the process, nothing is reported.
  const int before = DDIDDebugUnit().Counter();
  auto good = Loaded(dioDebugMessage);
  EXPECT_EQ(DDIDDebugUnit().Counter(), before);
}

}  // namespace
