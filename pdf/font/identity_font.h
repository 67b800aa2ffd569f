// Text in any script an installed TrueType face can draw, beyond the face's single-byte or
// CP932 encoding: a Type 0 font with Identity-H over a CIDFontType2 descendant whose CIDs are
// the face's own glyph numbers (CIDToGIDMap Identity), so that each character is shown as its
// glyph number in two bytes. W holds the advances of the glyphs from the face, and a ToUnicode
// CMap gives readers the characters back for extraction and search. EmbedFontSubset embeds the
// face's glyphs under their own numbers. Glyphs are set one after the other without shaping,
// so right-to-left text and combining marks are not taken.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/font/font_caches.h"
#include "pdf/font/type0_font.h"

namespace quarn {

// A character such a font cannot draw, and why.
struct UndrawableCharacter {
  enum class Reason { kNotInFace, kRightToLeft, kCombining };
  std::string character;  // its UTF-8 bytes
  Reason reason = Reason::kNotInFace;
};

// The glyphs of one installed face for a known set of characters: what the font is made for,
// and how a text of those characters becomes its codes.
class FaceGlyphText {
 public:
  // The glyphs of `face` for every character of the UTF-8 text `characters`. None when one of
  // them cannot be drawn (the first such one is told in `undrawable`), or when `characters` is
  // not UTF-8 (`undrawable` then names no character). Throws LibraryUnavailable when the host
  // lacks FreeType or HarfBuzz.
  static std::optional<FaceGlyphText> Find(const TrueTypeInfo& face, std::string_view characters,
                                           UndrawableCharacter& undrawable);

  // The codes of the UTF-8 text `utf8` (big-endian glyph numbers); none when it holds a
  // character that was not among those found.
  std::optional<std::string> Encode(std::string_view utf8) const;

  // The Type 0 font of face `fontName` (as the font caches file it) drawing these glyphs, not
  // embedded yet. Failures go to the document's last-error record; nullptr then.
  std::unique_ptr<CPDFType0Font> CreateFont(CPDFObjHolder* doc, const std::string& fontName) const;

 private:
  std::map<char32_t, FaceGlyph> m_glyphs;
};

// The ToUnicode CMap of glyph numbers: each glyph of `glyphs` (character to glyph) gives the
// lowest character drawn with it, in UTF-16BE (a surrogate pair beyond the BMP).
std::string GlyphToUnicodeCMap(const std::map<char32_t, FaceGlyph>& glyphs);

}  // namespace quarn
