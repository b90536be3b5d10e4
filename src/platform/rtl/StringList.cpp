#include "platform/rtl/StringList.h"

namespace rtl {
namespace {

bool IsSeparatorBlank(char c) { return c >= 1 && c <= ' '; }

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
  if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> fields;
  size_t p = 0;
  const size_t n = text.size();
  while (p < n && IsSeparatorBlank(text[p])) ++p;
  while (p < n) {
    std::string field;
    if (text[p] == '"') {
      ++p;
      // To the closing quote; "" inside is one quote; no closing quote takes the rest.
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            field += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        field += text[p++];
      }
    } else {
      size_t start = p;
      while (p<n&& static_cast<unsigned char>(text[p])> ' ' && text[p] != ',') ++p;
      field.assign(text.substr(start, p - start));
    }
    fields.push_back(std::move(field));
    while (p < n && IsSeparatorBlank(text[p])) ++p;
    if (p < n && text[p] == ',') {
      do {
        ++p;
      } while (p < n && IsSeparatorBlank(text[p]));
    }
  }
  return fields;
}

std::vector<std::string> SplitLines(std::string_view text) {
  if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> lines;
  size_t p = 0;
  const size_t n = text.size();
  while (p < n) {
    size_t start = p;
    while (p < n && text[p] != '\r' && text[p] != '\n') ++p;
    lines.emplace_back(text.substr(start, p - start));
    if (p < n && text[p] == '\r') ++p;
    if (p < n && text[p] == '\n') ++p;
  }
  return lines;
}

std::vector<std::string> ReadTextLines(TStream& stream, const TTextLimits& limits) {
  std::vector<std::string> lines;
  std::string line;
  bool haveLine = false;  // text seen since the last line break
  bool afterCr = false;   // a LF right after a CR belongs to the same break
  auto endLine = [&] {
    if (lines.size() >= limits.maxLines) {
      throw EReadError("more than " + std::to_string(limits.maxLines) + " lines");
    }
    lines.push_back(std::move(line));
    line.clear();
    haveLine = false;
  };
  std::vector<char> piece(64 * 1024);
  int64_t total = 0;
  for (;;) {
    const int64_t n = stream.Read(piece.data(), static_cast<int64_t>(piece.size()));
    if (n <= 0) break;
    total += n;
    if (total > limits.maxBytes) throw EReadError("longer than " + std::to_string(limits.maxBytes) + " bytes");
    for (int64_t i = 0; i < n; ++i) {
      const char c = piece[static_cast<size_t>(i)];
      if (c == '\0') {
        if (haveLine) endLine();
        return lines;
      }
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        endLine();
        continue;
      }
      if (line.size() >= limits.maxLineBytes) {
        throw EReadError("line " + std::to_string(lines.size() + 1) + " is longer than " +
                         std::to_string(limits.maxLineBytes) + " bytes");
      }
      line += c;
      haveLine = true;
    }
  }
  if (haveLine) endLine();
  return lines;
}

std::vector<std::string> ReadTextLinesFromFile(const std::string& fileName, const TTextLimits& limits) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  return ReadTextLines(file, limits);
}

void TStringList::Check(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
}

const std::string& TStringList::Strings(int index) const {
  Check(index);
  return items_[static_cast<size_t>(index)];
}

void TStringList::Put(int index, const std::string& s) {
  Check(index);
  items_[static_cast<size_t>(index)] = s;
}

int TStringList::Add(const std::string& s) {
  items_.push_back(s);
  return Count() - 1;
}

void TStringList::Delete(int index) {
  Check(index);
  items_.erase(items_.begin() + index);
}

void TStringList::LoadFromFile(const std::string& fileName) {
  std::vector<uint8_t> bytes = ReadWholeFile(fileName);
  SetText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TStringList::LoadFromStream(TStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  SetText(bytes);
}

std::string TStringList::Text() const {
  std::string out;
  for (const std::string& s : items_) {
    out += s;
    out += "\r\n";
  }
  return out;
}

std::string TStringList::CommaText() const {
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i) out += ',';
    const std::string& s = items_[i];
    bool quote = s.empty();
    for (char c : s) {
      if (IsSeparatorBlank(c) || c == ',' || c == '"') quote = true;
    }
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

}  // namespace rtl
