// What the program may read from its data folder, and how much of it.
//
// Every file the game reads has a kind, and every kind a size limit far above any
// real file of that kind: a file beyond it, a folder or a device in its place is
// refused by name before a byte of it is read, so a broken data folder can neither
// fill the memory nor keep the game reading for minutes.
#pragma once

#include <cstdint>
#include <string>

namespace data {

enum class TDataKind {
  Mesh,     // .sx meshes
  Bitmap,   // BMP pictures and textures
  Wave,     // WAV sound effects, loaded whole
  Music,    // WAV tunes, streamed
  Text,     // View.dat, words.dat
  Archive,  // packed archives
};

// The largest file of a kind that is read at all.
int64_t MaxBytes(TDataKind kind);

// Text files are read line by line; a longer line is a broken file.
constexpr size_t kMaxTextLineBytes = 64 * 1024;

// Why `path` cannot be read as a file of `kind`, before anything is read from it:
// "is missing", "is a folder, not a file", "is not a plain file ...", "is N bytes, more
// than ...". Empty when it can be opened. Names are matched as the loaders match them
// (exactly, then ignoring case).
std::string ProbeProblem(const std::string& path, TDataKind kind);

// A byte count for people: "2147483648 bytes (2.0 GiB)".
std::string DescribeBytes(int64_t bytes);

}  // namespace data
