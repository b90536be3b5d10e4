// The multimedia RIFF file reader (mmio*), on plain files, read-only.
//
// Chunk searches are bounded by the parent chunk and by the end of the file, so a
// chunk size that claims more than the file holds never leads a caller past the end.
#pragma once

#include <cstdio>  // SEEK_SET, SEEK_CUR, SEEK_END for mmioSeek

#include "platform/win/WinTypes.h"

using FOURCC = DWORD;
using MMRESULT = UINT;
using HPSTR = char*;
using HMMIO = struct HMMIO__*;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
  return DWORD(BYTE(a)) | (DWORD(BYTE(b)) << 8) | (DWORD(BYTE(c)) << 16) | (DWORD(BYTE(d)) << 24);
}

inline constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

inline constexpr DWORD MMIO_READ = 0x00000000;
inline constexpr DWORD MMIO_WRITE = 0x00000001;
inline constexpr DWORD MMIO_READWRITE = 0x00000002;
inline constexpr DWORD MMIO_CREATE = 0x00001000;
inline constexpr DWORD MMIO_ALLOCBUF = 0x00010000;

inline constexpr UINT MMIO_FINDCHUNK = 0x0010;
inline constexpr UINT MMIO_FINDRIFF = 0x0020;
inline constexpr UINT MMIO_FINDLIST = 0x0040;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
inline constexpr MMRESULT MMIOERR_CANNOTREAD = 259;
inline constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;

struct MMIOINFO;  // accepted for the shape of mmioOpenA; always passed as nullptr here
using LPMMIOINFO = MMIOINFO*;

struct MMCKINFO {
  FOURCC ckid;
  DWORD cksize;
  FOURCC fccType;
  DWORD dwDataOffset;
  DWORD dwFlags;
};
using LPMMCKINFO = MMCKINFO*;

// Opens a file for reading; nullptr when it cannot be opened or another mode is asked for.
HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags);
MMRESULT mmioClose(HMMIO h, UINT flags);
// Bytes read (0 at the end of the file), -1 on a bad handle or a read error.
LONG mmioRead(HMMIO h, HPSTR buffer, LONG count);
// New position, or -1 when the seek fails or would leave the file's range.
LONG mmioSeek(HMMIO h, LONG offset, int origin);
MMRESULT mmioDescend(HMMIO h, LPMMCKINFO ck, const MMCKINFO* parent, UINT flags);
MMRESULT mmioAscend(HMMIO h, LPMMCKINFO ck, UINT flags);
