// The demo file's bytes: numbers, events and headers come back as written; a reader never
// reads past the end, and damaged files are told apart from recordings that were cut short.
#include <gtest/gtest.h>

#include <limits>

#include "platform/host/demo/DemoFormat.h"

namespace {

namespace demo = host::demo;

TEST(DemoFormat, NumbersAndEventsComeBackAsWritten) {
  demo::ByteWriter out;
  const uint64_t vars[] = {0, 1, 127, 128, 16383, 16384, 0xFFFFFFFFull, std::numeric_limits<uint64_t>::max()};
  const int64_t zigs[] = {0,
                          -1,
                          1,
                          -64,
                          64,
                          INT32_MIN,
                          INT32_MAX,
                          std::numeric_limits<int64_t>::min(),
                          std::numeric_limits<int64_t>::max()};
  for (uint64_t v : vars) out.Var(v);
  for (int64_t v : zigs) out.Zig(v);
  out.U64(0x0123456789ABCDEFull);
  out.Str("Tavvyhop \xE3\x83\x87\xE3\x83\xA2");
  demo::EventRecord e{
      .type = 4, .window = 3, .vk = 27, .scanCode = 1, .repeat = true, .x = -5, .y = 70000, .button = 2, .shift = 0x41};
  demo::WriteEvent(out, e);

  demo::ByteReader in(out.bytes);
  for (uint64_t v : vars) EXPECT_EQ(in.Var(), v);
  for (int64_t v : zigs) EXPECT_EQ(in.Zig(), v);
  EXPECT_EQ(in.U64(), 0x0123456789ABCDEFull);
  EXPECT_EQ(in.Str(), "Tavvyhop \xE3\x83\x87\xE3\x83\xA2");
  demo::EventRecord back;
  ASSERT_TRUE(demo::ReadEvent(in, back));
  EXPECT_EQ(back.type, e.type);
  EXPECT_EQ(back.window, e.window);
  EXPECT_EQ(back.vk, e.vk);
  EXPECT_EQ(back.repeat, e.repeat);
  EXPECT_EQ(back.x, e.x);
  EXPECT_EQ(back.y, e.y);
  EXPECT_EQ(back.shift, e.shift);
  EXPECT_TRUE(in.AtEnd());
  EXPECT_FALSE(in.bad);

  // Past the end: zeros and the bad flag, never a read out of bounds.
  EXPECT_EQ(in.U32(), 0u);
  EXPECT_TRUE(in.bad);
  // An eleven-byte varint and a string longer than what is left are bad too.
  const std::vector<uint8_t> tooLong(11, 0xFF);
  demo::ByteReader v(tooLong);
  v.Var();
  EXPECT_TRUE(v.bad);
  const std::vector<uint8_t> shortString = {5, 'a', 'b'};
  demo::ByteReader s(shortString);
  EXPECT_EQ(s.Str(), "");
  EXPECT_TRUE(s.bad);
  // An event of a type the host does not have is refused.
  demo::ByteWriter odd;
  e.type = 12;
  demo::WriteEvent(odd, e);
  demo::ByteReader oddIn(odd.bytes);
  EXPECT_FALSE(demo::ReadEvent(oddIn, e));
}

TEST(DemoFormat, ADemoIsParsedBackAndItsEndTellsCompleteFromCutShort) {
  demo::Header h;
  h.programVersion = "0.1";
  h.seed = 77;
  h.settings = {"--ok", "--lives=5"};
  h.files = {{"View.dat", 120, 0x1234}, {"words.dat", 9, 0x99}};
  demo::ByteWriter records;
  records.U8(5);  // a clock reading 5 ms on
  records.U8(demo::kPollNone);
  records.U8(demo::kTick);
  records.U8(demo::kClockBig);
  records.Var(100000);
  records.U8(demo::kTick);
  std::vector<uint8_t> body = records.bytes;
  records.U8(demo::kEnd);
  records.Var(2);

  h.ticks = 2;
  std::vector<uint8_t> bytes = demo::EncodeHeader(h);
  const std::vector<uint8_t> first = demo::EncodeChunk(std::span(records.bytes).first(3), 1);
  const std::vector<uint8_t> second = demo::EncodeChunk(std::span(records.bytes).subspan(3), 1);
  bytes.insert(bytes.end(), first.begin(), first.end());
  bytes.insert(bytes.end(), second.begin(), second.end());
  demo::Demo d = demo::ParseDemo(bytes, "t.dem");
  EXPECT_TRUE(d.complete);
  EXPECT_EQ(d.ticks, 2u);
  EXPECT_EQ(d.header.seed, 77u);
  EXPECT_EQ(d.header.settings, h.settings);
  EXPECT_EQ(d.header.files, h.files);
  EXPECT_EQ(d.records, records.bytes);

  // Killed after the first chunk: what is there plays, and the reader says it was cut short.
  h.ticks = 0;
  bytes = demo::EncodeHeader(h);
  bytes.insert(bytes.end(), first.begin(), first.end());
  bytes.insert(bytes.end(), second.begin(), second.begin() + 7);
  d = demo::ParseDemo(bytes, "t.dem");
  EXPECT_FALSE(d.complete);
  EXPECT_EQ(d.ticks, 1u);
  EXPECT_EQ(d.cutShortWhy, "its last chunk is cut short");

  // Records after the end, or an end that counts other ticks, are damage.
  demo::ByteWriter late = records;
  late.U8(demo::kTick);
  bytes = demo::EncodeHeader(h);
  const std::vector<uint8_t> lateChunk = demo::EncodeChunk(late.bytes, 3);
  bytes.insert(bytes.end(), lateChunk.begin(), lateChunk.end());
  EXPECT_THROW(demo::ParseDemo(bytes, "t.dem"), demo::DemoError);
  demo::ByteWriter wrongEnd;
  wrongEnd.bytes = body;
  wrongEnd.U8(demo::kEnd);
  wrongEnd.Var(5);
  bytes = demo::EncodeHeader(h);
  const std::vector<uint8_t> wrongChunk = demo::EncodeChunk(wrongEnd.bytes, 2);
  bytes.insert(bytes.end(), wrongChunk.begin(), wrongChunk.end());
  try {
    demo::ParseDemo(bytes, "t.dem");
    ADD_FAILURE() << "an end with the wrong tick count was accepted";
  } catch (const demo::DemoError& e) {
    EXPECT_NE(std::string(e.what()).find("its end says 5 ticks, its records hold 2"), std::string::npos) << e.what();
  }
}

TEST(DemoFormat, EveryCutOfADemoIsReadWithoutHarm) {
  demo::Header h;
  h.programVersion = "0.1";
  h.files = {{"a.bmp", 1, 2}};
  demo::ByteWriter records;
  for (int i = 0; i < 20; ++i) {
    records.U8(demo::kKeys);
    records.Var(1);
    records.U8(static_cast<uint8_t>(i));
    records.U8(0x80);
    records.U8(demo::kTick);
  }
  records.U8(demo::kEnd);
  records.Var(20);
  std::vector<uint8_t> bytes = demo::EncodeHeader(h);
  const std::vector<uint8_t> chunk = demo::EncodeChunk(records.bytes, 20);
  bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  const size_t headerBytes = demo::EncodeHeader(h).size();
  for (size_t n = 0; n < bytes.size(); ++n) {
    const std::span<const uint8_t> cut(bytes.data(), n);
    if (n < headerBytes) {
      EXPECT_THROW(demo::ParseDemo(cut, "cut.dem"), demo::DemoError) << n;
    } else {
      const demo::Demo d = demo::ParseDemo(cut, "cut.dem");
      EXPECT_FALSE(d.complete) << n;
      EXPECT_EQ(d.ticks, 0u) << n;
    }
  }
  EXPECT_TRUE(demo::ParseDemo(bytes, "whole.dem").complete);
}

}  // namespace
