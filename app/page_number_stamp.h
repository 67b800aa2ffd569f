// The page number: a number in decimal or Roman style put through the user's printf format,
// drawn over the content of every page of its range in one font, made once a run in the output
// document, at one of eight places along the edges of the page's visible frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/numbering.h"
#include "app/opacity_state.h"
#include "app/stamp.h"
#include "app/stamp_style.h"
#include "pdf/font/identity_font.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFFont;

// The page-numbering settings (filled from -nbp, -nbf, -nbs and -sp).
struct NumberingSettings {
  bool on = false;
  int32_t firstPage = 0;  // N1: 1 by default with -nbp, 0 without
  int32_t lastPage = 0;   // N2: 0 means the last page
  int32_t initial = 1;
  bool spread = false;
  NumberFormatSettings text;  // -nbf: style, format, font and size
  NumberPlacement placement;  // -nbs: location and offsets in points
  StampStyle style;           // -nbc: colour and opacity
};

class PageNumberStamp final : public Stamp {
 public:
  explicit PageNumberStamp(NumberingSettings settings);

  // Picks the encoding the font is made with and turns a UTF-8 format into it; false (its line
  // written) when a character is not in that encoding. An installed face whose encoding lacks a
  // character of the format draws the UTF-8 text by its glyph numbers instead, when it has
  // every glyph.
  bool Prepare(StampCanvas& canvas) override;
  StampPlace Place() const override { return StampPlace::kOver; }
  bool Made() const override { return m_fontRef.IsDefined(); }
  bool Make(StampCanvas& canvas, int32_t page) override;
  bool Draw(StampCanvas& canvas, int32_t page) override;
  bool DrawsTextOfItsOwn(int32_t page) override;
  void WarnUnseen(CZorvaneApp& app) const override;

 private:
  // The font, named in the current page's resources (fetched by its identity after the page it
  // was made on). nullptr after a failure (its lines are written).
  CPDFFont* NamedFont(StampCanvas& canvas, std::string& name);
  CPDFFont* FetchFont(CPDFDoc& doc);
  bool PrepareGlyphText(StampCanvas& canvas, const TrueTypeInfo& face);
  bool NameFont(StampCanvas& canvas, const CPDFFont& font, std::string& name);
  TextPosition Position(StampCanvas& canvas, CPDFFont& font, const std::string& text, int32_t page);
  int32_t TextWidth(CPDFFont& font, const std::string& text);

  NumberingSettings m_settings;
  CPDFObjRef m_fontRef;            // the font in the output document, once made
  CPDFFont* m_madeFont = nullptr;  // it, with its name, on the page it was made on until drawn
  std::string m_madeName;
  std::array<std::optional<int32_t>, 256> m_byteWidths;  // of the font, once measured
  // Whether the number format keeps the whole number text (found on the first numbered page).
  std::optional<bool> m_formatKeepsNumber;
  // The font name whose kind Prepare found, and the encoding to make it with.
  std::string m_fontPlanned;
  std::string m_encoding;
  // The planned face's glyphs for the format's characters, when they are beyond its encoding.
  std::optional<FaceGlyphText> m_glyphText;
  std::optional<OpacityState> m_opacity;  // with an opacity other than 1
  UnseenPages m_unseen;
};

}  // namespace quarn
