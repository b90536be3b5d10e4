#include "SXView1/ViewData.h"

#include "common/DataFiles.h"
#include "platform/rtl/Classes.h"
#include "platform/win/CodePage.h"

namespace {

std::string Where(const std::string& fileName, size_t line) {
  return fileName + " (line " + std::to_string(line + 1) + "): ";
}

// Keeps the valid UTF-8 of `text` and puts U+FFFD for every byte that is not.
std::string SanitizeUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len > 0 && i + len <= text.size() && win::IsValidUtf8(text.substr(i, len))) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace

void ParseViewLines(const std::vector<std::string>& lines, const std::string& fileName, TViewMatrices& views) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i >= views.size()) {
      throw rtl::ERangeError(Where(fileName, i) + "Range check error (only four camera placements fit)");
    }
    rtl::TStringList fields;
    fields.SetCommaText(lines[i]);
    for (int j = 0; j < 16; ++j) {
      const std::string* field = nullptr;
      try {
        field = &fields.Strings(j);
      } catch (const rtl::EStringListError& e) {
        throw rtl::EStringListError(Where(fileName, i) + e.what());
      }
      double value = 0;
      if (!rtl::TryStrToFloat(*field, value)) {
        // The platform's message, with an overlong field cut short.
        std::string shown = field->size() > 40 ? field->substr(0, 40) + "..." : *field;
        throw rtl::EConvertError(Where(fileName, i) + "'" + shown + "' is not a valid floating point value");
      }
      views[i].m[j / 4][j % 4] = static_cast<float>(value);
    }
  }
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

const rtl::TTextLimits kViewLimits{data::MaxBytes(data::TDataKind::Text), data::kMaxTextLineBytes, kViewLineLimit};
const rtl::TTextLimits kWordsLimits{data::MaxBytes(data::TDataKind::Text), data::kMaxTextLineBytes, kWordsLineLimit};

std::vector<std::string> ReadViewLines(const std::string& fileName) {
  try {
    return rtl::ReadTextLinesFromFile(fileName, kViewLimits);
  } catch (const rtl::EReadError& e) {
    throw rtl::EReadError(fileName + ": " + e.what());
  }
}

void ReadViewFile(const std::string& fileName, TViewMatrices& views) {
  ParseViewLines(ReadViewLines(fileName), fileName, views);
}

std::vector<std::string> DecodeWordsLines(std::vector<std::string> lines, bool utf8) {
  // CR and LF are never the second byte of a Shift-JIS character, so lines split the same either way.
  for (std::string& line : lines) line = utf8 ? SanitizeUtf8(line) : win::AnsiToUtf8(line);
  return lines;
}

std::vector<std::string> DecodeWordsText(std::string_view bytes) {
  const bool utf8 = bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
  if (utf8) bytes.remove_prefix(kByteOrderMark.size());
  return DecodeWordsLines(rtl::SplitLines(bytes), utf8);
}

std::vector<std::string> ReadWordsLines(rtl::TStream& stream) {
  const int64_t start = stream.Position();
  char mark[3] = {};
  const bool utf8 = stream.Read(mark, 3) == 3 && std::string_view(mark, 3) == kByteOrderMark;
  if (!utf8) stream.SetPosition(start);
  return DecodeWordsLines(rtl::ReadTextLines(stream, kWordsLimits), utf8);
}

std::vector<std::string> ReadWordsLines(const std::string& fileName) {
  try {
    rtl::TFileStream file(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    return ReadWordsLines(file);
  } catch (const rtl::EReadError& e) {
    throw rtl::EReadError(fileName + ": " + e.what());
  }
}

void ReadWordsFile(const std::string& fileName, rtl::TStringList& words) {
  std::vector<std::string> lines = ReadWordsLines(fileName);
  words.Clear();
  for (std::string& line : lines) words.Add(line);
}
