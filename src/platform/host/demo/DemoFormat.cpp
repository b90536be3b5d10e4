#include "platform/host/demo/DemoFormat.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/host/Host.h"

namespace host::demo {

// ---- bytes ----

void ByteWriter::U16(uint16_t v) {
  U8(uint8_t(v));
  U8(uint8_t(v >> 8));
}
void ByteWriter::U32(uint32_t v) {
  U16(uint16_t(v));
  U16(uint16_t(v >> 16));
}
void ByteWriter::U64(uint64_t v) {
  U32(uint32_t(v));
  U32(uint32_t(v >> 32));
}
void ByteWriter::Var(uint64_t v) {
  while (v >= 0x80) {
    U8(uint8_t(v | 0x80));
    v >>= 7;
  }
  U8(uint8_t(v));
}
void ByteWriter::Str(const std::string& s) {
  Var(s.size());
  bytes.insert(bytes.end(), s.begin(), s.end());
}

uint8_t ByteReader::U8() {
  if (pos_ >= bytes_.size()) {
    bad = true;
    return 0;
  }
  return bytes_[pos_++];
}
uint16_t ByteReader::U16() {
  const uint16_t lo = U8();
  return uint16_t(lo | (uint16_t(U8()) << 8));
}
uint32_t ByteReader::U32() {
  const uint32_t lo = U16();
  return lo | (uint32_t(U16()) << 16);
}
uint64_t ByteReader::U64() {
  const uint64_t lo = U32();
  return lo | (uint64_t(U32()) << 32);
}
uint64_t ByteReader::Var() {
  uint64_t v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    const uint8_t b = U8();
    if (bad) return 0;
    v |= uint64_t(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return v;
  }
  bad = true;  // more than ten bytes: not a number of ours
  return 0;
}
std::string ByteReader::Str(uint32_t maxBytes) {
  const uint64_t n = Var();
  if (bad || n > maxBytes || n > Left()) {
    bad = true;
    return {};
  }
  std::string s(reinterpret_cast<const char*>(bytes_.data() + pos_), size_t(n));
  pos_ += size_t(n);
  return s;
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (uint8_t b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint64_t Fnv1a64(std::span<const uint8_t> bytes, uint64_t hash) {
  for (uint8_t b : bytes) {
    hash ^= b;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

bool FingerprintFile(const std::string& path, uint64_t& size, uint64_t& hash) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  size = 0;
  hash = 0xcbf29ce484222325ull;
  std::vector<uint8_t> buf(1 << 16);
  for (;;) {
    const size_t n = std::fread(buf.data(), 1, buf.size(), f.get());
    if (n == 0) break;
    hash = Fnv1a64(std::span(buf.data(), n), hash);
    size += n;
  }
  return std::ferror(f.get()) == 0;
}

// ---- records ----

void WriteEvent(ByteWriter& out, const EventRecord& e) {
  out.U8(e.type);
  out.Var(e.window);
  out.Zig(e.vk);
  out.Zig(e.scanCode);
  out.U8(e.repeat ? 1 : 0);
  out.Zig(e.x);
  out.Zig(e.y);
  out.Zig(e.button);
  out.Var(e.shift);
}

bool ReadEvent(ByteReader& in, EventRecord& e) {
  auto int32 = [&](int64_t v) {
    if (v < INT32_MIN || v > INT32_MAX) in.bad = true;
    return static_cast<int32_t>(v);
  };
  e.type = in.U8();
  const uint64_t window = in.Var();
  e.vk = int32(in.Zig());
  e.scanCode = int32(in.Zig());
  const uint8_t repeat = in.U8();
  e.x = int32(in.Zig());
  e.y = int32(in.Zig());
  e.button = int32(in.Zig());
  const uint64_t shift = in.Var();
  if (e.type > static_cast<uint8_t>(EventType::Quit) || window > UINT32_MAX || repeat > 1 || shift > UINT32_MAX) {
    in.bad = true;
  }
  e.window = static_cast<uint32_t>(window);
  e.repeat = repeat != 0;
  e.shift = static_cast<uint32_t>(shift);
  return !in.bad;
}

bool SkipRecord(ByteReader& in, uint8_t tag) {
  if (tag < kClockSmallLimit) return true;
  auto flag = [&] { return in.U8() <= 1; };
  switch (tag) {
    case kClockBig:
      return in.Var() <= UINT32_MAX && !in.bad;
    case kTick:
    case kPollNone:
      return true;
    case kState:
      in.U32();
      break;
    case kEvent: {
      EventRecord e;
      return ReadEvent(in, e);
    }
    case kKeys: {
      const uint64_t n = in.Var();
      if (n > 256) return false;
      for (uint64_t i = 0; i < n; ++i) {
        in.U8();
        in.U8();
      }
      break;
    }
    case kMouse:
      in.Zig();
      in.Zig();
      in.Zig();
      in.U32();
      break;
    case kFocus:
    case kAudioAvailable:
    case kAudioOpen:
    case kScreenSaver:
      if (!flag()) return false;
      break;
    case kJoyCount:
      if (in.Var() > 64) return false;
      break;
    case kJoyInfo:
      in.Str();
      in.Str();
      in.Var();
      in.Var();
      in.Var();
      if (!flag()) return false;
      break;
    case kJoyState: {
      const uint8_t delivered = in.U8();
      if (delivered > 1) return false;
      if (delivered) {
        for (int i = 0; i < 12; ++i) in.Zig();
        for (int i = 0; i < 32; ++i) in.U8();
      }
      break;
    }
    case kDesktopDepth:
      in.Var();
      break;
    case kDesktopSize:
      in.Var();
      in.Var();
      break;
    case kWindowActive:
    case kWindowFullscreen:
      in.Var();
      if (!flag()) return false;
      break;
    case kWindowOrigin:
      in.Var();
      in.Zig();
      in.Zig();
      break;
    case kFile:
      in.Str();
      in.U64();
      in.U64();
      break;
    case kEnd:
      in.Var();
      break;
    default:
      return false;
  }
  return !in.bad;
}

// ---- header and chunks ----

std::vector<uint8_t> EncodeHeader(const Header& header) {
  ByteWriter body;
  body.Str(header.programVersion);
  body.U32(header.seed);
  body.Var(header.settings.size());
  for (const std::string& s : header.settings) body.Str(s);
  body.U64(header.ticks);
  body.Var(header.files.size());
  for (const FileFingerprint& f : header.files) {
    body.Str(f.name);
    body.U64(f.size);
    body.U64(f.hash);
  }
  ByteWriter out;
  out.bytes.assign(std::begin(kMagic), std::end(kMagic));
  out.U16(header.formatVersion);
  out.U16(0);
  out.U32(static_cast<uint32_t>(body.bytes.size()));
  out.bytes.insert(out.bytes.end(), body.bytes.begin(), body.bytes.end());
  out.U32(Crc32(body.bytes));
  return out.bytes;
}

std::vector<uint8_t> EncodeChunk(std::span<const uint8_t> payload, uint32_t ticks) {
  ByteWriter out;
  out.U32(static_cast<uint32_t>(payload.size()));
  out.U32(ticks);
  out.U32(Crc32(payload));
  out.bytes.insert(out.bytes.end(), payload.begin(), payload.end());
  return out.bytes;
}

namespace {

[[noreturn]] void Fail(const std::string& fileName, const std::string& why) {
  throw DemoError("demo " + fileName + ": " + why);
}

Header ParseHeader(ByteReader& in, const std::string& fileName) {
  char magic[sizeof kMagic];
  for (char& c : magic) c = static_cast<char>(in.U8());
  if (in.bad || std::memcmp(magic, kMagic, sizeof kMagic) != 0) Fail(fileName, "not a Tavvyhop demo file");
  Header h;
  h.formatVersion = in.U16();
  in.U16();
  const uint32_t bodyBytes = in.U32();
  if (in.bad) Fail(fileName, "the file is cut short inside its header");
  if (h.formatVersion == 0) Fail(fileName, "damaged header (format version 0)");
  if (h.formatVersion > kFormatVersion) {
    Fail(fileName, "made by a newer program (demo format " + std::to_string(h.formatVersion) +
                       "; this program plays format " + std::to_string(kFormatVersion) + " and older)");
  }
  if (bodyBytes > kMaxHeaderBytes) Fail(fileName, "damaged header (it claims " + std::to_string(bodyBytes) + " bytes)");
  if (in.Left() < size_t(bodyBytes) + 4) Fail(fileName, "the file is cut short inside its header");
  std::vector<uint8_t> bodyCopy;
  bodyCopy.reserve(bodyBytes);
  for (uint32_t i = 0; i < bodyBytes; ++i) bodyCopy.push_back(in.U8());
  if (in.U32() != Crc32(bodyCopy)) Fail(fileName, "damaged header (checksum)");
  ByteReader b(bodyCopy);
  h.programVersion = b.Str();
  h.seed = b.U32();
  const uint64_t settings = b.Var();
  if (settings > kMaxSettings) Fail(fileName, "damaged header (too many settings)");
  for (uint64_t i = 0; i < settings && !b.bad; ++i) h.settings.push_back(b.Str());
  h.ticks = b.U64();
  const uint64_t files = b.Var();
  if (files > kMaxFiles) Fail(fileName, "damaged header (too many data files)");
  for (uint64_t i = 0; i < files && !b.bad; ++i) {
    FileFingerprint f;
    f.name = b.Str();
    f.size = b.U64();
    f.hash = b.U64();
    h.files.push_back(std::move(f));
  }
  if (b.bad || !b.AtEnd()) Fail(fileName, "damaged header");
  return h;
}

}  // namespace

Demo ParseDemo(std::span<const uint8_t> bytes, const std::string& fileName) {
  if (bytes.size() > kMaxFileBytes) Fail(fileName, "too large to be a demo");
  ByteReader in(bytes);
  Demo demo;
  demo.header = ParseHeader(in, fileName);
  while (!in.AtEnd()) {
    if (in.Left() < 12) {
      demo.cutShortWhy = "its last chunk is cut short";
      break;
    }
    const uint32_t length = in.U32();
    const uint32_t ticks = in.U32();
    const uint32_t crc = in.U32();
    if (length > kMaxChunkBytes) Fail(fileName, "damaged (a chunk claims " + std::to_string(length) + " bytes)");
    if (in.Left() < length) {
      demo.cutShortWhy = "its last chunk is cut short";
      break;
    }
    const std::span<const uint8_t> payload = bytes.subspan(in.Position(), length);
    for (uint32_t i = 0; i < length; ++i) in.U8();
    if (Crc32(payload) != crc) Fail(fileName, "damaged (a chunk's checksum does not match)");
    demo.records.insert(demo.records.end(), payload.begin(), payload.end());
    demo.ticks += ticks;
  }
  demo.complete = ValidateRecords(demo, fileName);
  if (!demo.complete && demo.cutShortWhy.empty()) demo.cutShortWhy = "it has no end record";
  if (demo.complete) demo.cutShortWhy.clear();
  return demo;
}

bool ValidateRecords(const Demo& demo, const std::string& fileName) {
  ByteReader in(demo.records);
  uint64_t ticks = 0;
  bool ended = false;
  while (!in.AtEnd()) {
    if (ended) Fail(fileName, "damaged (records after its end)");
    const size_t at = in.Position();
    const uint8_t tag = in.U8();
    if (tag == kTick) ++ticks;
    if (tag == kEnd) {
      ByteReader end = in;
      const uint64_t declared = end.Var();
      if (!end.bad && declared != ticks) {
        Fail(fileName, "damaged (its end says " + std::to_string(declared) + " ticks, its records hold " +
                           std::to_string(ticks) + ")");
      }
      ended = true;
    }
    if (!SkipRecord(in, tag))
      Fail(fileName, "damaged (a bad record at byte " + std::to_string(at) + " of its records)");
  }
  if (ticks != demo.ticks) Fail(fileName, "damaged (its chunks count other ticks than their records hold)");
  if (demo.header.ticks != 0 && demo.header.ticks != ticks) {
    Fail(fileName, "damaged (its header promises " + std::to_string(demo.header.ticks) + " ticks, its records hold " +
                       std::to_string(ticks) + ")");
  }
  return ended;
}

Demo ReadDemoFile(const std::string& fileName) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> f(std::fopen(fileName.c_str(), "rb"));
  if (!f) throw DemoError("demo " + fileName + ": cannot open the file");
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> buf(1 << 16);
  for (;;) {
    const size_t n = std::fread(buf.data(), 1, buf.size(), f.get());
    if (n == 0) break;
    if (bytes.size() + n > kMaxFileBytes) throw DemoError("demo " + fileName + ": too large to be a demo");
    bytes.insert(bytes.end(), buf.begin(), buf.begin() + std::ptrdiff_t(n));
  }
  if (std::ferror(f.get())) throw DemoError("demo " + fileName + ": cannot read the file");
  return ParseDemo(bytes, fileName);
}

}  // namespace host::demo
