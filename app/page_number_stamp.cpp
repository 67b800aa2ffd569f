#include "app/page_number_stamp.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "app/number_stamp.h"
#include "app/page_view.h"
#include "app/zorvane_app.h"
#include "pdf/content/graph_objs.h"
#include "pdf/object/geometry.h"

namespace quarn {

PageNumberStamp::PageNumberStamp(NumberingSettings settings)
    : m_settings(std::move(settings)),
      m_font(m_settings.text.fontName, m_settings.text.typedFontName) {
  if (m_settings.style.opacity) m_opacity.emplace(*m_settings.style.opacity);
}

void PageNumberStamp::WarnUnseen(CZorvaneApp& app) const {
  if (m_unseen.pages > 0) {
    app.WriteLog("page number outside the visible page: %d page(s), first page %d", m_unseen.pages,
                 m_unseen.firstPage);
  }
}

bool PageNumberStamp::Draw(StampCanvas& canvas, int32_t page) {
  const NumberFormatSettings& settings = m_settings.text;
  const int64_t number = PageNumberValue(page, m_settings.firstPage, m_settings.initial);
  // The run frame refuses an unsafe format before anything starts; a driver used on its own
  // refuses it here, with the same line, before the page is touched.
  // The last number of the run is the one its last numbered page receives, in the same style.
  const int64_t lastNumber = PageNumberValue(m_lastPage, m_settings.firstPage, m_settings.initial);
  std::optional<std::string> text = ApplyNumberFormat(
      settings.format, NumberText(number, settings.style), NumberText(lastNumber, settings.style));
  if (!text) {
    canvas.LogError(Format("invalid number format: %s", settings.format.c_str()));
    return false;
  }
  if (!(text = m_font.Encode(*text))) {
    canvas.LogError(Format("character not in the font's encoding: %s", settings.format.c_str()));
    return false;
  }
  std::string name;
  CPDFFont* font = m_font.Named(canvas, name);
  if (!font) return false;
  NumberStamp stamp;
  if (m_opacity && !m_opacity->Name(canvas, stamp.stateName)) return false;
  stamp.fill = m_settings.style.fill;
  stamp.fontName = std::move(name);
  stamp.fontSize = settings.fontSize;
  stamp.position = Position(canvas, *font, *text, page);
  stamp.text = std::move(*text);
  // On a page shown turned the number is set in the displayed frame and carried into the page.
  const PageView& view = canvas.View();
  if (view.rotate != 0) stamp.displayToUser = view.DisplayToUser();
  // The number is always drawn over the page's content. Numbers differ from page to page, so
  // each page files a stream of its own, which leaves memory with the page. It is the last
  // thing added to the page, so nothing reads it again; a later page that draws the same text
  // only refers to it.
  CPDFObjRef filed;
  if (!canvas.AddStampOver(std::move(stamp), &filed)) return false;
  if (filed.IsDefined()) canvas.NotePageOwned(filed);
  return true;
}

bool PageNumberStamp::DrawsTextOfItsOwn(int32_t page) {
  const NumberFormatSettings& settings = m_settings.text;
  // The text belongs to this page alone when the number has a text and the format keeps all of
  // it: the texts of other numbers then differ.
  if (!m_formatKeepsNumber) {
    const std::string probe(32, '7');
    const std::optional<std::string> probed = ApplyNumberFormat(settings.format, probe);
    m_formatKeepsNumber = probed && probed->find(probe) != std::string::npos;
  }
  const int64_t number = PageNumberValue(page, m_settings.firstPage, m_settings.initial);
  return *m_formatKeepsNumber && !NumberText(number, settings.style).empty();
}

namespace {

// Every character any page's number text can hold: the format's own and the number's.
std::string NumberTextCharacters(const NumberFormatSettings& settings) {
  return ApplyNumberFormat(settings.format, "").value_or(settings.format) +
         std::string(NumberAlphabet(settings.style));
}

}  // namespace

bool PageNumberStamp::Prepare(StampCanvas& canvas) {
  const std::string drawable = NumberTextCharacters(m_settings.text);
  return m_font.ConvertText(canvas, m_settings.text.format, drawable);
}

bool PageNumberStamp::Make(StampCanvas& canvas, int32_t /*page*/) {
  // An installed face carries every character any page's number text can hold.
  const std::optional<std::string> codes = m_font.Encode(NumberTextCharacters(m_settings.text));
  return m_font.Make(canvas, canvas.Resources(), codes.value_or(std::string()));
}

TextPosition PageNumberStamp::Position(StampCanvas& canvas, CPDFFont& font, const std::string& text,
                                       int32_t page) {
  const TextMetrics metrics = m_font.Measure(font, text);
  const CPDFRect& pageBox = canvas.PageBox();
  const PageView& view = canvas.View();
  PageFrame box;
  box.llx = pageBox.Llx();
  box.lly = pageBox.Lly();
  box.width = pageBox.Width();
  box.height = pageBox.Height();
  if (!view.plain) {
    // The visible box; when the page is shown turned, its displayed frame (see Draw).
    const bool turned = view.rotate != 0;
    box.llx = turned ? 0.0f : view.llx;
    box.lly = turned ? 0.0f : view.lly;
    box.width = view.DisplayWidth();
    box.height = view.DisplayHeight();
  }
  const NumberPlacement placement =
      PlacementForPage(m_settings.placement, m_settings.spread, page, m_settings.firstPage);
  const TextPosition position = PlaceNumber(box, m_settings.text.fontSize, metrics, placement);
  // Offsets can carry the number off the page, where no reader shows it: the run says so at
  // its end.
  if (!NumberMeetsFrame(box, m_settings.text.fontSize, metrics, position)) m_unseen.Note(page);
  return position;
}

}  // namespace quarn
