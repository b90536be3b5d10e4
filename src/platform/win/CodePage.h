// The Windows ANSI code page of a Japanese system (Shift-JIS, code page 932).
// Strings inside the program are UTF-8; this code page is used at the edges:
// log files are written in it and the text files of the Windows program are read in it.
#pragma once

#include <string>
#include <string_view>

namespace win {

// UTF-8 to CP932. A character with no CP932 form becomes '?'; invalid UTF-8 bytes become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// CP932 to UTF-8. A byte sequence that is not valid CP932 becomes U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

// True when the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view text);

// Lower-cases the single-byte letters A..Z of a CP932 string, leaving the two
// bytes of every double-byte character alone (as the system's ANSI lower-casing does).
std::string AnsiLowerCase(std::string_view ansi);

// True when b is the lead byte of a double-byte CP932 character.
constexpr bool IsCp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace win
