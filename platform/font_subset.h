// Subsets of installed font programs, made by HarfBuzz's subsetter, for embedding in documents.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace quarn {

struct FontSubset {
  std::string program;  // the subset font program (a TrueType file)
  // The glyph of each kept character in the subset (glyph numbers change in a subset).
  std::map<char32_t, uint32_t> glyphOfCharacter;
};

// The face `index` of `file` cut down to the glyphs of `characters` (and .notdef), hinting and
// everything else the subsetter keeps by default left in. Characters the face lacks are left
// out of the map. None when the file cannot be read or the subsetter fails.
std::optional<FontSubset> SubsetFontFile(const std::string& file, int index,
                                         const std::set<char32_t>& characters);

// The face `index` of `file` cut down to `glyphs` (and .notdef), each keeping its number (the
// glyphs between are left empty), for fonts whose codes are the face's glyph numbers. None
// when the file cannot be read or the subsetter fails.
std::optional<std::string> SubsetFontGlyphs(const std::string& file, int index,
                                            const std::set<uint32_t>& glyphs);

}  // namespace quarn
