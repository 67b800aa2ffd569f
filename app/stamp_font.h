// The font a text stamp is drawn in (the page number, a text watermark): a standard Type 1 font,
// a Japanese CID font or an installed TrueType face (embedded as a subset), made once a run in
// the output document. It also turns a UTF-8 text typed on the command line into the encoding
// the font will read, and measures texts in it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/numbering.h"
#include "pdf/font/identity_font.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFFont;
class CPDFResDict;
class StampCanvas;

class StampFont {
 public:
  // `fontName` as the options give it ("Arial,Bold"), `typedName` as typed ("Arial-Bold"):
  // the second is tried when the first finds no font.
  StampFont(std::string fontName, std::string typedName);

  // Picks the encoding the font is made with and turns `text`, when it is UTF-8, into it; false
  // (its line written) when a character is not in that encoding. An installed face whose
  // encoding lacks a character draws by its glyph numbers instead, when it has a glyph for every
  // character of `drawable` (UTF-8: all the stamp may draw, `text` when empty); `text` then
  // stays UTF-8 and Encode turns each text drawn into codes. Called before Make.
  bool ConvertText(StampCanvas& canvas, std::string& text, const std::string& drawable = {});
  // `text` in the font's codes: itself, or its glyph numbers for a font that draws by them;
  // none when it holds a character the font has no code for.
  std::optional<std::string> Encode(const std::string& text) const;
  bool Made() const { return m_ref.IsDefined(); }
  // Makes the font in the output document and names it in `resources`; an installed face
  // embeds a subset of `characters` (in the font's codes: see Encode). False, with its lines
  // written.
  bool Make(StampCanvas& canvas, CPDFResDict& resources, const std::string& characters);
  // The font, named in the current page's resources: the one Make named on the page it was
  // made on, fetched by its identity after that page. nullptr after a failure (lines written).
  CPDFFont* Named(StampCanvas& canvas, std::string& name);
  // The font just made and its name (for a form that holds it, rather than a page).
  CPDFFont* MadeFont() const { return m_madeFont; }
  const std::string& MadeName() const { return m_madeName; }

  // The width of `text` in thousandths of the size (-1 when it cannot be measured), and the
  // descriptor's Ascent and Descent.
  TextMetrics Measure(CPDFFont& font, const std::string& text);

 private:
  CPDFFont* Fetch(CPDFDoc& doc);
  bool NameOnPage(StampCanvas& canvas, const CPDFFont& font, std::string& name);
  int32_t TextWidth(CPDFFont& font, const std::string& text);

  std::string m_fontName;
  std::string m_typedName;
  CPDFObjRef m_ref;                // the font in the output document, once made
  CPDFFont* m_madeFont = nullptr;  // it, with its name, on the page it was made on until drawn
  std::string m_madeName;
  std::array<std::optional<int32_t>, 256> m_byteWidths;  // of the font, once measured
  // The font name whose kind ConvertText found, and the encoding to make it with.
  std::string m_fontPlanned;
  std::string m_encoding;
  // The planned face's glyphs for the text's characters, when they are beyond its encoding.
  std::optional<FaceGlyphText> m_glyphText;
};

}  // namespace quarn
