// Byte classes shared by the text filters.
#pragma once

namespace quarn {

// The filters' whitespace: unlike the token reader, the byte 0 counts as whitespace here.
inline bool IsFilterWhitespace(unsigned char c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

}  // namespace quarn
