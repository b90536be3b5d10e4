#include "platform/win/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace win {
namespace {

// Converts with iconv, replacing what cannot be converted one input unit at a time.
// `step` is how many bytes to skip on an invalid sequence, `replacement` what to write.
std::string Convert(const char* to, const char* from, std::string_view in, std::string_view replacement,
                    bool utf8Input) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2 + 4);
  std::vector<char> buf(in.size() * 4 + 16);
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  while (inLeft > 0) {
    char* outPtr = buf.data();
    size_t outLeft = buf.size();
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buf.data(), static_cast<size_t>(outPtr - buf.data()));
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip one character of the input and write the replacement.
    size_t skip = 1;
    if (utf8Input) {
      unsigned char c = static_cast<unsigned char>(*inPtr);
      size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
      // Only skip a whole character when its continuation bytes are really there.
      if (len > inLeft) len = 1;
      for (size_t i = 1; i < len; ++i)
        if ((static_cast<unsigned char>(inPtr[i]) & 0xC0) != 0x80) len = 1;
      skip = len;
    } else {
      unsigned char c = static_cast<unsigned char>(*inPtr);
      if (IsCp932LeadByte(c) && inLeft >= 2) {
        unsigned char t = static_cast<unsigned char>(inPtr[1]);
        if (t >= 0x40 && t != 0x7F && t <= 0xFC) skip = 2;
      }
    }
    inPtr += skip;
    inLeft -= skip;
    out.append(replacement);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) { return Convert("CP932", "UTF-8", utf8, "?", true); }

std::string AnsiToUtf8(std::string_view ansi) { return Convert("UTF-8", "CP932", ansi, "\xEF\xBF\xBD", false); }

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c >> 5) == 6) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c >> 4) == 14) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c >> 3) == 30) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

std::string AnsiLowerCase(std::string_view ansi) {
  std::string out(ansi);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsCp932LeadByte(c) && i + 1 < out.size()) {
      ++i;  // the trail byte may look like a letter; it is not one
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + ('a' - 'A'));
    }
  }
  return out;
}

}  // namespace win
