#include "SXView1/ViewData.h"

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

void ReadViewFile(const std::string& fileName, TViewMatrices& views) {
  rtl::TStringList lines;
  lines.LoadFromFile(fileName);
  ParseViewLines(lines.Items(), fileName, views);
}

std::vector<std::string> DecodeWordsText(std::string_view bytes) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  bool utf8 = bytes.substr(0, 3) == kBom;
  if (utf8) bytes.remove_prefix(3);
  // CR and LF are never the second byte of a Shift-JIS character, so lines split the same either way.
  std::vector<std::string> lines = rtl::SplitLines(bytes);
  for (std::string& line : lines) line = utf8 ? SanitizeUtf8(line) : win::AnsiToUtf8(line);
  return lines;
}

void ReadWordsFile(const std::string& fileName, rtl::TStringList& words) {
  std::vector<uint8_t> bytes = rtl::ReadWholeFile(fileName);
  words.Clear();
  for (std::string& line :
       DecodeWordsText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
    words.Add(line);
  }
}
