// The token reader shared by every reader of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pdf/object/in_stream.h"

namespace quarn {

inline bool IsWhitespace(int c) { return c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
inline bool IsDelimiter(int c) {
  return c == '(' || c == ')' || c == '/' || c == '<' || c == '>' || c == '[' || c == ']';
}
inline bool IsEndOfLine(int c) { return c == 10 || c == 13; }
// A byte that begins a number token: a digit, a sign or a decimal point.
inline bool StartsNumber(int c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Consumes whitespace; returns the count skipped.
size_t SkipWhitespace(InStream& in);
// 0 when the next byte is not "%"; otherwise consumes the comment up to (not including) the end
// of line, copies at most size - 1 of its bytes into buffer when given, returns its length.
size_t SkipComment(InStream& in, char* buffer = nullptr, size_t size = 0);
// Reads one token of at most size - 1 bytes (size is 256 everywhere); nullptr when no token was
// found before the end of input.
char* ReadToken(InStream& in, char* buffer, size_t size);
// The same into a std::string; false at the end of input.
bool ReadToken(InStream& in, std::string& token);
// Reads one line (CR, LF or CR LF ends it; empty lines are passed over); returns bytes stored.
size_t ReadLine(InStream& in, char* buffer, size_t size, bool dropEndOfLine);
// Skips whitespace and comments, alternately, until neither is next.
void SkipWhitespaceAndComments(InStream& in);

// The two number conversions of a token, independent of the process locale. Both stop at the
// first byte they cannot use ("3.5.1" gives 3 and 3.5).
// Decimal integer of the token's leading sign and digits, saturated to the 64-bit range: numbers
// count a file's bytes. `exact`, when given, tells whether the token is nothing but a sign and
// digits whose value the result holds without saturating.
int64_t TokenToInt64(const char* token, bool* exact = nullptr);
// The same saturated to the 32-bit range, for values that are 32-bit by nature (object numbers).
int32_t TokenToInt(const char* token);
// Floating conversion of the token (strtod rules) as a 32-bit float; a value that a float
// cannot hold (NaN, infinity, overflow) is replaced by the token's integer value.
float TokenToReal(const char* token);
// The same as a double (what a number read from a file is written back as).
double TokenToDouble(const char* token);

// The typed extractors: each reads one token; false (target unchanged) at the end of input.
bool ReadIntToken(InStream& in, int64_t& value);
bool ReadRealToken(InStream& in, float& value);
// Leaves `value` unchanged for a token other than "true" or "false" (and still returns true).
bool ReadBoolToken(InStream& in, bool& value);

}  // namespace quarn
