// Embedding the installed face behind a TrueType font: a subset holding the glyphs a text
// needs, as FontFile2, with a subset tag on the font's names; for CIDFontType2 descendants also
// the CIDToGIDMap from the Adobe-Japan1 CIDs drawn to the subset's glyphs. Readers that lack the
// face then draw the face the widths were measured with.
#pragma once

#include <string>
#include <string_view>

#include "pdf/font/font.h"

namespace quarn {

enum class EmbedOutcome {
  kEmbedded,
  kNotEmbedded,     // nothing to embed: no installed face (the Heisei records), another kind
                    // of font, an encoding the face cannot be cut by, or a style the reader
                    // is to simulate ("DejaVuSans,Bold" with no bold face installed)
  kLicenceForbids,  // the face's OS/2 fsType forbids embedding (or subsetting) it
  kFailed,          // the face could not be read or cut; the font stays as it was
};

struct EmbedResult {
  EmbedOutcome outcome = EmbedOutcome::kNotEmbedded;
  std::string warning;  // one log line for kLicenceForbids and kFailed
};

// The Adobe-Japan1 CID to Unicode data of poppler-data.
inline constexpr const char* kAdobeJapan1ToUnicodeFile =
    "/usr/share/poppler/cidToUnicode/Adobe-Japan1";

// Embeds a subset of the face of `font` (a CPDFTrueTypeFont in WinAnsiEncoding, or a Type 0
// font over a CPDFType2CIDFont) that holds every glyph the bytes of `text` select; a Type 0
// font whose codes are glyph numbers (pdf/font/identity_font.h) keeps those numbers in its
// subset. A font that is not embedded is left exactly as it was. Throws LibraryUnavailable
// when the host lacks a library the subset needs.
EmbedResult EmbedFontSubset(CPDFFont& font, std::string_view text);

// The six capital letters that tag a subset: the same name and characters give the same tag.
std::string SubsetTag(std::string_view fontName, const std::u32string& characters);

}  // namespace quarn
