// The token reader. Everything works on the input's buffer through the inline Peek/Get, so a
// byte costs no virtual call; the buffer is refilled 4096 bytes at a time.
#include "pdf/object/lexer.h"

#include <locale.h>

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pdf/object/limits.h"

namespace quarn {

size_t SkipWhitespace(InStream& in) {
  size_t count = 0;
  while (IsWhitespace(in.Peek())) {
    in.Get();
    ++count;
  }
  return count;
}

size_t SkipComment(InStream& in, char* buffer, size_t size) {
  if (in.Peek() != '%') return 0;
  size_t length = 0;
  size_t stored = 0;
  for (int c = in.Peek(); c != -1 && !IsEndOfLine(c); c = in.Peek()) {
    in.Get();
    if (buffer && stored + 1 < size) buffer[stored++] = static_cast<char>(c);
    ++length;
  }
  if (buffer && size) buffer[stored] = 0;
  return length;
}

char* ReadToken(InStream& in, char* buffer, size_t size) {
  if (!buffer || size == 0) return nullptr;
  size_t length = 0;
  while (length + 1 < size) {
    const int c = in.Peek();
    if (c == -1) break;
    if (IsWhitespace(c)) {
      if (length) break;
      in.Get();
    } else if (IsDelimiter(c)) {
      if (length) break;
      in.Get();
      buffer[length++] = static_cast<char>(c);
      break;
    } else if (c == '%') {
      if (length) break;
      SkipComment(in);
    } else {
      in.Get();
      buffer[length++] = static_cast<char>(c);
    }
  }
  buffer[length] = 0;
  return length ? buffer : nullptr;
}

bool ReadToken(InStream& in, std::string& token) {
  char buffer[limits::kTokenBufferSize];
  if (!ReadToken(in, buffer, sizeof buffer)) {
    token.clear();
    return false;
  }
  token.assign(buffer);
  return true;
}

size_t ReadLine(InStream& in, char* buffer, size_t size, bool dropEndOfLine) {
  if (!buffer || size == 0) return 0;
  // End-of-line bytes in front of the line belong to empty lines, which are passed over.
  while (IsEndOfLine(in.Peek())) in.Get();
  size_t stored = 0;
  auto store = [&](int c) {
    if (stored + 1 >= size) return false;
    buffer[stored++] = static_cast<char>(c);
    return true;
  };
  while (stored + 1 < size) {
    const int c = in.Peek();
    if (c == -1) break;
    if (!IsEndOfLine(c)) {
      in.Get();
      store(c);
      continue;
    }
    // The line ends here: CR, LF, or CR LF counted as one.
    in.Get();
    if (!dropEndOfLine) store(c);
    if (c == '\r' && in.Peek() == '\n' && (dropEndOfLine || stored + 1 < size)) {
      in.Get();
      if (!dropEndOfLine) store('\n');
    }
    break;
  }
  buffer[stored] = 0;
  return stored;
}

void SkipWhitespaceAndComments(InStream& in) {
  for (;;) {
    const size_t spaces = SkipWhitespace(in);
    const size_t comment = SkipComment(in);
    if (spaces == 0 && comment == 0) return;
  }
}

int64_t TokenToInt64(const char* token, bool* exact) {
  const char* p = token;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Accumulated as unsigned, only as far as needed to know that it saturates.
  constexpr uint64_t kLimit = uint64_t(INT64_MAX) + 1;
  const char* const digits = p;
  uint64_t magnitude = 0;
  bool saturated = false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const auto digit = static_cast<uint64_t>(*p - '0');
    if (magnitude > (kLimit - digit) / 10) {
      magnitude = kLimit;
      saturated = true;
    } else {
      magnitude = magnitude * 10 + digit;
    }
  }
  if (!negative && magnitude == kLimit) {
    magnitude = kLimit - 1;
    saturated = true;
  }
  if (exact) *exact = p != digits && *p == 0 && !saturated;
  if (!negative) return static_cast<int64_t>(magnitude);
  return magnitude == kLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
}

int32_t TokenToInt(const char* token) {
  return static_cast<int32_t>(std::clamp<int64_t>(TokenToInt64(token), INT32_MIN, INT32_MAX));
}

double TokenToDouble(const char* token) {
  // strtod in the C locale: the process runs in the host's locale, whose decimal point need not
  // be ".".
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const double value = cLocale ? strtod_l(token, nullptr, cLocale) : std::strtod(token, nullptr);
  // Beyond what a PDF real can hold (a 32-bit float's range) only the integer is kept.
  if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) {
    return static_cast<double>(TokenToInt64(token));
  }
  return value;
}

float TokenToReal(const char* token) { return static_cast<float>(TokenToDouble(token)); }

bool ReadIntToken(InStream& in, int64_t& value) {
  char token[limits::kTokenBufferSize];
  if (!ReadToken(in, token, sizeof token)) return false;
  value = TokenToInt64(token);
  return true;
}

bool ReadRealToken(InStream& in, float& value) {
  char token[limits::kTokenBufferSize];
  if (!ReadToken(in, token, sizeof token)) return false;
  value = TokenToReal(token);
  return true;
}

bool ReadBoolToken(InStream& in, bool& value) {
  char token[limits::kTokenBufferSize];
  if (!ReadToken(in, token, sizeof token)) return false;
  if (std::strcmp(token, "true") == 0) value = true;
  if (std::strcmp(token, "false") == 0) value = false;
  return true;
}

}  // namespace quarn
