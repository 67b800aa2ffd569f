#include "app/text_watermark_stamp.h"

#include <algorithm>
#include <utility>

#include "app/driver.h"
#include "pdf/content/graph_obj.h"
#include "pdf/content/graph_objs.h"
#include "pdf/content/xobject.h"
#include "pdf/document/doc.h"
#include "pdf/document/res_dict.h"
#include "pdf/font/font.h"
#include "pdf/font/font_desc.h"
#include "pdf/object/geometry.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

// Entry `index` of the font's FontBBox, in thousandths of the size; none when missing.
std::optional<double> FontBoxEntry(CPDFFont& font, size_t index) {
  const CPDFFontDesc* descriptor = font.GetFontDescriptor();
  const CPDFArray* box = descriptor ? descriptor->Get_FontBBox() : nullptr;
  if (!box || box->Count() <= index) return std::nullopt;
  const auto* number = dynamic_cast<const CPDFNumber*>(box->At(index));
  if (!number) return std::nullopt;
  return number->RealValue();
}

}  // namespace

TextWatermarkStamp::TextWatermarkStamp(TextWatermarkSettings settings, bool fit, bool up,
                                       std::optional<float> opacity)
    : WatermarkStamp(std::string(), fit, up, opacity),
      m_settings(std::move(settings)),
      m_text(m_settings.text),
      m_font(m_settings.font.fontName, m_settings.font.typedFontName) {
  // A size given is kept; without one the text spans most of the page. -fit makes it as large
  // as stays inside the page (stretching a text would distort its letters).
  if (fit) {
    m_layout.sizing = WatermarkSizing::kInside;
  } else {
    m_layout.sizing = m_settings.font.size ? WatermarkSizing::kNatural : WatermarkSizing::kSpan;
  }
  m_layout.location = m_settings.font.location;
}

bool TextWatermarkStamp::Prepare(StampCanvas& canvas) {
  m_text = m_settings.text;
  if (!m_font.ConvertText(canvas, m_text)) return false;
  // Every character was found in the font: the text is now drawn in its codes.
  m_text = m_font.Encode(m_text).value_or(std::string());
  return true;
}

std::unique_ptr<CPDFFormXObj> TextWatermarkStamp::MakeForm(
    StampCanvas& canvas, std::unique_ptr<CPDFDoc>& /*watermarkDoc*/) {
  CPDFDoc& doc = canvas.Document();
  auto resources = std::make_unique<CPDFResDict>();
  if (!resources->Create(&doc)) {
    canvas.LogError("cannot define PDF FormXObject", doc.LastError());
    return nullptr;
  }
  if (!m_font.Make(canvas, *resources, m_text)) return nullptr;
  CPDFFont& font = *m_font.MadeFont();
  const TextMetrics metrics = m_font.Measure(font, m_text);
  if (metrics.width < 0) {
    canvas.LogError(Format("character not in the font's encoding: %s", m_settings.text.c_str()));
    return nullptr;
  }
  // The box spans the text's advance and, upwards and downwards, the font's Ascent and Descent
  // widened to its FontBBox, so that accents above capitals and descenders are not clipped.
  const float size = m_settings.font.size.value_or(kNominalSize);
  const double milli = size * 0.001;
  const double top =
      std::max<double>(metrics.ascent.value_or(0), FontBoxEntry(font, 3).value_or(0));
  const double bottom =
      std::min<double>(metrics.descent.value_or(0), FontBoxEntry(font, 1).value_or(0));
  const double right = metrics.width * milli;
  const double upper = top > bottom ? top * milli : size;

  CPDFGraphObjs objects;
  auto colour = std::make_unique<PageDescOperator>();
  const RGBColour& fill = m_settings.font.colour;
  colour->SetFillRGB(fill[0], fill[1], fill[2]);
  objects.Append(std::move(colour));
  objects.AddTextObject()
      .BeginText()
      .SetFont(m_font.MadeName(), size)
      .MoveText(0.0f, 0.0f)
      .ShowText(m_text.data(), m_text.size())
      .EndText();
  auto form = std::make_unique<CPDFFormXObj>();
  CPDFErrorRecord error;
  auto box = std::make_unique<CPDFRect>();
  auto matrix = std::make_unique<CPDFMatrix>();
  const bool made = form->Create(&doc) && objects.UpdateContents(*form, error) &&
                    form->EncodeFlateFilter(error) &&
                    box->Create(&doc, 0.0f, static_cast<float>(bottom * milli),
                                static_cast<float>(right), static_cast<float>(upper)) &&
                    form->Set_BBox(std::move(box)) && matrix->Create(&doc) &&
                    form->Set_Matrix(std::move(matrix)) &&
                    form->Set_Resources(std::move(resources));
  if (!made) {
    canvas.LogError("cannot define PDF FormXObject", error.IsError() ? error : doc.LastError());
    return nullptr;
  }
  return form;
}

}  // namespace quarn
