#include <gtest/gtest.h>

#include <set>

#include "platform/host/Hosts.h"
#include "platform/host/KeyMap.h"
#include "platform/host/headless/Script.h"
#include "support/TestSupport.h"

namespace {

using host::EventType;
using host::ScriptEvent;

TEST(KeyMap, KeysCarryTheirVirtualKeyAndDirectInputCodes) {
  struct Expect {
    const char* name;
    int vk, dik;
  };
  for (Expect e : {Expect{"Enter", 13, 0x1C}, {"Escape", 27, 0x01},  {"F1", 112, 0x3B},     {"Z", 'Z', 0x2C},
                   {"X", 'X', 0x2D},          {"C", 'C', 0x2E},      {"A", 'A', 0x1E},      {"S", 'S', 0x1F},
                   {"Q", 'Q', 0x10},          {"Up", 0x26, 0xC8},    {"Down", 0x28, 0xD0},  {"Left", 0x25, 0xCB},
                   {"Right", 0x27, 0xCD},     {"KP8", 0x68, 0x48},   {"KP2", 0x62, 0x50},   {"KP4", 0x64, 0x4B},
                   {"KP6", 0x66, 0x4D},       {"KP5", 0x65, 0x4C},   {"KPEnter", 13, 0x9C}, {"F11", 0x7A, 0x57},
                   {"Space", 32, 0x39},       {"RCtrl", 0x11, 0x9D}, {"LShift", 0x10, 0x2A}}) {
    auto k = host::KeyByName(e.name);
    ASSERT_TRUE(k) << e.name;
    EXPECT_EQ(k->vk, e.vk) << e.name;
    EXPECT_EQ(k->dik, e.dik) << e.name;
    // The same key comes back from its USB usage (SDL's scancode).
    auto byUsage = host::KeyByUsage(k->usage);
    ASSERT_TRUE(byUsage);
    EXPECT_EQ(byUsage->name, k->name);
  }
  EXPECT_EQ(host::KeyByName("return")->dik, 0x1C);
  EXPECT_EQ(host::KeyByName("ESC")->vk, 27);
  EXPECT_EQ(host::KeyByName("kp9")->dik, 0x49);
  EXPECT_FALSE(host::KeyByName("NoSuchKey"));
  EXPECT_FALSE(host::KeyByName(""));
}

TEST(KeyMap, EveryKeyHasItsOwnDirectInputCodeAndUsage) {
  std::set<int> diks, usages;
  for (int usage = 0; usage < 256; ++usage) {
    auto k = host::KeyByUsage(usage);
    if (!k) continue;
    EXPECT_TRUE(diks.insert(k->dik).second) << k->name;
    EXPECT_TRUE(usages.insert(k->usage).second) << k->name;
    EXPECT_GT(k->dik, 0);
    EXPECT_LT(k->dik, 256);
  }
  EXPECT_GE(diks.size(), 104u);  // a full PC keyboard
}

TEST(Script, ParsesEventsCommentsAndOrdersByTick) {
  auto events = host::ParseScript(
      "# start\r\n"
      "20 down Enter   # begin\n"
      "\n"
      "5 mouse 10 -3 left SHIFT\n"
      "20 up enter\n"
      "5 down KP8\n",
      "s.txt");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].tick, 5u);
  EXPECT_EQ(events[0].kind, ScriptEvent::Kind::Mouse);
  EXPECT_EQ(events[0].x, 10);
  EXPECT_EQ(events[0].y, -3);
  EXPECT_TRUE(events[0].left);
  EXPECT_FALSE(events[0].right);
  EXPECT_TRUE(events[0].shift);
  // File order within a tick.
  EXPECT_EQ(events[1].kind, ScriptEvent::Kind::Down);
  EXPECT_EQ(events[1].key.dik, 0x48);
  EXPECT_EQ(events[2].tick, 20u);
  EXPECT_EQ(events[2].kind, ScriptEvent::Kind::Down);
  EXPECT_EQ(events[3].kind, ScriptEvent::Kind::Up);
}

TEST(Script, MistakesNameTheFileAndLine) {
  auto message = [](const char* text) {
    try {
      host::ParseScript(text, "in.txt");
    } catch (const host::ScriptError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("1 down Enter\nx down Enter"), "in.txt line 2: the line must start with a tick number, not 'x'");
  EXPECT_EQ(message("-1 down Enter"), "in.txt line 1: the line must start with a tick number, not '-1'");
  EXPECT_EQ(message("3 down Bogus"), "in.txt line 1: unknown key 'Bogus'");
  EXPECT_EQ(message("3 press Enter"),
            "in.txt line 1: unknown event 'press' (down, up, mouse, blur, audio or surfaces)");
  EXPECT_EQ(message("3 down"), "in.txt line 1: 'down' takes exactly one key name");
  EXPECT_EQ(message("3 up A B"), "in.txt line 1: 'up' takes exactly one key name");
  EXPECT_EQ(message("3 mouse 1"), "in.txt line 1: 'mouse' takes the client position X Y");
  EXPECT_EQ(message("3 mouse 1 2 middle"), "in.txt line 1: unknown mouse flag 'middle' (left, right or shift)");
  EXPECT_EQ(message("3"), "in.txt line 1: an event (down, up, mouse, blur, audio or surfaces) must follow the tick");
  EXPECT_EQ(message("3 blur"), "in.txt line 1: 'blur' takes the milliseconds away");
  EXPECT_EQ(message("3 blur -5"), "in.txt line 1: 'blur' takes the milliseconds away");
  EXPECT_EQ(message("3 blur 3000"), "no error");
  EXPECT_EQ(message("3 audio"), "in.txt line 1: 'audio' takes 'lost' or 'back'");
  EXPECT_EQ(message("3 audio gone"), "in.txt line 1: 'audio' takes 'lost' or 'back'");
  EXPECT_EQ(message("3 audio lost\n9 audio back"), "no error");
  EXPECT_EQ(message("3 surfaces lost"), "in.txt line 1: 'surfaces' takes 'lost' and the milliseconds away");
  EXPECT_EQ(message("3 surfaces back 5"), "in.txt line 1: 'surfaces' takes 'lost' and the milliseconds away");
  EXPECT_EQ(message("3 surfaces lost 0"), "no error");
}

TEST(HeadlessHost, ReleasesScriptedInputTickByTickAndKeepsTheKeyboardState) {
  testsupport::TempDir dir;
  testsupport::WriteFileText(dir.File("s.txt"),
                             "0 down Enter\n1 up Enter\n1 down LShift\n1 mouse 100 50 right\n3 mouse 90 70\n");
  auto h = host::CreateHeadlessHost({.scriptPath = dir.File("s.txt")});
  auto window = h->CreateWindow({.caption = "Tavvyhop"});
  host::Event e;
  ASSERT_TRUE(h->PollEvent(e));
  // Showing the window comes after the tick-0 input that was queued before it existed.
  EXPECT_EQ(e.type, EventType::KeyDown);
  EXPECT_EQ(e.vk, 13);
  EXPECT_EQ(e.scanCode, 0x1C);
  EXPECT_EQ(e.window, window.get());
  EXPECT_EQ(h->KeyboardState()[0x1C], 0x80);
  while (h->PollEvent(e)) EXPECT_NE(e.type, EventType::KeyUp);

  h->TickDone(1);
  std::vector<host::Event> got;
  while (h->PollEvent(e)) got.push_back(e);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].type, EventType::KeyUp);
  EXPECT_EQ(h->KeyboardState()[0x1C], 0);
  EXPECT_EQ(h->KeyboardState()[0x2A], 0x80);
  EXPECT_EQ(got[2].type, EventType::MouseMove);
  EXPECT_EQ(got[2].x, 100);
  EXPECT_EQ(got[2].shift, host::ssShift | host::ssRight);

  h->TickDone(2);
  EXPECT_FALSE(h->PollEvent(e));
  h->TickDone(3);
  ASSERT_TRUE(h->PollEvent(e));
  EXPECT_EQ(e.shift, uint32_t{host::ssShift});  // the shift key is still held, no button

  int32_t dx, dy, dz;
  uint8_t buttons[4];
  h->MouseState(dx, dy, dz, buttons);
  EXPECT_EQ(dx, 90);
  EXPECT_EQ(dy, 70);
  EXPECT_EQ(buttons[1], 0);
  h->MouseState(dx, dy, dz, buttons);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
}

TEST(HeadlessHost, TimeIsVirtualAndMovesOnlyWhenTheProgramSleepsOrWaits) {
  DWORD before = win::CurrentClock().Milliseconds();
  {
    host::HeadlessOptions options;
    options.clockStart = 1000;
    auto h = host::CreateHeadlessHost(options);
    EXPECT_EQ(timeGetTime(), 1000u);
    Sleep(4);
    EXPECT_EQ(timeGetTime(), 1004u);
    h->WaitEvent(100);
    EXPECT_EQ(timeGetTime(), 1104u);
    h->TickDone(1);  // a tick's work costs one millisecond
    EXPECT_EQ(timeGetTime(), 1105u);
    EXPECT_EQ(&h->Clock(), &win::CurrentClock());
  }
  // The real clock is back once the host is gone.
  EXPECT_EQ(&win::CurrentClock(), &win::RealClock());
  EXPECT_GE(win::CurrentClock().Milliseconds(), before);
}

TEST(HeadlessHost, WindowsKeepWhatWasPresented) {
  auto h = host::CreateHeadlessHost({});
  auto w = h->CreateWindow({.caption = "x", .clientWidth = 4, .clientHeight = 2});
  uint32_t pixels[2 * 5] = {1, 2, 3, 4, 99, 5, 6, 7, 8, 99};
  w->Present(pixels, 4, 2, 5);
  int width = 0, height = 0;
  const auto& shown = w->LastPresented(width, height);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(shown, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  w->Present(nullptr, 4, 2, 4);  // ignored, never read
  EXPECT_EQ(w->LastPresented(width, height).size(), 8u);
  EXPECT_TRUE(w->Active());
  EXPECT_TRUE(h->HasFocus());
  w.reset();
  EXPECT_FALSE(h->HasFocus());
}

TEST(HeadlessHost, MessageBoxesSayTheWordsSetForThemAndTheTextAsItIsWithout) {
  auto h = host::CreateHeadlessHost({});
  testing::internal::CaptureStderr();
  h->ShowMessageBox("Tavvyhop", "eins");
  h->SetMessageWords([](const std::string& text) { return text == "eins" ? std::string("one") : text; });
  h->ShowMessageBox("Tavvyhop", "eins");
  h->ShowMessageBox("Tavvyhop", "zwei");
  h->SetMessageWords(nullptr);
  h->ShowMessageBox("Tavvyhop", "eins");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tavvyhop: eins\nTavvyhop: one\nTavvyhop: zwei\nTavvyhop: eins\n");
}

TEST(HeadlessHost, AMissingScriptIsReported) {
  EXPECT_THROW(host::CreateHeadlessHost({.scriptPath = "/nonexistent/script.txt"}), host::ScriptError);
}

}  // namespace
