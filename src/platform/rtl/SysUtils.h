// The run-time library's exceptions and conversions that the program relies on.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rtl {

// The run-time library's base exception class. Messages are UTF-8.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
  int ErrorCode;
};

class EStreamError : public Exception {
  using Exception::Exception;
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
class EConvertError : public Exception {
  using Exception::Exception;
};
class ERangeError : public Exception {
 public:
  ERangeError() : Exception("Range check error") {}
  using Exception::Exception;
};
class EIntOverflow : public Exception {
 public:
  EIntOverflow() : Exception("Integer overflow") {}
};
class EStringListError : public Exception {
  using Exception::Exception;
};
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};

// The orderly end of the program: thrown by Halt and caught in main, so that the
// destructors of everything alive run before the process exits with the code.
class EHalt {
 public:
  explicit EHalt(int code) : ExitCode(code) {}
  int ExitCode;
};

[[noreturn]] void Halt(int exitCode = 0);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Decimal number rules of the platform: blanks around the number are allowed,
// an optional sign, digits with an optional '.' fraction and an optional exponent.
// Throws EConvertError "'%s' is not a valid floating point value".
double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, double& value);

// Integer rules of the platform (leading blanks, sign, decimal or '$' hex);
// StrToInt throws EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, int32_t& value);
int32_t StrToIntDef(std::string_view text, int32_t fallback);

std::string IntToStr(int64_t value);

// Text of the last error of a system call, as the platform's error messages give it.
std::string SysErrorMessage(int errorCode);

}  // namespace rtl
