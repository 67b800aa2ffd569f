// Record layouts of the built-in font tables in pdf/font/data/*.inc (written by
// tools/gen_font_data.py). Only the font sources include this header.
#pragma once

#include <cstdint>

namespace quarn::builtin {

struct BuiltInGlyph {
  const char* name;
  int16_t code;
  int16_t wx;
  int16_t bbox[4];
};

struct BuiltInFontHeader {
  const char* fontName;
  const char* fullName;
  const char* familyName;
  const char* weight;
  int16_t fontBBox[4];
  const char* version;
  const char* encodingScheme;
  const char* characterSet;
  int32_t characters;
  bool isBaseFont;
  bool isFixedPitch;
  bool isCIDFont;
  int16_t capHeight;
  int16_t xHeight;
  int16_t ascender;
  int16_t descender;
  int16_t stdHW;
  int16_t stdVW;
  int16_t underlinePosition;
  int16_t underlineThickness;
  int16_t italicAngle;
  const BuiltInGlyph* glyphs;
  int glyphCount;
};

// A CID-keyed font: its header and the advance width of every CID from 0.
struct BuiltInCIDFont {
  BuiltInFontHeader header;
  const int16_t* widths;
  int count;
};

struct BuiltInEncodingEntry {
  uint8_t code;
  const char* name;
};

struct BuiltInEncoding {
  const char* name;
  const BuiltInEncodingEntry* entries;  // highest code first
  int count;
};

}  // namespace quarn::builtin
