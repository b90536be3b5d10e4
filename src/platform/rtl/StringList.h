// The run-time library's list of strings: lines of a text file, comma text, and the
// index error of the platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

namespace rtl {

// Splits text as the platform's comma text does: blanks (every character from 1 to
// space) and commas separate fields; leading blanks are skipped; a field that starts
// with a double quote runs to the closing quote, with "" standing for one quote; two
// commas in a row give an empty field; a comma at the very end gives none. A NUL
// character ends the text, as it ends the platform's C strings.
std::vector<std::string> SplitCommaText(std::string_view text);

// Splits text into lines at CR, LF and CR LF; a NUL character ends the text. A last
// line without a line break counts; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// How much of a text file is read: the bytes of the whole file, of one line, and the lines.
struct TTextLimits {
  int64_t maxBytes;
  size_t maxLineBytes;
  size_t maxLines;
};

// Lines of a stream from its position, read piece by piece and split as SplitLines does
// (a NUL ends the text). A line longer than the limit, more lines or more bytes than the
// limits allow stop the reading with EReadError naming the limit; nothing beyond it is read.
std::vector<std::string> ReadTextLines(TStream& stream, const TTextLimits& limits);
// The same from a file; EFOpenError when it cannot be opened.
std::vector<std::string> ReadTextLinesFromFile(const std::string& fileName, const TTextLimits& limits);

class TStringList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EStringListError "List index out of bounds (%d)" outside 0..Count-1.
  const std::string& Strings(int index) const;
  const std::string& operator[](int index) const { return Strings(index); }
  void Put(int index, const std::string& s);
  int Add(const std::string& s);
  void Clear() { items_.clear(); }
  void Delete(int index);

  // Lines of the file's bytes as they are (no code page conversion).
  // Raises EFOpenError "Cannot open file %s" when the file cannot be opened.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream);
  void SetText(std::string_view text) { items_ = SplitLines(text); }
  std::string Text() const;  // every line followed by CR LF

  void SetCommaText(std::string_view text) { items_ = SplitCommaText(text); }
  // Fields joined by commas; a field with blanks, commas or quotes is quoted.
  std::string CommaText() const;

  const std::vector<std::string>& Items() const { return items_; }

 private:
  void Check(int index) const;
  std::vector<std::string> items_;
};

}  // namespace rtl
