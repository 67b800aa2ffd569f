#include "pdf/font/identity_font.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/font/cid_font.h"
#include "pdf/font/truetype_font.h"
#include "pdf/font/type2_cid_font.h"
#include "pdf/object/limits.h"
#include "pdf/object/utf8.h"
#include "platform/unshaped_text.h"

namespace quarn {

namespace {

constexpr const char* kModule = "FaceGlyphText";

// The characters of UTF-8 text; none when it is not valid UTF-8 (overlong forms, surrogates and
// values past U+10FFFF included).
std::optional<std::u32string> DecodeUTF8(std::string_view text) {
  std::u32string characters;
  for (size_t i = 0; i < text.size();) {
    char32_t value = 0;
    const size_t length = UTF8SequenceLength(text, i, &value);
    if (length == 0) return std::nullopt;
    characters.push_back(value);
    i += length;
  }
  return characters;
}

std::string EncodeUTF8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return out;
}

// A character in UTF-16BE hex digits, as a CMap destination string holds it.
std::string UTF16Hex(char32_t c) {
  char digits[16];
  if (c < 0x10000) {
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(c));
  } else {
    const char32_t v = c - 0x10000;
    std::snprintf(digits, sizeof digits, "%04X%04X", static_cast<unsigned>(0xD800 + (v >> 10)),
                  static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
  }
  return digits;
}

// The descendant's W is written from the glyphs' own advances.
class GlyphCIDFont final : public CPDFType2CIDFont {
 public:
  void SetGlyphWidths(const std::vector<std::pair<uint16_t, int32_t>>& widths,
                      const char* operation) {
    PackWidths(widths, kModule, operation);
  }
};

void Require(bool ok, const char* operation, const char* step) {
  if (!ok) Throw(kModule, operation, kInternalError, step);
}

}  // namespace

std::optional<FaceGlyphText> FaceGlyphText::Find(const TrueTypeInfo& face,
                                                 std::string_view characters,
                                                 UndrawableCharacter& undrawable) {
  undrawable = UndrawableCharacter{};
  const std::optional<std::u32string> decoded = DecodeUTF8(characters);
  if (!decoded) return std::nullopt;
  std::u32string distinct;
  for (const char32_t c : *decoded) {
    if (distinct.find(c) == std::u32string::npos) distinct.push_back(c);
  }
  auto refuse = [&undrawable](char32_t c, UndrawableCharacter::Reason reason) {
    undrawable.character = EncodeUTF8(c);
    undrawable.reason = reason;
    return std::nullopt;
  };
  for (const char32_t c : distinct) {
    switch (ShapingNeedOf(c)) {
      case ShapingNeed::kRightToLeft:
        return refuse(c, UndrawableCharacter::Reason::kRightToLeft);
      case ShapingNeed::kCombining:
        return refuse(c, UndrawableCharacter::Reason::kCombining);
      case ShapingNeed::kNone:
        break;
    }
  }
  std::optional<std::map<char32_t, FaceGlyph>> glyphs =
      face.file.empty() ? std::nullopt : ReadFaceGlyphs(face.file, face.index, distinct);
  for (const char32_t c : distinct) {
    if (!glyphs || glyphs->count(c) == 0) return refuse(c, UndrawableCharacter::Reason::kNotInFace);
  }
  FaceGlyphText text;
  text.m_glyphs = std::move(*glyphs);
  return text;
}

std::optional<std::string> FaceGlyphText::Encode(std::string_view utf8) const {
  const std::optional<std::u32string> decoded = DecodeUTF8(utf8);
  if (!decoded) return std::nullopt;
  std::string codes;
  codes.reserve(2 * decoded->size());
  for (const char32_t c : *decoded) {
    const auto found = m_glyphs.find(c);
    if (found == m_glyphs.end()) return std::nullopt;
    codes.push_back(static_cast<char>(found->second.glyph >> 8));
    codes.push_back(static_cast<char>(found->second.glyph & 0xFF));
  }
  return codes;
}

std::string GlyphToUnicodeCMap(const std::map<char32_t, FaceGlyph>& glyphs) {
  // The map runs in character order, so the first character met for a glyph is its lowest.
  std::map<uint16_t, char32_t> characterOfGlyph;
  for (const auto& [character, glyph] : glyphs) characterOfGlyph.emplace(glyph.glyph, character);
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n"
      "12 dict begin\n"
      "begincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n"
      "/CMapType 2 def\n"
      "1 begincodespacerange\n"
      "<0000> <FFFF>\n"
      "endcodespacerange\n";
  auto entry = characterOfGlyph.begin();
  while (entry != characterOfGlyph.end()) {
    const size_t left = static_cast<size_t>(std::distance(entry, characterOfGlyph.end()));
    const size_t count = std::min(left, limits::kMaxCMapBlockEntries);
    cmap += std::to_string(count) + " beginbfchar\n";
    for (size_t i = 0; i < count; ++i, ++entry) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(entry->first));
      cmap += "<" + std::string(code) + "> <" + UTF16Hex(entry->second) + ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap +=
      "endcmap\n"
      "CMapName currentdict /CMapResource defineresource pop\n"
      "end\n"
      "end\n";
  return cmap;
}

std::unique_ptr<CPDFType0Font> FaceGlyphText::CreateFont(CPDFObjHolder* doc,
                                                         const std::string& fontName) const {
  static constexpr const char* kOp = "CreateFont";
  std::vector<CPDFObjRef> registered;
  try {
    FontCaches* caches = FontCachesOf(doc);
    const TrueTypeInfo* info = caches ? caches->FindTrueTypeInfo(fontName) : nullptr;
    if (!info)
      Throw(kModule, kOp, kUserError, Format("TrueType info not found: %s", fontName.c_str()));
    auto sysInfo = std::make_unique<CPDFCIDSysInfo>();
    Require(sysInfo->Create(doc, "Adobe", "Identity", 0), kOp, "CPDFCIDSysInfo::Create()");
    std::unique_ptr<CPDFFontDesc> desc =
        CreateTrueTypeDescriptor(doc, *info, fontName, kFontFlagSymbolic, kModule, kOp);

    auto descendant = std::make_unique<GlyphCIDFont>();
    Require(descendant->CPDFFont::Create(doc, fontName) &&
                descendant->Set_Subtype(std::make_unique<CPDFName>("CIDFontType2")) &&
                descendant->Set_CIDSystemInfo(std::move(sysInfo)) &&
                descendant->Set_FontDescriptor(std::move(desc)) &&
                descendant->Set_DW(std::make_unique<CPDFInt>(1000)) &&
                descendant->SetValue(doc, "CIDToGIDMap", std::make_unique<CPDFName>("Identity"),
                                     false, nullptr),
            kOp, "CPDFType2CIDFont::Create()");
    std::map<uint16_t, int32_t> advances;
    for (const auto& [character, glyph] : m_glyphs) advances.emplace(glyph.glyph, glyph.advance);
    descendant->SetGlyphWidths({advances.begin(), advances.end()}, kOp);
    CPDFObjRef descendantRef;
    Require(doc->RegistObj(std::move(descendant), &descendantRef), kOp, "CPDFDoc::RegistObj()");
    registered.push_back(descendantRef);
    auto descendants = std::make_unique<CPDFArray>();
    descendants->Push_Back(std::make_unique<CPDFObjRef>(descendantRef));

    const std::string cmap = GlyphToUnicodeCMap(m_glyphs);
    auto toUnicode = std::make_unique<CPDFStream>(doc);
    CPDFErrorRecord flateError;
    Require(
        toUnicode->SetData(cmap.data(), cmap.size()) && toUnicode->EncodeFlateFilter(flateError),
        kOp, "CPDFStream::EncodeFlateFilter()");

    auto font = std::make_unique<CPDFType0Font>();
    Require(font->CPDFFont::Create(doc, fontName) &&
                font->Set_Subtype(std::make_unique<CPDFName>("Type0")) &&
                font->Set_Encoding(std::make_unique<CPDFName>("Identity-H")) &&
                font->Set_DescendantFonts(std::move(descendants)),
            kOp, "CPDFType0Font::Create()");
    CPDFObjRef toUnicodeRef;
    const bool toUnicodeSet = font->Set_ToUnicode(std::move(toUnicode), true, &toUnicodeRef);
    if (toUnicodeRef.IsDefined()) registered.push_back(toUnicodeRef);
    Require(toUnicodeSet, kOp, "CPDFType0Font::Set_ToUnicode()");
    return font;
  } catch (...) {
    if (doc) KeepCurrentError(doc->LastError(), kModule, kOp);
  }
  if (doc) {
    for (const CPDFObjRef& made : registered) doc->DeleteObj(made);
  }
  return nullptr;
}

}  // namespace quarn
