// The data files that start-up reads: the camera placements (View.dat) and the
// message lines (words.dat).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/StringList.h"
#include "s_MathPack/s_MathPack.h"

using TViewMatrices = std::array<TMatrix4, 4>;

// Fills the placements from the lines of View.dat: line i fills slot i, fields 0..15
// split as comma text and stored row by row; later fields are ignored, slots without
// a line are left as they are. Raises the run-time library's errors, their message
// prefixed with `fileName` and the line: EStringListError "List index out of bounds (n)"
// for a line with fewer than 16 fields, EConvertError for a field that is not a
// number, ERangeError for a fifth line.
void ParseViewLines(const std::vector<std::string>& lines, const std::string& fileName, TViewMatrices& views);

// Lines read from the text files: a fifth line of View.dat is the parser's range error,
// so one more than four is read; words.dat is given room for far more than it needs.
constexpr size_t kViewLineLimit = 5;
constexpr size_t kWordsLineLimit = 65536;

// Reads View.dat line by line within the text limits (EFOpenError "Cannot open file ..."
// when it cannot be opened, EReadError naming the file and the limit it passes).
void ReadViewFile(const std::string& fileName, TViewMatrices& views);
std::vector<std::string> ReadViewLines(const std::string& fileName);

// Reads words.dat as a list of UTF-8 lines. The file is in the Windows code page
// (Shift-JIS) unless it starts with the UTF-8 byte-order mark; bytes that are not
// valid in its encoding become U+FFFD.
void ReadWordsFile(const std::string& fileName, rtl::TStringList& words);
std::vector<std::string> ReadWordsLines(const std::string& fileName);
// The same from a stream's position (within the same limits).
std::vector<std::string> ReadWordsLines(rtl::TStream& stream);
// The whole text at once: the same lines as the reading line by line.
std::vector<std::string> DecodeWordsText(std::string_view bytes);
