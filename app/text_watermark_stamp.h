// The text watermark (-wmt): a line of text in any font the page number can use, made once a run
// into a form XObject of the output document (its BBox the text's extent) and placed as the PDF
// watermark is: centred in each page's visible frame (or against its edges), under or over the
// content, turned with -wmr; at the size -wmf gives, else scaled to span most of the page.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/stamp_font.h"
#include "app/stamp_style.h"
#include "app/watermark_stamp.h"

namespace quarn {

// -wmt "Text,StartPage,EndPage" with -wmf "Font,Size,Colour".
struct TextWatermarkSettings {
  std::string text;  // UTF-8 as typed, "\," read as ","
  int32_t firstPage = 1;
  int32_t lastPage = 0;  // 0: the last page; negative: no page at all
  WatermarkFont font;
};

class TextWatermarkStamp final : public WatermarkStamp {
 public:
  TextWatermarkStamp(TextWatermarkSettings settings, bool fit, bool up,
                     std::optional<float> opacity);

  // Turns the text into the font's encoding; false (its line written) when it cannot be.
  bool Prepare(StampCanvas& canvas) override;

 protected:
  std::unique_ptr<CPDFFormXObj> MakeForm(StampCanvas& canvas,
                                         std::unique_ptr<CPDFDoc>& watermarkDoc) override;

 private:
  // The size the text is set at in the form when -wmf gives none: the form's Matrix scales it.
  static constexpr float kNominalSize = 100.0f;

  TextWatermarkSettings m_settings;
  std::string m_text;  // in the font's encoding
  StampFont m_font;
};

}  // namespace quarn
