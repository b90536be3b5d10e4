// The demo file: a header, then chunks of records, one record for every value the
// program read from outside (clock, events, keyboard, mouse, joysticks, focus, audio
// device, desktop, window state) and a mark at the end of every game tick.
// The layout is described in docs/demo-format.md.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace host::demo {

inline constexpr char kMagic[8] = {'T', 'A', 'V', 'D', 'E', 'M', 'O', 0x1A};
inline constexpr uint16_t kFormatVersion = 1;

// Limits a reader enforces, so that a damaged file cannot make it allocate or loop without end.
inline constexpr uint32_t kMaxHeaderBytes = 1u << 20;
inline constexpr uint32_t kMaxChunkBytes = 16u << 20;
inline constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;
inline constexpr uint32_t kMaxStringBytes = 4096;
inline constexpr uint32_t kMaxFiles = 4096;
inline constexpr uint32_t kMaxSettings = 64;

// A demo file that cannot be played; the message says why and names the file.
class DemoError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Record tags. Tags below kClockBig are a clock reading whose difference from the
// previous reading is the tag itself (0..63 ms), the common case of the idle loop.
enum Tag : uint8_t {
  kClockSmallLimit = 0x40,
  kClockBig = 0x40,          // varint difference (modulo 2^32)
  kTick = 0x41,              // the end of a game tick
  kState = 0x42,             // u32 checksum of the game state after the tick
  kPollNone = 0x43,          // no event pending
  kEvent = 0x44,             // an event (see WriteEvent)
  kKeys = 0x45,              // keyboard state: varint n, n x (key, value) changed since the last one
  kMouse = 0x46,             // zigzag dx, dy, dz, four button bytes
  kFocus = 0x47,             // u8
  kJoyCount = 0x48,          // varint
  kJoyInfo = 0x49,           // strings product, instance; varints axes, buttons, hats; u8 force feedback
  kJoyState = 0x4A,          // u8 delivered; then 8 zigzag axes, 4 zigzag hats, 32 button bytes
  kAudioAvailable = 0x4B,    // u8
  kAudioOpen = 0x4C,         // u8
  kDesktopDepth = 0x4D,      // varint
  kDesktopSize = 0x4E,       // varint width, height
  kScreenSaver = 0x4F,       // u8
  kWindowActive = 0x50,      // varint window, u8
  kWindowOrigin = 0x51,      // varint window, zigzag x, y
  kWindowFullscreen = 0x52,  // varint window, u8
  kFile = 0x53,              // a data file read after the header was written: string name, u64 size, u64 hash
  kEnd = 0x54,               // the recording ended cleanly: varint ticks
  kLastTag = kEnd,
};

// A data file as the demo saw it.
struct FileFingerprint {
  std::string name;  // relative to the data folder
  uint64_t size = 0;
  uint64_t hash = 0;  // FNV-1a, 64 bits
  bool operator==(const FileFingerprint&) const = default;
};

struct Header {
  uint16_t formatVersion = kFormatVersion;
  std::string programVersion;
  uint32_t seed = 0;
  // The command-line options that answer the options dialog and set the game's own
  // switches (written and read by the program; the demo layer only keeps them).
  std::vector<std::string> settings;
  uint64_t ticks = 0;                  // 0: unknown (a recording that did not end cleanly)
  std::vector<FileFingerprint> files;  // read before the first tick
};

struct Demo {
  Header header;
  std::vector<uint8_t> records;  // the payloads of every chunk, back to back
  uint64_t ticks = 0;            // tick marks in the records
  bool complete = false;         // ends with its end record
  std::string cutShortWhy;       // when not complete: what the reader found at the end
};

// Parses and checks a whole demo. Throws DemoError naming `fileName` when it is not a demo,
// is of a newer format, or is damaged. A demo whose last chunk is missing or torn (a
// recording that was killed) is not an error: it comes back with complete == false.
Demo ParseDemo(std::span<const uint8_t> bytes, const std::string& fileName);
Demo ReadDemoFile(const std::string& fileName);

// Walks the records of a parsed demo and checks that every one is well formed; the tick
// count must match the header's. Throws DemoError. True when the records end with the end record.
bool ValidateRecords(const Demo& demo, const std::string& fileName);

// ---- byte helpers shared by the writer, the reader and the hosts ----

uint32_t Crc32(std::span<const uint8_t> bytes);
uint64_t Fnv1a64(std::span<const uint8_t> bytes, uint64_t hash = 0xcbf29ce484222325ull);
// Fingerprints a file on disk; false when it cannot be read.
bool FingerprintFile(const std::string& path, uint64_t& size, uint64_t& hash);

class ByteWriter {
 public:
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void Var(uint64_t v);
  void Zig(int64_t v) { Var((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
  void Str(const std::string& s);
  std::vector<uint8_t> bytes;
};

// Reads bytes; every read past the end or out of range sets `bad` and gives 0.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint64_t U64();
  uint64_t Var();
  int64_t Zig() {
    const uint64_t v = Var();
    return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
  }
  std::string Str(uint32_t maxBytes = kMaxStringBytes);
  size_t Position() const { return pos_; }
  size_t Left() const { return bytes_.size() - pos_; }
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  bool bad = false;

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// An event as the demo keeps it: the window is the number of the window in creation order
// (from 1; 0 for none or a window the demo does not know).
struct EventRecord {
  uint8_t type = 0;
  uint32_t window = 0;
  int32_t vk = 0, scanCode = 0;
  bool repeat = false;
  int32_t x = 0, y = 0, button = 0;
  uint32_t shift = 0;
};
void WriteEvent(ByteWriter& out, const EventRecord& e);
// False (and `in.bad`) when the bytes are not an event.
bool ReadEvent(ByteReader& in, EventRecord& e);

// Reads over one record whose tag has been read; false when it is malformed.
bool SkipRecord(ByteReader& in, uint8_t tag);

// The header as bytes (magic, version, length, body, CRC).
std::vector<uint8_t> EncodeHeader(const Header& header);
// A chunk as bytes (length, tick count, CRC, payload).
std::vector<uint8_t> EncodeChunk(std::span<const uint8_t> payload, uint32_t ticks);

}  // namespace host::demo
