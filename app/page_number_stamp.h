// The page number: a number in decimal or Roman style put through the user's printf format,
// drawn over the content of every page of its range in one font, made once a run in the output
// document, at one of eight places along the edges of the page's visible frame.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/numbering.h"
#include "app/opacity_state.h"
#include "app/stamp.h"
#include "app/stamp_font.h"
#include "app/stamp_style.h"
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
  // written) when a character is not in that encoding.
  bool Prepare(StampCanvas& canvas) override;
  StampPlace Place() const override { return StampPlace::kOver; }
  bool Made() const override { return m_font.Made(); }
  bool Make(StampCanvas& canvas, int32_t page) override;
  bool Draw(StampCanvas& canvas, int32_t page) override;
  bool DrawsTextOfItsOwn(int32_t page) override;
  void WarnUnseen(CZorvaneApp& app) const override;

 private:
  TextPosition Position(StampCanvas& canvas, CPDFFont& font, const std::string& text, int32_t page);

  NumberingSettings m_settings;
  StampFont m_font;
  // Whether the number format keeps the whole number text (found on the first numbered page).
  std::optional<bool> m_formatKeepsNumber;
  std::optional<OpacityState> m_opacity;  // with an opacity other than 1
  UnseenPages m_unseen;
};

}  // namespace quarn
