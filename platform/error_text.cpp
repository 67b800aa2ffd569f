#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace quarn {

namespace {

// strerror_r comes in two flavours: GNU returns the text, XSI fills the buffer and returns an
// int. Overloads on the return type pick whichever this C library declares.
[[maybe_unused]] const char* PickText(const char* gnuResult, const char*) { return gnuResult; }
[[maybe_unused]] const char* PickText(int xsiResult, const char* buffer) {
  return xsiResult == 0 ? buffer : nullptr;
}

}  // namespace

std::string SystemErrorText(int errorNumber) {
  // Callers are usually in the middle of reporting a failure; errno stays theirs.
  const int savedErrno = errno;
  char buffer[256] = {};
  const char* text = PickText(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
  std::string result = text != nullptr && *text != '\0'
                           ? std::string(text)
                           : "Unknown error " + std::to_string(errorNumber);
  errno = savedErrno;
  return result;
}

}  // namespace quarn
