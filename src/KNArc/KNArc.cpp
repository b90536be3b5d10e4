#include "KNArc/KNArc.h"

#include <algorithm>
#include <cstring>

#include "platform/win/CodePage.h"

namespace {

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }

[[noreturn]] void NotAnArchive() { throw EKNAError(KNANotArchiveMessage); }

std::string NotFoundMessage(const std::string& id) {
  std::string message = KNANotFoundMessage;
  message.replace(message.find("%s"), 2, id);
  return message;
}

// One block's code table: left[c] == c marks a literal; otherwise c stands for left[c], right[c].
struct PairTable {
  uint8_t left[256];
  uint8_t right[256] = {};
};

// Decodes blocks from an in-memory copy of the packed data straight into the result stream.
// The output never passes `limit` bytes; it grows by doubling from a first guess, so a
// recorded size that is far too large costs nothing until the data really expands that far.
class BytePairDecoder {
 public:
  BytePairDecoder(const uint8_t* input, size_t inputSize, size_t limit, rtl::TMemoryStream& output)
      : in_(input), inSize_(inputSize), limit_(limit), output_(output) {
    // Most data packs to between a half and a tenth; start big enough for that, so that the
    // usual item is never regrown, but not at a recorded size the input cannot back up.
    size_t guess = std::max<size_t>(inputSize * 16, size_t{64} << 10);
    Reserve(std::min(limit_, guess));
  }

  size_t Run() {
    while (pos_ < inSize_) DecodeBlock();
    return outLen_;
  }

 private:
  uint8_t NextByte() {
    if (pos_ >= inSize_) NotAnArchive();  // the block is cut short
    return in_[pos_++];
  }

  void ReadTable() {
    for (int c = 0; c < 256; ++c) table_.left[c] = static_cast<uint8_t>(c);
    int c = 0;
    for (;;) {
      int count = NextByte();
      if (count > 127) {
        c += count - 127;
        count = 0;
      }
      if (c == 256) break;
      if (c > 256) throw rtl::ERangeError();
      for (int i = 0; i <= count; ++i, ++c) {
        if (c > 255) throw rtl::ERangeError();
        uint8_t left = NextByte();
        table_.left[c] = left;
        if (left != c) table_.right[c] = NextByte();
      }
      if (c == 256) break;
    }
  }

  void DecodeBlock() {
    ReadTable();
    if (inSize_ - pos_ < 4) NotAnArchive();
    uint32_t n = GetU32(in_ + pos_);
    pos_ += 4;
    if (n > inSize_ - pos_) NotAnArchive();  // the block claims more data than there is
    const uint8_t* p = in_ + pos_;
    const uint8_t* end = p + n;
    pos_ += n;

    // A code read from the data always starts on an empty stack, so its expansion is the same
    // every time within the block: short ones (literals too) are made once and then copied.
    std::fill(std::begin(expansionLength_), std::end(expansionLength_), kUnknown);
    expansionsUsed_ = 0;
    while (p != end) {
      const unsigned c = *p++;
      uint32_t length = expansionLength_[c];
      if (length == kUnknown) length = MakeExpansion(c);
      if (length == kLong) {
        Expand(c);
        continue;
      }
      const uint8_t* from = expansions_.data() + expansionStart_[c];
      if (length <= kShortCopy && outCap_ - outLen_ >= kShortCopy) {
        std::memcpy(out_ + outLen_, from, kShortCopy);  // a fixed size copies fastest
      } else {
        if (outCap_ - outLen_ < length) Grow(length);
        std::memcpy(out_ + outLen_, from, length);
      }
      outLen_ += length;
    }
  }

  // Expands code into the output with a stack of at most 256 codes, as the format prescribes.
  void Expand(unsigned c) {
    const uint8_t* left = table_.left;
    const uint8_t* right = table_.right;
    uint8_t stack[256];
    int sp = 0;
    for (;;) {
      if (left[c] == c) {
        if (outLen_ == outCap_) Grow(1);
        out_[outLen_++] = static_cast<uint8_t>(c);
        if (sp == 0) return;
        c = stack[--sp];
      } else {
        // Pushing right and left and popping left again at once: the pair needs two free
        // places on the 256-byte stack, so overflow is the same as with both pushed.
        if (sp > 254) throw rtl::ERangeError();
        stack[sp++] = right[c];
        c = left[c];
      }
    }
  }

  // The same walk into the expansion store, given up (kLong) when the expansion is longer
  // than is worth keeping or overflows the stack; Expand then meets it in the output.
  uint32_t MakeExpansion(const unsigned code) {
    const uint8_t* left = table_.left;
    const uint8_t* right = table_.right;
    const size_t start = expansionsUsed_;
    uint8_t* store = expansions_.data();
    uint8_t stack[256];
    int sp = 0;
    unsigned c = code;
    for (;;) {
      if (left[c] == c) {
        if (expansionsUsed_ - start == kMaxKeptExpansion) break;
        store[expansionsUsed_++] = static_cast<uint8_t>(c);
        if (sp == 0) {
          expansionStart_[code] = static_cast<uint32_t>(start);
          return expansionLength_[code] = static_cast<uint32_t>(expansionsUsed_ - start);
        }
        c = stack[--sp];
      } else {
        if (sp > 254) break;
        stack[sp++] = right[c];
        c = left[c];
      }
    }
    expansionsUsed_ = start;
    return expansionLength_[code] = kLong;
  }

  void Reserve(size_t capacity) {
    output_.SetSize(static_cast<int64_t>(capacity));
    out_ = output_.Memory();
    outCap_ = capacity;
  }

  // Makes room for `need` more bytes, which must stay within the recorded size.
  void Grow(size_t need) {
    if (need > limit_ - outLen_) NotAnArchive();  // decodes to more than the recorded size
    Reserve(std::min(limit_, std::max({outCap_ * 2, outLen_ + need, size_t{64} << 10})));
  }

  static constexpr uint32_t kUnknown = 0xFFFFFFFF;
  static constexpr uint32_t kLong = 0xFFFFFFFE;
  static constexpr size_t kMaxKeptExpansion = 128;
  static constexpr size_t kShortCopy = 16;

  const uint8_t* in_;
  size_t inSize_;
  size_t pos_ = 0;
  size_t limit_;
  rtl::TMemoryStream& output_;
  uint8_t* out_ = nullptr;
  size_t outLen_ = 0;
  size_t outCap_ = 0;
  PairTable table_;
  uint32_t expansionLength_[256];
  uint32_t expansionStart_[256];
  // Room for every code's kept expansion, and for a short copy to read past the last one.
  std::vector<uint8_t> expansions_ = std::vector<uint8_t>(256 * kMaxKeptExpansion + kShortCopy);
  size_t expansionsUsed_ = 0;
};

}  // namespace

std::unique_ptr<rtl::TMemoryStream> DecodeBytePairs(rtl::TStream& packed, int64_t unpackedSize) {
  if (unpackedSize < 0 || unpackedSize > ArchiveMaxUnpackedSize) NotAnArchive();

  const int64_t position = packed.Position();
  if (position < 0) NotAnArchive();  // a stream that cannot tell where it is
  const int64_t remaining = std::max<int64_t>(packed.Size() - position, 0);
  const uint8_t* input = nullptr;
  std::vector<uint8_t> copy;
  if (auto* memory = dynamic_cast<rtl::TMemoryStream*>(&packed); memory && remaining > 0) {
    input = memory->Memory() + position;  // already in memory: decode in place
    packed.Seek(0, rtl::TSeekOrigin::soEnd);
  } else if (remaining > 0) {
    copy.resize(static_cast<size_t>(remaining));
    packed.ReadBuffer(copy.data(), remaining);
    input = copy.data();
  }

  auto result = std::make_unique<rtl::TMemoryStream>();
  BytePairDecoder decoder(input, static_cast<size_t>(remaining), static_cast<size_t>(unpackedSize), *result);
  const size_t decoded = decoder.Run();
  // Fewer bytes than recorded means lost data; the caller would otherwise get a zero-filled tail.
  if (decoded != static_cast<size_t>(unpackedSize)) NotAnArchive();
  result->SetSize(static_cast<int64_t>(decoded));
  result->SetPosition(0);
  return result;
}

std::vector<ArchiveDirEntry> ArchiveReadDirectory(rtl::TStream& source, ArchiveHeader& header) {
  uint8_t raw[ArchiveHeaderSize];
  if (source.Read(raw, ArchiveHeaderSize) != ArchiveHeaderSize) NotAnArchive();
  header.Compression = GetI32(raw);
  std::memcpy(header.Magic.data(), raw + 4, 4);
  header.Count = GetI32(raw + 8);
  if (header.Magic != ArchiveMagic) NotAnArchive();

  // The directory must fit in the file before a byte of memory is spent on it.
  if (header.Count < 0) NotAnArchive();
  const int64_t dirBytes = int64_t{header.Count} * ArchiveDirEntrySize;
  if (dirBytes > source.Size() - source.Position()) NotAnArchive();

  std::vector<uint8_t> dir(static_cast<size_t>(dirBytes));
  source.ReadBuffer(dir.data(), dirBytes);
  source.SetPosition(0);

  std::vector<ArchiveDirEntry> entries(static_cast<size_t>(header.Count));
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint8_t* e = dir.data() + i * ArchiveDirEntrySize;
    entries[i].Offset = GetU32(e);
    entries[i].PackedSize = GetU32(e + 4);
    entries[i].UnpackedSize = GetU32(e + 8);
    const char* id = reinterpret_cast<const char*>(e + 12);
    // An ID without its NUL is taken up to the end of its field rather than read beyond it.
    entries[i].ID.assign(id, strnlen(id, ArchiveIDSize));
  }
  return entries;
}

std::unique_ptr<rtl::TMemoryStream> ArchiveReadStream(rtl::TStream& source, const std::string& id) {
  ArchiveHeader header;
  const std::vector<ArchiveDirEntry> entries = ArchiveReadDirectory(source, header);

  const std::string wanted = win::AnsiLowerCase(win::Utf8ToAnsi(id));
  const auto found = std::find_if(entries.begin(), entries.end(), [&](const ArchiveDirEntry& e) {
    return e.ID.size() == wanted.size() && win::AnsiLowerCase(e.ID) == wanted;
  });
  if (found == entries.end()) throw EKNAError(NotFoundMessage(id));

  source.SetPosition(found->Offset);
  const int64_t fileSize = source.Size();
  if (header.Compression == ArchiveCompressed) {
    const int64_t packedSize = found->PackedSize;
    if (int64_t{found->Offset} + packedSize > fileSize) NotAnArchive();
    if (found->UnpackedSize > ArchiveMaxUnpackedSize) NotAnArchive();
    rtl::TMemoryStream packed;
    packed.SetSize(packedSize);
    source.ReadBuffer(packed.Memory(), packedSize);
    packed.SetPosition(0);
    return DecodeBytePairs(packed, found->UnpackedSize);
  }

  const int64_t size = found->UnpackedSize;
  if (int64_t{found->Offset} + size > fileSize) NotAnArchive();
  auto result = std::make_unique<rtl::TMemoryStream>();
  result->SetSize(size);
  source.ReadBuffer(result->Memory(), size);
  result->SetPosition(0);
  return result;
}

std::unique_ptr<rtl::TMemoryStream> ArchiveReadFile(const std::string& fileName, const std::string& id) {
  rtl::TFileStream file(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
  return ArchiveReadStream(file, id);
}
