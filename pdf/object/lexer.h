// The token reader shared by every reader of the library.
#pragma once

#include <cstddef>
#include <string>

#include "pdf/object/in_stream.h"

namespace quarn {

inline bool IsWhitespace(int c) { return c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
inline bool IsDelimiter(int c) {
  return c == '(' || c == ')' || c == '/' || c == '<' || c == '>' || c == '[' || c == ']';
}
inline bool IsEndOfLine(int c) { return c == 10 || c == 13; }

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

}  // namespace quarn
