#include "pdf/object/utf8.h"

namespace quarn {

size_t UTF8SequenceLength(std::string_view s, size_t i, char32_t* value) {
  const auto lead = static_cast<unsigned char>(s[i]);
  size_t length = 0;
  char32_t character = 0;
  if (lead < 0x80) {
    length = 1;
    character = lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    character = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    character = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    character = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    character = character << 6 | (c & 0x3F);
  }
  const bool overlong = (length == 3 && character < 0x800) || (length == 4 && character < 0x10000);
  const bool invalid = (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF;
  if (overlong || invalid) return 0;
  if (value) *value = character;
  return length;
}

}  // namespace quarn
