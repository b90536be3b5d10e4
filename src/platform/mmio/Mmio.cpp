#include <cstdio>
#include <memory>
#include <string>

#include "platform/mmio/MMSystem.h"
#include "platform/win/FileOpenHook.h"
#include "platform/win/ModulePath.h"

namespace {

constexpr DWORD kMmioMagic = 0x4D4D494F;  // "MMIO"
constexpr int kMaxChunksSearched = 4096;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct MmioFile {
  DWORD magic = kMmioMagic;
  std::unique_ptr<std::FILE, FileCloser> file;
  int64_t size = 0;
};

MmioFile* AsFile(HMMIO h) {
  auto* f = reinterpret_cast<MmioFile*>(h);
  return (f && f->magic == kMmioMagic) ? f : nullptr;
}

bool SeekTo(MmioFile& f, int64_t pos) { return fseeko(f.file.get(), static_cast<off_t>(pos), SEEK_SET) == 0; }

int64_t Tell(MmioFile& f) { return static_cast<int64_t>(ftello(f.file.get())); }

bool ReadDword(MmioFile& f, DWORD& v) {
  BYTE b[4];
  if (std::fread(b, 1, 4, f.file.get()) != 4) return false;
  v = DWORD(b[0]) | (DWORD(b[1]) << 8) | (DWORD(b[2]) << 16) | (DWORD(b[3]) << 24);
  return true;
}

}  // namespace

HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO, DWORD flags) {
  if (!fileName) return nullptr;
  // Only reading is offered: the program never writes RIFF files.
  if ((flags & (MMIO_WRITE | MMIO_READWRITE | MMIO_CREATE)) != 0) return nullptr;
  // Names are matched as the Windows file system would: exact first, then ignoring case.
  const std::string path = win::ResolvePathCaseInsensitive(fileName);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return nullptr;
  win::NoteFileOpenedForReading(path);
  if (fseeko(file.get(), 0, SEEK_END) != 0) return nullptr;
  const int64_t size = ftello(file.get());
  if (size < 0 || fseeko(file.get(), 0, SEEK_SET) != 0) return nullptr;
  // A handle, like a kernel handle: owned by whoever calls mmioClose.
  auto* f = new MmioFile;
  f->file = std::move(file);
  f->size = size;
  return reinterpret_cast<HMMIO>(f);
}

MMRESULT mmioClose(HMMIO h, UINT) {
  MmioFile* f = AsFile(h);
  if (!f) return MMSYSERR_INVALHANDLE;
  f->magic = 0;
  delete f;
  return MMSYSERR_NOERROR;
}

LONG mmioRead(HMMIO h, HPSTR buffer, LONG count) {
  MmioFile* f = AsFile(h);
  if (!f || count < 0 || (count > 0 && !buffer)) return -1;
  const size_t n = std::fread(buffer, 1, static_cast<size_t>(count), f->file.get());
  if (n < static_cast<size_t>(count) && std::ferror(f->file.get())) return -1;
  return static_cast<LONG>(n);
}

LONG mmioSeek(HMMIO h, LONG offset, int origin) {
  MmioFile* f = AsFile(h);
  if (!f) return -1;
  int64_t base = 0;
  if (origin == SEEK_CUR) {
    base = Tell(*f);
  } else if (origin == SEEK_END) {
    base = f->size;
  } else if (origin != SEEK_SET) {
    return -1;
  }
  const int64_t target = base + offset;
  if (base < 0 || target < 0 || target > 0x7FFFFFFF || !SeekTo(*f, target)) return -1;
  return static_cast<LONG>(target);
}

MMRESULT mmioDescend(HMMIO h, LPMMCKINFO ck, const MMCKINFO* parent, UINT flags) {
  MmioFile* f = AsFile(h);
  if (!f) return MMSYSERR_INVALHANDLE;
  if (!ck) return MMSYSERR_INVALPARAM;

  // The search ends at the parent's end, and never later than the end of the file.
  int64_t end = f->size;
  if (parent) {
    const int64_t parentEnd = int64_t(parent->dwDataOffset) + int64_t(parent->cksize);
    if (parentEnd < end) end = parentEnd;
  }

  const FOURCC wantId = (flags & MMIO_FINDRIFF) ? FOURCC_RIFF : (flags & MMIO_FINDLIST) ? FOURCC_LIST : ck->ckid;
  const bool search = (flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
  const bool wantType = (flags & (MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
  const FOURCC wantForm = ck->fccType;

  int64_t pos = Tell(*f);
  if (pos < 0) return MMIOERR_CANNOTSEEK;
  // The search walks the chunks by their sizes. A file of empty chunks (or of zeros)
  // would still be walked eight bytes at a time, so the walk gives up after more chunks
  // than any sound or picture file holds.
  for (int visited = 0;; ++visited) {
    if (pos + 8 > end || visited >= kMaxChunksSearched) return MMIOERR_CHUNKNOTFOUND;
    if (!SeekTo(*f, pos)) return MMIOERR_CANNOTSEEK;
    DWORD id = 0, size = 0;
    if (!ReadDword(*f, id) || !ReadDword(*f, size)) return MMIOERR_CHUNKNOTFOUND;
    const int64_t dataOffset = pos + 8;
    FOURCC form = 0;
    // A RIFF or LIST chunk too short for its form type is stepped over like any other.
    const bool hasForm =
        (id == FOURCC_RIFF || id == FOURCC_LIST) && size >= 4 && dataOffset + 4 <= end && ReadDword(*f, form);
    if (!search || (id == wantId && (!wantType || form == wantForm))) {
      if (dataOffset > 0xFFFFFFFFll) return MMIOERR_CHUNKNOTFOUND;
      ck->ckid = id;
      ck->cksize = size;
      ck->fccType = hasForm ? form : 0;
      ck->dwDataOffset = static_cast<DWORD>(dataOffset);
      ck->dwFlags = 0;
      // Positioned at the chunk's data (after the form type of RIFF and LIST chunks).
      return SeekTo(*f, dataOffset + (hasForm ? 4 : 0)) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
    }
    // Chunks are padded to an even size.
    pos = dataOffset + int64_t(size) + (size & 1);
  }
}

MMRESULT mmioAscend(HMMIO h, LPMMCKINFO ck, UINT) {
  MmioFile* f = AsFile(h);
  if (!f) return MMSYSERR_INVALHANDLE;
  if (!ck) return MMSYSERR_INVALPARAM;
  int64_t next = int64_t(ck->dwDataOffset) + int64_t(ck->cksize) + (ck->cksize & 1);
  if (next > f->size) next = f->size;
  return SeekTo(*f, next) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
}
