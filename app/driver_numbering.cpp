// The page-numbering part of the driver: reading -nbp, -nbf, -nbs and -sp, and stamping the
// number of one page.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "app/number_stamp.h"
#include "app/numbering_text.h"
#include "app/zorvane_app.h"
#include "pdf/object/geometry.h"
#include "pdf/content/graph_objs.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/font/afm_file.h"
#include "pdf/font/font.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/font_desc.h"
#include "pdf/font/metrics.h"
#include "pdf/font/truetype_embed.h"
#include "pdf/font/truetype_font.h"
#include "pdf/font/type1_font.h"
#include "platform/installed_fonts.h"

namespace quarn {

namespace {

// The name under which `fonts` already refers to the font `ref`, or empty.
std::string NameReferringTo(const CPDFDict* fonts, const CPDFObjRef& ref) {
  if (!fonts) return std::string();
  for (const auto& [key, atom] : *fonts) {
    if (atom && atom->IsRef() && *static_cast<const CPDFObjRef*>(atom.get()) == ref) return key;
  }
  return std::string();
}

std::optional<int32_t> IntegerEntry(const CPDFNumber* number) {
  if (!number) return std::nullopt;
  return number->IntValue();
}

// The names a -nbf Font field is tried under: as converted ("Arial,Bold"), then as typed.
std::vector<std::string> FontNameCandidates(const NumberFormatSettings& settings) {
  std::vector<std::string> names{settings.fontName};
  if (settings.typedFontName != settings.fontName) names.push_back(settings.typedFontName);
  return names;
}

// An installed face is mostly not on the reader's machine: the font carries a subset of it,
// made once for every character any page's number text can hold. A face that may not be
// embedded says so in one log line.
void EmbedNumberingFont(CPDFFont& font, const NumberFormatSettings& settings, CZorvaneApp& app) {
  std::string characters = ApplyNumberFormat(settings.format, "").value_or(settings.format);
  characters += NumberAlphabet(settings.style);
  const EmbedResult result = EmbedFontSubset(font, characters);
  if (!result.warning.empty()) app.WriteLog("%s", result.warning.c_str());
}

// What to try instead of a font name that found nothing: the installed faces that come nearest
// to it, or how to list them all.
std::string InstalledFacesHint(const std::string& typedName) {
  constexpr size_t kNearestShown = 3;
  const std::vector<std::string> nearest = NearestInstalledFamilies(typedName, kNearestShown);
  if (nearest.empty()) return "installed faces: fc-list :outline family";
  std::string line = "nearest installed faces: ";
  for (size_t i = 0; i < nearest.size(); ++i) line += (i ? ", " : "") + nearest[i];
  return line;
}

}  // namespace

void CPDFDriver::SetNumberingOptions(const StampOptions& options) {
  m_numbering = NumberingSettings{};
  m_numbering.spread = options.spread;
  // -nbf and -nbs alone change nothing: they are read for a numbered run only. Without -nbp the
  // numbering range is 0..0, resolved later to 0..page count, and StampNumber does nothing on it.
  if (!options.numberingOn) return;
  m_numbering.on = true;
  const NumberingPages pages = ParseNumberingPagesOption(options.numberingPagesSpec.value_or(""));
  m_numbering.firstPage = pages.firstPage;
  m_numbering.lastPage = pages.lastPage;
  m_numbering.initial = pages.initial;
  m_numbering.text = ParseNumberFormatOption(options.numberFormatSpec.value_or(""));
  m_numbering.placement = ParseNumberPlacementOption(options.numberPlacementSpec);
  m_numberingPagesValue = options.numberingPagesSpec.value_or("");
  if (options.numberPlacementSpec && PlacementLocationOutOfRange(*options.numberPlacementSpec)) {
    m_app.WriteLog("location out of 1-8 in -nbs, 8 used: %s", options.numberPlacementSpec->c_str());
  }
}

bool CPDFDriver::StampNumber(int32_t page) {
  if (!m_numbering.on) return true;
  const NumberFormatSettings& settings = m_numbering.text;
  const int64_t number = PageNumberValue(page, m_numbering.firstPage, m_numbering.initial);
  // The run frame refuses an unsafe format before anything starts; a driver used on its own
  // refuses it here, with the same line, before the page is touched.
  std::optional<std::string> text =
      ApplyNumberFormat(settings.format, NumberText(number, settings.style));
  if (!text) {
    LogError(Format("invalid number format: %s", settings.format.c_str()));
    return false;
  }
  std::string name;
  CPDFFont* font = NumberingFont(name);
  if (!font) return false;
  NumberStamp stamp;
  stamp.fontName = std::move(name);
  stamp.fontSize = settings.fontSize;
  stamp.position = NumberPosition(*font, *text, page);
  stamp.text = std::move(*text);
  // On a page shown turned the number is set in the displayed frame and carried into the page.
  if (m_view.rotate != 0) stamp.displayToUser = m_view.DisplayToUser();
  // The number is always drawn over the page's content. Numbers differ from page to page, so
  // each page files a stream of its own, which leaves memory with the page. It is the last
  // thing added to the page, so nothing reads it again; a later page that draws the same text
  // only refers to it.
  CPDFObjRef filed;
  if (!AddStampOver(std::move(stamp), &filed)) return false;
  if (filed.IsDefined()) m_pageOwned.push_back(filed);
  return true;
}

CPDFFont* CPDFDriver::NumberingFont(std::string& name) {
  if (!m_fontRef.IsDefined()) return MakeNumberingFont(name);
  CPDFFont* font = FetchNumberingFont();
  if (!font) {
    // A run never ends without a line: the font made on an earlier page cannot be read back.
    LogError("cannot define PDF Font", m_doc->LastError());
    return nullptr;
  }
  if (!NameNumberingFont(*font, name)) return nullptr;
  return font;
}

bool CPDFDriver::PrepareNumberingText() {
  m_numberingFontPlanned.clear();
  m_numberingEncoding.clear();
  if (!m_numbering.on) return true;
  std::string& format = m_numbering.text.format;
  if (!NeedsEncodingConversion(format)) return true;
  // The kind of font the name will give, found the way the font will be made: the library's
  // metrics say Type 1 (text in WinAnsiEncoding) or CID-keyed (text in the host CMap's
  // encoding); else an installed TrueType face says by its charset (Latin faces read
  // WinAnsiEncoding, Japanese ones Shift-JIS). A name that is neither goes unchanged.
  FontCaches& caches = m_lib.FontCache();
  const char* charset = nullptr;
  const std::vector<std::string> candidates = FontNameCandidates(m_numbering.text);
  for (const std::string& name : candidates) {
    const AFMFile* metrics = caches.FindMetrics(name);
    if (!metrics) continue;
    m_numberingFontPlanned = name;
    if (metrics->IsCIDFont()) {
      charset = CharsetOfCMap(m_lib.HostCMapName() + "-H");
    } else {
      charset = kLatinCharset;
      m_numberingEncoding = kLatinFontEncoding;
    }
    break;
  }
  for (size_t i = 0; !charset && i < candidates.size(); ++i) {
    const TrueTypeInfo* face = caches.FindTrueTypeInfo(candidates[i]);
    if (!face) continue;
    const FaceTextEncoding encoding = TextEncodingOfFace(face->charSet);
    if (!encoding.charset) break;
    m_numberingFontPlanned = candidates[i];
    charset = encoding.charset;
    m_numberingEncoding = encoding.fontEncoding;
  }
  if (!charset) return true;
  std::optional<std::string> converted = ConvertFromUTF8(format, charset);
  if (!converted) {
    LogError(Format("character not in the font's encoding: %s", format.c_str()));
    if (const std::optional<std::string> missing = FirstCharacterNotIn(format, charset)) {
      m_app.WriteLogLine("'" + *missing + "' is not in " + EncodingDisplayName(charset));
    }
    return false;
  }
  format = std::move(*converted);
  return true;
}

CPDFFont* CPDFDriver::MakeNumberingFont(std::string& name) {
  const std::string& fontName = m_numbering.text.fontName;
  std::unique_ptr<CPDFFont> font;
  // A name that finds nothing with its "-" turned into "," is tried as typed: "HeiseiMin-W3"
  // is a font of the library, "HeiseiMin,W3" is none.
  bool trueType = false;
  for (const std::string& candidate : FontNameCandidates(m_numbering.text)) {
    const std::string encoding =
        candidate == m_numberingFontPlanned ? m_numberingEncoding : std::string();
    font = CreateFontByName(m_doc.get(), candidate, encoding);
    if (!font) {
      font = CreateTrueTypeFontByName(m_doc.get(), candidate, encoding);
      trueType = font != nullptr;
    }
    if (font) break;
  }
  if (!font) {
    LogError(Format("cannot create PDF Font: %s", fontName.c_str()), m_doc->LastError());
    m_app.WriteLogLine(InstalledFacesHint(m_numbering.text.typedFontName));
    return nullptr;
  }
  m_doc->ClearError();  // the failed tries before the one that found the font
  if (trueType) EmbedNumberingFont(*font, m_numbering.text, m_app);
  CPDFFont* made = font.get();
  CPDFObjRef ref;
  if (!m_resources->MakeName(name, *font) ||
      !m_resources->AddResource(name, std::move(font), &ref)) {
    LogError("cannot define PDF Font", m_doc->LastError());
    return nullptr;
  }
  m_fontRef = ref;
  return made;
}

CPDFFont* CPDFDriver::FetchNumberingFont() {
  CPDFObject* object = m_doc->GetObj(m_fontRef);
  if (!object) return nullptr;
  if (auto* font = dynamic_cast<CPDFFont*>(object)) return font;
  // The document may have let go of the typed object and read it back as a plain dictionary.
  std::unique_ptr<CPDFFont> font = LoadFont(kFontAllKinds, m_doc.get(), *object);
  if (!font) return nullptr;
  CPDFFont* bound = font.get();
  return ReplaceIndirect(m_doc.get(), m_fontRef, std::move(font)) ? bound : nullptr;
}

bool CPDFDriver::NameNumberingFont(const CPDFFont& font, std::string& name) {
  // Pages that share their resources (inherited from the page tree, or one Font dictionary for
  // many pages) find the font there already: they use that name rather than entering the same
  // font under a new name on every page, which would run out of names after 4095 pages.
  name = NameReferringTo(m_resources->Get_Font(), m_fontRef);
  if (!name.empty()) return true;
  if (!m_resources->MakeName(name, font) ||
      !m_resources->AddReference(font.GetCategory(), name, m_fontRef)) {
    LogError("cannot define PDF Font", m_doc->LastError());
    return false;
  }
  return true;
}

int32_t CPDFDriver::NumberTextWidth(CPDFFont& font, const std::string& text) {
  // A simple font measures a string as the sum of its bytes' widths, so each byte is measured
  // once a run. A byte whose width reads as -1 (which also means "cannot be measured") and
  // every other font leave the measuring of the whole text to the font.
  const bool simple =
      dynamic_cast<CPDFType1Font*>(&font) || dynamic_cast<CPDFTrueTypeFont*>(&font);
  if (!simple || text.empty()) return font.CalcStringWidth(text.data(), text.size());
  int64_t total = 0;
  for (const char byte : text) {
    std::optional<int32_t>& width = m_byteWidths[static_cast<uint8_t>(byte)];
    if (!width) width = font.CalcStringWidth(&byte, 1);
    if (*width == -1) return font.CalcStringWidth(text.data(), text.size());
    total += *width;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(total, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
}

TextPosition CPDFDriver::NumberPosition(CPDFFont& font, const std::string& text, int32_t page) {
  TextMetrics metrics;
  metrics.width = NumberTextWidth(font, text);
  if (CPDFFontDesc* descriptor = font.GetFontDescriptor()) {
    metrics.ascent = IntegerEntry(descriptor->Get_Ascent());
    metrics.descent = IntegerEntry(descriptor->Get_Descent());
  }
  PageFrame box;
  box.llx = m_pageBox->Llx();
  box.lly = m_pageBox->Lly();
  box.width = m_pageBox->Width();
  box.height = m_pageBox->Height();
  if (!m_view.plain) {
    // The visible box; when the page is shown turned, its displayed frame (see StampNumber).
    const bool turned = m_view.rotate != 0;
    box.llx = turned ? 0.0f : m_view.llx;
    box.lly = turned ? 0.0f : m_view.lly;
    box.width = m_view.DisplayWidth();
    box.height = m_view.DisplayHeight();
  }
  const NumberPlacement placement =
      PlacementForPage(m_numbering.placement, m_numbering.spread, page, m_numbering.firstPage);
  const TextPosition position = PlaceNumber(box, m_numbering.text.fontSize, metrics, placement);
  // Offsets can carry the number off the page, where no reader shows it: the run says so at
  // its end.
  if (!NumberMeetsFrame(box, m_numbering.text.fontSize, metrics, position)) {
    m_numbersUnseen.Note(page);
  }
  return position;
}

}  // namespace quarn
