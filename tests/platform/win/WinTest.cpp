#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/win/CodePage.h"
#include "platform/win/ModulePath.h"
#include "platform/win/WinEvents.h"
#include "platform/win/WinTime.h"
#include "support/TestSupport.h"

namespace {

TEST(CodePage, JapaneseRoundTripsThroughShiftJis) {
  const std::string utf8 = "不正なBMPファイルです";
  const std::string sjis = win::Utf8ToAnsi(utf8);
  // 不 = 0x95 0x73, 正 = 0x90 0xB3 in Shift-JIS.
  ASSERT_GE(sjis.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(sjis[0]), 0x95);
  EXPECT_EQ(static_cast<unsigned char>(sjis[1]), 0x73);
  EXPECT_EQ(static_cast<unsigned char>(sjis[2]), 0x90);
  EXPECT_EQ(static_cast<unsigned char>(sjis[3]), 0xB3);
  EXPECT_EQ(win::AnsiToUtf8(sjis), utf8);
}

TEST(CodePage, BadBytesBecomeReplacementsNotCrashes) {
  // A lone lead byte at the end, and a lead byte followed by an invalid trail.
  EXPECT_EQ(win::AnsiToUtf8(std::string("A\x81", 2)), "A\xEF\xBF\xBD");
  std::string decoded = win::AnsiToUtf8(std::string("\x81\x20Z", 3));
  EXPECT_NE(decoded.find('Z'), std::string::npos);
  // Invalid UTF-8 and characters without a CP932 form turn into '?'.
  EXPECT_EQ(win::Utf8ToAnsi("a\xFF"
                            "b"),
            "a?b");
  EXPECT_EQ(win::Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");
  EXPECT_TRUE(win::IsValidUtf8("日本"));
  EXPECT_FALSE(win::IsValidUtf8("\xE6\x97"));
  EXPECT_FALSE(win::IsValidUtf8("\xC0\xAF"));  // overlong
}

TEST(CodePage, AnsiLowerCaseLeavesDoubleByteCharactersAlone) {
  // ソ is 0x83 0x5C and ア is 0x83 0x41: the trail byte 0x41 looks like 'A' but is not a letter.
  std::string s = win::Utf8ToAnsi("ABCアz");
  std::string lower = win::AnsiLowerCase(s);
  EXPECT_EQ(lower.substr(0, 3), "abc");
  EXPECT_EQ(win::AnsiToUtf8(lower), "abcアz");
}

TEST(ModulePath, OverrideAndCaseInsensitiveLookup) {
  testsupport::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "Data");
  testsupport::WriteFileText(dir.File("Data/Earth.bmp"), "x");
  {
    testsupport::ScopedModuleDir m(dir.Path().string());
    EXPECT_EQ(win::ModuleDirectory(), dir.Dir());
  }
  EXPECT_NE(win::ModuleDirectory(), dir.Dir());
  EXPECT_EQ(win::ResolvePathCaseInsensitive(dir.File("data/EARTH.BMP")), dir.File("Data/Earth.bmp"));
  EXPECT_EQ(win::ResolvePathCaseInsensitive(dir.File("Data/Earth.bmp")), dir.File("Data/Earth.bmp"));
  // Nothing matches: the name comes back unchanged, so the open fails with the asked-for name.
  EXPECT_EQ(win::ResolvePathCaseInsensitive(dir.File("Data/none.bmp")), dir.File("Data/none.bmp"));
}

TEST(Clock, VirtualClockDrivesTimeGetTimeAndSleep) {
  win::VirtualClock clock(1000);
  DWORD heard = 0;
  clock.SetAdvanceListener([&](DWORD now) { heard = now; });
  win::ScopedClock scoped(clock);
  EXPECT_EQ(timeGetTime(), 1000u);
  Sleep(4);
  EXPECT_EQ(timeGetTime(), 1004u);
  EXPECT_EQ(heard, 1004u);
  // The millisecond counter wraps like the platform's.
  win::VirtualClock wrap(0xFFFFFFFEu);
  wrap.Advance(3);
  EXPECT_EQ(wrap.Milliseconds(), 1u);
}

TEST(Events, AutoResetEventIsTakenByOneWait) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // reset by the first wait
  EXPECT_TRUE(CloseHandle(e));
}

TEST(Events, ManualResetStaysSignalled) {
  HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  ResetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(Events, WaitForMultipleReportsTheLowestSignalledIndex) {
  HANDLE h[3] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr),
                 CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  SetEvent(h[2]);
  SetEvent(h[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 10), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForMultipleObjects(0, h, FALSE, 0), WAIT_FAILED);
  for (HANDLE x : h) CloseHandle(x);
}

TEST(Events, AnotherThreadWakesAWaiter) {
  HANDLE h[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  std::atomic<DWORD> result{0xDEAD};
  std::thread waiter([&] { result = WaitForMultipleObjects(2, h, FALSE, 5000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  SetEvent(h[1]);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0 + 1);
  // Many set/wait rounds between two threads lose no signal.
  std::atomic<int> taken{0};
  std::thread consumer([&] {
    for (int i = 0; i < 200; ++i)
      if (WaitForSingleObject(h[0], 5000) == WAIT_OBJECT_0) ++taken;
  });
  for (int i = 0; i < 200; ++i) {
    SetEvent(h[0]);
    while (taken.load() <= i) std::this_thread::yield();
  }
  consumer.join();
  EXPECT_EQ(taken.load(), 200);
  for (HANDLE x : h) CloseHandle(x);
}

}  // namespace
