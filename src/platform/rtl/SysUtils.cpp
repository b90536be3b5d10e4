#include "platform/rtl/SysUtils.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace rtl {

void Halt(int exitCode) { throw EHalt(exitCode); }

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool TryStrToFloat(std::string_view s, double& value) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // Accumulate digits as text and let strtod do the correctly rounded conversion.
  std::string digits;
  bool any = false;
  while (i < n && s[i] >= '0' && s[i] <= '9') {
    digits += s[i++];
    any = true;
  }
  if (i < n && s[i] == '.') {
    digits += s[i++];
    while (i < n && s[i] >= '0' && s[i] <= '9') {
      digits += s[i++];
      any = true;
    }
  }
  if (!any) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    std::string exp = "e";
    size_t j = i + 1;
    if (j < n && (s[j] == '+' || s[j] == '-')) exp += s[j++];
    bool expDigits = false;
    while (j < n && s[j] >= '0' && s[j] <= '9') {
      exp += s[j++];
      expDigits = true;
    }
    if (!expDigits) return false;
    digits += exp;
    i = j;
  }
  while (i < n && IsBlank(s[i])) ++i;
  if (i != n) return false;
  double v = std::strtod(digits.c_str(), nullptr);
  if (!std::isfinite(v)) return false;
  value = negative ? -v : v;
  return true;
}

double StrToFloat(std::string_view text) {
  double v;
  if (!TryStrToFloat(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return v;
}

bool TryStrToInt(std::string_view s, int32_t& value) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < n && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return false;
  int64_t v = 0;
  for (; i < n; ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (base == 10) {
    if (negative ? v > 2147483648LL : v > 2147483647LL) return false;
    value = static_cast<int32_t>(negative ? -v : v);
  } else {
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    if (negative) value = static_cast<int32_t>(0u - static_cast<uint32_t>(value));
  }
  return true;
}

int32_t StrToInt(std::string_view text) {
  int32_t v;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
  int32_t v;
  return TryStrToInt(text, v) ? v : fallback;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string SysErrorMessage(int errorCode) {
  switch (errorCode) {
    case ENOENT:
      return "The system cannot find the file specified";
    case EACCES:
      return "Access is denied";
    default:
      return std::strerror(errorCode);
  }
}

}  // namespace rtl
