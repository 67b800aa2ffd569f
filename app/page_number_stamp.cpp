#include "app/page_number_stamp.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/number_stamp.h"
#include "app/numbering_text.h"
#include "app/page_view.h"
#include "app/zorvane_app.h"
#include "pdf/content/graph_objs.h"
#include "pdf/document/doc.h"
#include "pdf/document/res_dict.h"
#include "pdf/font/afm_file.h"
#include "pdf/font/font.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/font_desc.h"
#include "pdf/font/metrics.h"
#include "pdf/font/truetype_embed.h"
#include "pdf/font/truetype_font.h"
#include "pdf/font/type1_font.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/geometry.h"
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

// Every character any page's number text can hold: the format's own and the number's.
std::string NumberTextCharacters(const NumberFormatSettings& settings) {
  return ApplyNumberFormat(settings.format, "").value_or(settings.format) +
         std::string(NumberAlphabet(settings.style));
}

// An installed face is mostly not on the reader's machine: the font carries a subset of it,
// made once for every character any page's number text can hold (in the font's codes). A face
// that may not be embedded says so in one log line.
void EmbedNumberingFont(CPDFFont& font, const std::string& codes, CZorvaneApp& app) {
  const EmbedResult result = EmbedFontSubset(font, codes);
  if (!result.warning.empty()) app.WriteLog("%s", result.warning.c_str());
}

// Why a character of the format cannot be drawn by the glyphs of face `fontName`.
std::string UndrawableLine(const UndrawableCharacter& undrawable, const std::string& fontName) {
  const std::string quoted = "'" + undrawable.character + "'";
  switch (undrawable.reason) {
    case UndrawableCharacter::Reason::kRightToLeft:
      return quoted + " is written right to left: text is set left to right, without shaping";
    case UndrawableCharacter::Reason::kCombining:
      return quoted + " combines with the character before it: text is set without shaping";
    case UndrawableCharacter::Reason::kNotInFace:
      break;
  }
  return quoted + " is not in the face " + fontName;
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

PageNumberStamp::PageNumberStamp(NumberingSettings settings) : m_settings(std::move(settings)) {
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
  if (m_glyphText && !(text = m_glyphText->Encode(*text))) {
    canvas.LogError(Format("character not in the font's encoding: %s", settings.format.c_str()));
    return false;
  }
  std::string name;
  CPDFFont* font = NamedFont(canvas, name);
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

CPDFFont* PageNumberStamp::NamedFont(StampCanvas& canvas, std::string& name) {
  if (m_madeFont) {
    name = std::exchange(m_madeName, std::string());
    return std::exchange(m_madeFont, nullptr);
  }
  CPDFFont* font = FetchFont(canvas.Document());
  if (!font) {
    // A run never ends without a line: the font made on an earlier page cannot be read back.
    canvas.LogError("cannot define PDF Font", canvas.Document().LastError());
    return nullptr;
  }
  if (!NameFont(canvas, *font, name)) return nullptr;
  return font;
}

bool PageNumberStamp::Prepare(StampCanvas& canvas) {
  m_fontPlanned.clear();
  m_encoding.clear();
  m_glyphText.reset();
  std::string& format = m_settings.text.format;
  if (!NeedsEncodingConversion(format)) return true;
  // The kind of font the name will give, found the way the font will be made: the library's
  // metrics say Type 1 (text in WinAnsiEncoding) or CID-keyed (text in the host CMap's
  // encoding); else an installed TrueType face says by its charset (Latin faces read
  // WinAnsiEncoding, Japanese ones Shift-JIS). A name that is neither goes unchanged.
  CPDFLib& lib = canvas.Lib();
  FontCaches& caches = lib.FontCache();
  const char* charset = nullptr;
  const TrueTypeInfo* trueTypeFace = nullptr;
  const std::vector<std::string> candidates = FontNameCandidates(m_settings.text);
  for (const std::string& name : candidates) {
    const AFMFile* metrics = caches.FindMetrics(name);
    if (!metrics) continue;
    m_fontPlanned = name;
    if (metrics->IsCIDFont()) {
      charset = CharsetOfCMap(lib.HostCMapName() + "-H");
    } else {
      charset = kLatinCharset;
      m_encoding = kLatinFontEncoding;
    }
    break;
  }
  for (size_t i = 0; !charset && i < candidates.size(); ++i) {
    const TrueTypeInfo* face = caches.FindTrueTypeInfo(candidates[i]);
    if (!face) continue;
    const FaceTextEncoding encoding = TextEncodingOfFace(face->charSet);
    if (!encoding.charset) break;
    m_fontPlanned = candidates[i];
    charset = encoding.charset;
    m_encoding = encoding.fontEncoding;
    trueTypeFace = face;
  }
  if (!charset) return true;
  std::optional<std::string> converted = ConvertFromUTF8(format, charset);
  if (!converted && trueTypeFace) return PrepareGlyphText(canvas, *trueTypeFace);
  if (!converted) {
    canvas.LogError(Format("character not in the font's encoding: %s", format.c_str()));
    if (const std::optional<std::string> missing = FirstCharacterNotIn(format, charset)) {
      canvas.App().WriteLogLine("'" + *missing + "' is not in " + EncodingDisplayName(charset));
    }
    return false;
  }
  format = std::move(*converted);
  return true;
}

bool PageNumberStamp::PrepareGlyphText(StampCanvas& canvas, const TrueTypeInfo& face) {
  UndrawableCharacter undrawable;
  m_glyphText = FaceGlyphText::Find(face, NumberTextCharacters(m_settings.text), undrawable);
  if (m_glyphText) return true;
  canvas.LogError(
      Format("character not in the font's encoding: %s", m_settings.text.format.c_str()));
  if (!undrawable.character.empty()) {
    canvas.App().WriteLogLine(UndrawableLine(undrawable, m_fontPlanned));
  }
  return false;
}

bool PageNumberStamp::Make(StampCanvas& canvas, int32_t /*page*/) {
  CPDFDoc& doc = canvas.Document();
  const std::string& fontName = m_settings.text.fontName;
  std::unique_ptr<CPDFFont> font;
  // A name that finds nothing with its "-" turned into "," is tried as typed: "HeiseiMin-W3"
  // is a font of the library, "HeiseiMin,W3" is none.
  bool trueType = false;
  for (const std::string& candidate : FontNameCandidates(m_settings.text)) {
    const bool planned = candidate == m_fontPlanned;
    if (planned && m_glyphText) {
      font = m_glyphText->CreateFont(&doc, candidate);
      trueType = font != nullptr;
    } else {
      font = CreateFontByName(&doc, candidate, planned ? m_encoding : std::string());
      if (!font) {
        font = CreateTrueTypeFontByName(&doc, candidate, planned ? m_encoding : std::string());
        trueType = font != nullptr;
      }
    }
    if (font) break;
  }
  if (!font) {
    canvas.LogError(Format("cannot create PDF Font: %s", fontName.c_str()), doc.LastError());
    canvas.App().WriteLogLine(InstalledFacesHint(m_settings.text.typedFontName));
    return false;
  }
  doc.ClearError();  // the failed tries before the one that found the font
  if (trueType) {
    const std::string characters = NumberTextCharacters(m_settings.text);
    const std::optional<std::string> codes =
        m_glyphText ? m_glyphText->Encode(characters) : characters;
    EmbedNumberingFont(*font, codes.value_or(std::string()), canvas.App());
  }
  CPDFFont* made = font.get();
  CPDFObjRef ref;
  std::string name;
  CPDFResDict& resources = canvas.Resources();
  if (!resources.MakeName(name, *font) || !resources.AddResource(name, std::move(font), &ref)) {
    canvas.LogError("cannot define PDF Font", doc.LastError());
    return false;
  }
  m_fontRef = ref;
  m_madeFont = made;
  m_madeName = std::move(name);
  return true;
}

CPDFFont* PageNumberStamp::FetchFont(CPDFDoc& doc) {
  CPDFObject* object = doc.GetObj(m_fontRef);
  if (!object) return nullptr;
  if (auto* font = dynamic_cast<CPDFFont*>(object)) return font;
  // The document may have let go of the typed object and read it back as a plain dictionary.
  std::unique_ptr<CPDFFont> font = LoadFont(kFontAllKinds, &doc, *object);
  if (!font) return nullptr;
  CPDFFont* bound = font.get();
  return ReplaceIndirect(&doc, m_fontRef, std::move(font)) ? bound : nullptr;
}

bool PageNumberStamp::NameFont(StampCanvas& canvas, const CPDFFont& font, std::string& name) {
  // Pages that share their resources (inherited from the page tree, or one Font dictionary for
  // many pages) find the font there already: they use that name rather than entering the same
  // font under a new name on every page, which would run out of names after 4095 pages.
  CPDFResDict& resources = canvas.Resources();
  name = NameReferringTo(resources.Get_Font(), m_fontRef);
  if (!name.empty()) return true;
  if (!resources.MakeName(name, font) ||
      !resources.AddReference(font.GetCategory(), name, m_fontRef)) {
    canvas.LogError("cannot define PDF Font", canvas.Document().LastError());
    return false;
  }
  return true;
}

int32_t PageNumberStamp::TextWidth(CPDFFont& font, const std::string& text) {
  // A simple font measures a string as the sum of its bytes' widths, so each byte is measured
  // once a run. A byte whose width reads as -1 (which also means "cannot be measured") and
  // every other font leave the measuring of the whole text to the font.
  const bool simple = dynamic_cast<CPDFType1Font*>(&font) || dynamic_cast<CPDFTrueTypeFont*>(&font);
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

TextPosition PageNumberStamp::Position(StampCanvas& canvas, CPDFFont& font, const std::string& text,
                                       int32_t page) {
  TextMetrics metrics;
  metrics.width = TextWidth(font, text);
  if (CPDFFontDesc* descriptor = font.GetFontDescriptor()) {
    metrics.ascent = IntegerEntry(descriptor->Get_Ascent());
    metrics.descent = IntegerEntry(descriptor->Get_Descent());
  }
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
