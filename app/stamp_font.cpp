#include "app/stamp_font.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "app/numbering_text.h"
#include "app/stamp.h"
#include "app/zorvane_app.h"
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

// Why a character cannot be drawn by the glyphs of face `fontName`.
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

StampFont::StampFont(std::string fontName, std::string typedName)
    : m_fontName(std::move(fontName)), m_typedName(std::move(typedName)) {}

bool StampFont::ConvertText(StampCanvas& canvas, std::string& text, const std::string& drawable) {
  m_fontPlanned.clear();
  m_encoding.clear();
  m_glyphText.reset();
  if (!NeedsEncodingConversion(text)) return true;
  // The kind of font the name will give, found the way the font will be made: the library's
  // metrics say Type 1 (text in WinAnsiEncoding) or CID-keyed (text in the host CMap's
  // encoding); else an installed TrueType face says by its charset (Latin faces read
  // WinAnsiEncoding, Japanese ones Shift-JIS). A name that is neither goes unchanged.
  CPDFLib& lib = canvas.Lib();
  FontCaches& caches = lib.FontCache();
  const char* charset = nullptr;
  const TrueTypeInfo* trueTypeFace = nullptr;
  std::vector<std::string> candidates{m_fontName};
  if (m_typedName != m_fontName) candidates.push_back(m_typedName);
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
  std::optional<std::string> converted = ConvertFromUTF8(text, charset);
  if (!converted && trueTypeFace) {
    UndrawableCharacter undrawable;
    m_glyphText =
        FaceGlyphText::Find(*trueTypeFace, drawable.empty() ? text : drawable, undrawable);
    if (m_glyphText) return true;
    canvas.LogError(Format("character not in the font's encoding: %s", text.c_str()));
    if (!undrawable.character.empty()) {
      canvas.App().WriteLogLine(UndrawableLine(undrawable, m_fontPlanned));
    }
    return false;
  }
  if (!converted) {
    canvas.LogError(Format("character not in the font's encoding: %s", text.c_str()));
    if (const std::optional<std::string> missing = FirstCharacterNotIn(text, charset)) {
      canvas.App().WriteLogLine("'" + *missing + "' is not in " + EncodingDisplayName(charset));
    }
    return false;
  }
  text = std::move(*converted);
  return true;
}

std::optional<std::string> StampFont::Encode(const std::string& text) const {
  if (!m_glyphText) return text;
  return m_glyphText->Encode(text);
}

bool StampFont::Make(StampCanvas& canvas, CPDFResDict& resources, const std::string& characters) {
  CPDFDoc& doc = canvas.Document();
  std::unique_ptr<CPDFFont> font;
  // A name that finds nothing with its "-" turned into "," is tried as typed: "HeiseiMin-W3"
  // is a font of the library, "HeiseiMin,W3" is none.
  bool trueType = false;
  std::vector<std::string> candidates{m_fontName};
  if (m_typedName != m_fontName) candidates.push_back(m_typedName);
  for (const std::string& candidate : candidates) {
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
    canvas.LogError(Format("cannot create PDF Font: %s", m_fontName.c_str()), doc.LastError());
    canvas.App().WriteLogLine(InstalledFacesHint(m_typedName));
    return false;
  }
  doc.ClearError();  // the failed tries before the one that found the font
  if (trueType) {
    // An installed face is mostly not on the reader's machine: the font carries a subset of
    // it, made once for every character the stamp can draw. A face that may not be embedded
    // says so in one log line.
    const EmbedResult result = EmbedFontSubset(*font, characters);
    if (!result.warning.empty()) canvas.App().WriteLog("%s", result.warning.c_str());
  }
  CPDFFont* made = font.get();
  CPDFObjRef ref;
  std::string name;
  if (!resources.MakeName(name, *font) || !resources.AddResource(name, std::move(font), &ref)) {
    canvas.LogError("cannot define PDF Font", doc.LastError());
    return false;
  }
  m_ref = ref;
  m_madeFont = made;
  m_madeName = std::move(name);
  return true;
}

CPDFFont* StampFont::Named(StampCanvas& canvas, std::string& name) {
  if (m_madeFont) {
    name = std::exchange(m_madeName, std::string());
    return std::exchange(m_madeFont, nullptr);
  }
  CPDFFont* font = Fetch(canvas.Document());
  if (!font) {
    // A run never ends without a line: the font made on an earlier page cannot be read back.
    canvas.LogError("cannot define PDF Font", canvas.Document().LastError());
    return nullptr;
  }
  if (!NameOnPage(canvas, *font, name)) return nullptr;
  return font;
}

CPDFFont* StampFont::Fetch(CPDFDoc& doc) {
  CPDFObject* object = doc.GetObj(m_ref);
  if (!object) return nullptr;
  if (auto* font = dynamic_cast<CPDFFont*>(object)) return font;
  // The document may have let go of the typed object and read it back as a plain dictionary.
  std::unique_ptr<CPDFFont> font = LoadFont(kFontAllKinds, &doc, *object);
  if (!font) return nullptr;
  CPDFFont* bound = font.get();
  return ReplaceIndirect(&doc, m_ref, std::move(font)) ? bound : nullptr;
}

bool StampFont::NameOnPage(StampCanvas& canvas, const CPDFFont& font, std::string& name) {
  // Pages that share their resources (inherited from the page tree, or one Font dictionary for
  // many pages) find the font there already: they use that name rather than entering the same
  // font under a new name on every page, which would run out of names after 4095 pages.
  CPDFResDict& resources = canvas.Resources();
  name = NameReferringTo(resources.Get_Font(), m_ref);
  if (!name.empty()) return true;
  if (!resources.MakeName(name, font) || !resources.AddReference(font.GetCategory(), name, m_ref)) {
    canvas.LogError("cannot define PDF Font", canvas.Document().LastError());
    return false;
  }
  return true;
}

TextMetrics StampFont::Measure(CPDFFont& font, const std::string& text) {
  TextMetrics metrics;
  metrics.width = TextWidth(font, text);
  if (CPDFFontDesc* descriptor = font.GetFontDescriptor()) {
    metrics.ascent = IntegerEntry(descriptor->Get_Ascent());
    metrics.descent = IntegerEntry(descriptor->Get_Descent());
  }
  return metrics;
}

int32_t StampFont::TextWidth(CPDFFont& font, const std::string& text) {
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

}  // namespace quarn
